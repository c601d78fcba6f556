// What the shared-store benchmarks add: a private redis-server on a Unix
// socket in a fresh temporary folder (no port to collide with, nothing kept on
// disk), lumivanta-server instances started with further arguments, and the
// processor time of the machine and of finished children. Every process
// started here is ended by its own process id, also when a benchmark fails.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

import { stopServer } from '../../tests/server/viewer/picture-server.mjs';

const START_TIMEOUT_MS = 15000;
// The build names the redis-server the tests use; by hand, the one on PATH.
const REDIS_SERVER = process.env.LUMIVANTA_REDIS_SERVER || 'redis-server';
// A successful request in the server's log; anything else is worth showing.
const REQUEST_DONE = /^\S+ \S+ [A-Z]+ \S+ 200 in /;

const running = new Set();
const folders = [];

// Starts the program with its output piped, to be ended by stopAll at the latest.
export function launch(program, args) {
  const child = spawn(program, args, { stdio: ['ignore', 'pipe', 'pipe'] });
  running.add(child);
  child.once('exit', () => running.delete(child));
  child.once('error', (error) => {
    running.delete(child);
    child.failure = error;
  });
  return child;
}

// Ends each process still running and removes the temporary folders.
export async function stopAll() {
  await Promise.all([...running].map(stopServer));
  for (const folder of folders.splice(0)) {
    fs.rmSync(folder, { recursive: true, force: true });
  }
}

// Interrupted, a benchmark still ends what it started.
for (const signal of ['SIGINT', 'SIGTERM']) {
  process.once(signal, () => stopAll().finally(() => process.exit(1)));
}
process.once('exit', () => running.forEach((child) => child.kill('SIGKILL')));

function waitFor(ready, what, child, output) {
  return new Promise((resolve, reject) => {
    const deadline = Date.now() + START_TIMEOUT_MS;
    const check = () => {
      const result = ready();
      if (result) {
        resolve(result);
      } else if (child.exitCode !== null || child.failure || Date.now() > deadline) {
        reject(new Error(`${what} did not start: ${child.failure?.message ?? output()}`));
      } else {
        setTimeout(check, 10);
      }
    };
    check();
  });
}

// Resolves with the redis-server process and its address as --redis takes it.
export async function startRedis() {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'lumivanta-redis-bench-'));
  folders.push(folder);
  const socket = path.join(folder, 'redis.sock');
  const child = launch(REDIS_SERVER, ['--port', '0', '--unixsocket', socket, '--unixsocketperm', '700',
    '--save', '', '--appendonly', 'no', '--dir', folder]);
  let output = '';
  child.stdout.on('data', (chunk) => { output += chunk; });
  child.stderr.on('data', (chunk) => { output += chunk; });
  await waitFor(() => fs.existsSync(socket), 'redis-server', child, () => output);
  return { child, url: `unix://${socket}` };
}

// Resolves with a lumivanta-server on a free loopback port, started with the
// further arguments. Its messages other than successful requests are kept in
// messages, to be shown with the figures.
export async function startInstance(binary, args = []) {
  const child = launch(binary, ['--listen', '127.0.0.1:0', ...args]);
  let output = '';
  const messages = [];
  child.stdout.on('data', (chunk) => { output += chunk; });
  let partial = '';
  child.stderr.on('data', (chunk) => {
    const lines = (partial + chunk).split('\n');
    partial = lines.pop();
    messages.push(...lines.filter((line) => !REQUEST_DONE.test(line)));
  });
  const port = await waitFor(() => /listening on http:\/\/127\.0\.0\.1:(\d+)\//.exec(output)?.[1], 'lumivanta-server',
    child, () => output + messages.join('\n'));
  return { child, port: Number(port), url: `http://127.0.0.1:${port}/`, messages };
}

export { stopServer as stopProcess };

// Processor seconds of this process's children that have ended and been waited for.
export function endedChildrenCpuSeconds() {
  const fields = fs.readFileSync('/proc/self/stat', 'utf8').split(') ')[1].split(' ');
  return (Number(fields[13]) + Number(fields[14])) / 100;
}

// Seconds the machine's processors have been busy, by anyone, summed over all of them.
export function machineBusySeconds() {
  const [user, nice, system, idle, iowait, irq, softirq, steal] =
    fs.readFileSync('/proc/stat', 'utf8').split('\n')[0].split(/\s+/).slice(1).map(Number);
  return (user + nice + system + irq + softirq + steal) / 100;
}

export const CORES = os.cpus().length;
