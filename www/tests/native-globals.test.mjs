// The script texts CamVault's native side evaluates find their globals, and
// each call reaches the page's handler with its arguments as sent.
import test from 'node:test';
import assert from 'node:assert/strict';
import vm from 'node:vm';
import { readFileSync } from 'node:fs';

const source = readFileSync(new URL('../js/native-globals.js', import.meta.url), 'utf8');

function page() {
  const calls = [];
  const context = { CamVaultPage: { call: (...args) => calls.push(args) } };
  context.window = context;
  vm.createContext(context);
  vm.runInContext(source, context);
  return { calls, run: (text) => vm.runInContext(text, context), context };
}

test('the listing and the library folder, as one script text', () => {
  const p = page();
  p.run("file_list_fun('/h/CAMVAULT/data/A.data,','/card/A.MOV,/card/B.MOV,','0');user_path='/h/CAMVAULT/data'");
  assert.deepEqual(p.calls, [['fileList', '/h/CAMVAULT/data/A.data,', '/card/A.MOV,/card/B.MOV,', '0']]);
  assert.deepEqual(Array.from(p.context.camvaultLastListing), ['/h/CAMVAULT/data/A.data,', '/card/A.MOV,/card/B.MOV,', '0']);
  assert.equal(p.context.user_path, '/h/CAMVAULT/data');
});

test('every other native call reaches its handler', () => {
  const p = page();
  const sent = [
    ["snapshot_result(true,'/h/CAMVAULT/files/a.png')", ['snapshotResult', true, '/h/CAMVAULT/files/a.png']],
    ['get_act()', ['snapshotDone']],
    ['export_progress(0.250)', ['exportProgress', 0.25]],
    ["exp('Export Success');", ['exportDone', 'Export Success']],
    ["import_progress('1','3','B.MOV')", ['importProgress', '1', '3', 'B.MOV']],
    ["import_refused('/card/x.avi','not a .MOV clip')", ['importRefused', '/card/x.avi', 'not a .MOV clip']],
    ["recording_state('paused')", ['recordingState', 'paused']],
    ["notice('Settings not saved: disk full')", ['notice', 'Settings not saved: disk full']],
    ["route_exported(true,'/h/CAMVAULT/files/A.gpx')", ['routeExported', true, '/h/CAMVAULT/files/A.gpx']],
    // Messages with keys: handed on with as many arguments as were sent.
    ["notice('Not saved: EIO','settings_not_saved','{\"error\":\"EIO\"}')", ['notice', 'Not saved: EIO', 'settings_not_saved', '{"error":"EIO"}']],
    ["import_refused('/c/a,b.MOV','comma','refused_comma','{}')", ['importRefused', '/c/a,b.MOV', 'comma', 'refused_comma', '{}']],
    ["snapshot_result(false,'no frame','snapshot_outside_movie','{}')", ['snapshotResult', false, 'no frame', 'snapshot_outside_movie', '{}']],
    ["clips_unavailable('[\"/c/fifo.MOV\"]')", ['clipsUnavailable', '["/c/fifo.MOV"]']],
  ];
  for (const [text] of sent) p.run(text);
  assert.deepEqual(p.calls, sent.map(([, call]) => call));
});

test('telemetry script files fill the global table', () => {
  const p = page();
  p.run("data['A.MOV']=new Array();data[\"A.MOV\"][\"2026/06/01 09:11:0.0\"]={'speed':\"30.0\"};");
  assert.equal(p.context.data['A.MOV']['2026/06/01 09:11:0.0'].speed, '30.0');
  p.run("data_cut['A.MOV']=100000;");
  assert.equal(p.context.data_cut['A.MOV'], 100000, 'data_cut exists before any script file');
  assert.deepEqual(p.calls, []);
});
