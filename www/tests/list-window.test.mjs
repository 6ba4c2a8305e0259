// A long list keeps only the rows near its view: which those are, and the heights left out.
import test from 'node:test';
import assert from 'node:assert/strict';
import listWindow from '../js/list-window.js';

test('rows near the view stay; the rest become the spacers\u2019 heights', () => {
  const heights = Array(1000).fill(40);
  const w = listWindow.windowOf(heights, 4000, 400, 400);
  // The view with its margins is 3,600 to 4,800 px: rows 89 (touching it) to 120.
  assert.deepEqual(w, { first: 89, last: 121, topPad: 89 * 40, bottomPad: (1000 - 121) * 40 });
  assert.equal(w.topPad + (w.last - w.first) * 40 + w.bottomPad, 40000, 'the list keeps its whole height');
  assert.deepEqual(listWindow.windowOf(heights, 0, 400, 400), { first: 0, last: 21, topPad: 0, bottomPad: 979 * 40 });
});

test('hidden rows (0 px) and rows of every height count as they are', () => {
  const heights = [52, 0, 0, 492, 52, 0, 44, 44];
  const w = listWindow.windowOf(heights, 600, 50, 0);
  // 600 to 650 px: the 52 px row ends at 596, the two 44 px rows from 596 and 640 are in.
  assert.deepEqual(w, { first: 6, last: 8, topPad: 596, bottomPad: 0 });
  assert.deepEqual(listWindow.windowOf([], 0, 100, 100), { first: 0, last: 0, topPad: 0, bottomPad: 0 });
  assert.deepEqual(listWindow.windowOf([40, 40], 5000, 100, 100), { first: 0, last: 0, topPad: 80, bottomPad: 0 }, 'scrolled past the end: nothing in view');
});
