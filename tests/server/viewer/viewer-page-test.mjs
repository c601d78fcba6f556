// Opens the viewer page of a real lumivanta-server in headless Chromium and
// checks that uploads appear without a reload and that the last good picture
// stays when the server goes away.
// Usage: node viewer-page-test.mjs SERVER_BINARY TEST_DATA_DIR

import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { test } from 'node:test';

const { chromium } = await import('playwright-core').catch(() => {
  throw new Error('playwright-core is missing; run scripts/install-deps');
});

const [serverBinary, dataDirectory] = process.argv.slice(2);
const WAIT_MS = 15000;
const BOUNDARY = '--MULTI-PARTS-FORM-DATA-BOUNDARY';
const CHROMIUM_ARGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];

function startServer() {
  const child = spawn(serverBinary, ['--listen', '127.0.0.1:0'], { stdio: ['ignore', 'pipe', 'inherit'] });
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error('the server did not start')), WAIT_MS);
    let output = '';
    child.stdout.on('data', (chunk) => {
      output += chunk;
      const match = /listening on http:\/\/127\.0\.0\.1:(\d+)\//.exec(output);
      if (match) {
        clearTimeout(timer);
        resolve({ child, port: Number(match[1]) });
      }
    });
    child.on('exit', () => reject(new Error('the server ended early')));
  });
}

function stopServer(child) {
  if (child.exitCode !== null) {
    return Promise.resolve();
  }
  const exited = new Promise((resolve) => child.once('exit', resolve));
  child.kill('SIGTERM');
  return exited;
}

// The upload exactly as the Lumivanta program sends it.
function upload(port, name, jpeg) {
  const body = Buffer.concat([
    Buffer.from(`--${BOUNDARY}\r\nContent-Disposition: form-data; name="thescreen"; filename="image.jpg"\r\n` +
      'Content-Type: image/jpeg\r\n\r\n'),
    jpeg,
    Buffer.from(`\r\n--${BOUNDARY}--\r\n`),
  ]);
  const head = `POST /?server&stream_name=${name} HTTP/1.0\r\nHost: 127.0.0.1:${port}\r\nAccept: */*\r\n` +
    `Content-Type: multipart/form-data; boundary=${BOUNDARY}\r\nContent-Length: ${body.length}\r\n\r\n`;
  return new Promise((resolve, reject) => {
    const socket = net.connect(port, '127.0.0.1', () => socket.write(Buffer.concat([Buffer.from(head), body])));
    let answer = '';
    socket.on('data', (chunk) => { answer += chunk; });
    socket.on('end', () => resolve(answer));
    socket.on('error', reject);
  });
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
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'lumivanta-viewer-'));
  const { child, port } = await startServer();
  let context = null;
  try {
    context = await chromium.launchPersistentContext(profile, {
      executablePath: '/usr/bin/chromium', headless: true, args: CHROMIUM_ARGS,
    });
    const page = context.pages()[0] ?? await context.newPage();
    const pageErrors = [];
    page.on('pageerror', (error) => pageErrors.push(error.message));
    page.on('console', (message) => { if (message.type() === 'error') pageErrors.push(message.text() + ' ' + message.location().url); });

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
    await page.waitForFunction(() => document.getElementById('picture').naturalWidth === 64 &&
      !document.getElementById('view').hidden, null, { timeout: WAIT_MS });
    await page.waitForFunction(() => /^updated \d+ s ago$/.test(document.getElementById('age').textContent),
      null, { timeout: WAIT_MS });
    assert.match(await page.getAttribute('#picture', 'alt'), /viewer-test/);

    assert.match(await upload(port, 'viewer-test', second), /^HTTP\/1\.1 200 /);
    await page.waitForFunction(() => document.getElementById('picture').naturalWidth === 96,
      null, { timeout: WAIT_MS });
    assert.equal(await page.evaluate(() => window.loadMarker), 'first load');
    assert.deepEqual(pageErrors, []);

    // With the server gone the page says so and keeps the last picture.
    await stopServer(child);
    await page.waitForFunction(() => document.getElementById('status').classList.contains('problem'),
      null, { timeout: WAIT_MS });
    assert.equal(await shownWidth(page), 96);
    assert.equal(await page.evaluate(() => window.loadMarker), 'first load');
  } finally {
    await context?.close();
    await stopServer(child);
    fs.rmSync(profile, { recursive: true, force: true });
  }
});
