// Viewers of one name as the viewer page behaves: each keeps its own
// connections, as a browser does, follows the event stream (or polls) and
// fetches each new picture; and uploads to them at one a second, with what
// they cost and whether every viewer got every picture.
import crypto from 'node:crypto';
import http from 'node:http';

import { median, nowMs, upload } from './ViewerSupport.mjs';

export function get(agent, port, path) {
  return new Promise((resolve, reject) => {
    http.get({ host: '127.0.0.1', port, path, agent }, (answer) => {
      const chunks = [];
      answer.on('data', (chunk) => chunks.push(chunk));
      answer.on('end', () => resolve({ status: answer.statusCode, headers: answer.headers, body: Buffer.concat(chunks) }));
      answer.on('error', reject);
    }).on('error', reject);
  });
}

// Calls onMessage(event, state) for each message of an event stream's answer
// that carries data ("message" where it names no event).
export function readEvents(answer, onMessage) {
  let text = '';
  answer.setEncoding('utf8');
  answer.on('data', (chunk) => {
    text += chunk;
    let end;
    while ((end = text.indexOf('\n\n')) >= 0) {
      const lines = text.slice(0, end).split('\n');
      text = text.slice(end + 2);
      const data = lines.find((line) => line.startsWith('data: '));
      const event = lines.find((line) => line.startsWith('event: '))?.slice(7) ?? 'message';
      if (data) {
        onMessage(event, JSON.parse(data.slice(6)));
      }
    }
  });
}

// Random bytes that start as a JPEG does, which is all the server checks.
export function randomPicture(bytes) {
  const picture = crypto.randomBytes(bytes);
  picture[0] = 0xff;
  picture[1] = 0xd8;
  return picture;
}

export class Viewer {
  constructor(port, name, pictureBytes) {
    this.port = port;
    this.name = name;
    this.pictureBytes = pictureBytes;
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
        const answer = await get(this.agent, this.port, `/pictures/${this.name}/latest.jpg`);
        if (answer.status !== 200 || answer.body.length !== this.pictureBytes) {
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
      const path = `/pictures/${this.name}/events`;
      const request = http.get({ host: '127.0.0.1', port: this.port, path, agent: false },
        (answer) => {
          if (answer.statusCode !== 200) {
            reject(new Error(`event stream answered ${answer.statusCode}`));
            return;
          }
          readEvents(answer, (event, state) => {
            this.see(state);
            resolve();
          });
        });
      request.on('error', reject);
      this.request = request;
    });
  }

  poll(intervalMs) {
    if (this.stopped) {
      return;
    }
    this.timer = setTimeout(async () => {
      try {
        const answer = await get(this.agent, this.port, `/pictures/${this.name}/latest.json`);
        await this.see(JSON.parse(answer.body));
      } catch {
        this.failures += 1;
      }
      this.poll(intervalMs);
    }, intervalMs);
  }

  stop() {
    this.stopped = true;
    clearTimeout(this.timer);
    this.request?.destroy();
    this.agent.destroy();
  }
}

// Opens the viewers' event streams, a hundred at a time; resolves once each has the name's state.
export async function followAll(viewers) {
  for (let start = 0; start < viewers.length; start += 100) {
    await Promise.all(viewers.slice(start, start + 100).map((viewer) => viewer.follow()));
  }
}

// Uploads the picture at the port once a second, each time with other bytes
// after its first two (the server takes the same bytes again as the same
// picture); resolves with each upload's
// sequence and start, and the seconds taken.
export async function uploadEverySecond({ port, name, picture, count }) {
  const uploads = [];
  const started = nowMs();
  for (let index = 0; index < count; index += 1) {
    const uploadStart = nowMs();
    picture.writeUInt32BE(index, 2);
    await upload(port, name, picture);
    const state = JSON.parse((await get(undefined, port, `/pictures/${name}/latest.json`)).body);
    uploads.push({ sequence: state.sequence, start: uploadStart });
    await new Promise((resolve) => setTimeout(resolve, started + (index + 1) * 1000 - nowMs()));
  }
  return { uploads, seconds: (nowMs() - started) / 1000 };
}

// Pictures missed and requests failed over all viewers, and the delays from
// the start of an upload to a viewer having the picture.
export function tally(viewers, uploads) {
  const delays = [];
  let missing = 0;
  for (const viewer of viewers) {
    for (const sent of uploads) {
      if (viewer.fetched.has(sent.sequence)) {
        delays.push(viewer.fetched.get(sent.sequence) - sent.start);
      } else {
        missing += 1;
      }
    }
  }
  delays.sort((a, b) => a - b);
  return {
    missing,
    failures: viewers.reduce((sum, viewer) => sum + viewer.failures, 0),
    medianMs: median(delays),
    p99Ms: delays[Math.floor(delays.length * 0.99)],
  };
}
