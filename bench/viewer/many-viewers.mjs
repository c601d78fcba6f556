// 1,000 viewers of one screen on lumivanta-server, one upload a second: the
// server's processor time and whether every viewer gets every picture, with
// the viewers following the event stream, beside the same viewers polling
// twice a second as the page did before, in the same run. Each viewer keeps
// its own connections, as a browser does, and fetches each new picture.
// Usage: node many-viewers.mjs SERVER_BINARY [viewers] [uploads]
// Needs about two open files per viewer: run under `ulimit -n 8192`.
import http from 'node:http';
import crypto from 'node:crypto';

import { cpuSeconds, median, nowMs, startServer, stopServer, upload } from './ViewerSupport.mjs';

const [serverBinary, viewerArgument, uploadArgument] = process.argv.slice(2);
const VIEWERS = Number(viewerArgument ?? 1000);
const UPLOADS = Number(uploadArgument ?? 20);
const PICTURE_BYTES = 100000;
const POLL_INTERVAL_MS = 500;
const NAME = 'audience';

function get(agent, port, path) {
  return new Promise((resolve, reject) => {
    http.get({ host: '127.0.0.1', port, path, agent }, (answer) => {
      const chunks = [];
      answer.on('data', (chunk) => chunks.push(chunk));
      answer.on('end', () => resolve({ status: answer.statusCode, headers: answer.headers, body: Buffer.concat(chunks) }));
      answer.on('error', reject);
    }).on('error', reject);
  });
}

class Viewer {
  constructor(port) {
    this.port = port;
    this.agent = new http.Agent({ keepAlive: true, maxSockets: 1 });
    this.fetched = new Map();
    this.failures = 0;
    this.fetching = false;
    this.wanted = null;
  }

  // Fetches the picture when the state names one it does not have yet.
  async see(state) {
    if (!state.present || this.fetched.has(state.sequence)) {
      return;
    }
    this.wanted = state.sequence;
    if (this.fetching) {
      return;
    }
    this.fetching = true;
    try {
      while (this.wanted !== null && !this.fetched.has(this.wanted)) {
        this.wanted = null;
        const answer = await get(this.agent, this.port, `/pictures/${NAME}/latest.jpg`);
        if (answer.status !== 200 || answer.body.length !== PICTURE_BYTES) {
          this.failures += 1;
          continue;
        }
        this.fetched.set(Number(answer.headers['x-picture-sequence']), nowMs());
      }
    } catch {
      this.failures += 1;
    } finally {
      this.fetching = false;
    }
  }

  follow() {
    return new Promise((resolve, reject) => {
      const request = http.get({ host: '127.0.0.1', port: this.port, path: `/pictures/${NAME}/events`, agent: false },
        (answer) => {
          if (answer.statusCode !== 200) {
            reject(new Error(`event stream answered ${answer.statusCode}`));
            return;
          }
          let text = '';
          answer.setEncoding('utf8');
          answer.on('data', (chunk) => {
            text += chunk;
            let end;
            while ((end = text.indexOf('\n\n')) >= 0) {
              const message = text.slice(0, end);
              text = text.slice(end + 2);
              const data = message.split('\n').find((line) => line.startsWith('data: '));
              if (data) {
                this.see(JSON.parse(data.slice(6)));
                resolve();
              }
            }
          });
        });
      request.on('error', reject);
      this.request = request;
    });
  }

  poll() {
    if (this.stopped) {
      return;
    }
    this.timer = setTimeout(async () => {
      try {
        const answer = await get(this.agent, this.port, `/pictures/${NAME}/latest.json`);
        await this.see(JSON.parse(answer.body));
      } catch {
        this.failures += 1;
      }
      this.poll();
    }, POLL_INTERVAL_MS);
  }

  stop() {
    this.stopped = true;
    clearTimeout(this.timer);
    this.request?.destroy();
    this.agent.destroy();
  }
}

async function measure(serverBinary, pushed) {
  const { child, port } = await startServer(serverBinary);
  const picture = crypto.randomBytes(PICTURE_BYTES);
  picture[0] = 0xff;
  picture[1] = 0xd8;
  const viewers = Array.from({ length: VIEWERS }, () => new Viewer(port));
  try {
    if (pushed) {
      for (let start = 0; start < VIEWERS; start += 100) {
        await Promise.all(viewers.slice(start, start + 100).map((viewer) => viewer.follow()));
      }
    } else {
      viewers.forEach((viewer, index) => setTimeout(() => viewer.poll(), (index * POLL_INTERVAL_MS) / VIEWERS));
    }
    await new Promise((resolve) => setTimeout(resolve, 1000));
    const uploads = [];
    const cpuBefore = cpuSeconds(child.pid);
    const started = nowMs();
    for (let index = 0; index < UPLOADS; index += 1) {
      const uploadStart = nowMs();
      await upload(port, NAME, picture);
      const state = JSON.parse((await get(undefined, port, `/pictures/${NAME}/latest.json`)).body);
      uploads.push({ sequence: state.sequence, start: uploadStart });
      await new Promise((resolve) => setTimeout(resolve, started + (index + 1) * 1000 - nowMs()));
    }
    const cpu = cpuSeconds(child.pid) - cpuBefore;
    const seconds = (nowMs() - started) / 1000;
    const missing = viewers.reduce((sum, viewer) =>
      sum + uploads.filter((sent) => !viewer.fetched.has(sent.sequence)).length, 0);
    const delays = [];
    for (const viewer of viewers) {
      for (const sent of uploads) {
        if (viewer.fetched.has(sent.sequence)) {
          delays.push(viewer.fetched.get(sent.sequence) - sent.start);
        }
      }
    }
    delays.sort((a, b) => a - b);
    return {
      cores: cpu / seconds,
      missing,
      failures: viewers.reduce((sum, viewer) => sum + viewer.failures, 0),
      medianMs: median(delays),
      p99Ms: delays[Math.floor(delays.length * 0.99)],
    };
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
