// The bytes one viewer receives per minute of a still screen at a 1 s
// slideshow: the program uploads the same picture every second. Two viewers
// watch in the same run: one as the page does now (the event stream, each new
// sequence fetched once at its own address, the "live" events taken as they
// come), and beside it, as the reference, one that fetches latest.jpg at every
// upload, as the page did when every upload was a new picture. Every byte read
// from their sockets counts, headers included. Prints the minimum and median
// over windows of 10 s, scaled to a minute.
// Usage: node still-screen-bytes.mjs SERVER_BINARY [seconds]
import http from 'node:http';

import { randomPicture, readEvents } from './EventViewers.mjs';
import { median, startServer, stopServer, upload } from './ViewerSupport.mjs';

const [serverBinary, secondsArgument] = process.argv.slice(2);
const SECONDS = Number(secondsArgument ?? 60);
const WINDOW_SECONDS = 10;
const PICTURE_BYTES = 100000;
const NAME = 'still';

class CountingViewer {
  constructor(port, fetchEveryUpload) {
    this.port = port;
    this.fetchEveryUpload = fetchEveryUpload;
    this.sockets = new Set();
    this.agent = new http.Agent({ keepAlive: true, maxSockets: 1 });
    this.fetched = new Set();
  }

  bytes() {
    let total = 0;
    for (const socket of this.sockets) {
      total += socket.bytesRead;
    }
    return total;
  }

  fetch(path) {
    const request = http.get({ host: '127.0.0.1', port: this.port, path, agent: this.agent }, (answer) => answer.resume());
    request.on('socket', (socket) => this.sockets.add(socket));
    request.on('error', () => {});
  }

  see(event, state) {
    if (this.fetchEveryUpload) {
      this.fetch(`/pictures/${NAME}/latest.jpg`);
    } else if (!this.fetched.has(state.sequence)) {
      // The browser keeps a sequence's picture for good, so each is fetched once.
      this.fetched.add(state.sequence);
      this.fetch(`/pictures/${NAME}/${state.sequence}.jpg`);
    }
  }

  follow() {
    return new Promise((resolve) => {
      const request = http.get({ host: '127.0.0.1', port: this.port, path: `/pictures/${NAME}/events`, agent: false },
        (answer) => {
          readEvents(answer, (event, state) => {
            if (state.present !== false) {
              this.see(event, state);
            }
            resolve();
          });
        });
      request.on('socket', (socket) => this.sockets.add(socket));
      this.request = request;
    });
  }

  stop() {
    this.request?.destroy();
    this.agent.destroy();
  }
}

const { child, port } = await startServer(serverBinary);
const picture = randomPicture(PICTURE_BYTES);
const now = new CountingViewer(port, false);
const reference = new CountingViewer(port, true);
const windows = { now: [], reference: [] };
try {
  await upload(port, NAME, picture);
  await Promise.all([now.follow(), reference.follow()]);
  // The first fetch of the picture is the same for both; the still screen starts after it.
  await new Promise((resolve) => setTimeout(resolve, 500));
  const started = Date.now();
  let last = { now: now.bytes(), reference: reference.bytes() };
  for (let second = 1; second <= SECONDS; second += 1) {
    await upload(port, NAME, picture);
    await new Promise((resolve) => setTimeout(resolve, started + second * 1000 - Date.now()));
    if (second % WINDOW_SECONDS === 0) {
      const current = { now: now.bytes(), reference: reference.bytes() };
      windows.now.push(((current.now - last.now) * 60) / WINDOW_SECONDS);
      windows.reference.push(((current.reference - last.reference) * 60) / WINDOW_SECONDS);
      last = current;
    }
  }
} finally {
  now.stop();
  reference.stop();
  await stopServer(child);
}

const kB = (bytes) => (bytes / 1000).toFixed(1);
const line = (label, values) =>
  `${label}: min ${kB(Math.min(...values))} kB, median ${kB(median(values))} kB per minute`;
console.log(`one viewer of a still screen, ${PICTURE_BYTES / 1000} kB pictures, one upload a second, ` +
  `${windows.now.length} windows of ${WINDOW_SECONDS} s`);
console.log(line('  the page now (sequence addresses, live events)', windows.now));
console.log(line('  reference: a viewer fetching every picture', windows.reference));
console.log(`  ratio of medians: ${(median(windows.now) / median(windows.reference)).toFixed(4)} (goal: at most 5 kB)`);
