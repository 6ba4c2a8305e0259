// Record lookup by time: the marker and the chart cursor follow the video
// through this.
import test from 'node:test';
import assert from 'node:assert/strict';
import vm from 'node:vm';
import telemetry from '../js/telemetry.js';
import { sampleDrive, telemetryScript } from './support/sample-telemetry.mjs';

const { parseKey, formatKey, extractRecords, buildTimeline, indexAt, positionAt, cumulativeKm, nearestIndex } =
  telemetry;

// Runs a telemetry script file as the page does: against a global `data`.
function runScript(text) {
  const context = { data: {} };
  vm.runInNewContext(text, context);
  return context.data;
}

test('record keys: one decimal, no leading zero on the second', () => {
  const base = parseKey('2017/05/21 13:05:00.0');
  assert.equal(parseKey('2017/05/21 13:05:56.5') - base, 56500);
  assert.equal(parseKey('2017/05/21 13:05:5.2') - base, 5200);
  assert.equal(parseKey('2017/05/21 13:06:0.0') - parseKey('2017/05/21 13:05:59.9'), 100);
  assert.equal(parseKey('2017/05/21 23:59:59.9') + 100, parseKey('2017/05/22 00:00:0.0'));
  assert.ok(Number.isFinite(parseKey('17/05/21 13:05:56.5')), 'a two-digit year is still a time');
  assert.ok(Number.isNaN(parseKey('garbage')));
  assert.equal(formatKey('2017/05/21 13:05:5.2'), '2017-05-21 13:05:05');
});

test('records come from the script file in file order', () => {
  const line =
    `data['A.MOV']=new Array();data["A.MOV"]["2017/05/21 13:05:56.5"]=new Array();data["A.MOV"]["2017/05/21 13:05:56.5"]=` +
    `{'speed':"36.000000",'degrees':"0.00",'lat':"51.5073967",'lon':"-3.1791000",'x':"0.01",'y':"-0.98",'z':"1.50",'lbs':"51[ 30' 26.64:,-3[ 10' 44.76:"};\n`;
  const records = extractRecords(runScript(line), 'A.MOV');
  assert.equal(records.length, 1);
  const r = records[0];
  assert.equal(r.speed, 36);
  assert.equal(r.lat, 51.5073967);
  assert.equal(r.lon, -3.1791);
  assert.deepEqual([r.x, r.y, r.z], [0.01, -0.98, 1.5]);
  assert.equal(r.hasPosition, true);

  const drive = sampleDrive({ seconds: 3 });
  const many = extractRecords(runScript(telemetryScript('B.MOV', drive)), 'B.MOV');
  assert.deepEqual(
    many.map((m) => m.key),
    drive.map((d) => d.key),
  );
});

test('a clip without telemetry yields no records, whatever the table holds', () => {
  assert.deepEqual(extractRecords(runScript("data['E.MOV']=new Array();"), 'E.MOV'), []);
  assert.deepEqual(extractRecords({}, 'E.MOV'), []);
  assert.deepEqual(extractRecords({ 'E.MOV': 'nonsense' }, 'E.MOV'), []);
  assert.deepEqual(extractRecords({ 'E.MOV': { k: null } }, 'E.MOV'), []);
  assert.deepEqual(extractRecords({ 'E.MOV': {} }, 'toString'), [], 'inherited names are no clips');
});

function records(keys) {
  return keys.map((key) => ({ key, time: parseKey(key), hasPosition: false }));
}

test('video time maps to records by their time since the first', () => {
  const recs = records(['2020/01/01 10:00:0.0', '2020/01/01 10:00:0.1', '2020/01/01 10:00:0.2', '2020/01/01 10:00:1.0']);
  const tl = buildTimeline(recs, 1.2);
  assert.deepEqual(tl.map((v) => Math.round(v * 10) / 10), [0, 0.1, 0.2, 1]);
  assert.equal(indexAt(tl, 0), 0);
  assert.equal(indexAt(tl, 0.15), 1);
  assert.equal(indexAt(tl, 0.5), 2, 'a gap holds the last record');
  assert.equal(indexAt(tl, 5), 3);
  assert.equal(indexAt(tl, -1), 0);
  assert.equal(indexAt([], 1), -1);
});

test('records whose times cannot be trusted spread over the video in order', () => {
  // The clock jumped back: time order would scramble the drive.
  const back = records(['2020/01/01 10:00:5.0', '2020/01/01 10:00:5.1', '2020/01/01 09:00:0.0', '2020/01/01 09:00:0.1']);
  assert.deepEqual(buildTimeline(back, 2), [0, 0.5, 1, 1.5]);
  // Keys span an hour for a two-second clip.
  const long = records(['2020/01/01 10:00:0.0', '2020/01/01 11:00:0.0']);
  assert.deepEqual(buildTimeline(long, 2), [0, 1]);
  // Unreadable keys, length unknown yet: ten records per second.
  const broken = records(['x', 'y', 'z']);
  assert.deepEqual(buildTimeline(broken, NaN), [0, 0.1, 0.2]);
  assert.deepEqual(buildTimeline([], 10), []);
});

test('the marker moves smoothly between fixes and skips records without one', () => {
  const recs = [
    { time: 0, hasPosition: true, lat: 50, lon: 8 },
    { time: 100, hasPosition: false, lat: 0, lon: 0 },
    { time: 200, hasPosition: true, lat: 50.002, lon: 8.002 },
  ];
  const tl = [0, 0.1, 0.2];
  assert.deepEqual(positionAt(recs, tl, 0), [50, 8]);
  const mid = positionAt(recs, tl, 0.1);
  assert.ok(Math.abs(mid[0] - 50.001) < 1e-9 && Math.abs(mid[1] - 8.001) < 1e-9);
  assert.deepEqual(positionAt(recs, tl, 9), [50.002, 8.002]);
  assert.equal(positionAt([{ hasPosition: false }], [0], 0), null);
});

test('distance and the record nearest to a clicked point', () => {
  const recs = [
    { hasPosition: true, lat: 0, lon: 0 },
    { hasPosition: false, lat: 0, lon: 0 },
    { hasPosition: true, lat: 0, lon: 1 },
    { hasPosition: true, lat: 1, lon: 1 },
  ];
  const km = cumulativeKm(recs);
  assert.equal(km[0], 0);
  assert.equal(km[1], 0);
  assert.ok(Math.abs(km[2] - 111.2) < 0.2, `one degree of longitude at the equator: ${km[2]}`);
  assert.ok(Math.abs(km[3] - 222.4) < 0.4);
  assert.equal(nearestIndex(recs, 0.1, 0.9), 2);
  assert.equal(nearestIndex(recs, 0.9, 1.05), 3);
  assert.equal(nearestIndex([{ hasPosition: false }], 0, 0), -1);
});

test('headings and compass points', () => {
  assert.equal(telemetry.headingDegrees(-84), 276);
  assert.equal(telemetry.headingDegrees(359.6), 0);
  assert.equal(telemetry.headingDegrees(725), 5);
  assert.ok(Number.isNaN(telemetry.headingDegrees(NaN)));
  assert.equal(telemetry.compassPoint(0), 'N');
  assert.equal(telemetry.compassPoint(359), 'N');
  assert.equal(telemetry.compassPoint(44), 'NE');
  assert.equal(telemetry.compassPoint(180), 'S');
  assert.equal(telemetry.compassPoint(-90), 'W');
  assert.equal(telemetry.compassPoint(NaN), '');
});
