// Opens the viewer page of a real lumivanta-server in headless Chromium, on a
// desktop window (1280x800) and on a phone (390x844, touch, 3 pixels per CSS
// pixel), and checks that uploads appear without a reload, pushed or polled,
// that a delete shows as ended, that a hidden tab fetches nothing, that the
// page works behind a proxy at a path prefix, and that the last good picture
// stays when the server goes away; and that the picture fills the window with
// its age over it, and takes the 1:1 view, panning, pinching and fullscreen,
// in readable colours with the focus in sight.
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
const contexts = new Map();
let largeJpeg = null;

// A 1920x1080 picture, white in one corner and black in the other, made by the browser's own encoder.
async function makeLargeJpeg() {
  const page = await browser.newPage();
  const base64 = await page.evaluate(async () => {
    const canvas = new OffscreenCanvas(1920, 1080);
    const drawing = canvas.getContext('2d');
    const gradient = drawing.createLinearGradient(0, 0, 1920, 1080);
    gradient.addColorStop(0, '#ffffff');
    gradient.addColorStop(1, '#000000');
    drawing.fillStyle = gradient;
    drawing.fillRect(0, 0, 1920, 1080);
    const bytes = new Uint8Array(await (await canvas.convertToBlob({ type: 'image/jpeg' })).arrayBuffer());
    return btoa(Array.from(bytes, (byte) => String.fromCharCode(byte)).join(''));
  });
  await page.close();
  return Buffer.from(base64, 'base64');
}

before(async () => {
  browser = await chromium.launch({ executablePath: '/usr/bin/chromium', headless: true, args: CHROMIUM_ARGS });
  for (const { label, ...options } of SIZES) {
    contexts.set(label, await browser.newContext(options));
  }
  largeJpeg = await makeLargeJpeg();
});

after(async () => {
  await browser?.close();
});

async function openPage(size) {
  const page = await contexts.get(size.label).newPage();
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

function near(actual, expected, what) {
  assert.ok(Math.abs(actual - expected) <= 1.5, `${what}: ${actual}, expected ${expected}`);
}

// Where the stage, the picture and what stands over it lie in the window, and
// whether the age is really on top where it is drawn.
function layout(page) {
  return page.evaluate(() => {
    const box = (id) => document.getElementById(id).getBoundingClientRect().toJSON();
    const age = box('age');
    // Hit testing skips what lets pointers through, as the frame does.
    const frame = document.getElementById('frame');
    frame.style.pointerEvents = 'auto';
    const topmost = document.elementFromPoint(age.x + age.width / 2, age.y + age.height / 2);
    frame.style.pointerEvents = '';
    return { stage: box('stage'), picture: box('picture'), live: box('live'), controls: box('controls'),
      ageOnTop: document.getElementById('live').contains(topmost), zoomed: document.getElementById('stage')
        .classList.contains('zoomed'), window: { width: innerWidth, height: innerHeight } };
  });
}

// The picture fits the stage at its aspect ratio, centred; the stage takes the
// window's whole width down to its bottom (all of it in fullscreen); the live
// line and the buttons stand over the picture, in sight.
async function assertFits(page, natural, { fullscreen = false } = {}) {
  const at = await layout(page);
  near(at.stage.width, at.window.width, 'stage width');
  near(at.stage.bottom, at.window.height, 'stage bottom');
  if (fullscreen) {
    near(at.stage.top, 0, 'stage top in fullscreen');
  }
  const scale = Math.min(at.stage.width / natural.width, at.stage.height / natural.height);
  near(at.picture.width, natural.width * scale, 'picture width');
  near(at.picture.height, natural.height * scale, 'picture height');
  near(at.picture.x - at.stage.x, (at.stage.width - at.picture.width) / 2, 'picture left');
  near(at.picture.y - at.stage.y, (at.stage.height - at.picture.height) / 2, 'picture top');
  for (const part of [at.live, at.controls]) {
    assert.ok(part.left >= at.picture.left && part.right <= at.picture.right && part.top >= at.picture.top &&
      part.bottom <= at.picture.bottom && part.bottom <= at.window.height, `not over the picture: ${JSON.stringify(at)}`);
  }
  assert.ok(at.ageOnTop && !at.zoomed);
}

// The contrast of every visible text with what lies under it, in the worst
// case where part of the picture shows through (anything from white to black).
function textContrasts() {
  const parse = (text) => {
    const [r, g, b, a = 1] = text.match(/[\d.]+/g).map(Number);
    return { r, g, b, a };
  };
  const over = (top, under) => ({ r: top.r * top.a + under.r * (1 - top.a), g: top.g * top.a + under.g * (1 - top.a),
    b: top.b * top.a + under.b * (1 - top.a), a: 1 });
  const luminance = ({ r, g, b }) => {
    const linear = (c) => (c / 255 <= 0.04045 ? c / 255 / 12.92 : ((c / 255 + 0.055) / 1.055) ** 2.4);
    return 0.2126 * linear(r) + 0.7152 * linear(g) + 0.0722 * linear(b);
  };
  const ratio = (a, b) => (Math.max(luminance(a), luminance(b)) + 0.05) / (Math.min(luminance(a), luminance(b)) + 0.05);
  const results = [];
  for (const element of document.querySelectorAll('body *')) {
    const text = element instanceof HTMLInputElement ? element.value : [...element.childNodes]
      .filter((node) => node.nodeType === Node.TEXT_NODE).map((node) => node.textContent).join('').trim();
    if (text === '' || !element.checkVisibility() || element.closest('.hidden-text')) {
      continue;
    }
    const layers = [];
    let bases = [parse('rgb(255, 255, 255)'), parse('rgb(0, 0, 0)')];
    for (let node = element; node !== null && node.id !== 'stage'; node = node.parentElement) {
      layers.push(parse(getComputedStyle(node).backgroundColor));
      if (layers.at(-1).a === 1) {
        bases = [layers.pop()];
        break;
      }
    }
    const color = parse(getComputedStyle(element).color);
    results.push({ text, ratio: Math.min(...bases.map((base) => ratio(color, layers.reduceRight((under, top) => over(top, under), base)))) });
  }
  return results;
}

// The lowest text contrast in both themes, with the name form folded and open; each at least 4.5:1.
async function assertReadable(page) {
  let lowest = Infinity;
  for (const colorScheme of ['light', 'dark']) {
    await page.emulateMedia({ colorScheme });
    for (const formOpen of [false, true]) {
      if (formOpen) {
        await page.click('#change');
      }
      const results = await page.evaluate(textContrasts);
      assert.ok(results.some(({ text }) => /^updated/.test(text)));
      for (const { text, ratio } of results) {
        assert.ok(ratio >= 4.5, `"${text}" has a contrast of ${ratio.toFixed(2)}:1 in the ${colorScheme} theme`);
        lowest = Math.min(lowest, ratio);
      }
    }
    await page.keyboard.press('Escape');
  }
  await page.emulateMedia({ colorScheme: null });
  return lowest;
}

// Fingers on the page: each step lists where every finger is, then they all lift.
async function touch(page, steps) {
  const session = await page.context().newCDPSession(page);
  const points = (step) => step.map(([x, y], id) => ({ x, y, id }));
  await session.send('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: points(steps[0]) });
  for (const step of steps.slice(1)) {
    await session.send('Input.dispatchTouchEvent', { type: 'touchMove', touchPoints: points(step) });
  }
  await session.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
  await session.detach();
}

// A tap, a double tap or a drag: by finger on the phone, by mouse on the desktop.
async function press(page, size, kind, [x, y], [dx, dy] = [0, 0]) {
  if (kind === 'drag') {
    if (size.hasTouch) {
      await touch(page, [[[x, y]], [[x + dx / 2, y + dy / 2]], [[x + dx, y + dy]]]);
    } else {
      await page.mouse.move(x, y);
      await page.mouse.down();
      await page.mouse.move(x + dx, y + dy, { steps: 4 });
      await page.mouse.up();
    }
  } else if (size.hasTouch) {
    await page.touchscreen.tap(x, y);
    if (kind === 'double') {
      await page.touchscreen.tap(x, y);
    }
  } else if (kind === 'double') {
    await page.mouse.dblclick(x, y);
  } else {
    await page.mouse.click(x, y);
  }
}

function waitForFullscreen(page, on) {
  return page.waitForFunction((expected) => (document.fullscreenElement === document.getElementById('stage')) === expected &&
    document.getElementById('fullscreen').getAttribute('aria-pressed') === String(expected), on, { timeout: WAIT_MS });
}

function waitForPictureWidth(page, width) {
  return page.waitForFunction((expected) => Math.abs(document.getElementById('picture').getBoundingClientRect().width -
    expected) < 1, width, { timeout: WAIT_MS });
}

// The large picture on show: how it fits, the name folded away, the texts,
// the focus, the 1:1 view and its panning, pinching and fullscreen.
async function checkPictureView(page, size, context) {
  const natural = { width: 1920, height: 1080 };
  await assertFits(page, natural);
  assert.equal(await page.title(), 'viewer-test – Lumivanta viewer');
  assert.ok(await page.isHidden('#watch-form'));
  assert.equal(await page.textContent('#watched-name'), '“viewer-test”');
  assert.equal(await page.textContent('#live-text'), 'Live');
  assert.ok(await page.evaluate(() => document.getElementById('live').classList.contains('on')));
  assert.match(await page.getAttribute('#stage', 'aria-label'), /1:1.*fullscreen/);

  // "change" brings the form back with the name ready to edit; Escape folds it again.
  await page.click('#change');
  assert.ok(await page.isVisible('#watch-form'));
  assert.equal(await page.evaluate(() => document.activeElement.id), 'name');
  await page.keyboard.press('Escape');
  assert.ok(await page.isHidden('#watch-form'));

  context.diagnostic(`${size.label}: lowest text contrast ${(await assertReadable(page)).toFixed(2)}:1`);

  // Every control takes the focus in turn, with a visible outline.
  await page.click('#change');
  await page.keyboard.press('Escape');
  const focused = [];
  for (let step = 0; step < 4; step += 1) {
    if (step > 0) {
      await page.keyboard.press('Tab');
    }
    focused.push(await page.evaluate(() => {
      const style = getComputedStyle(document.activeElement);
      return `${document.activeElement.id} ${style.outlineStyle !== 'none' && parseFloat(style.outlineWidth) >= 2}`;
    }));
  }
  assert.deepEqual(focused, ['change true', 'stage true', 'actual-size true', 'fullscreen true']);

  // The key 1 shows the picture 1:1 in device pixels, and again fits it.
  const actualWidth = natural.width / (size.deviceScaleFactor ?? 1);
  await page.keyboard.press('1');
  await waitForPictureWidth(page, actualWidth);
  assert.equal(await page.getAttribute('#actual-size', 'aria-pressed'), 'true');
  await page.keyboard.press('1');
  await assertFits(page, natural);

  // A click or tap zooms in about its point; a drag pans without leaving a gap; a click fits again.
  const fitted = await layout(page);
  const spot = [fitted.picture.x + fitted.picture.width * 0.6, fitted.picture.y + fitted.picture.height * 0.6];
  await press(page, size, 'single', spot);
  await waitForPictureWidth(page, actualWidth);
  let zoomed = await layout(page);
  near((spot[0] - zoomed.picture.x) / zoomed.picture.width, 0.6, 'clicked point');
  await press(page, size, 'drag', spot, [-60, 0]);
  const panned = await layout(page);
  near(panned.picture.x, zoomed.picture.x - 60, 'panned picture');
  await press(page, size, 'drag', spot, [300, 0]);
  await press(page, size, 'drag', spot, [300, 0]);
  zoomed = await layout(page);
  assert.ok(zoomed.zoomed);
  near(zoomed.picture.x, zoomed.stage.x, 'picture panned to its left edge');
  await press(page, size, 'single', spot);
  await page.waitForFunction(() => !document.getElementById('stage').classList.contains('zoomed'), null, { timeout: WAIT_MS });
  await assertFits(page, natural);

  // Two fingers spread enlarge the picture by their distance, and pinched together fit it again.
  if (size.hasTouch) {
    const [x, y] = spot;
    await touch(page, [[[x - 40, y], [x + 40, y]], [[x - 60, y], [x + 60, y]], [[x - 80, y], [x + 80, y]]]);
    await waitForPictureWidth(page, fitted.picture.width * 2);
    await touch(page, [[[x - 80, y], [x + 80, y]], [[x - 10, y], [x + 10, y]]]);
    await assertFits(page, natural);
  }

  // Fullscreen by the button, a double click or tap, and the key F.
  await page.click('#fullscreen');
  await waitForFullscreen(page, true);
  await assertFits(page, natural, { fullscreen: true });
  await page.keyboard.press('f');
  await waitForFullscreen(page, false);
  await press(page, size, 'double', spot);
  await waitForFullscreen(page, true);
  await page.keyboard.press('F');
  await waitForFullscreen(page, false);
  assert.ok(!(await layout(page)).zoomed);
  await assertFits(page, natural);
}

function shownWidth(page) {
  return page.evaluate(() => {
    const stage = document.getElementById('stage');
    return stage.hidden ? 0 : document.getElementById('picture').naturalWidth;
  });
}

for (const size of SIZES) {
  test(`the viewer page follows the uploads of one name at ${size.label}`, { timeout: 60000 }, async (context) => {
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
      assert.equal(await page.textContent('#live-text'), 'Not live');
      await page.close();
    } finally {
      await stopServer(child);
    }
  });

  test(`without an event stream the page polls at ${size.label}`, { timeout: 30000 }, async () => {
    const first = fs.readFileSync(path.join(dataDirectory, 'first.jpg'));
    const { child, port } = await startServer();
    try {
      const { page, pageErrors } = await openPage(size);
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

  test(`behind a proxy at a path prefix the secret viewer link works at ${size.label}`, { timeout: 30000 }, async () => {
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
  });
}
