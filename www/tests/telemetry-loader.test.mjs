// Telemetry script files run one at a time and once each, and the records a
// file added are found even when it names its clip differently.
import test from 'node:test';
import assert from 'node:assert/strict';
import vm from 'node:vm';
import loaderModule from '../js/telemetry-loader.js';
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
