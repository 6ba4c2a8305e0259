// Telemetry script files read as text give the table and the records that running them as scripts gave.
import test from 'node:test';
import assert from 'node:assert/strict';
import vm from 'node:vm';
import { readFileSync, readdirSync } from 'node:fs';
import readerModule from '../js/telemetry-reader.js';
import telemetry from '../js/telemetry.js';
import { sampleDrive, telemetryScript } from './support/sample-telemetry.mjs';

const { readScript, createReader, recordsByName, unquote } = readerModule;
const fixtures = new URL('./fixtures/', import.meta.url);
const fixtureTexts = readdirSync(fixtures)
  .filter((f) => f.endsWith('.data'))
  .map((f) => [f, readFileSync(new URL(f, fixtures), 'utf8')]);

// The page's old way: the file runs as a script against the global tables.
function runAsScript(text) {
  const context = { data: {}, data_cut: {} };
  vm.runInNewContext(text, context);
  return context;
}

// An entry as plain data: its keys in order with their values.
const plain = (entry) => Object.keys(entry).map((k) => [k, { ...entry[k] }]);

function assertSameAsScript(text, label) {
  const old = runAsScript(text);
  const read = readScript(text);
  assert.deepEqual(read.written, Object.keys(old.data), `${label}: entry names`);
  for (const name of read.written) {
    assert.equal(Array.isArray(read.table[name]), true, `${label}: an Array, as new Array() made it`);
    assert.deepEqual(plain(read.table[name]), plain(old.data[name]), `${label}: entry ${name}`);
    assert.deepEqual(
      recordsByName(read).get(name),
      telemetry.extractRecords(old.data, name),
      `${label}: records of ${name}`,
    );
  }
  assert.deepEqual({ ...read.cut }, { ...old.data_cut }, `${label}: data_cut`);
  assert.equal(read.skipped, 0, `${label}: nothing skipped`);
  return read;
}

test('files the extractor wrote read as they ran: names with quotes, backslashes and accents, every layout', () => {
  assert.equal(fixtureTexts.length, 3);
  const names = fixtureTexts.map(([file, text]) => assertSameAsScript(text, file).written[0]).sort();
  assert.deepEqual(names, ['NOVATEK.MOV', 'NULL.MOV', 'Ü \'q\' "dq" back\\slash.MOV']);
  const escaped = readScript(fixtureTexts.find(([f]) => f === 'escaped-name.data')[1]);
  const records = recordsByName(escaped).get('Ü \'q\' "dq" back\\slash.MOV');
  assert.equal(records.length, 60);
  assert.equal(records[30].key, '2026/06/01 09:01:0.0', 'the minute turns inside the clip');
  assert.equal(records[0].lbs, "51[ 30' 26.64:,-0[ 7' 40.08:", 'single quotes inside a double-quoted value');
});

test('a long generated drive, with its cut marker, reads as it ran', () => {
  const drive = sampleDrive({ seconds: 1500 });
  const text = telemetryScript('LONG \u2028\'.MOV', drive) + "data_cut['LONG \\u2028\\'.MOV']=15000;";
  const read = assertSameAsScript(text, 'long drive');
  assert.deepEqual(read.cut, { "LONG \u2028'.MOV": 15000 });
  assert.equal(Object.keys(read.table["LONG \u2028'.MOV"]).length, 15000);
});

test('streamed in any pieces, or read a slice at a time, the result is the same', () => {
  const text =
    fixtureTexts.map(([, t]) => t).join('') +
    telemetryScript('D.MOV', sampleDrive({ seconds: 60 })) +
    "data_cut['NULL.MOV']=30;\n";
  const whole = readScript(text);
  for (const size of [1, 7, 100, 4096]) {
    const reader = createReader();
    for (let i = 0; i < text.length; i += size) reader.feed(text.slice(i, i + size));
    const streamed = reader.end();
    assert.deepEqual(streamed.written, whole.written, `pieces of ${size}`);
    assert.deepEqual(recordsByName(streamed), recordsByName(whole), `pieces of ${size}`);
    assert.deepEqual(streamed.cut, whole.cut);
  }
  const reader = createReader();
  let stops = 0;
  let pos = 0;
  // Stop at every chance: the reader resumes where it stopped.
  while ((pos = reader.read(text, pos, () => true)) < text.length) stops++;
  assert.ok(stops > 0, 'the reader stopped between statements');
  assert.deepEqual(recordsByName(reader.end()), recordsByName(whole));
});

test('what is not a telemetry statement is skipped with its line; the rest is still read', () => {
  const good = telemetryScript('A.MOV', sampleDrive({ seconds: 1 }));
  const [head, ...lines] = good.split('\n');
  const text = [
    '\ufeff' + head,
    'alert("hi"); data["A.MOV"]["x"]={"speed":"1"};',
    '// a comment',
    ...lines.slice(0, 3),
    'data["A.MOV"]["broken"]={\'speed\':"1"',
    'data["A.MOV"]["__proto__"]={\'speed\':"1"};data["A.MOV"]["length"]=new Array();',
    ...lines.slice(3),
    "data_cut['A.MOV'] = 10 ;",
  ].join('\n');
  const read = readScript(text);
  assert.equal(read.skipped, 3, 'the script line, the comment and the unfinished object');
  const records = recordsByName(read).get('A.MOV');
  assert.equal(records.length, 10);
  assert.deepEqual(records.map((r) => r.key), sampleDrive({ seconds: 1 }).map((r) => r.key));
  assert.equal(Object.getPrototypeOf(read.table['A.MOV']), Array.prototype, 'no prototype was replaced');
  assert.equal(read.table['A.MOV'].length, 0);
  assert.deepEqual(read.cut, { 'A.MOV': 10 });
});

test('statements in other spacing and quoting, and a record before its entry line', () => {
  const text =
    'data [ "B.MOV" ] = new  Array ( ) \n' +
    "data['B.MOV']['2026/06/01 09:00:0.0'] = { speed : 36.5, \"lat\":'51.5', lon:-0.1, 'lbs':\"x\\u0041\\x42\\n\", } ;" +
    'data["C.MOV"]["k"]={\'speed\':"1"};';
  const read = readScript(text);
  assert.deepEqual(read.written, ['B.MOV', 'C.MOV']);
  assert.deepEqual({ ...read.table['B.MOV']['2026/06/01 09:00:0.0'] }, { speed: 36.5, lat: '51.5', lon: -0.1, lbs: 'xAB\n' });
  assert.deepEqual({ ...read.table['C.MOV'].k }, { speed: '1' }, 'the entry is started');
  assert.equal(unquote("'a\\'b\\\\c\\u{1F600}'"), "a'b\\c\u{1F600}");
});

test('names alternating between clips, in either quote, are each read as written', () => {
  const text =
    "data['A']=new Array();data['AB']=new Array();data[\"A\"][\"k1\"]={'speed':\"1\"};" +
    "data['AB'][\"k2\"]={'speed':\"2\"};data[\"A\"]['k3']={'speed':\"3\"};\n" +
    "data[\"a\\\"b\"]=new Array();data['a\"b'][\"k4\"]={'speed':\"4\"};data['a\\'b']=new Array();data[\"a'b\"][\"k5\"]={'speed':\"5\"};";
  const read = assertSameAsScript(text, 'alternating names');
  assert.deepEqual(read.written, ['A', 'AB', 'a"b', "a'b"]);
  assert.deepEqual(Object.keys(read.table.A), ['k1', 'k3']);
  assert.deepEqual(Object.keys(read.table["a'b"]), ['k5']);
});
