// lumivanta-server as the viewer test and the viewer benchmarks drive it: on
// a free loopback port, with uploads exactly as the Lumivanta program sends them.
import { spawn } from 'node:child_process';
import net from 'node:net';

export const CHROMIUM_ARGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];
const BOUNDARY = '--MULTI-PARTS-FORM-DATA-BOUNDARY';
const START_TIMEOUT_MS = 15000;

// Resolves with the child process and its port; stderr, the request log, goes where logTo says.
export function startServer(binary, { environment = {}, logTo = 'inherit' } = {}) {
  const child = spawn(binary, ['--listen', '127.0.0.1:0'],
    { stdio: ['ignore', 'pipe', logTo], env: { ...process.env, ...environment } });
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error('the server did not start')), START_TIMEOUT_MS);
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

// Posts the picture as the program does; resolves with the whole answer.
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
    socket.on('end', () => resolve(answer));
    socket.on('error', reject);
  });
}
