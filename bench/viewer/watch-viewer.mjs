// Watches a contact name on the viewer page in headless Chromium and writes
// "shown MS" to standard error each time the page shows a new picture, MS
// being the wall-clock time in milliseconds; "ready" once the page follows
// the name. Ends with SIGTERM.
// Usage: node watch-viewer.mjs VIEWER_URL NAME
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

import { CHROMIUM_ARGS, chromium, reportShownPictures } from './ViewerSupport.mjs';

const [viewerUrl, name] = process.argv.slice(2);
const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'lumivanta-watch-'));
const context = await chromium.launchPersistentContext(profile, {
  executablePath: '/usr/bin/chromium', headless: true, args: CHROMIUM_ARGS,
});
const finish = async () => {
  await context.close();
  fs.rmSync(profile, { recursive: true, force: true });
  process.exit(0);
};
process.on('SIGTERM', finish);

const page = context.pages()[0] ?? await context.newPage();
await reportShownPictures(page, (time) => process.stderr.write(`shown ${time.toFixed(3)}\n`));
await page.goto(`${viewerUrl}?name=${encodeURIComponent(name)}`);
// The page has read the name's state once its status no longer says it is looking.
await page.waitForFunction(() => !document.getElementById('status').textContent.startsWith('Looking'), null,
  { timeout: 15000 });
process.stderr.write(`ready: ${await page.textContent('#status')}\n`);
