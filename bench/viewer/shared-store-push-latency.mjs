// From the start of an upload to the picture shown by the viewer page in
// headless Chromium, when instances share their pictures through Redis:
// (a) one instance keeping pictures in memory, (b) one instance over Redis,
// (c) two instances over one Redis, uploads at A and the page at B, which
// hears of them through Redis's publish and subscribe. The three take turns
// in each round of one run, so that other load on the machine weighs on all
// three alike.
// Usage: node shared-store-push-latency.mjs SERVER_BINARY TEST_DATA_DIR
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

import { startInstance, startRedis, stopAll } from './SharedStoreSupport.mjs';
import { CHROMIUM_ARGS, chromium, median, nowMs, openViewer, upload } from './ViewerSupport.mjs';

const ROUNDS = 40;
// What a viewer at another instance may wait longer than one at the uploader's.
const ALLOWED_EXTRA_MS = 20;
const [serverBinary, dataDirectory] = process.argv.slice(2);
const pictures = ['first.jpg', 'second.jpg'].map((file) => fs.readFileSync(path.join(dataDirectory, file)));

// Uploads the round's picture and resolves with the milliseconds until the page showed it.
async function measureRound(route, round) {
  // A tab in the background gets no animation frames; each page is measured in front.
  await route.viewer.page.bringToFront();
  const start = nowMs();
  await upload(route.uploadPort, route.name, pictures[round % 2]);
  return (await route.viewer.shownAfter(round + 1)) - start;
}

function report(what, values) {
  console.log(`  ${what.padEnd(46)} min ${Math.min(...values).toFixed(1).padStart(6)} ms` +
    `   median ${median(values).toFixed(1).padStart(6)} ms   (${values.length} runs)`);
}

// The requirement on one difference of medians; prints it and says whether it holds.
function check(what, difference) {
  const passed = difference < ALLOWED_EXTRA_MS;
  console.log(`  ${what.padEnd(46)} ${difference.toFixed(1).padStart(6)} ms   under ${ALLOWED_EXTRA_MS} ms: ` +
    `${passed ? 'PASS' : 'FAIL'}`);
  return passed;
}

const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'lumivanta-shared-push-bench-'));
let context;
try {
  const redis = await startRedis();
  const memory = await startInstance(serverBinary);
  const sharedA = await startInstance(serverBinary, ['--redis', redis.url]);
  const sharedB = await startInstance(serverBinary, ['--redis', redis.url]);
  context = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium', headless: true, args: CHROMIUM_ARGS,
  });
  const routes = [
    { label: '(a) one instance, memory store', uploadPort: memory.port, viewPort: memory.port, name: 'memory' },
    { label: '(b) one instance over Redis', uploadPort: sharedA.port, viewPort: sharedA.port, name: 'same' },
    { label: '(c) upload at A, viewer at B, one Redis', uploadPort: sharedA.port, viewPort: sharedB.port,
      name: 'across' },
  ];
  for (const route of routes) {
    route.viewer = await openViewer(context, route.viewPort, route.name, true);
    route.ms = [];
  }
  // Round 0 warms up and is not counted; the order turns each round.
  for (let round = 0; round <= ROUNDS; round += 1) {
    for (let turn = 0; turn < routes.length; turn += 1) {
      const route = routes[(round + turn) % routes.length];
      const ms = await measureRound(route, round);
      if (round > 0) {
        route.ms.push(ms);
      }
    }
    await new Promise((resolve) => setTimeout(resolve, 50 + Math.random() * 250));
  }

  const [memoryMs, sameMs, acrossMs] = routes.map((route) => median(route.ms));
  console.log('From the start of an upload to the picture shown by the viewer page in headless Chromium:');
  routes.forEach((route) => report(route.label, route.ms));
  console.log('Differences of medians:');
  const passedMemory = check('(c) - (a), across instances - memory', acrossMs - memoryMs);
  const passedSame = check('(c) - (b), across instances - same instance', acrossMs - sameMs);
  const passed = passedMemory && passedSame;
  console.log(`  requirement: a viewer at another instance waits under ${ALLOWED_EXTRA_MS} ms more than one at ` +
    `the uploader's: ${passed ? 'PASS' : 'FAIL'}`);
  for (const [what, instance] of [['memory', memory], ['A', sharedA], ['B', sharedB]]) {
    instance.messages.forEach((message) => console.log(`  server ${what} said: ${message}`));
  }
  process.exitCode = passed ? 0 : 1;
} finally {
  await context?.close();
  await stopAll();
  fs.rmSync(profile, { recursive: true, force: true });
}
