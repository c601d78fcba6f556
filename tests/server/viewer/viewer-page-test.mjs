// Opens the viewer page of a real lumivanta-server in headless Chromium and
// checks that uploads appear without a reload, pushed or polled, each fetched
// once from its own address and renewed by the same bytes, that a delete
// shows as ended, that a hidden tab fetches nothing, that the page works behind
// a proxy at a path prefix, and that the last good picture stays when the
// server goes away; and that the picture fills the window with its age over
// it and takes the 1:1 view, panning, pinching and fullscreen, in readable
// colours with the focus in sight. Each test runs on a desktop window and on
// a phone.
// Usage: node viewer-page-test.mjs SERVER_BINARY TEST_DATA_DIR

import assert from 'node:assert/strict';
import fs from 'node:fs';
import http from 'node:http';
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

const SIZES = [
  { label: '1280x800', viewport: { width: 1280, height: 800 } },
  { label: '390x844', viewport: { width: 390, height: 844 }, deviceScaleFactor: 3, isMobile: true, hasTouch: true },
];
let browser = null;
let largeJpeg = null;

before(async () => {
  browser = await chromium.launch({ executablePath: '/usr/bin/chromium', headless: true, args: CHROMIUM_ARGS });
  // A 1920x1080 picture from white to black: larger than both windows, and under the texts over it.
  const page = await browser.newPage({ viewport: { width: 1920, height: 1080 } });
  await page.setContent('<body style="margin:0;background:linear-gradient(135deg,#fff,#000)">');
  largeJpeg = await page.screenshot({ type: 'jpeg' });
  await page.close();
});

after(() => browser?.close());

async function openPage({ label, ...size }) {
  const page = await browser.newPage(size);
  page.setDefaultTimeout(WAIT_MS);
  const pageErrors = [];
  page.on('pageerror', (error) => pageErrors.push(error.message));
  page.on('console', (message) => {
    if (message.type() === 'error') pageErrors.push(message.text() + ' ' + message.location().url);
  });
  return { page, pageErrors };
}

function waitForWidth(page, width) {
  return page.waitForFunction((expected) => document.getElementById('picture').naturalWidth === expected &&
    !document.getElementById('stage').hidden, width, { timeout: WAIT_MS });
}

// Makes the page believe its tab was hidden or shown again.
function setHidden(page, hidden) {
  return page.evaluate((isHidden) => {
    Object.defineProperty(document, 'hidden', { value: isHidden, configurable: true });
    Object.defineProperty(document, 'visibilityState', { value: isHidden ? 'hidden' : 'visible', configurable: true });
    document.dispatchEvent(new Event('visibilitychange'));
  }, hidden);
}

// Where the picture lies, and whether it fits the stage, unzoomed, at its aspect ratio, centred, the stage
// filling the window's width down to its bottom, with the age and the buttons over it, in sight and on top.
function view(page) {
  return page.evaluate(() => {
    const [stage, picture, frame] = ['stage', 'picture', 'frame'].map((id) => document.getElementById(id));
    const [stageBox, box] = [stage.getBoundingClientRect(), picture.getBoundingClientRect()];
    const scale = Math.min(stageBox.width / 1920, stageBox.height / 1080);
    const expected = [innerWidth, innerHeight, 1920 * scale, (stageBox.width - 1920 * scale) / 2, 1080 * scale,
      (stageBox.height - 1080 * scale) / 2];
    const actual = [stageBox.width, stageBox.bottom, box.width, box.x - stageBox.x, box.height, box.y - stageBox.y];
    frame.style.pointerEvents = 'auto'; // hit testing skips what lets pointers through
    const over = ['age', 'fullscreen'].map((id) => document.getElementById(id).getBoundingClientRect())
      .map((part) => document.elementsFromPoint(part.x + part.width / 2, part.y + part.height / 2))
      .every((hits) => frame.contains(hits[0]) && hits.includes(picture));
    frame.style.pointerEvents = '';
    const zoomed = stage.classList.contains('zoomed');
    return { picture: box.toJSON(), zoomed,
      fits: !zoomed && over && actual.every((value, index) => Math.abs(value - expected[index]) < 1.5) };
  });
}

// The lowest contrast of a visible text with what lies under it, the picture under the stage's texts
// being anything from white to black.
function lowestTextContrast() {
  const rgba = (text) => [...text.match(/[\d.]+/g).map(Number), 1].slice(0, 4);
  const luminance = (color) => color.slice(0, 3).map((value) => value / 255)
    .map((value) => (value <= 0.04045 ? value / 12.92 : ((value + 0.055) / 1.055) ** 2.4))
    .reduce((sum, value, index) => sum + value * [0.2126, 0.7152, 0.0722][index], 0.05);
  let lowest = { ratio: Infinity };
  for (const element of document.querySelectorAll('body *:not(.hidden-text)')) {
    const text = element instanceof HTMLInputElement ? element.value : [...element.childNodes]
      .filter((node) => node.nodeType === Node.TEXT_NODE).map((node) => node.textContent).join('').trim();
    let [layers, bases] = [[], [[255, 255, 255, 1], [0, 0, 0, 1]]];
    for (let node = element; node && node.id !== 'stage' && bases.length === 2; node = node.parentElement) {
      layers.push(rgba(getComputedStyle(node).backgroundColor));
      bases = layers.at(-1)[3] === 1 ? [layers.pop()] : bases;
    }
    const color = luminance(rgba(getComputedStyle(element).color));
    for (const base of text && element.checkVisibility() ? bases : []) {
      const under = luminance(layers.reduceRight((below, top) => below.map((value, index) =>
        top[index] * top[3] + value * (1 - top[3])), base));
      const ratio = Math.max(under, color) / Math.min(under, color);
      lowest = ratio < lowest.ratio ? { text, ratio } : lowest;
    }
  }
  return lowest;
}

// Fingers on the page: each step lists where every finger is, then they all lift.
async function touch(page, steps) {
  const session = await page.context().newCDPSession(page);
  for (const [index, step] of steps.entries()) {
    const touchPoints = step.map(([x, y], id) => ({ x, y, id }));
    await session.send('Input.dispatchTouchEvent', { type: index ? 'touchMove' : 'touchStart', touchPoints });
  }
  await session.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
}

// A tap, a double tap or a drag by dx: by finger on the phone, by mouse on the desktop.
async function act(page, size, kind, [x, y], dx = 0) {
  if (kind === 'drag') {
    return size.hasTouch ? touch(page, [[[x, y]], [[x + dx / 2, y]], [[x + dx, y]]]) : page.mouse.move(x, y)
      .then(() => page.mouse.down()).then(() => page.mouse.move(x + dx, y, { steps: 4 })).then(() => page.mouse.up());
  }
  for (let count = kind === 'double' && size.hasTouch ? 2 : 1; count > 0; count -= 1) {
    await (size.hasTouch ? page.touchscreen.tap(x, y) : page.mouse[kind === 'double' ? 'dblclick' : 'click'](x, y));
  }
}

const pictureWidth = (width) => Math.abs(document.getElementById('picture').getBoundingClientRect().width - width) < 1;
const fullscreen = (on) => (document.fullscreenElement === document.getElementById('stage')) === on &&
  document.getElementById('fullscreen').getAttribute('aria-pressed') === String(on);

// The large picture on show: how it fits, the name folded into the title and a "change" link, readable
// texts in both themes, the focus, the 1:1 view with its panning, pinching and fullscreen.
async function checkPictureView(page, size, context) {
  assert.ok((await view(page)).fits);
  assert.equal(await page.title(), 'viewer-test – Lumivanta viewer');
  assert.equal(await page.textContent('#live-text'), 'Live');
  for (const colorScheme of ['light', 'dark']) {
    await page.emulateMedia({ colorScheme });
    assert.ok(await page.isHidden('#watch-form'));
    for (const formOpen of [false, true]) {
      await (formOpen ? page.click('#change') : null);
      const lowest = await page.evaluate(lowestTextContrast);
      assert.ok(lowest.ratio >= 4.5, JSON.stringify(lowest));
      context.diagnostic(`${colorScheme}, form ${formOpen ? 'open' : 'folded'}: lowest ${lowest.ratio.toFixed(2)}:1`);
    }
    // "change" brought the form back with the name ready to edit; Escape folds it again.
    assert.equal(await page.evaluate(() => document.activeElement.id), 'name');
    await page.keyboard.press('Escape');
  }
  // The focus, left on "change" by Escape, moves on through the controls, each with a visible outline.
  const focused = [];
  for (const key of [null, 'Tab', 'Tab', 'Tab']) {
    await (key && page.keyboard.press(key));
    focused.push(await page.evaluate(() => `${document.activeElement.id} ${getComputedStyle(document.activeElement)
      .outlineWidth}`));
  }
  assert.deepEqual(focused, ['change 3px', 'stage 3px', 'actual-size 3px', 'fullscreen 3px']);

  // The key 1 shows the picture 1:1 in device pixels; so does a click or tap, about its point, where a
  // drag pans, never past the picture's edge; a second click fits it again.
  const actualWidth = 1920 / (size.deviceScaleFactor ?? 1);
  await page.keyboard.press('1');
  await page.waitForFunction(pictureWidth, actualWidth);
  assert.equal(await page.getAttribute('#actual-size', 'aria-pressed'), 'true');
  await page.keyboard.press('1');
  const fitted = await view(page);
  const spot = [fitted.picture.x + fitted.picture.width * 0.6, fitted.picture.y + fitted.picture.height * 0.6];
  await act(page, size, 'tap', spot);
  await page.waitForFunction(pictureWidth, actualWidth);
  const zoomed = (await view(page)).picture;
  assert.ok(fitted.fits && Math.abs((spot[0] - zoomed.x) / zoomed.width - 0.6) < 0.01);
  await act(page, size, 'drag', spot, -60);
  assert.ok(Math.abs((await view(page)).picture.x - (zoomed.x - 60)) < 1.5);
  await act(page, size, 'drag', spot, 300);
  await act(page, size, 'drag', spot, 300);
  assert.ok((await view(page)).zoomed && Math.abs((await view(page)).picture.x) < 0.5);
  await act(page, size, 'tap', spot);
  await page.waitForFunction(() => !document.getElementById('stage').classList.contains('zoomed'));
  assert.ok((await view(page)).fits);

  // Two fingers spread to twice their distance double the picture's size; pinched together they fit it again.
  if (size.hasTouch) {
    const [x, y] = spot;
    await touch(page, [[[x - 40, y], [x + 40, y]], [[x - 60, y], [x + 60, y]], [[x - 80, y], [x + 80, y]]]);
    await page.waitForFunction(pictureWidth, fitted.picture.width * 2);
    await touch(page, [[[x - 80, y], [x + 80, y]], [[x - 10, y], [x + 10, y]]]);
    assert.ok((await view(page)).fits);
  }

  // Fullscreen by the button, the key F, and a double click or tap, the picture fitting the whole window.
  await page.click('#fullscreen');
  await page.waitForFunction(fullscreen, true);
  assert.ok((await view(page)).fits);
  await page.keyboard.press('f');
  await page.waitForFunction(fullscreen, false);
  await act(page, size, 'double', spot);
  await page.waitForFunction(fullscreen, true);
}

function shownWidth(page) {
  return page.evaluate(() => {
    const stage = document.getElementById('stage');
    return stage.hidden ? 0 : document.getElementById('picture').naturalWidth;
  });
}

async function followsUploads(size, context) {
  const first = fs.readFileSync(path.join(dataDirectory, 'first.jpg'));
  const second = fs.readFileSync(path.join(dataDirectory, 'second.jpg'));
  const { child, port } = await startServer();
  try {
    const { page, pageErrors } = await openPage(size);
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
    // Each picture comes from its sequence's own address; the same bytes again only renew the age.
    const pictureFetches = () => requests.filter((request) => request.endsWith('.jpg'));
    assert.ok(pictureFetches().every((request) => /^\/pictures\/viewer-test\/\d+\.jpg$/.test(request)),
      pictureFetches().join(' '));
    const fetchedBefore = pictureFetches().length;
    await page.waitForFunction(() => /^updated [2-9] s ago$/.test(document.getElementById('age').textContent),
      null, { timeout: WAIT_MS });
    assert.match(await upload(port, 'viewer-test', second), /^HTTP\/1\.1 200 /);
    await page.waitForFunction(() => /^updated [01] s ago$/.test(document.getElementById('age').textContent),
      null, { timeout: WAIT_MS });
    assert.equal(pictureFetches().length, fetchedBefore);

    assert.match(await upload(port, 'viewer-test', largeJpeg), /^HTTP\/1\.1 200 /);
    await waitForWidth(page, 1920);
    await checkPictureView(page, size, context);

    // A hidden tab fetches nothing, and shown again it catches up.
    await setHidden(page, true);
    const requestsWhileShown = requests.length;
    assert.match(await upload(port, 'viewer-test', first), /^HTTP\/1\.1 200 /);
    await new Promise((resolve) => setTimeout(resolve, 1500));
    assert.equal(requests.length, requestsWhileShown);
    assert.equal(await shownWidth(page), 1920);
    await setHidden(page, false);
    await waitForWidth(page, 64);

    // The uploader's delete ends the show, and the fullscreen view left on above.
    assert.equal(await deletePictures(port, 'viewer-test'), 200);
    await page.waitForFunction(() => document.getElementById('status').textContent.includes('has ended'),
      null, { timeout: WAIT_MS });
    assert.equal(await shownWidth(page), 0);
    await page.waitForFunction(fullscreen, false);
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
    assert.equal(await page.textContent('#live-text'), 'Not live');
    assert.ok((await page.evaluate(lowestTextContrast)).ratio >= 4.5);
    await page.close();
  } finally {
    await stopServer(child);
  }
}

async function pollsAndFillsWithoutBrowserFeatures(size) {
  const first = fs.readFileSync(path.join(dataDirectory, 'first.jpg'));
  const { child, port } = await startServer();
  try {
    const { page, pageErrors } = await openPage(size);
    await page.addInitScript(() => { delete window.EventSource; delete Element.prototype.requestFullscreen; });
    await page.goto(`http://127.0.0.1:${port}/?name=polled`);
    assert.match(await upload(port, 'polled', first), /^HTTP\/1\.1 200 /);
    await waitForWidth(page, 64);
    // Without element fullscreen (as on iPhones) the stage fills the window instead.
    const stageBox = () => page.evaluate(() => Object.values(document.getElementById('stage').getBoundingClientRect()
      .toJSON()).slice(0, 4).concat(document.getElementById('fullscreen').ariaPressed));
    await page.keyboard.press('f');
    assert.deepEqual(await stageBox(), [0, 0, size.viewport.width, size.viewport.height, 'true']);
    await page.keyboard.press('Escape');
    assert.equal((await stageBox())[4], 'false');
    assert.equal(await deletePictures(port, 'polled'), 200);
    await page.waitForFunction(() => document.getElementById('status').textContent.includes('has ended'),
      null, { timeout: WAIT_MS });
    assert.deepEqual(pageErrors, []);
    await page.close();
  } finally {
    await stopServer(child);
  }
}

async function worksBehindPrefixProxy(size) {
  const first = fs.readFileSync(path.join(dataDirectory, 'first.jpg'));
  const viewKey = 'Secret-viewer-key_0123456789';
  const { child, port } = await startServer({ LUMIVANTA_VIEW_KEY: viewKey });
  const proxy = await startPrefixProxy(port);
  try {
    const { page, pageErrors } = await openPage(size);
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
}

for (const size of SIZES) {
  test(`the viewer page follows the uploads of one name at ${size.label}`, { timeout: 60000 },
    (context) => followsUploads(size, context));
  test(`without an event stream it polls, without element fullscreen it fills the window, at ${size.label}`,
    { timeout: 30000 }, () => pollsAndFillsWithoutBrowserFeatures(size));
  test(`behind a proxy at a path prefix the secret viewer link works at ${size.label}`, { timeout: 30000 },
    () => worksBehindPrefixProxy(size));
}
