// What the export dialog asks CamVault for: pieces of a trip's clips for a span, the request's
// fields for each choice, and the answers it reads.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';

const require = createRequire(import.meta.url);
const tripPlan = require('../js/trip-plan.js');
const exportView = require('../js/export-view.js');

// Three 60 s clips recorded back to back with a 2 s overlap, and a 30 s
// clip after a 100 s stop.
const plan = {
  parts: [
    { path: '/c/A.MOV', offset: 0, duration: 60, startAt: 0 },
    { path: '/c/B.MOV', offset: 58, duration: 60, startAt: 2 },
    { path: '/c/C.MOV', offset: 218, duration: 30, startAt: 0 },
  ],
  total: 248,
};

test('a span of the trip becomes the pieces of the clips that play it, overlaps once', () => {
  assert.deepEqual(tripPlan.piecesFor(plan, 45, 75), [
    { path: '/c/A.MOV', from_ms: 45000 },
    { path: '/c/B.MOV', from_ms: 2000, to_ms: 17000 },
  ]);
  // Within one clip.
  assert.deepEqual(tripPlan.piecesFor(plan, 10.5, 20.25), [{ path: '/c/A.MOV', from_ms: 10500, to_ms: 20250 }]);
  // A span that reaches over the stop takes only what was recorded.
  assert.deepEqual(tripPlan.piecesFor(plan, 110, 230), [
    { path: '/c/B.MOV', from_ms: 52000 },
    { path: '/c/C.MOV', from_ms: 0, to_ms: 12000 },
  ]);
  assert.deepEqual(tripPlan.piecesFor(plan, 130, 200), []); // the stop holds no clip
  assert.deepEqual(tripPlan.piecesFor(plan, 20, 20), []);
  assert.deepEqual(tripPlan.piecesFor(plan, 30, 10), []);
  assert.deepEqual(tripPlan.piecesFor(plan, NaN, 10), []);
});

test('each choice makes its request, or says what is missing', () => {
  const stampAt = (s) => ({ clock_ms: 1780304400000 + Math.round(s * 1000) });
  const event = { seconds: 70, kind: 'harsh_braking' };
  const base = { plan, marks: { a: NaN, b: NaN }, event, total: 248, stampAt, clips: [{ path: '/c/B.MOV' }, { path: '/c/A.MOV' }] };

  assert.deepEqual(exportView.exportRequest({ ...base, choice: 'merge', name: '  Commute ' }).request, {
    name: 'Commute',
    kind: 'merge',
    pieces: [{ clip: '/c/B.MOV' }, { clip: '/c/A.MOV' }],
  });
  assert.equal(exportView.exportRequest({ ...base, choice: 'merge', clips: [] }).error, 'select.first');
  assert.deepEqual(exportView.exportRequest({ ...base, choice: 'span', marks: { a: 1, b: 2 }, burnIn: true }).request.options, { burn_in: true });

  // 30 s around the brake at 70 s of the trip: 55 s to 85 s, the end of A and the start of B.
  assert.deepEqual(exportView.exportRequest({ ...base, choice: 'event' }).request, {
    kind: 'trim',
    pieces: [
      { clip: '/c/A.MOV', from_ms: 55000 },
      { clip: '/c/B.MOV', from_ms: 2000, to_ms: 27000 },
    ],
  });
  // Near the start of the trip the span starts at 0.
  assert.deepEqual(exportView.spanOf('event', null, { seconds: 4 }, 248), [0, 19]);

  const pack = exportView.exportRequest({ ...base, choice: 'packEvent' }).request;
  assert.equal(pack.kind, 'evidence');
  assert.deepEqual(pack.event, { kind: 'harsh_braking', clip: '/c/B.MOV', at_ms: 12000, stamp: { clock_ms: 1780304470000 } });

  assert.equal(exportView.exportRequest({ ...base, choice: 'span' }).error, 'export.noMarks');
  assert.equal(exportView.exportRequest({ ...base, choice: 'span', marks: { a: 50, b: 40 } }).error, 'export.noMarks');
  const span = exportView.exportRequest({ ...base, choice: 'packSpan', marks: { a: 20, b: 40 } }).request;
  assert.deepEqual(span.pieces, [{ clip: '/c/A.MOV', from_ms: 20000, to_ms: 40000 }]);
  assert.equal(span.event.kind, 'marked');
  assert.equal(span.event.at_ms, 20000);
  assert.equal(exportView.exportRequest({ ...base, choice: 'packEvent', event: undefined }).error, 'export.noEvent');
  assert.equal(exportView.exportRequest({ ...base, choice: 'event', plan: null }).error, 'export.noClip');

  for (const name of ['.hidden', 'a/b', 'tab\there', 'x'.repeat(101)]) {
    assert.equal(exportView.exportRequest({ ...base, choice: 'merge', name }).error, 'export.badName', name);
  }
});

test('export_result is read from its JSON text, and a broken one is a failure', () => {
  assert.deepEqual(exportView.parseResult('{"ok":true,"path":"/f/a.mov","mode":"lossless"}'), {
    ok: true,
    path: '/f/a.mov',
    mode: 'lossless',
  });
  assert.equal(exportView.parseResult('{broken').ok, false);
  assert.equal(exportView.parseResult({ ok: false, cancelled: true }).cancelled, true);
});
