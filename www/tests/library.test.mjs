// The listing CamVault hands over, the clip to show after it, and ini.txt.
import test from 'node:test';
import assert from 'node:assert/strict';
import library from '../js/library.js';
import i18n from '../js/i18n.js';

const { parseList, clipName, buildClips, chooseClip, parseSettings, normaliseUnit } = library;

test('comma-terminated lists', () => {
  assert.deepEqual(parseList(''), []);
  assert.deepEqual(parseList('/a/A.MOV,'), ['/a/A.MOV']);
  assert.deepEqual(parseList('/a/A.MOV,/b c/B.MOV,'), ['/a/A.MOV', '/b c/B.MOV']);
  assert.deepEqual(parseList(undefined), []);
});

test('clips pair entry k of both lists; a missing telemetry entry means none', () => {
  const clips = buildClips('/h/CAMVAULT/data/A.data,', '/card/A.MOV,/card2/B.mov,');
  assert.equal(clips.length, 2);
  assert.deepEqual(clips[0], { index: 0, path: '/card/A.MOV', name: 'A.MOV', key: 'A.MOV', dataPath: '/h/CAMVAULT/data/A.data' });
  assert.equal(clips[1].name, 'B.mov');
  assert.equal(clips[1].dataPath, '');
  assert.equal(clipName('/x/y/trip.movie.MOV'), 'trip.movie.MOV');
});

test('a clip of a name listed before reads its telemetry under its own key', () => {
  const summaries = { clips: [{ movie: '/b/FILE0001.MOV', key: 'FILE0001.MOV~2' }, { movie: '/x', key: 5 }] };
  const clips = buildClips('/d/FILE0001.data,/d/FILE0001~2.data,', '/a/FILE0001.MOV,/b/FILE0001.MOV,', summaries);
  assert.deepEqual(clips.map((c) => c.key), ['FILE0001.MOV', 'FILE0001.MOV~2']);
  assert.equal(buildClips('', '/b/FILE0001.MOV,', { clips: 'nonsense' })[0].key, 'FILE0001.MOV');
});

test('the clip shown after a listing', () => {
  const clips = buildClips('d1,d2,d3,', '/c/A.MOV,/c/B.MOV,/c/A.MOV,');
  assert.equal(chooseClip([], '0', null), -1);
  assert.equal(chooseClip(clips, '0', '/c/B.MOV'), 0, 'a page load shows the first clip');
  assert.equal(chooseClip(clips, '/c/B.MOV', null), 1, 'an import shows the clip it accepted');
  assert.equal(chooseClip(clips, '/c/A.MOV', null), 2, 'a clip imported again is the last entry');
  assert.equal(chooseClip(clips, '(null)', '/c/B.MOV'), 1, 'an import of nothing keeps the clip shown');
  assert.equal(chooseClip(clips, '(null)', '/gone.MOV'), 0);
  assert.equal(chooseClip(clips, '(null)', null), 0);
  assert.equal(chooseClip(clips, '/not/listed.MOV', null), 0);
});

test('settings: unit and language, percent-decoded, unknown values fall back', () => {
  const parse = (text) => parseSettings(text, i18n.resolveLanguage);
  assert.deepEqual(parse('km,English'), { unit: 'km', language: 'English' });
  assert.deepEqual(parse('miles,German'), { unit: 'miles', language: 'German' });
  assert.deepEqual(parse('miles,Fran%C3%A7ais'), { unit: 'miles', language: 'French' });
  assert.deepEqual(parse('mi,spanish'), { unit: 'miles', language: 'Spanish' });
  assert.deepEqual(parse(''), { unit: 'km', language: 'English' });
  assert.deepEqual(parse('furlongs,Klingon'), { unit: 'km', language: 'English' });
  assert.deepEqual(parse('miles'), { unit: 'miles', language: 'English' });
  assert.deepEqual(parse('%E0%A4%A,%'), { unit: 'km', language: 'English' }, 'broken escapes do not throw');
  assert.deepEqual(parse('\uFEFFmiles,German\n'), { unit: 'miles', language: 'German' });
  assert.equal(normaliseUnit('MPH'), 'miles');
});

test('settings text round-trips through save_set and a later read', async () => {
  const { settingsArgument } = (await import('../js/commands.js')).default;
  for (const language of i18n.LANGUAGES.map((l) => l.id)) {
    for (const unit of library.UNITS) {
      // ini.txt holds what follows the command prefix, undecoded.
      const stored = settingsArgument(unit, language);
      assert.deepEqual(parseSettings(stored, i18n.resolveLanguage), { unit, language });
    }
  }
});
