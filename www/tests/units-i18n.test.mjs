// Every speed and distance follows the unit setting, and every visible text
// exists in every language.
import test from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync, readdirSync } from 'node:fs';
import units from '../js/units.js';
import i18n from '../js/i18n.js';

const here = new URL('..', import.meta.url);

test('speeds and distances in km or miles', () => {
  assert.equal(units.formatSpeed(100, 'km'), '100');
  assert.equal(units.formatSpeed(100, 'miles'), '62');
  assert.equal(units.formatSpeed(160.9344, 'miles'), '100');
  assert.equal(units.formatSpeed(NaN, 'km'), '\u2013');
  assert.equal(units.speedUnit('km'), 'km/h');
  assert.equal(units.speedUnit('miles'), 'mph');
  assert.equal(units.formatDistance(1.609344, 'miles'), '1.00');
  assert.equal(units.formatDistance(12.34, 'km'), '12.3');
  assert.equal(units.distanceUnit('miles'), 'mi');
  assert.ok(Math.abs(units.speedIn(36, 'miles') - 22.369) < 0.001);
});

test('clock texts', () => {
  assert.equal(units.formatClock(0), '0:00');
  assert.equal(units.formatClock(75.9), '1:15');
  assert.equal(units.formatClock(3725), '1:02:05');
  assert.equal(units.formatClock(NaN), '0:00');
});

test('every language has every text, with the same placeholders', () => {
  const english = i18n.STRINGS.English;
  const placeholders = (s) => (s.match(/\{\w+\}/g) || []).sort().join();
  assert.ok(i18n.LANGUAGES.length >= 3);
  for (const { id } of i18n.LANGUAGES) {
    const table = i18n.STRINGS[id];
    assert.ok(table, `${id} has a table`);
    assert.deepEqual(Object.keys(table).sort(), Object.keys(english).sort(), `${id} has exactly the English keys`);
    for (const key of Object.keys(english)) {
      assert.ok(table[key].trim().length > 0, `${id} ${key} is not empty`);
      assert.equal(placeholders(table[key]), placeholders(english[key]), `${id} ${key} placeholders`);
    }
  }
});

test('every key the page and its scripts use is translated', () => {
  const html = readFileSync(new URL('index.html', here), 'utf8');
  const used = new Set();
  for (const m of html.matchAll(/data-i18n(?:-title)?="([^"]+)"/g)) used.add(m[1]);
  const jsDir = new URL('js/', here);
  for (const file of readdirSync(jsDir)) {
    const text = readFileSync(new URL(file, jsDir), 'utf8');
    for (const m of text.matchAll(/\bt\('([a-zA-Z]+\.[\w.]+)'/g)) used.add(m[1]);
  }
  // Keys built at run time.
  for (const u of ['km', 'miles']) used.add('unit.' + u);
  for (const d of ['N', 'NE', 'E', 'SE', 'S', 'SW', 'W', 'NW']) used.add('dir.' + d);
  assert.ok(used.size > 40, `found ${used.size} keys`);
  for (const key of used) assert.ok(key in i18n.STRINGS.English, `missing translation key ${key}`);
});

test('translation lookup and fallbacks', () => {
  assert.equal(i18n.translate('German', 'library.import'), 'Importieren');
  assert.equal(i18n.translate('Klingon', 'library.import'), 'Import');
  assert.equal(i18n.translate('English', 'import.progress', { done: 2, total: 5, name: 'A.MOV' }), 'Importing 2 of 5: A.MOV');
  assert.equal(i18n.translate('English', 'no.such.key'), 'no.such.key');
  assert.equal(i18n.resolveLanguage('Deutsch'), 'German');
  assert.equal(i18n.resolveLanguage('fr'), 'French');
  assert.equal(i18n.resolveLanguage(''), 'English');
});
