// A trip on one clock: clip offsets, locating a trip time, joined records and events, frame numbers;
// the clock correction and the settings' checks.
import test from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';

const require = createRequire(import.meta.url);
const tripPlan = require('../js/trip-plan.js');
const clock = require('../js/clock.js');
const prefs = require('../js/prefs.js');
const trips = require('../js/trips.js');
const libraryView = require('../js/library-view.js');

const T0 = Date.UTC(2026, 5, 1, 8, 14, 30);
const clip = (index, startS, durationS, events = []) => ({
  index,
  path: `/card/FILE000${index}.MOV`,
  summary: { start_ms: T0 + startS * 1000, duration_ms: durationS * 1000, events: events.map((at) => ({ kind: 'harsh_braking', start_ms: T0 + (startS + at) * 1000 })) },
});

test('clips sit on the drive\u2019s clock; an overlap is played once and a gap is skipped', () => {
  const clips = [clip(0, 0, 60), clip(1, 59.5, 60), clip(2, 200, 30)];
  const plan = tripPlan.planTrip(clips, () => NaN);
  assert.deepEqual(plan.parts.map((p) => [p.offset, p.duration, p.startAt]), [[0, 60, 0], [59.5, 60, 0.5], [200, 30, 0]]);
  assert.equal(plan.total, 230);
  assert.deepEqual(tripPlan.locate(plan, 30), { part: 0, local: 30 });
  assert.deepEqual(tripPlan.locate(plan, 59.7), { part: 0, local: 59.7 });
  assert.deepEqual(tripPlan.locate(plan, 60.25), { part: 1, local: 0.75 });
  assert.deepEqual(tripPlan.locate(plan, 150), { part: 2, local: 0 }, 'the car stood: on to the next clip');
  assert.deepEqual(tripPlan.locate(plan, 999), { part: 2, local: 30 });
  assert.deepEqual(tripPlan.locate(plan, -4), { part: 0, local: 0 });
  assert.equal(tripPlan.tripTime(plan, 2, 10), 210);
  // The video's own length wins over the telemetry's once it is known.
  const known = tripPlan.planTrip(clips, (c) => (c.index === 2 ? 31.5 : NaN));
  assert.equal(known.total, 231.5);
});

test('clips without times follow one another; an unknown length is bounded by the next start', () => {
  const untimed = [{ index: 0, path: 'a' }, { index: 1, path: 'b' }];
  const plan = tripPlan.planTrip(untimed, (c) => (c.path === 'a' ? 10 : 5));
  assert.deepEqual(plan.parts.map((p) => p.offset), [0, 10]);
  assert.equal(plan.total, 15);
  const timed = [clip(0, 0, NaN), clip(1, 60, 60)];
  timed[0].summary.duration_ms = null;
  assert.equal(tripPlan.planTrip(timed, () => NaN).parts[0].duration, 60);
  // A clock that goes back is not trusted: the clips follow one another.
  const back = [clip(0, 100, 10), clip(1, 0, 10)];
  assert.deepEqual(tripPlan.planTrip(back, () => NaN).parts.map((p) => p.offset), [0, 10]);
});

test('the trip\u2019s records and events on its clock, never going back', () => {
  const plan = tripPlan.planTrip([clip(0, 0, 2), clip(1, 1.5, 2)], () => NaN);
  const r = (n) => Array.from({ length: n }, (_, i) => ({ i }));
  const joined = tripPlan.joinRecords(plan, [
    { records: r(3), timeline: [0, 1, 2] },
    { records: r(3), timeline: [0, 1, 2] },
  ]);
  assert.deepEqual(joined.timeline, [0, 1, 2, 2.5, 3.5], 'the overlap\u2019s first record is dropped');
  assert.deepEqual(joined.partOf, [0, 0, 0, 1, 1]);
  const holes = tripPlan.joinRecords(plan, [null, { records: r(1), timeline: [0] }]);
  assert.deepEqual(holes.timeline, [1.5], 'a clip still loading leaves a hole');
  const plan2 = tripPlan.planTrip([clip(0, 0, 60), clip(1, 60, 60, [40]), clip(2, 120, 60, [5])], () => NaN);
  const events = tripPlan.tripEvents(plan2, [clip(0, 0, 60), clip(1, 60, 60, [40]), clip(2, 120, 60, [5])].map((c) => c.summary), trips.clipEvents);
  assert.deepEqual(events.map((e) => [e.seconds, e.part]), [[100, 1], [125, 2]]);
  // n from the start of the trip goes to 3 s before the brake in the second clip.
  assert.equal(trips.jumpTime(trips.stepEvent(events, 0, 1)), 97);
  assert.equal(trips.stepEvent(events, 97, 1).seconds, 125);
});

test('frames count from 0 at 0 s, as the snapshot names them', () => {
  assert.equal(tripPlan.frameNumber(41.7, 30), 1251);
  assert.equal(tripPlan.frameNumber(41.0, 30), 1230);
  assert.equal(tripPlan.frameNumber(0, 30), 0);
  assert.equal(tripPlan.frameNumber(1 / 30 - 1e-9, 30), 1, 'a time a hair before a frame\u2019s start is that frame');
  assert.equal(tripPlan.frameNumber(NaN, 30), 0);
});

test('the clock correction moves every time shown; without one, keys show as written', () => {
  let correction = 0;
  const c = clock.createClock(() => correction);
  const record = { key: '2026/06/01 08:14:30.5', time: Date.UTC(2026, 5, 1, 8, 14, 30, 500) };
  assert.equal(c.formatRecord(record), '2026-06-01 08:14:30');
  correction = -3600 - 62;
  assert.equal(c.formatRecord(record), '2026-06-01 07:13:28');
  correction = 16 * 3600;
  assert.equal(c.formatRecord(record), '2026-06-02 00:14:30', 'across midnight');
  assert.equal(c.formatRecord({ key: 'not a date', time: NaN }), 'not a date');
  correction = 10 * 366 * 86400;
  assert.equal(c.shiftMs(), 0, 'a correction beyond a year is ignored');
  assert.equal(clock.formatCorrection(-3723), '-01:02:03');
  assert.equal(clock.parseCorrection('-01:02:03'), -3723);
  assert.equal(clock.parseCorrection('\u22120:30'), -1800);
  assert.ok(Number.isNaN(clock.parseCorrection('1:75')));
  assert.ok(Number.isNaN(clock.parseCorrection('9000:00:00')));
  assert.equal(clock.parseZone('+05:30'), 330);
  assert.equal(clock.formatZone(-210), '-03:30');
  assert.ok(Number.isNaN(clock.parseZone('+15:00')));
  // Trip rows and events move with it.
  const texts = trips.eventTexts({ kind: 'impact', peak_ms: T0 }, (k) => k, (v) => String(v), undefined, 3600e3);
  assert.equal(texts.time, '09:14:30');
  const row = libraryView.tripText({ start_ms: T0, end_ms: T0 + 60e3, duration_ms: 60e3, distance_m: 1200 }, 1, 'English', 'km', (k) => k, -60e3);
  assert.equal(row.times, '08:13\u201308:14');
});

test('settings: what the file holds is kept within bounds, and the form is checked', () => {
  const d = prefs.defaults();
  assert.deepEqual(prefs.parse('not json'), d);
  const odd = prefs.parse(JSON.stringify({ clock_correction_s: 1.5, camera_utc_offset_min: 900, events: { braking_g: 0.6, impact_g: 99 }, stop_at_clip_end: 'yes', reopen_library: false, later: 1 }));
  assert.equal(odd.clock_correction_s, 0);
  assert.equal(odd.camera_utc_offset_min, 0);
  assert.equal(odd.events.braking_g, 0.6);
  assert.equal(odd.events.impact_g, 2.5);
  assert.equal(odd.stop_at_clip_end, false);
  assert.equal(odd.reopen_library, false);
  assert.ok(!('later' in odd));
  const form = { correction: '-00:00:30', zone: '+01:00', events: { braking_g: '0,5', acceleration_g: '', cornering_g: '0.45', impact_g: '3' }, reopen_library: true, stop_at_clip_end: true, snapshot_caption: false };
  const read = prefs.fromForm(form);
  assert.deepEqual(read.prefs.events, { braking_g: 0.5, acceleration_g: 0.35, cornering_g: 0.45, impact_g: 3 });
  assert.equal(read.prefs.clock_correction_s, -30);
  assert.equal(read.prefs.camera_utc_offset_min, 60);
  assert.equal(prefs.fromForm({ ...form, correction: 'soon' }).error, 'prefs.badCorrection');
  assert.equal(prefs.fromForm({ ...form, zone: '+25:00' }).error, 'prefs.badZone');
  assert.equal(prefs.fromForm({ ...form, events: { ...form.events, braking_g: '5' } }).error, 'prefs.badThreshold');
  assert.ok(decodeURIComponent(prefs.argument(read.prefs)).length < prefs.MAX_BYTES);
});

test('library filters: days on the corrected clock, event kinds, places', () => {
  const day = libraryView.dayStart('2026-06-01');
  assert.equal(day, Date.UTC(2026, 5, 1));
  assert.ok(Number.isNaN(libraryView.dayStart('')));
  const f = (o) => ({ from: NaN, to: NaN, event: '', movies: null, ...o });
  const brake = [{ events: [{ kind: 'harsh_braking' }] }];
  assert.ok(libraryView.rowPasses(f({ from: day, to: day }), T0, brake, ['a']));
  assert.ok(!libraryView.rowPasses(f({ from: day + 86400e3 }), T0, brake, ['a']));
  assert.ok(libraryView.rowPasses(f({ from: day + 86400e3 }), T0, brake, ['a'], 16 * 3600e3), 'the correction moves it into the next day');
  assert.ok(!libraryView.rowPasses(f({ to: day }), NaN, brake, ['a']), 'an untimed clip has no day');
  assert.ok(libraryView.rowPasses(f({ event: 'any' }), T0, brake, ['a']));
  assert.ok(!libraryView.rowPasses(f({ event: 'impact' }), T0, brake, ['a']));
  assert.ok(!libraryView.rowPasses(f({ event: 'any' }), T0, [{ events: [] }, null], ['a']));
  assert.ok(libraryView.rowPasses(f({ movies: new Set(['b']) }), T0, brake, ['a', 'b']));
  assert.ok(!libraryView.rowPasses(f({ movies: new Set() }), T0, brake, ['a']));
});
