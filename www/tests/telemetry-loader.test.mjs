// Telemetry script files load one at a time and once each, through the worker or on the page, and the records a
// file added are found even when it names its clip differently.
import test from 'node:test';
import assert from 'node:assert/strict';
import vm from 'node:vm';
import { readFileSync } from 'node:fs';
import loaderModule from '../js/telemetry-loader.js';
import telemetry from '../js/telemetry.js';
import { sampleDrive, telemetryScript } from './support/sample-telemetry.mjs';

const { recordsAfterScript, createLoader } = loaderModule;

function runInto(table, text) {
  const before = new Map(Object.entries(table));
  vm.runInNewContext(text, { data: table });
  return before;
}

test('the records a script file added, under its clip name or another', () => {
  const table = {};
  runInto(table, telemetryScript('A.MOV', sampleDrive({ seconds: 2 })));
  let before = runInto(table, telemetryScript('B.MOV', sampleDrive({ seconds: 3 })));
  assert.equal(recordsAfterScript(table, before, 'B.MOV').length, 30);
  assert.equal(recordsAfterScript(table, before, 'B (2).MOV').length, 30, 'the one entry the file changed');
  before = runInto(table, telemetryScript('C.MOV', sampleDrive({ seconds: 1 })) + telemetryScript('D.MOV', sampleDrive({ seconds: 1 })));
  assert.deepEqual(recordsAfterScript(table, before, 'E.MOV'), [], 'two entries changed: neither is taken');
  assert.equal(recordsAfterScript(table, before, 'A.MOV').length, 20, 'its own name wins');
});

// A runner whose runs finish when the test says so.
function manualRunner() {
  const runs = [];
  const run = (clip) =>
    new Promise((resolve, reject) => {
      runs.push({ path: clip.dataPath, resolve, reject });
    });
  return { runs, run };
}
const settle = () => new Promise((r) => setTimeout(r, 0));

test('script files run one after another, once each', async () => {
  const runner = manualRunner();
  const loader = createLoader(runner.run, () => Promise.resolve(NaN));
  const a = { dataPath: '/d/A.data', name: 'A.MOV' };
  const b = { dataPath: '/d/B.data', name: 'B.MOV' };
  const c = { dataPath: '/d/C.data', name: 'C.MOV' };
  const first = loader.loadTelemetry(a);
  const second = loader.loadTelemetry(b);
  const third = loader.loadTelemetry(c);
  assert.equal(loader.loadTelemetry({ ...a }), first, 'the same file is loaded once');
  assert.deepEqual(await loader.loadTelemetry({ dataPath: '', name: 'X.MOV' }), [], 'no file: no records');
  await settle();
  assert.deepEqual(runner.runs.map((r) => r.path), ['/d/A.data'], 'B waits until A has run');
  runner.runs[0].resolve(['a']);
  assert.deepEqual(await first, ['a']);
  await settle();
  assert.equal(runner.runs.length, 2);
  runner.runs[1].reject(new Error('broken file'));
  await assert.rejects(second);
  await settle();
  assert.deepEqual(runner.runs.map((r) => r.path), ['/d/A.data', '/d/B.data', '/d/C.data'], 'a failure does not stop the queue');
  runner.runs[2].resolve(['c']);
  assert.deepEqual(await third, ['c']);
});

test('clip lengths: probed once, and a failed probe keeps a length known meanwhile', async () => {
  const probed = [];
  const lengths = { '/c/A.MOV': 20, '/c/B.MOV': NaN, '/c/C.MOV': NaN };
  const loader = createLoader(
    () => Promise.resolve([]),
    (clip) => {
      probed.push(clip.path);
      return Promise.resolve(lengths[clip.path]);
    },
  );
  assert.equal(await loader.probeDuration({ path: '/c/A.MOV' }), 20);
  assert.equal(await loader.probeDuration({ path: '/c/A.MOV' }), 20);
  assert.deepEqual(probed, ['/c/A.MOV']);
  const pending = loader.probeDuration({ path: '/c/B.MOV' });
  loader.durations.set('/c/B.MOV', 6); // the player read it first
  assert.equal(await pending, 6);
  assert.ok(Number.isNaN(await loader.probeDuration({ path: '/c/C.MOV' })), 'an unreadable movie has no length');
});

// The worker's own file, run in a context of its own as WebKit runs it:
// importScripts from js/, fetch of the file URLs from `files`.
const jsDir = new URL('../js/', import.meta.url);
const workerSource = readFileSync(new URL('telemetry-worker.js', jsDir), 'utf8');

class FakeWorker {
  constructor(files) {
    this.onmessage = null;
    this.onerror = null;
    this.terminated = false;
    const context = {
      importScripts: (...names) => names.forEach((n) => vm.runInContext(readFileSync(new URL(n, jsDir), 'utf8'), context)),
      fetch: async (url) => {
        if (!(url in files)) throw new TypeError('Load failed');
        return new Response(files[url]);
      },
      postMessage: (message) =>
        setImmediate(() => !this.terminated && this.onmessage && this.onmessage({ data: structuredClone(message) })),
      TextDecoder,
      Response,
    };
    context.self = context;
    vm.createContext(context);
    vm.runInContext(workerSource, context);
    this.context = context;
  }

  postMessage(message) {
    setImmediate(() => this.context.onmessage({ data: structuredClone(message) }));
  }

  terminate() {
    this.terminated = true;
  }
}

const clipOf = (name, dataPath) => ({ name, dataPath, path: '/card/' + name });

test('through the worker: the same table, records and cut marker as running the file', async () => {
  const drive = sampleDrive({ seconds: 900 });
  const text = telemetryScript('BIG.MOV', drive) + "data_cut['BIG.MOV']=9000;";
  const files = {
    'file:///d/BIG.data': text,
    'file:///d/SMALL.data': telemetryScript('SMALL.MOV', sampleDrive({ seconds: 2 })),
  };
  const workers = [];
  const table = {};
  const cutTable = {};
  const loader = loaderModule.create(null, () => table, () => cutTable, {
    makeWorker: () => workers[workers.push(new FakeWorker(files)) - 1],
  });
  const big = clipOf('BIG.MOV', '/d/BIG.data');
  const [records, small, missing] = await Promise.all([
    loader.loadTelemetry(big),
    loader.loadTelemetry(clipOf('SMALL.MOV', '/d/SMALL.data')),
    loader.loadTelemetry(clipOf('GONE.MOV', '/d/GONE.data')),
  ]);
  const old = { data: {}, data_cut: {} };
  vm.runInNewContext(text, old);
  assert.deepEqual(records, telemetry.extractRecords(old.data, 'BIG.MOV'));
  assert.equal(records.length, 9000, 'more than one batch');
  const plain = (entry) => Object.keys(entry).map((k) => [k, { ...entry[k] }]);
  assert.deepEqual(plain(table['BIG.MOV']), plain(old.data['BIG.MOV']), 'data holds what the file set');
  assert.ok(Array.isArray(table['BIG.MOV']));
  assert.deepEqual(cutTable, { 'BIG.MOV': 9000 });
  assert.equal(loader.cutOf(big), 9000);
  assert.equal(small.length, 20);
  assert.equal(loader.cutOf(clipOf('SMALL.MOV', '/d/SMALL.data')), undefined);
  assert.deepEqual(missing, [], 'an unreadable file has no telemetry');
  assert.equal(workers.length, 1, 'one worker reads every file');
  assert.equal(loader.mode(), 'worker');
});

test('a file that names its clip differently is taken as before; a clip is not taken by another file', async () => {
  const files = {
    'file:///d/B%20(2).data': telemetryScript('B.MOV', sampleDrive({ seconds: 3 })),
    'file:///d/two.data':
      telemetryScript('C.MOV', sampleDrive({ seconds: 1 })) + telemetryScript('D.MOV', sampleDrive({ seconds: 1 })),
  };
  const table = {};
  const loader = loaderModule.create(null, () => table, () => ({}), { makeWorker: () => new FakeWorker(files) });
  assert.equal((await loader.loadTelemetry(clipOf('B (2).MOV', '/d/B (2).data'))).length, 30);
  assert.deepEqual(await loader.loadTelemetry(clipOf('E.MOV', '/d/two.data')), [], 'two entries: neither');
  // A clip whose name an earlier file filled keeps those records when its own
  // file fills one other entry, as when the files ran as scripts.
  files['file:///d/F.data'] = telemetryScript('G.MOV', sampleDrive({ seconds: 2 }));
  const kept = await loader.loadTelemetry(clipOf('B.MOV', '/d/F.data'));
  const scriptTable = {};
  vm.runInNewContext(files['file:///d/B%20(2).data'], { data: scriptTable });
  assert.equal(recordsAfterScript(scriptTable, new Map(), 'B (2).MOV').length, 30);
  const before = new Map(Object.entries(scriptTable));
  vm.runInNewContext(files['file:///d/F.data'], { data: scriptTable });
  assert.equal(kept.length, 30);
  assert.deepEqual(kept, recordsAfterScript(scriptTable, before, 'B.MOV'));
  assert.equal(table['G.MOV'].length, 0, 'the other entry is in the table all the same');
  assert.equal(Object.keys(table['G.MOV']).length, 20);
});

test('a worker that cannot start, or is refused for want of file access, gives way', async () => {
  const files = { 'file:///d/A.data': telemetryScript('A.MOV', sampleDrive({ seconds: 4 })) };
  // Its script did not load: the error comes before any answer.
  const broken = { postMessage() { setImmediate(() => this.onerror({ preventDefault() {} })); }, terminate() {} };
  const table = {};
  const loader = loaderModule.create(null, () => table, () => ({}), {
    makeWorker: () => broken,
    fetch: async (url) => new Response(files[url]),
  });
  assert.equal((await loader.loadTelemetry(clipOf('A.MOV', '/d/A.data'))).length, 40, 'read on the page instead');
  assert.equal(loader.mode(), 'page');
  const refused = () => {
    throw Object.assign(new Error('The operation is insecure.'), { name: 'SecurityError' });
  };
  assert.equal(loaderModule.chooseMode(refused).mode, 'script');
  assert.equal(loaderModule.chooseMode(() => { throw new TypeError('no workers'); }).mode, 'page');
  assert.equal(loaderModule.chooseMode(null).mode, 'page');
});

test('read on the page, a slice at a time, the result is what the worker hands over', async () => {
  const text = telemetryScript('P.MOV', sampleDrive({ seconds: 3000 })) + "data_cut['P.MOV']=30000;";
  let timers = 0;
  const realSetTimeout = globalThis.setTimeout;
  globalThis.setTimeout = (fn, ms) => {
    timers++;
    return realSetTimeout(fn, ms);
  };
  let file;
  try {
    file = await loaderModule.readOnPage('file:///d/P.data', async () => new Response(text));
  } finally {
    globalThis.setTimeout = realSetTimeout;
  }
  const old = { data: {}, data_cut: {} };
  vm.runInNewContext(text, old);
  assert.deepEqual(file.entries.get('P.MOV').records, telemetry.extractRecords(old.data, 'P.MOV'));
  assert.deepEqual(file.cut, { 'P.MOV': 30000 });
  assert.ok(timers > 0, 'the main thread was handed back between slices');
});

test('a file that breaks off, or a worker that cannot be made again, leaves the clip without telemetry and the queue going', async () => {
  const broken = new ReadableStream({
    start(c) {
      c.enqueue(new TextEncoder().encode(telemetryScript('A.MOV', sampleDrive({ seconds: 1 }))));
      c.error(new Error('I/O error'));
    },
  });
  const file = await loaderModule.readOnPage('file:///d/A.data', async () => new Response(broken));
  assert.equal(file.entries.size, 0);
  let made = 0;
  const dies = {
    postMessage() {
      setImmediate(() => {
        this.onmessage({ data: { id: 0, type: 'hello' } }); // it ran once
        this.onerror({});
      });
    },
    terminate() {},
  };
  const loader = loaderModule.create(null, () => ({}), () => ({}), {
    makeWorker: () => {
      if (made++ > 0) throw new Error('out of threads');
      return dies;
    },
    fetch: async () => new Response(telemetryScript('B.MOV', sampleDrive({ seconds: 1 }))),
  });
  assert.deepEqual(await loader.loadTelemetry(clipOf('A.MOV', '/d/A.data')), [], 'the worker died reading it');
  assert.equal((await loader.loadTelemetry(clipOf('B.MOV', '/d/B.data'))).length, 10, 'read on the page then');
  assert.equal(loader.mode(), 'page');
});

test('only the clips shown lately keep their telemetry in the page', async () => {
  const read = [];
  const forgotten = [];
  const loader = createLoader(
    (clip) => {
      read.push(clip.dataPath);
      return Promise.resolve([{ key: clip.dataPath }]);
    },
    () => Promise.resolve(NaN),
    2,
    (dataPath) => forgotten.push(dataPath),
  );
  const clip = (name) => ({ path: `/c/${name}.MOV`, dataPath: `/d/${name}.data` });
  await loader.loadTelemetry(clip('A'));
  await loader.loadTelemetry(clip('B'));
  await loader.loadTelemetry(clip('A')); // shown again: A is the newest now
  await loader.loadTelemetry(clip('C'));
  await Promise.resolve();
  assert.deepEqual(forgotten, ['/d/B.data'], 'the one shown longest ago goes');
  await loader.loadTelemetry(clip('B'));
  assert.deepEqual(read, ['/d/A.data', '/d/B.data', '/d/C.data', '/d/B.data'], 'a forgotten clip is read again');
});
