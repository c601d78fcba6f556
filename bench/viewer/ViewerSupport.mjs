// What the viewer benchmarks share: the picture server, uploads as the
// program sends them, and headless Chromium from the viewer test's packages.
import { spawn } from 'node:child_process';
import { createRequire } from 'node:module';
import net from 'node:net';
import fs from 'node:fs';

const require = createRequire(new URL('../../tests/server/viewer/package.json', import.meta.url));
export const { chromium } = require('playwright-core');

export const CHROMIUM_ARGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];
const BOUNDARY = '--MULTI-PARTS-FORM-DATA-BOUNDARY';

// Starts lumivanta-server on a free loopback port.
export function startServer(binary, extraArguments = []) {
  const child = spawn(binary, ['--listen', '127.0.0.1:0', ...extraArguments], { stdio: ['ignore', 'pipe', 'ignore'] });
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error('the server did not start')), 15000);
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

export function stopServer(child) {
  if (child.exitCode !== null) {
    return Promise.resolve();
  }
  const exited = new Promise((resolve) => child.once('exit', resolve));
  child.kill('SIGTERM');
  return exited;
}

// The server's processor time so far, in seconds.
export function cpuSeconds(pid) {
  const fields = fs.readFileSync(`/proc/${pid}/stat`, 'utf8').split(') ')[1].split(' ');
  return (Number(fields[11]) + Number(fields[12])) / 100;
}

// The upload exactly as the Lumivanta program sends it; resolves with the answer's text.
export function upload(port, name, jpeg) {
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
    socket.on('end', () => (answer.startsWith('HTTP/1.1 200 ') ? resolve(answer) : reject(new Error(answer))));
    socket.on('error', reject);
  });
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

export function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  const middle = Math.floor(sorted.length / 2);
  return sorted.length % 2 === 1 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}
