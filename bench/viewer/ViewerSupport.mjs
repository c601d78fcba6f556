// What the viewer benchmarks share: the picture server, uploads as the
// program sends them, and headless Chromium from the viewer test's packages.
import fs from 'node:fs';
import { createRequire } from 'node:module';

import { startServer as startPictureServer, upload as postPicture } from '../../tests/server/viewer/picture-server.mjs';

const require = createRequire(new URL('../../tests/server/viewer/package.json', import.meta.url));
export const { chromium } = require('playwright-core');

export { CHROMIUM_ARGS, stopServer } from '../../tests/server/viewer/picture-server.mjs';

// Starts lumivanta-server on a free loopback port, without its request log.
export function startServer(binary) {
  return startPictureServer(binary, { logTo: 'ignore' });
}

// Posts the picture as the program does; rejects unless the server took it.
export async function upload(port, name, jpeg) {
  const answer = await postPicture(port, name, jpeg);
  if (!answer.startsWith('HTTP/1.1 200 ')) {
    throw new Error(answer);
  }
  return answer;
}

// The server's processor time so far, in seconds.
export function cpuSeconds(pid) {
  const fields = fs.readFileSync(`/proc/${pid}/stat`, 'utf8').split(') ')[1].split(' ');
  return (Number(fields[11]) + Number(fields[12])) / 100;
}

// Wall-clock milliseconds, comparable with a page's performance.timeOrigin + performance.now().
export function nowMs() {
  return performance.timeOrigin + performance.now();
}

// Calls report(time) in node each time the page shows a new picture: the time of
// the first animation frame after the picture element got its new address.
export async function reportShownPictures(page, report) {
  await page.exposeFunction('reportShownPicture', report);
  await page.addInitScript(() => {
    document.addEventListener('DOMContentLoaded', () => {
      const picture = document.getElementById('picture');
      new MutationObserver(() => {
        if (picture.getAttribute('src')) {
          requestAnimationFrame(() => window.reportShownPicture(performance.timeOrigin + performance.now()));
        }
      }).observe(picture, { attributes: true, attributeFilter: ['src'] });
    });
  });
}

// Opens the viewer page on the name: following its event stream when pushed,
// else polling, as the page does without EventSource. shownAfter(count)
// resolves with the time the page showed its count-th picture.
export async function openViewer(context, port, name, pushed) {
  const page = await context.newPage();
  const shown = [];
  let waiting = null;
  await reportShownPictures(page, (time) => {
    shown.push(time);
    waiting?.();
  });
  if (!pushed) {
    await page.addInitScript(() => { delete window.EventSource; });
  }
  await page.goto(`http://127.0.0.1:${port}/?name=${name}`);
  return {
    page,
    shownAfter(count) {
      return new Promise((resolve, reject) => {
        const timer = setTimeout(() => reject(new Error(`no picture shown on ${name}`)), 15000);
        waiting = () => {
          if (shown.length >= count) {
            clearTimeout(timer);
            waiting = null;
            resolve(shown[count - 1]);
          }
        };
        waiting();
      });
    },
  };
}

export function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  const middle = Math.floor(sorted.length / 2);
  return sorted.length % 2 === 1 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}
