// Messages the native side sends with a key show in the page's language with their parameters, and its English text otherwise.
import test from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import i18n from '../js/i18n.js';
import tools from '../js/tools.js';

const { messageText, messageParams, LANGUAGES } = i18n;

// The keys of the README's table, the protocol the native side follows.
const readme = readFileSync(new URL('../README.md', import.meta.url), 'utf8');
const section = readme.slice(readme.indexOf('## Messages with keys'), readme.indexOf('## Clips that cannot be opened'));
const documented = [...section.matchAll(/^\| `(\w+)` \|\s*([^|]*?)\s*\|/gm)].map((m) => ({
  key: m[1],
  params: [...m[2].matchAll(/`(\w+)`/g)].map((p) => p[1]),
}));

test('every documented key has a text in every language, with its parameters put in', () => {
  assert.equal(documented.length, 22);
  for (const { key, params } of documented) {
    const values = Object.fromEntries(params.map((p) => [p, `<${p}>`]));
    const shown = new Set();
    for (const { id } of LANGUAGES) {
      const text = messageText(id, 'ENGLISH FALLBACK', key, JSON.stringify(values));
      assert.notEqual(text, 'ENGLISH FALLBACK', `${id} ${key} is translated`);
      assert.doesNotMatch(text, /\{\w+\}/, `${id} ${key}: no placeholder left`);
      const english = i18n.STRINGS.English['msg.' + key];
      for (const p of params) {
        if (english.includes(`{${p}}`)) assert.ok(text.includes(`<${p}>`), `${id} ${key} shows ${p}`);
      }
      shown.add(text);
    }
    // Keys whose text is the system's own error alone read the same everywhere.
    if (key !== 'snapshot_failed' && key !== 'route_export_failed') {
      assert.equal(shown.size, LANGUAGES.length, `${key} differs per language`);
    }
  }
});

test('keyed messages in German and French, params as JSON text or as an object', () => {
  assert.equal(
    messageText('German', 'The telemetry of A was cut at 100000 records.', 'telemetry_cut', '{"clip":"A.MOV","records":"100000"}'),
    'Die Telemetrie von A.MOV wurde nach 100000 Datens\u00e4tzen abgeschnitten.',
  );
  assert.equal(
    messageText('French', 'x', 'settings_too_large', { size: 5000, limit: 4096 }),
    'R\u00e9glages non enregistr\u00e9s : 5000 octets d\u00e9passent les 4096 octets permis.',
  );
  assert.equal(
    messageText('German', 'x', 'export_missing_clips', '{"clips":"/c/A.MOV\\n/c/B.MOV"}'),
    'Diese Clips k\u00f6nnen nicht gelesen werden, daher wurde nichts exportiert: /c/A.MOV\n/c/B.MOV',
  );
  assert.equal(messageText('Spanish', 'None exists.', 'export_nothing', ''), 'No se eligi\u00f3 ning\u00fan clip.');
  assert.equal(messageText('German', 'x', 'snapshot_failed', '{"error":"no such file"}'), 'no such file', 'the error itself');
  assert.equal(messageText('German', 'x', 'library_problem', '{"error":"$& {error} $1"}'), 'Der Bibliotheksordner kann nicht verwendet werden: $& {error} $1', 'parameter text put in literally');
});

test('the English text stands in for an unknown or empty key and for missing parameters', () => {
  assert.equal(messageText('German', 'Disk on fire', 'disk_on_fire', '{}'), 'Disk on fire');
  assert.equal(messageText('German', 'Plain text', '', ''), 'Plain text');
  assert.equal(messageText('German', 'Plain text', undefined, undefined), 'Plain text', 'the old one-argument form');
  assert.equal(messageText('German', 'Settings not saved: EIO', 'settings_not_saved', '{}'), 'Settings not saved: EIO');
  assert.equal(messageText('German', 'Settings not saved: EIO', 'settings_not_saved', '{not json'), 'Settings not saved: EIO');
  assert.equal(messageText('German', 'text', 'toString', '{}'), 'text', 'no key outside the table');
  assert.deepEqual(messageParams('["a"]'), {});
  assert.deepEqual(messageParams('{"n":5,"gone":null}'), { n: '5' });
});

test('a failed snapshot with a key, and the old forms with strings', () => {
  const t = (key, params) => i18n.translate('German', key, params);
  const message = (text, key, params) => messageText('German', text, key, params);
  const outcome = tools.snapshotOutcome('false', 'There is no frame at 0:12.', 'snapshot_outside_movie', '{"time":"0:12"}');
  assert.deepEqual(tools.snapshotMessage(outcome, t, message), {
    text: 'Standbild fehlgeschlagen: Bei 0:12 gibt es in diesem Clip kein Bild.',
    kind: 'error',
  });
  assert.deepEqual(tools.snapshotMessage(tools.snapshotOutcome(false, 'disk full'), t, message), {
    text: 'Standbild fehlgeschlagen: disk full',
    kind: 'error',
  });
  assert.equal(tools.snapshotMessage(tools.snapshotOutcome('true', '/f/a.png'), t, message).text, 'Standbild gespeichert: /f/a.png');
});
