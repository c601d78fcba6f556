// Saves the viewer page, once it shows a picture, as a desktop window and as
// a phone shows it, for scripts/screenshots.
// Usage: node page-screenshots.mjs VIEWER_ADDRESS OUTPUT_DIR
import path from 'node:path';

import { chromium } from 'playwright-core';

import { CHROMIUM_ARGS } from './picture-server.mjs';

const [address, outputDirectory] = process.argv.slice(2);
const SHOTS = [
  { file: 'viewer-page-desktop.png', viewport: { width: 1280, height: 800 } },
  { file: 'viewer-page-phone.png', viewport: { width: 390, height: 844 }, isMobile: true, hasTouch: true },
];

const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', headless: true, args: CHROMIUM_ARGS });
try {
  for (const { file, ...options } of SHOTS) {
    const page = await browser.newPage(options);
    await page.goto(address);
    await page.waitForFunction(() => document.getElementById('live').classList.contains('on') &&
      /^updated/.test(document.getElementById('age').textContent), null, { timeout: 15000 });
    await page.screenshot({ path: path.join(outputDirectory, file) });
    console.log(`scripts/screenshots: ${path.join(outputDirectory, file)}`);
    await page.close();
  }
} finally {
  await browser.close();
}
