// From a picture stored at lumivanta-server to the picture shown by the viewer
// page in headless Chromium: pushed through the event stream, beside the
// page's polling fallback in the same run. The clock starts when the upload
// starts, so the figures include the upload itself.
// Usage: node push-latency.mjs SERVER_BINARY TEST_DATA_DIR
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

import { CHROMIUM_ARGS, chromium, median, nowMs, openViewer, startServer, stopServer, upload }
  from './ViewerSupport.mjs';

const ROUNDS = 40;
const [serverBinary, dataDirectory] = process.argv.slice(2);
const pictures = ['first.jpg', 'second.jpg'].map((file) => fs.readFileSync(path.join(dataDirectory, file)));

const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'lumivanta-push-bench-'));
const { child, port } = await startServer(serverBinary);
const context = await chromium.launchPersistentContext(profile, {
  executablePath: '/usr/bin/chromium', headless: true, args: CHROMIUM_ARGS,
});
try {
  const pushedPage = await openViewer(context, port, 'pushed', true);
  const polledPage = await openViewer(context, port, 'polled', false);
  const pushedMs = [];
  const polledMs = [];
  // Round 0 warms up and is not counted.
  for (let round = 0; round <= ROUNDS; round += 1) {
    const picture = pictures[round % 2];
    // A tab in the background gets no animation frames; each page is measured in front.
    await pushedPage.page.bringToFront();
    const pushedStart = nowMs();
    await upload(port, 'pushed', picture);
    const pushedShown = await pushedPage.shownAfter(round + 1);
    await polledPage.page.bringToFront();
    const polledStart = nowMs();
    await upload(port, 'polled', picture);
    const polledShown = await polledPage.shownAfter(round + 1);
    if (round > 0) {
      pushedMs.push(pushedShown - pushedStart);
      polledMs.push(polledShown - polledStart);
    }
    // Uploads at arbitrary moments of the polling cycle.
    await new Promise((resolve) => setTimeout(resolve, 50 + Math.random() * 500));
  }
  const report = (what, values) => console.log(`${what.padEnd(44)} min ${Math.min(...values).toFixed(1).padStart(6)} ms` +
    `   median ${median(values).toFixed(1).padStart(6)} ms   (${values.length} runs)`);
  console.log('From the start of an upload to the picture shown by the viewer page in headless Chromium:');
  report('  pushed through the event stream', pushedMs);
  report('  polled twice a second (the fallback)', polledMs);
  console.log(`  pushed / polled median: ${(median(pushedMs) / median(polledMs)).toFixed(3)}`);
  const passed = median(pushedMs) < 50;
  console.log(`  requirement: pushed median under 50 ms: ${passed ? 'PASS' : 'FAIL'}`);
  process.exitCode = passed ? 0 : 1;
} finally {
  await context.close();
  await stopServer(child);
  fs.rmSync(profile, { recursive: true, force: true });
}
