// What instances sharing their pictures through Redis cost and serve, beside
// each other in one run: (i) one instance keeping pictures in memory, (ii) one
// instance over Redis, (iii) two instances over one Redis. First uploaders and
// viewers fetching as fast as they can (the server_load program, spread over
// the instances), then viewers following the event stream, split evenly over
// the instances, with one upload a second at the first. Processor time comes
// from /proc for each instance, for redis-server, for the load program and
// for the whole machine.
// Usage: node shared-store-scale.mjs SERVER_BINARY LOAD_BINARY
// Needs about two open files per viewer: run under `ulimit -n 8192`.
import { Viewer, followAll, randomPicture, tally, uploadEverySecond } from './EventViewers.mjs';
import {
  CORES, endedChildrenCpuSeconds, launch, machineBusySeconds, startInstance, startRedis, stopAll, stopProcess,
} from './SharedStoreSupport.mjs';
import { cpuSeconds } from './ViewerSupport.mjs';

// server_load's uploaders, uploads each, viewers and picture bytes.
const LOAD = [20, 600, 20, 100000];
const EVENT_VIEWERS = 500;
const EVENT_UPLOADS = 15;
const PICTURE_BYTES = 100000;
const NAME = 'audience';
// Busier than this share of the cores, the machine had none to spare.
const SATURATED = 0.8;

const [serverBinary, loadBinary] = process.argv.slice(2);
const SETUPS = [
  { label: '(i) one instance, memory store', redis: false, instances: 1 },
  { label: '(ii) one instance over Redis', redis: true, instances: 1 },
  { label: '(iii) two instances over one Redis', redis: true, instances: 2 },
];

async function startSetup(setup, redis) {
  const args = setup.redis ? ['--redis', redis.url] : [];
  const instances = [];
  for (let index = 0; index < setup.instances; index += 1) {
    instances.push(await startInstance(serverBinary, args));
  }
  return instances;
}

async function stopSetup(setup, instances) {
  for (const [index, instance] of instances.entries()) {
    await stopProcess(instance.child);
    instance.messages.forEach((message) => console.log(`  ${setup.label}, server ${index + 1} said: ${message}`));
  }
}

// Runs fn with the setup's instances, ending them afterwards.
async function withSetup(setup, redis, fn) {
  const instances = await startSetup(setup, redis);
  try {
    return await fn(instances, redis);
  } finally {
    await stopSetup(setup, instances);
  }
}

// Resolves with work's result and the processor seconds that the instances
// (summed), redis-server and the whole machine spent while it ran.
async function metered(instances, redis, work) {
  const pids = instances.map((instance) => instance.child.pid);
  const serversCpu = () => pids.reduce((sum, pid) => sum + cpuSeconds(pid), 0);
  const before = { servers: serversCpu(), redis: cpuSeconds(redis.child.pid), machine: machineBusySeconds() };
  const result = await work();
  return {
    ...result,
    serverCpu: serversCpu() - before.servers,
    redisCpu: cpuSeconds(redis.child.pid) - before.redis,
    machineCpu: machineBusySeconds() - before.machine,
  };
}

// Runs server_load against the instances; resolves with its figures and its own processor seconds.
function runServerLoad(instances) {
  const cpuBefore = endedChildrenCpuSeconds();
  const child = launch(loadBinary, [instances.map((instance) => instance.url).join(','), ...LOAD.map(String)]);
  child.stderr.pipe(process.stderr);
  let output = '';
  child.stdout.on('data', (chunk) => { output += chunk; });
  return new Promise((resolve, reject) => {
    child.on('error', reject);
    child.on('exit', (code) => {
      const number = (pattern) => Number(pattern.exec(output)?.[1] ?? NaN);
      if (code !== 0) {
        process.stdout.write(output);
      }
      resolve({
        passed: code === 0,
        seconds: number(/^time ([\d.]+) s$/m),
        uploads: number(/^uploads (\d+) /m),
        fetches: number(/^viewer fetches (\d+) /m),
        loadCpu: endedChildrenCpuSeconds() - cpuBefore,
      });
    });
  });
}

function measureLoad(instances, redis) {
  return metered(instances, redis, () => runServerLoad(instances));
}

// Event-stream viewers split evenly over the instances, uploads at the first;
// processor time counts while the uploads go on.
async function measureViewers(instances, redis) {
  const viewers = Array.from({ length: EVENT_VIEWERS },
    (_, index) => new Viewer(instances[index % instances.length].port, NAME, PICTURE_BYTES));
  try {
    await followAll(viewers);
    await new Promise((resolve) => setTimeout(resolve, 1000));
    const picture = randomPicture(PICTURE_BYTES);
    const run = await metered(instances, redis, () =>
      uploadEverySecond({ port: instances[0].port, name: NAME, picture, count: EVENT_UPLOADS }));
    return { ...run, ...tally(viewers, run.uploads) };
  } finally {
    viewers.forEach((viewer) => viewer.stop());
  }
}

const fixed = (value, digits = 1) => (Number.isFinite(value) ? value.toFixed(digits) : '-');
const ratio = (a, b) => fixed(a / b, 2);

function reportLoad(setup, run) {
  const serverCores = run.serverCpu / run.seconds;
  console.log(`  ${setup.label}`);
  console.log(`    uploads ${fixed(run.uploads / run.seconds)}/s, fetches ${fixed(run.fetches / run.seconds)}/s` +
    ` over ${fixed(run.seconds, 2)} s${run.passed ? '' : '   LOAD FAILED, see above'}`);
  console.log(`    processor: servers ${fixed(run.serverCpu, 2)} s (${fixed(serverCores, 2)} cores),` +
    ` Redis ${fixed(run.redisCpu, 2)} s, load program ${fixed(run.loadCpu, 2)} s,` +
    ` machine busy ${fixed(run.machineCpu / run.seconds, 2)} of ${CORES} cores`);
  console.log(`    per server core-second: ${fixed(run.uploads / run.serverCpu)} uploads,` +
    ` ${fixed(run.fetches / run.serverCpu)} fetches;` +
    ` per server+Redis core-second: ${fixed(run.uploads / (run.serverCpu + run.redisCpu))} uploads,` +
    ` ${fixed(run.fetches / (run.serverCpu + run.redisCpu))} fetches`);
}

const viewersPerServerCore = (run) => (EVENT_VIEWERS * run.seconds) / run.serverCpu;
const viewersPerServerAndRedisCore = (run) => (EVENT_VIEWERS * run.seconds) / (run.serverCpu + run.redisCpu);

function reportViewers(setup, run) {
  const serverCores = run.serverCpu / run.seconds;
  const redisCores = run.redisCpu / run.seconds;
  console.log(`  ${setup.label.padEnd(36)} servers ${fixed(serverCores, 3)} cores, Redis ${fixed(redisCores, 3)}` +
    ` cores; missed ${run.missing}, failed requests ${run.failures}; upload to picture median` +
    ` ${fixed(run.medianMs)} ms, p99 ${fixed(run.p99Ms)} ms`);
  console.log(`  ${''.padEnd(36)} viewers per server core ${fixed(viewersPerServerCore(run), 0)},` +
    ` per server+Redis core ${fixed(viewersPerServerAndRedisCore(run), 0)}`);
}

// What the second instance adds: (iii) against (ii), and what Redis costs: (ii) against (i).
function reportRatios([memory, one, two]) {
  const figures = (run) => ({
    'uploads/s': run.uploads / run.seconds,
    'fetches/s': run.fetches / run.seconds,
    'uploads per server core-s': run.uploads / run.serverCpu,
    'fetches per server core-s': run.fetches / run.serverCpu,
    'uploads per server+Redis core-s': run.uploads / (run.serverCpu + run.redisCpu),
  });
  const [m, o, t] = [memory, one, two].map(figures);
  for (const what of Object.keys(m)) {
    console.log(`  ${what.padEnd(32)} (iii)/(ii) ${ratio(t[what], o[what])}   (ii)/(i) ${ratio(o[what], m[what])}`);
  }
}

console.log(`This machine has ${CORES} cores, shared with other work; the load program, redis-server and the servers`);
console.log('all run on them. Where the cores are taken, a second instance cannot add throughput: compare the work');
console.log('done per core-second rather than the raw rates.');
// Failing until shown otherwise, also when a step throws.
process.exitCode = 1;
try {
  const redis = await startRedis();
  const loadRuns = [];
  for (const setup of SETUPS) {
    loadRuns.push(await withSetup(setup, redis, measureLoad));
  }
  const viewerRuns = [];
  for (const setup of SETUPS) {
    viewerRuns.push(await withSetup(setup, redis, measureViewers));
  }

  const [uploaders, uploadsEach, loadViewers, loadBytes] = LOAD;
  console.log(`\nUploads and fetches: ${uploaders} uploaders x ${uploadsEach} uploads of ${loadBytes} bytes,` +
    ` ${loadViewers} viewers fetching the newest picture without pause, spread over the instances:`);
  SETUPS.forEach((setup, index) => reportLoad(setup, loadRuns[index]));
  console.log('Ratios:');
  reportRatios(loadRuns);
  const saturated = loadRuns.filter((run) => run.machineCpu / run.seconds > SATURATED * CORES).length;
  console.log(saturated > 0
    ? `  The cores were taken in ${saturated} of ${loadRuns.length} runs: (iii)/(ii) in uploads/s and fetches/s shows` +
      ' two instances sharing the same cores, not what a second instance on cores of its own would add.'
    : '  The cores were not all taken: the raw rates may be compared as well.');

  console.log(`\n${EVENT_VIEWERS} viewers following the event stream, ${EVENT_UPLOADS} uploads of ${PICTURE_BYTES}` +
    ' bytes at one a second at the first instance:');
  SETUPS.forEach((setup, index) => reportViewers(setup, viewerRuns[index]));
  const [, one, two] = viewerRuns;
  console.log(`  (iii)/(ii): viewers per server core ${ratio(viewersPerServerCore(two), viewersPerServerCore(one))},` +
    ` per server+Redis core ${ratio(viewersPerServerAndRedisCore(two), viewersPerServerAndRedisCore(one))}`);

  const passed = loadRuns.every((run) => run.passed) &&
    viewerRuns.every((run) => run.missing === 0 && run.failures === 0);
  console.log('\nrequirement: every upload and fetch succeeded, every viewer got every picture: ' +
    `${passed ? 'PASS' : 'FAIL'}`);
  process.exitCode = passed ? 0 : 1;
} finally {
  await stopAll();
}
