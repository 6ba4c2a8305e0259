// Clips the native side reports as unavailable are never opened; a new listing's movies wait for that report; long clips are drawn through fewer points.
import test from 'node:test';
import assert from 'node:assert/strict';
import availabilityModule from '../js/clip-availability.js';
import viewer from '../js/viewer.js';
import telemetry from '../js/telemetry.js';

const { parsePaths, createAvailability, GRACE_MS } = availabilityModule;

// Timers the test runs by hand.
function manualTimers() {
  const pending = new Map();
  let next = 1;
  return {
    schedule: (fn, ms) => {
      pending.set(next, { fn, ms });
      return next++;
    },
    cancel: (id) => pending.delete(id),
    fire() {
      const due = [...pending.values()];
      pending.clear();
      due.forEach(({ fn }) => fn());
      return due.map(({ ms }) => ms);
    },
    get count() {
      return pending.size;
    },
  };
}

test('the report: a JSON array text of paths, or nothing usable', () => {
  assert.deepEqual(parsePaths('["/c/a.MOV","/c/b\\"c.MOV"]'), ['/c/a.MOV', '/c/b"c.MOV']);
  assert.deepEqual(parsePaths('[]'), []);
  assert.deepEqual(parsePaths(['/c/a.MOV', 5, '']), ['/c/a.MOV']);
  for (const bad of ['', 'not json', '{"a":1}', '"x"', null, undefined, 3]) assert.equal(parsePaths(bad), null, String(bad));
});

test('a listing holds every movie back until its report; reported clips stay closed', async () => {
  const timers = manualTimers();
  let changes = 0;
  const a = createAvailability({ ...timers, onChange: () => changes++ });
  assert.equal(a.status('/c/a.MOV'), 'open', 'before any listing nothing is held back');
  a.listing();
  assert.equal(a.status('/c/a.MOV'), 'wait');
  let answered = null;
  const asked = a.mayOpen('/c/fifo.MOV').then((v) => (answered = v));
  const other = a.mayOpen('/c/a.MOV');
  await Promise.resolve();
  assert.equal(answered, null, 'the probe waits too');
  assert.equal(a.report('not a list'), false);
  assert.equal(a.status('/c/a.MOV'), 'wait', 'a broken report changes nothing');
  assert.equal(a.report('["/c/fifo.MOV"]'), true);
  await asked;
  assert.equal(answered, false);
  assert.equal(await other, true);
  assert.equal(a.status('/c/fifo.MOV'), 'unavailable');
  assert.equal(a.status('/c/a.MOV'), 'open');
  assert.equal(changes, 1);
  assert.equal(timers.count, 0, 'the wait ended with the report');
  // The next listing: the pipe stays closed until a report says otherwise.
  a.listing();
  assert.equal(a.status('/c/fifo.MOV'), 'unavailable');
  assert.equal(a.status('/c/a.MOV'), 'wait');
  a.report('[]');
  assert.equal(a.status('/c/fifo.MOV'), 'open');
  assert.equal(a.isUnavailable('/c/fifo.MOV'), false);
});

test('a native side that sends no report is waited for only a moment', async () => {
  const timers = manualTimers();
  let changes = 0;
  const a = createAvailability({ ...timers, onChange: () => changes++ });
  a.listing();
  a.listing();
  assert.equal(timers.count, 1, 'one wait at a time');
  const open = a.mayOpen('/c/a.MOV');
  assert.deepEqual(timers.fire(), [GRACE_MS]);
  assert.ok(GRACE_MS >= 300 && GRACE_MS <= 2000);
  assert.equal(await open, true);
  assert.equal(a.status('/c/a.MOV'), 'open');
  assert.equal(changes, 1);
});

test('a report just before its listing is that listing\'s; a listing of no clips waits for none', () => {
  const timers = manualTimers();
  const a = createAvailability({ ...timers });
  a.listing(0); // the first, empty listing after a load
  assert.equal(a.status('/c/a.MOV'), 'open');
  assert.equal(timers.count, 0);
  a.report('["/c/fifo.MOV"]'); // CamVault's order: the report, then the listing
  a.listing(2);
  assert.equal(a.status('/c/a.MOV'), 'open', 'no wait: its report came already');
  assert.equal(a.status('/c/fifo.MOV'), 'unavailable');
  assert.equal(timers.count, 0);
  a.listing(2); // the next listing has no report of its own yet
  assert.equal(a.status('/c/a.MOV'), 'wait');
});

test('what the video element does for the clip on screen', () => {
  const { videoAction } = viewer;
  assert.equal(videoAction('unavailable', '', '/c/fifo.MOV'), 'refuse');
  assert.equal(videoAction('unavailable', '/c/fifo.MOV', '/c/fifo.MOV'), 'refuse', 'even one opened before');
  assert.equal(videoAction('wait', '/c/a.MOV', '/c/b.MOV'), 'close', 'the old clip goes, the new waits');
  assert.equal(videoAction('wait', '/c/a.MOV', '/c/a.MOV'), 'keep', 'a clip playing stays while a new listing is checked');
  assert.equal(videoAction('open', '/c/a.MOV', '/c/b.MOV'), 'open');
  assert.equal(videoAction('open', '/c/b.MOV', '/c/b.MOV'), 'keep');
});

test('a long clip is charted through every peak and routed through a bounded number of fixes', () => {
  const n = 100000;
  const records = Array.from({ length: n }, (_, i) => ({
    speed: i === 77777 ? 250 : 50 + Math.sin(i / 500) * 10,
    x: i === 12345 ? -3 : 0,
    y: 0,
    z: i % 2 ? NaN : 1,
    hasPosition: i % 10 !== 0,
  }));
  assert.equal(viewer.chartPick(records.slice(0, 2000), ['speed'], 1000), null, 'a short clip: every record');
  const pick = viewer.chartPick(records, ['x', 'y', 'z'], 1000);
  assert.ok(pick.length <= 7 * 1000 + 1 && pick.length >= 1000, `${pick.length} points`);
  assert.ok(pick.every((v, i) => i === 0 || v > pick[i - 1]), 'ascending, each once');
  assert.equal(pick[0], 0);
  assert.equal(pick[pick.length - 1], n - 1);
  assert.ok(pick.includes(12345), 'the jolt is drawn');
  assert.ok(viewer.chartPick(records, ['speed'], 1000).includes(77777), 'the top speed is drawn');
  assert.equal(viewer.pickedRecord(pick, 1), pick[1]);
  assert.equal(viewer.pickedRecord(null, 5), 5);
  assert.equal(viewer.pickedRecord(pick, null), null);

  const fixes = telemetry.routeFixes(records, 6000);
  assert.equal(fixes.length, 6000);
  assert.ok(fixes.every((r) => r.hasPosition));
  assert.equal(fixes[0], records[1]);
  assert.equal(fixes[5999], records[n - 1]);
  assert.equal(telemetry.routeFixes(records.slice(0, 100), 6000).length, 90, 'a short clip: every fix');
});
