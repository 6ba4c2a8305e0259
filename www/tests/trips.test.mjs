// The library as trips and the shown clip's events: grouping, order, jumps, texts, merge order and the undoable removal.
import test from 'node:test';
import assert from 'node:assert/strict';
import trips from '../js/trips.js';
import libraryView from '../js/library-view.js';
import library from '../js/library.js';
import i18n from '../js/i18n.js';

const T0 = Date.UTC(2026, 5, 1, 9, 0, 0);
const clips = library.buildClips('', '/c/A.MOV,/c/B.MOV,/c/C.MOV,/c/D.MOV,');
// A and C make an early trip, B a later one; D has no telemetry.
const summaries = {
  clips: [
    { movie: '/c/A.MOV', start_ms: T0, trip: 0 },
    { movie: '/c/B.MOV', start_ms: T0 + 3600e3, trip: 1 },
    { movie: '/c/C.MOV', start_ms: T0 + 180e3, trip: 0 },
    { movie: '/c/D.MOV', start_ms: null, trip: 2 },
  ],
  trips: [
    { timed: true, start_ms: T0, end_ms: T0 + 360e3, duration_ms: 360e3, distance_m: 5230, events: 2, clips: [0, 2] },
    { timed: true, start_ms: T0 + 3600e3, end_ms: T0 + 3780e3, duration_ms: 180e3, distance_m: 900, events: 0, clips: [1] },
    { timed: false, start_ms: null, clips: [3] },
  ],
};

test('trips come newest first with their clips in driving order; untimed clips stand alone', () => {
  const rows = trips.tripRows(clips, summaries);
  assert.deepEqual(rows.map((r) => (r.clips ? ['trip', r.trip, r.clips] : ['clip', r.clip])), [
    ['trip', 1, [1]],
    ['trip', 0, [0, 2]],
    ['clip', 3],
  ]);
  assert.deepEqual(trips.displayOrder(rows, 4), [1, 0, 2, 3], 'the arrow keys walk the list as shown');
  assert.equal(trips.tripOfClip(rows, 2), 1);
  assert.equal(trips.tripOfClip(rows, 3), -1);
});

test('without summaries, or summaries of other clips, the list stays flat', () => {
  assert.equal(trips.tripRows(clips, { clips: [] }), null);
  assert.equal(trips.tripRows(clips, null), null);
  const other = { clips: [{ movie: '/x/Z.MOV' }], trips: [{ timed: true, start_ms: T0, clips: [0] }] };
  assert.equal(trips.tripRows(clips, other), null);
  assert.deepEqual(trips.displayOrder(null, 3), [0, 1, 2]);
});

test('a listed clip the trips do not name stands alone after them', () => {
  const more = library.buildClips('', '/c/A.MOV,/c/E.MOV,');
  const rows = trips.tripRows(more, summaries);
  assert.deepEqual(rows.map((r) => r.clips || r.clip), [[0], 1]);
});

test('a trip row: day, clock times as recorded, length, distance in the unit and language, plurals', () => {
  const t = (language) => (key, params) => i18n.translate(language, key, params);
  const en = libraryView.tripText(summaries.trips[0], 2, 'English', 'km', t('English'));
  assert.match(en.when, /2026/);
  assert.match(en.when, /09:00\u201309:06$/);
  assert.equal(en.facts, '6 min \u00b7 5.2 km \u00b7 2 clips \u00b7 2 events');
  const de = libraryView.tripText(summaries.trips[1], 1, 'German', 'miles', t('German'));
  assert.equal(de.facts, '3 min \u00b7 0,6 mi \u00b7 1 Clip \u00b7 0 Ereignisse');
  const fr = libraryView.tripText({ ...summaries.trips[1], distance_m: null }, 1, 'French', 'km', t('French'));
  assert.equal(fr.facts, '3 min \u00b7 \u2013 \u00b7 1 clip \u00b7 0 \u00e9v\u00e9nement', 'French takes the singular for 0');
  assert.match(libraryView.tripText(summaries.trips[0], 2, 'German', 'km', t('German')).when, /^Mo\., 1\. Juni 2026/);
});

test('trip lengths read as seconds, minutes or hours', () => {
  assert.equal(trips.formatDuration(45e3), '45 s');
  assert.equal(trips.formatDuration(42 * 60e3), '42 min');
  assert.equal(trips.formatDuration(65 * 60e3), '1 h 05 min');
  assert.equal(trips.formatDuration(null), '\u2013');
});

const summary = {
  start_ms: T0,
  events: [
    { kind: 'sharp_cornering', start_ms: T0 + 40e3, peak_ms: T0 + 41e3, peak_g: 0.5, at: null },
    { kind: 'harsh_braking', start_ms: T0 + 12e3, peak_ms: T0 + 12.5e3, peak_g: -0.72, at: [51.5114465, -0.1016102] },
    { kind: 'impact', start_ms: T0 + 1e3, peak_ms: T0 + 1e3, peak_g: 2.1, at: [-33.8688, 151.2093] },
  ],
};

test('events sit on the video timeline from the clip start; a jump lands a few seconds before', () => {
  const events = trips.clipEvents(summary);
  assert.deepEqual(events.map((e) => e.seconds), [1, 12, 40]);
  assert.deepEqual(events.map(trips.jumpTime), [0, 9, 37], 'never before the clip starts');
  assert.deepEqual(trips.clipEvents({ start_ms: null, events: summary.events }), []);
  assert.deepEqual(trips.clipEvents(undefined), []);
});

test('n and p step through events from where the video is, also from an event just jumped to', () => {
  const events = trips.clipEvents(summary);
  const at = (e) => (e ? e.seconds : null);
  assert.equal(at(trips.stepEvent(events, 0, 1)), 12, 'at 0 s the first jump point (0) is behind');
  assert.equal(at(trips.stepEvent(events, 9, 1)), 40, 'from the braking\u2019s jump point, the next one');
  assert.equal(at(trips.stepEvent(events, 9, -1)), 1);
  assert.equal(at(trips.stepEvent(events, 50, -1)), 40);
  assert.equal(trips.stepEvent(events, 38, 1), null, 'none after the last');
  assert.equal(trips.stepEvent(events, 0, -1), null);
  const key = (k, extra = {}) => ({ key: k, target: { tagName: 'BODY' }, ...extra });
  assert.equal(trips.eventKey(key('n')), 1);
  assert.equal(trips.eventKey(key('p')), -1);
  assert.equal(trips.eventKey(key('x')), 0);
  assert.equal(trips.eventKey(key('n', { ctrlKey: true })), 0);
  assert.equal(trips.eventKey(key('n', { target: { tagName: 'INPUT', type: 'text' } })), 0);
  assert.equal(trips.eventKey(key('n', { target: { tagName: 'INPUT', type: 'range' } })), 1, 'the seek bar passes it on');
});

test('an event line: kind translated, clock time, signed peak in g and place in degrees, minutes, seconds', () => {
  const events = trips.clipEvents(summary);
  const texts = (language, e) =>
    trips.eventTexts(e, (k, p) => i18n.translate(language, k, p), (v, d) => i18n.formatNumber(language, v, d), {
      N: 'N', S: 'S', E: language === 'German' ? 'O' : 'E', W: 'W',
    });
  assert.deepEqual(texts('English', events[1]), {
    kind: 'Harsh braking', time: '09:00:12', peak: '-0.72 g', place: '51\u00b030\'41.2"N 0\u00b006\'05.8"W',
  });
  const de = texts('German', events[0]);
  assert.equal(de.kind, 'Aufprall');
  assert.equal(de.peak, '2,10 g');
  assert.equal(de.place, '33\u00b052\'07,7"S 151\u00b012\'33,5"O');
  assert.equal(texts('Spanish', events[2]).place, '', 'no place without a fix');
  assert.equal(texts('French', events[2]).kind, 'Virage serr\u00e9');
});

test('degrees, minutes and seconds never show 60 seconds', () => {
  assert.equal(trips.formatDms([10.9999999, 0]), '11\u00b000\'00.0"N 0\u00b000\'00.0"E');
  assert.equal(trips.formatDms(null), '');
});

test('a coordinate between 0 and -1 degrees keeps its hemisphere; letters in the page\u2019s language', () => {
  assert.match(trips.formatDms([51.1, -0.5]), /0\u00b030'00.0"W$/);
  assert.equal(trips.formatDms([-33.9, 18.4], { N: 'N', S: 'S', E: 'O', W: 'W' }), '33\u00b054\'00.0"S 18\u00b024\'00.0"O');
});

test('merge takes the clips by recording time; untimed ones keep their picked order after them', () => {
  const c = (name, start) => ({ name, summary: start === null ? { start_ms: null } : { start_ms: start } });
  const picked = [c('late', 300), c('none1', null), c('early', 100), c('none2', null), { name: 'read', records: [{ time: 200 }] }];
  assert.deepEqual(trips.mergeOrder(picked, 'clock').map((x) => x.name), ['early', 'read', 'late', 'none1', 'none2']);
  assert.deepEqual(trips.mergeOrder(picked, 'picked').map((x) => x.name), picked.map((x) => x.name));
});

// Timers under the test's hand.
function fakeTimers() {
  let now = 0;
  let next = 1;
  const due = new Map();
  return {
    setTimeout: (f, ms) => (due.set(next, [now + ms, f]), next++),
    clearTimeout: (id) => due.delete(id),
    advance(ms) {
      now += ms;
      for (const [id, [at, f]] of [...due]) if (at <= now) (due.delete(id), f());
    },
  };
}

test('a removal is sent only after 10 s or when the note is closed, and undo cancels it', () => {
  const timers = fakeTimers();
  const sent = [];
  const removal = trips.createRemoval((paths) => sent.push(paths), timers);
  removal.start(['/c/A.MOV', '/c/B.MOV']);
  timers.advance(9999);
  assert.deepEqual(sent, []);
  assert.deepEqual(removal.pendingPaths(), ['/c/A.MOV', '/c/B.MOV']);
  timers.advance(1);
  assert.deepEqual(sent, [['/c/A.MOV', '/c/B.MOV']]);
  assert.deepEqual(removal.pendingPaths(), []);

  removal.start(['/c/C.MOV']);
  assert.deepEqual(removal.undo(), ['/c/C.MOV']);
  timers.advance(20000);
  assert.equal(sent.length, 1, 'undone: nothing sent, ever');

  removal.start(['/c/D.MOV']);
  removal.commit();
  assert.deepEqual(sent[1], ['/c/D.MOV'], 'closing the note removes at once');
  timers.advance(20000);
  assert.equal(sent.length, 2, 'and only once');

  removal.start(['/c/E.MOV']);
  removal.start(['/c/F.MOV']);
  assert.deepEqual(sent[2], ['/c/E.MOV'], 'a second removal sends the first');
  assert.equal(removal.undo()[0], '/c/F.MOV');
});

test('plural forms and numbers follow the language', () => {
  assert.equal(i18n.translate('English', 'removal.note', { count: 1 }), '1 clip removed');
  assert.equal(i18n.translate('English', 'removal.note', { count: 3 }), '3 clips removed');
  assert.equal(i18n.translate('German', 'library.clips', { count: 1 }), '1 Clip');
  assert.equal(i18n.translate('Spanish', 'removal.note', { count: 3 }), '3 clips quitados');
  assert.equal(i18n.translate('French', 'trip.events', { count: 1 }), '1 \u00e9v\u00e9nement');
  assert.equal(i18n.formatNumber('English', 1234.56, 1), '1,234.6');
  assert.equal(i18n.formatNumber('German', 1234.56, 1), '1.234,6');
  assert.equal(i18n.formatNumber('Spanish', 0.72, 2), '0,72');
  assert.equal(i18n.formatNumber('French', 0.5, 1), '0,5');
  assert.equal(i18n.formatNumber('English', NaN, 1), '\u2013');
});

test('only summaries that know whether the clip has telemetry are taken', () => {
  const byMovie = trips.summariesByMovie({
    clips: [{ movie: '/c/A.MOV', has_telemetry: true }, { movie: '/c/B.MOV', has_telemetry: null }, { movie: '/c/C.MOV', has_telemetry: false }, null],
  });
  assert.deepEqual([...byMovie.keys()], ['/c/A.MOV', '/c/C.MOV']);
  assert.equal(trips.summariesByMovie(undefined).size, 0);
});

test('a shift-click takes the clips between as the list shows them, trips newest first', () => {
  const order = trips.displayOrder(trips.tripRows(clips, summaries), 4); // [1, 0, 2, 3]
  assert.deepEqual(libraryView.extendSelection([1], 1, 2, order), [1, 0, 2]);
  assert.deepEqual(libraryView.extendSelection([3], 3, 0, order), [3, 0, 2], 'upwards, lowest on screen first');
  assert.deepEqual(libraryView.extendSelection([], 5, 2, order), [2], 'an anchor no longer listed takes the clip alone');
  assert.deepEqual(libraryView.extendSelection([0], 0, 2), [0, 1, 2], 'without trips: listing order');
});
