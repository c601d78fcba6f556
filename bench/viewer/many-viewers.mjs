// 1,000 viewers of one screen on lumivanta-server, one upload a second: the
// server's processor time and whether every viewer gets every picture, with
// the viewers following the event stream, beside the same viewers polling
// twice a second as the page did before, in the same run. Each viewer keeps
// its own connections, as a browser does, and fetches each new picture.
// Usage: node many-viewers.mjs SERVER_BINARY [viewers] [uploads]
// Needs about two open files per viewer: run under `ulimit -n 8192`.
import { Viewer, followAll, randomPicture, tally, uploadEverySecond } from './EventViewers.mjs';
import { cpuSeconds, startServer, stopServer } from './ViewerSupport.mjs';

const [serverBinary, viewerArgument, uploadArgument] = process.argv.slice(2);
const VIEWERS = Number(viewerArgument ?? 1000);
const UPLOADS = Number(uploadArgument ?? 20);
const PICTURE_BYTES = 100000;
const POLL_INTERVAL_MS = 500;
const NAME = 'audience';

async function measure(serverBinary, pushed) {
  const { child, port } = await startServer(serverBinary);
  const viewers = Array.from({ length: VIEWERS }, () => new Viewer(port, NAME, PICTURE_BYTES));
  try {
    if (pushed) {
      await followAll(viewers);
    } else {
      viewers.forEach((viewer, index) =>
        setTimeout(() => viewer.poll(POLL_INTERVAL_MS), (index * POLL_INTERVAL_MS) / VIEWERS));
    }
    await new Promise((resolve) => setTimeout(resolve, 1000));
    const picture = randomPicture(PICTURE_BYTES);
    const cpuBefore = cpuSeconds(child.pid);
    const { uploads, seconds } = await uploadEverySecond({ port, name: NAME, picture, count: UPLOADS });
    return { cores: (cpuSeconds(child.pid) - cpuBefore) / seconds, ...tally(viewers, uploads) };
  } finally {
    viewers.forEach((viewer) => viewer.stop());
    await stopServer(child);
  }
}

const pushed = await measure(serverBinary, true);
const polled = await measure(serverBinary, false);
console.log(`${VIEWERS} viewers of one screen, ${UPLOADS} uploads of ${PICTURE_BYTES} bytes at one a second:`);
for (const [what, result] of [['following the event stream', pushed], ['polling twice a second', polled]]) {
  console.log(`  ${what.padEnd(28)} server ${result.cores.toFixed(3)} cores   pictures missed ${result.missing}` +
    `   failed requests ${result.failures}   upload to picture: median ${result.medianMs.toFixed(1)} ms,` +
    ` p99 ${result.p99Ms.toFixed(1)} ms`);
}
console.log(`  server processor time, pushed / polled: ${(pushed.cores / polled.cores).toFixed(3)}`);
const passed = pushed.cores < 1 && pushed.missing === 0 && pushed.failures === 0;
console.log(`  requirement: under one core and every viewer gets every picture: ${passed ? 'PASS' : 'FAIL'}`);
process.exitCode = passed ? 0 : 1;
