// Days in the filter fields, typed and shown as each language writes them.
import test from 'node:test';
import assert from 'node:assert/strict';
import dateField from '../js/date-field.js';

test('a day is written in the language\u2019s order and with its separator', () => {
  assert.equal(dateField.format('2026-03-05', 'de'), '05.03.2026');
  assert.equal(dateField.format('2026-03-05', 'fr'), '05/03/2026');
  assert.equal(dateField.format('2026-03-05', 'es'), '05/03/2026');
  assert.equal(dateField.format('2026-03-05', 'en'), '03/05/2026');
  assert.equal(dateField.format('', 'de'), '');
  assert.equal(dateField.format(undefined, 'de'), '');
  assert.equal(dateField.hint('de', { day: 'TT', month: 'MM', year: 'JJJJ' }), 'TT.MM.JJJJ');
  assert.equal(dateField.hint('en', { day: 'dd', month: 'mm', year: 'yyyy' }), 'mm/dd/yyyy');
});

test('what is typed reads back in the language\u2019s order, ISO in any; no real day is refused', () => {
  assert.equal(dateField.parse('05.03.2026', 'de'), '2026-03-05');
  assert.equal(dateField.parse('5.3.26', 'de'), '2026-03-05', 'short forms and a two-digit year');
  assert.equal(dateField.parse('05/03/2026', 'fr'), '2026-03-05');
  assert.equal(dateField.parse('03/05/2026', 'en'), '2026-03-05', 'English puts the month first');
  assert.equal(dateField.parse(' 2026-03-05 ', 'fr'), '2026-03-05');
  for (const locale of ['de', 'fr', 'es', 'en']) {
    assert.equal(dateField.parse(dateField.format('2024-02-29', locale), locale), '2024-02-29', `${locale} round trip`);
  }
  assert.equal(dateField.parse('', 'de'), '');
  assert.equal(dateField.parse('   ', 'de'), '');
  assert.equal(dateField.parse('31.02.2026', 'de'), null, 'no 31 February');
  assert.equal(dateField.parse('29.02.2025', 'de'), null, 'no 29 February outside leap years');
  assert.equal(dateField.parse('13/13/2026', 'fr'), null);
  assert.equal(dateField.parse('05.03', 'de'), null, 'a year is needed');
  assert.equal(dateField.parse('05.03.202', 'de'), null);
  assert.equal(dateField.parse('morgen', 'de'), null);
  assert.equal(dateField.parse('2026-13-01', 'de'), null);
});
