// The command URLs the native side receives: their arguments must survive
// WebKit's URL normalisation and the native side's split-then-decode.
import test from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import commands from '../js/commands.js';

const { fileUrl, commandUrl, pathsArgument, photoArgument, settingsArgument, snapshotPosition, CommandSender } =
  commands;

// What the native side does with a paths argument: split at literal commas,
// then percent-decode each piece.
const nativeSplit = (argument) => argument.split(',').map(decodeURIComponent);

test('file URLs escape every character that would end or split the URL', () => {
  assert.equal(fileUrl('/media/card/DCIM/FILE0001.MOV'), 'file:///media/card/DCIM/FILE0001.MOV');
  assert.equal(fileUrl('/a b/Fahrt ä;1,2#3?4%5.MOV'), 'file:///a%20b/Fahrt%20%C3%A4%3B1%2C2%233%3F4%255.MOV');
  const url = new URL(fileUrl('/tmp/x/we#ird?.MOV'));
  assert.equal(url.hash, '');
  assert.equal(url.search, '');
  assert.equal(decodeURIComponent(url.pathname), '/tmp/x/we#ird?.MOV');
});

test('paths arguments round-trip through the native split and decode', () => {
  const paths = ['/media/card/A.MOV', '/home/u/Road trip, day 1/B.MOV', '/tmp/%20literal/C;D.mov', '/tmp/ü/é.MOV'];
  const argument = pathsArgument(paths);
  assert.ok(!argument.includes(' '));
  assert.equal(argument.split(',').length, paths.length);
  assert.deepEqual(nativeSplit(argument), paths);
  assert.equal(pathsArgument([]), '');
  assert.equal(commandUrl('file_del_fun', pathsArgument(['/a b/c.MOV'])), 'http://file_del_fun/%2Fa%20b%2Fc.MOV');
});

test('snapshot position is the current time less one second, whole, never negative', () => {
  assert.deepEqual(snapshotPosition(0), { minutes: 0, seconds: 0 });
  assert.deepEqual(snapshotPosition(0.7), { minutes: 0, seconds: 0 });
  assert.deepEqual(snapshotPosition(1.99), { minutes: 0, seconds: 0 });
  assert.deepEqual(snapshotPosition(2), { minutes: 0, seconds: 1 });
  assert.deepEqual(snapshotPosition(61.5), { minutes: 1, seconds: 0 });
  assert.deepEqual(snapshotPosition(126.2), { minutes: 2, seconds: 5 });
  assert.deepEqual(snapshotPosition(NaN), { minutes: 0, seconds: 0 });
  assert.deepEqual(snapshotPosition(-3), { minutes: 0, seconds: 0 });
});

test('get_photo argument keeps its fields even when the path holds ";", the frame\'s exact time last', () => {
  const arg = photoArgument('/cards/a;b/FILE 1.MOV', 127.9);
  const fields = arg.split(';');
  assert.equal(fields.length, 4);
  assert.equal(fields[0], 'file:///cards/a%3Bb/FILE%201.MOV');
  assert.deepEqual(fields.slice(1), ['2', '6', '127900']);
  // Frame 1251 at 29.97 frames a second: its start rounded to the millisecond.
  assert.equal(photoArgument('/c/A.MOV', 1251 / 29.97).split(';')[3], '41742');
  assert.equal(decodeURIComponent(new URL(fields[0]).pathname), '/cards/a;b/FILE 1.MOV');
  // A stamp is one more field, whole whatever its caption holds.
  const stamp = { clock_ms: 1780304405500, lat: 51.5, caption: ['a;b', 'Stra\u00dfe'] };
  const stamped = photoArgument('/c/A;B.MOV', 2, stamp).split(';');
  assert.equal(stamped.length, 5);
  assert.deepEqual(JSON.parse(decodeURIComponent(stamped[4])), stamp);
  assert.equal(photoArgument('/c/A.MOV', 2, null).split(';').length, 4);
});

test('save_set argument is "unit,language" with each field escaped', () => {
  assert.equal(settingsArgument('km', 'English'), 'km,English');
  assert.equal(settingsArgument('miles', 'Fran,çais'), 'miles,Fran%2C%C3%A7ais');
});

// A minimal document: enough for the sender, and it records what it did.
function fakeDocument() {
  const frames = [];
  const body = {
    appendChild(frame) {
      frame.attached = true;
      frames.push(frame);
    },
  };
  return {
    frames,
    body,
    createElement(tag) {
      assert.equal(tag, 'iframe');
      return {
        style: {},
        attributes: {},
        setAttribute(k, v) {
          this.attributes[k] = v;
        },
        remove() {
          this.attached = false;
        },
      };
    },
  };
}

test('commands wait for the load event, then each gets a fresh hidden frame', () => {
  const doc = fakeDocument();
  const timers = [];
  const sender = new CommandSender(doc, { schedule: (fn, ms) => timers.push({ fn, ms }) });
  sender.send('mini');
  sender.send('save_set', 'km,English');
  assert.equal(doc.frames.length, 0, 'nothing may navigate before the load event');
  sender.markReady();
  assert.deepEqual(
    doc.frames.map((f) => f.src),
    ['http://mini/', 'http://save_set/km,English'],
  );
  sender.send('max');
  assert.equal(doc.frames.length, 3);
  assert.equal(new Set(doc.frames).size, 3, 'one frame per command');
  assert.ok(doc.frames.every((f) => f.style.display === 'none' && f.attached));
  assert.ok(timers.every((t) => t.ms === 1000));
  timers.forEach((t) => t.fn());
  assert.ok(doc.frames.every((f) => !f.attached), 'frames are removed after a second');
  sender.markReady();
  assert.equal(doc.frames.length, 3, 'a second load event resends nothing');
});

// The JSON Schema subset the README's export_route schema uses.
function schemaProblems(value, schema, where = '$') {
  const problems = [];
  if (schema.enum && !schema.enum.includes(value)) problems.push(`${where}: not one of ${schema.enum}`);
  if (schema.type === 'object') {
    if (typeof value !== 'object' || value === null || Array.isArray(value)) return [`${where}: not an object`];
    for (const key of schema.required || []) if (!(key in value)) problems.push(`${where}.${key}: missing`);
    for (const [key, item] of Object.entries(value)) {
      const sub = schema.properties[key];
      if (!sub) {
        if (schema.additionalProperties === false) problems.push(`${where}.${key}: not allowed`);
      } else problems.push(...schemaProblems(item, sub, `${where}.${key}`));
    }
  }
  if (schema.type === 'array') {
    if (!Array.isArray(value)) return [`${where}: not an array`];
    if (value.length < (schema.minItems || 0)) problems.push(`${where}: too few items`);
    value.forEach((item, i) => problems.push(...schemaProblems(item, schema.items, `${where}[${i}]`)));
  }
  if (schema.type === 'string') {
    if (typeof value !== 'string') return [`${where}: not a string`];
    if (schema.pattern && !new RegExp(schema.pattern).test(value)) problems.push(`${where}: does not match`);
  }
  return problems;
}

test('the route export argument is one escaped piece that follows the schema the README documents', () => {
  const readme = readFileSync(new URL('../README.md', import.meta.url), 'utf8');
  const schema = JSON.parse(/## The route export command[\s\S]*?```json\n([\s\S]*?)```/.exec(readme)[1]);
  assert.deepEqual(schema.properties.format.enum, commands.ROUTE_FORMATS, 'the page offers every documented format');
  assert.ok(schemaProblems({ clips: [], format: 'gpx', extra: 1 }, schema).length >= 2, 'the check can fail');

  const paths = ['/card/DCIM/A.MOV', '/home/u/Trip, day 1/http://merger/B?#%20.MOV', '/tmp/\u00fc "q" \\.mov'];
  for (const format of commands.ROUTE_FORMATS) {
    for (const [unit, speed] of [['km', 'kmh'], ['miles', 'mph']]) {
      const argument = commands.routeExportArgument(paths, format, unit);
      assert.doesNotMatch(argument, /[/?#,:]/, 'nothing of a path can end, split or name a command');
      const object = JSON.parse(decodeURIComponent(argument));
      assert.deepEqual(schemaProblems(object, schema), []);
      assert.deepEqual(object, { clips: paths, format, speed_unit: speed });
    }
  }
});
