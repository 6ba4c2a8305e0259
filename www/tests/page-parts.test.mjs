// The rules inside the viewer, the recording view and the tools: chart axes
// and hover texts, the recording clock, and what a snapshot reports.
import test from 'node:test';
import assert from 'node:assert/strict';
import viewer from '../js/viewer.js';
import recordingView from '../js/recording-view.js';
import tools from '../js/tools.js';
import i18n from '../js/i18n.js';

const t = (key, params) => i18n.translate('English', key, params);

test('chart axes: speed from zero to a round ten, G symmetric in half-g steps', () => {
  assert.deepEqual(viewer.speedRange(0, 0), [0, 10], 'a parked car still gets an axis');
  assert.deepEqual(viewer.speedRange(3, 9), [0, 10]);
  assert.deepEqual(viewer.speedRange(20, 95), [0, 110], 'headroom above the top speed');
  assert.deepEqual(viewer.speedRange(0, 50), [0, 60]);
  assert.deepEqual(viewer.gRange(-0.3, 0.2), [-1, 1]);
  assert.deepEqual(viewer.gRange(-1.2, 0.4), [-1.5, 1.5]);
  assert.deepEqual(viewer.gRange(0, 2.01), [-2.5, 2.5]);
});

test('chart hover texts', () => {
  assert.equal(viewer.formatG(0.2), '+0.20');
  assert.equal(viewer.formatG(-0.985), '\u22120.98');
  assert.equal(viewer.formatG(0), '+0.00');
  assert.equal(viewer.formatG(NaN), '\u2013');
  const shown = { records: [{ speed: 40 }, { speed: 50 }], timeline: [0, 65.2] };
  const describe = (r) => r.speed + ' km/h';
  assert.equal(viewer.hoverText(shown, 1, describe), '1:05  50 km/h');
  assert.equal(viewer.hoverText(shown, 0, describe), '0:00  40 km/h', 'the first record is a record too');
  assert.equal(viewer.hoverText(shown, null, describe), '');
  assert.equal(viewer.hoverText(shown, 2, describe), '');
  assert.equal(viewer.hoverText(null, 0, describe), '');
});

test('the recording state the native side reports, and when the clock restarts', () => {
  const { reportedState, startsClock, elapsedText } = recordingView;
  assert.equal(reportedState('recording'), 'recording');
  assert.equal(reportedState('PAUSED'), 'paused');
  for (const other of ['stopped', 'starting', '', undefined, null, 'error']) assert.equal(reportedState(other), 'stopped', String(other));
  assert.equal(startsClock('stopped', 'recording'), true);
  assert.equal(startsClock('starting', 'recording'), true);
  assert.equal(startsClock('paused', 'recording'), false, 'a resumed recording keeps counting');
  assert.equal(startsClock('recording', 'recording'), false);
  assert.equal(startsClock('stopped', 'paused'), false);
  assert.equal(elapsedText('recording', 1000, 66500, t), 'Recording 1:05');
  assert.equal(elapsedText('paused', 0, 3000, t), 'Paused 0:03');
});

test('snapshot outcomes, with arguments as booleans or strings', () => {
  const { snapshotOutcome, snapshotMessage } = tools;
  for (const ok of [true, 'true', 1, '1']) assert.equal(snapshotOutcome(ok, '/p.png').ok, true, String(ok));
  for (const ok of [false, 'false', 0, '0', undefined]) assert.equal(snapshotOutcome(ok, 'x').ok, false, String(ok));
  assert.equal(snapshotOutcome(true).detail, '');
  assert.deepEqual(snapshotMessage(snapshotOutcome('true', '/h/CAMVAULT/files/a.png'), t), {
    text: 'Snapshot saved: /h/CAMVAULT/files/a.png',
    kind: 'success',
  });
  assert.deepEqual(snapshotMessage(snapshotOutcome(true, ''), t), { text: 'Snapshot saved', kind: 'success' });
  assert.deepEqual(snapshotMessage(null, t), { text: 'Snapshot saved', kind: 'success' }, 'get_act() alone');
  assert.deepEqual(snapshotMessage(snapshotOutcome('false', 'no frame'), t), { text: 'Snapshot failed: no frame', kind: 'error' });
});

test('route export outcomes name the file written or the reason', () => {
  assert.deepEqual(tools.routeMessage('true', '/h/CAMVAULT/files/A-2.gpx', t), {
    text: 'Route saved: /h/CAMVAULT/files/A-2.gpx',
    kind: 'success',
  });
  assert.deepEqual(tools.routeMessage(false, 'cannot read /c/A.MOV: No such file or directory', t), {
    text: 'Route not exported: cannot read /c/A.MOV: No such file or directory',
    kind: 'error',
  });
});
