// The library panel's rules: which clips a click or a key picks, in which
// order a merge gets them, and what each clip and the import bar say.
import test from 'node:test';
import assert from 'node:assert/strict';
import libraryView from '../js/library-view.js';
import library from '../js/library.js';
import i18n from '../js/i18n.js';

const { clipMeta, extendSelection, toggledSelection, listStep, chosenClips, importProgressView } = libraryView;
const t = (key, params) => i18n.translate('English', key, params);

test('up and down walk the list; typing in a field or a modified key does not', () => {
  const key = (k, extra = {}) => ({ key: k, target: { tagName: 'BODY' }, ...extra });
  assert.equal(listStep(key('ArrowDown'), -1, 3), 0, 'nothing shown yet: the first clip');
  assert.equal(listStep(key('ArrowDown'), 1, 3), 2);
  assert.equal(listStep(key('ArrowUp'), 1, 3), 0);
  assert.equal(listStep(key('ArrowDown'), 2, 3), 2, 'the last clip stays, and the key is still taken');
  assert.equal(listStep(key('ArrowUp'), 0, 3), 0);
  assert.equal(listStep(key('ArrowDown'), 0, 0), null, 'an empty library leaves the key alone');
  assert.equal(listStep(key('ArrowLeft'), 1, 3), null);
  for (const tagName of ['INPUT', 'SELECT', 'TEXTAREA']) {
    assert.equal(listStep(key('ArrowDown', { target: { tagName } }), 0, 3), null, tagName);
  }
  for (const modifier of ['ctrlKey', 'metaKey', 'altKey', 'shiftKey']) {
    assert.equal(listStep(key('ArrowDown', { [modifier]: true }), 0, 3), null, modifier);
  }
});

test('the selection keeps the order of the picks, which is the merge order', () => {
  const clips = library.buildClips('', '/c/A.MOV,/c/B.MOV,/c/C.MOV,/c/D.MOV,');
  assert.deepEqual(extendSelection([3], 3, 1), [3, 1, 2], 'a shift-click upwards appends lowest first');
  assert.deepEqual(extendSelection([0, 2], 0, 3), [0, 2, 1, 3], 'clips already picked keep their place');
  assert.deepEqual(toggledSelection([2, 0], 1), [2, 0, 1]);
  assert.deepEqual(toggledSelection([2, 0, 1], 0), [2, 1]);
  const picked = [3, 0];
  toggledSelection(picked, 1);
  extendSelection(picked, 0, 2);
  assert.deepEqual(picked, [3, 0], 'the selection held in the state is not changed in place');
  const names = (list) => list.map((c) => c.name);
  assert.deepEqual(names(chosenClips(clips, [2, 0, 1], 0)), ['C.MOV', 'A.MOV', 'B.MOV']);
  assert.deepEqual(names(chosenClips(clips, [], 3)), ['D.MOV'], 'no selection: the clip on screen');
  assert.deepEqual(names(chosenClips(clips, [], 0)), ['A.MOV']);
  assert.deepEqual(chosenClips(clips, [], -1), []);
  assert.deepEqual(names(chosenClips(clips, [7, 1], 0)), ['B.MOV'], 'an index past a shorter listing is dropped');
});

test('under each clip: reading, then its first record time and its length', () => {
  const clip = { name: 'A.MOV' };
  assert.equal(clipMeta(clip, undefined, t), 'reading\u2026');
  assert.equal(clipMeta(clip, 75, t), 'reading\u2026 \u00b7 1:15');
  clip.records = [{ key: '2026/06/01 09:11:5.0' }, { key: '2026/06/01 09:11:5.1' }];
  assert.equal(clipMeta(clip, 20.4, t), '2026-06-01 09:11:05 \u00b7 0:20');
  assert.equal(clipMeta(clip, NaN, t), '2026-06-01 09:11:05', 'an unreadable length is left out');
  assert.equal(clipMeta({ records: [] }, 6, t), '0:06');
});

test('the import bar names the clip being copied and ends at the total', () => {
  const first = importProgressView('0', '3', 'A.MOV', t);
  assert.deepEqual(first, { finished: false, text: 'Importing 1 of 3: A.MOV', fraction: 0 });
  const second = importProgressView(1, 3, 'B.MOV', t);
  assert.equal(second.text, 'Importing 2 of 3: B.MOV');
  assert.ok(Math.abs(second.fraction - 1 / 3) < 1e-9);
  assert.deepEqual(importProgressView('3', '3', '', t), { finished: true, text: 'Import finished', fraction: 1 });
  assert.deepEqual(importProgressView(undefined, 'x', undefined, t), { finished: false, text: 'Importing 1 of 0: ', fraction: 0 });
});
