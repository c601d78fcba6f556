// Opens the viewer page of a real lumivanta-server in headless Chromium and
// checks that uploads appear without a reload, pushed or polled, that a delete
// shows as ended, that a hidden tab fetches nothing, that the page works behind
// a proxy at a path prefix, and that the last good picture stays when the
// server goes away.
// Usage: node viewer-page-test.mjs SERVER_BINARY TEST_DATA_DIR

import assert from 'node:assert/strict';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';

import { CHROMIUM_ARGS, startServer as startPictureServer, stopServer, upload } from './picture-server.mjs';

const { chromium } = await import('playwright-core').catch(() => {
  throw new Error('playwright-core is missing; run scripts/install-deps');
});

const [serverBinary, dataDirectory] = process.argv.slice(2);
const WAIT_MS = 15000;

function startServer(environment = {}) {
  return startPictureServer(serverBinary, { environment });
}

function deletePictures(port, name) {
  return new Promise((resolve, reject) => {
    http.get(`http://127.0.0.1:${port}/?server&stream_name=${name}&fkt=end`, (answer) => {
      answer.resume();
      answer.on('end', () => resolve(answer.statusCode));
    }).on('error', reject);
  });
}

// A reverse proxy that serves the picture server under /screen/, streaming every answer through.
function startPrefixProxy(port) {
  const proxy = http.createServer((request, answer) => {
    if (!request.url.startsWith('/screen/')) {
      answer.writeHead(404).end();
      return;
    }
    const forwarded = http.request({ host: '127.0.0.1', port, method: request.method,
      path: request.url.slice('/screen'.length), headers: request.headers }, (upstream) => {
      answer.writeHead(upstream.statusCode, upstream.headers);
      upstream.pipe(answer);
    });
    forwarded.on('error', () => answer.destroy());
    request.pipe(forwarded);
  });
  return new Promise((resolve) => proxy.listen(0, '127.0.0.1', () => resolve(proxy)));
}

let context = null;
let profile = null;

before(async () => {
  profile = fs.mkdtempSync(path.join(os.tmpdir(), 'lumivanta-viewer-'));
  context = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium', headless: true, args: CHROMIUM_ARGS,
  });
});

after(async () => {
  await context?.close();
  fs.rmSync(profile, { recursive: true, force: true });
});

async function openPage() {
  const page = await context.newPage();
  const pageErrors = [];
  page.on('pageerror', (error) => pageErrors.push(error.message));
  page.on('console', (message) => {
    if (message.type() === 'error') pageErrors.push(message.text() + ' ' + message.location().url);
  });
  return { page, pageErrors };
}

function waitForWidth(page, width) {
  return page.waitForFunction((expected) => document.getElementById('picture').naturalWidth === expected &&
    !document.getElementById('view').hidden, width, { timeout: WAIT_MS });
}

// Makes the page believe its tab was hidden or shown again.
function setHidden(page, hidden) {
  return page.evaluate((isHidden) => {
    Object.defineProperty(document, 'hidden', { value: isHidden, configurable: true });
    Object.defineProperty(document, 'visibilityState', { value: isHidden ? 'hidden' : 'visible', configurable: true });
    document.dispatchEvent(new Event('visibilitychange'));
  }, hidden);
}

function shownWidth(page) {
  return page.evaluate(() => {
    const view = document.getElementById('view');
    return view.hidden ? 0 : document.getElementById('picture').naturalWidth;
  });
}

test('the viewer page follows the uploads of one name', { timeout: 90000 }, async () => {
  const first = fs.readFileSync(path.join(dataDirectory, 'first.jpg'));
  const second = fs.readFileSync(path.join(dataDirectory, 'second.jpg'));
  const { child, port } = await startServer();
  try {
    const { page, pageErrors } = await openPage();
    const requests = [];
    page.on('request', (request) => requests.push(new URL(request.url()).pathname));

    // Typing a name starts watching and puts the name into the address.
    await page.goto(`http://127.0.0.1:${port}/`);
    await page.fill('#name', 'viewer-test');
    await page.click('button[type=submit]');
    await page.waitForFunction(() => document.getElementById('status').textContent.includes('No picture'),
      null, { timeout: WAIT_MS });
    assert.equal(new URL(page.url()).search, '?name=viewer-test');

    // Opening the address with the name preset; this load must survive every later update.
    await page.goto(`http://127.0.0.1:${port}/?name=viewer-test`);
    await page.evaluate(() => { window.loadMarker = 'first load'; });
    assert.equal(await shownWidth(page), 0);

    assert.match(await upload(port, 'viewer-test', first), /^HTTP\/1\.1 200 /);
    await waitForWidth(page, 64);
    await page.waitForFunction(() => /^updated \d+ s ago$/.test(document.getElementById('age').textContent),
      null, { timeout: WAIT_MS });
    assert.match(await page.getAttribute('#picture', 'alt'), /viewer-test/);

    assert.match(await upload(port, 'viewer-test', second), /^HTTP\/1\.1 200 /);
    await waitForWidth(page, 96);
    assert.equal(await page.evaluate(() => window.loadMarker), 'first load');
    // Pushed, not polled: the page asked for the state only through its event stream.
    assert.ok(requests.includes('/pictures/viewer-test/events'));
    assert.ok(!requests.includes('/pictures/viewer-test/latest.json'));

    // A hidden tab fetches nothing, and shown again it catches up.
    await setHidden(page, true);
    const requestsWhileShown = requests.length;
    assert.match(await upload(port, 'viewer-test', first), /^HTTP\/1\.1 200 /);
    await new Promise((resolve) => setTimeout(resolve, 1500));
    assert.equal(requests.length, requestsWhileShown);
    assert.equal(await shownWidth(page), 96);
    await setHidden(page, false);
    await waitForWidth(page, 64);

    // The uploader's delete ends the show.
    assert.equal(await deletePictures(port, 'viewer-test'), 200);
    await page.waitForFunction(() => document.getElementById('status').textContent.includes('has ended'),
      null, { timeout: WAIT_MS });
    assert.equal(await shownWidth(page), 0);
    await page.reload();
    await page.waitForFunction(() => document.getElementById('status').textContent.includes('has ended'),
      null, { timeout: WAIT_MS });
    assert.deepEqual(pageErrors, []);

    // With the server gone the page says so and keeps the last picture.
    assert.match(await upload(port, 'viewer-test', second), /^HTTP\/1\.1 200 /);
    await waitForWidth(page, 96);
    await stopServer(child);
    await page.waitForFunction(() => document.getElementById('status').classList.contains('problem'),
      null, { timeout: WAIT_MS });
    assert.equal(await shownWidth(page), 96);
    await page.close();
  } finally {
    await stopServer(child);
  }
});

test('without an event stream the page polls', { timeout: 60000 }, async () => {
  const first = fs.readFileSync(path.join(dataDirectory, 'first.jpg'));
  const { child, port } = await startServer();
  try {
    const { page, pageErrors } = await openPage();
    await page.addInitScript(() => { delete window.EventSource; });
    await page.goto(`http://127.0.0.1:${port}/?name=polled`);
    assert.match(await upload(port, 'polled', first), /^HTTP\/1\.1 200 /);
    await waitForWidth(page, 64);
    assert.equal(await deletePictures(port, 'polled'), 200);
    await page.waitForFunction(() => document.getElementById('status').textContent.includes('has ended'),
      null, { timeout: WAIT_MS });
    assert.deepEqual(pageErrors, []);
    await page.close();
  } finally {
    await stopServer(child);
  }
});

test('behind a proxy at a path prefix the secret viewer link works', { timeout: 60000 }, async () => {
  const first = fs.readFileSync(path.join(dataDirectory, 'first.jpg'));
  const viewKey = 'Secret-viewer-key_0123456789';
  const { child, port } = await startServer({ LUMIVANTA_VIEW_KEY: viewKey });
  const proxy = await startPrefixProxy(port);
  try {
    const { page, pageErrors } = await openPage();
    await page.goto(`http://127.0.0.1:${proxy.address().port}/screen/v/${viewKey}/?name=proxied`);
    assert.match(await upload(port, 'proxied', first), /^HTTP\/1\.1 200 /);
    await waitForWidth(page, 64);
    assert.deepEqual(pageErrors, []);
    await page.close();
  } finally {
    proxy.closeAllConnections();
    proxy.close();
    await stopServer(child);
  }
});
