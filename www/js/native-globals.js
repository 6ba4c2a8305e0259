// The globals CamVault's native side calls or sets by evaluating script text in the page.
// They stay plain global declarations (classic script): the native side's
// script text and the telemetry script files can only reach globals. Each
// call is handed to the page that app.js composes.

/* eslint-disable no-var, no-unused-vars */
// Filled by the telemetry script files: data['A.MOV'][key] = {...}.
var data = {};
// The library data folder, set by the native side right after file_list_fun.
var user_path = '';

function file_list_fun(dataList, movieList, selected) {
  // Kept as received, for end-to-end tests of the native side.
  window.camvaultLastListing = [dataList, movieList, selected];
  CamVaultPage.call('fileList', dataList, movieList, selected);
}
function get_act() {
  CamVaultPage.call('snapshotDone');
}
function exp(text) {
  CamVaultPage.call('exportDone', text);
}
function import_progress(done, total, name) {
  CamVaultPage.call('importProgress', done, total, name);
}
function import_refused(path, reason) {
  CamVaultPage.call('importRefused', path, reason);
}
function export_progress(fraction) {
  CamVaultPage.call('exportProgress', fraction);
}
function recording_state(state) {
  CamVaultPage.call('recordingState', state);
}
function notice(text) {
  CamVaultPage.call('notice', text);
}
function snapshot_result(ok, pathOrError) {
  CamVaultPage.call('snapshotResult', ok, pathOrError);
}
function route_exported(ok, pathOrError) {
  CamVaultPage.call('routeExported', ok, pathOrError);
}
/* eslint-enable no-var, no-unused-vars */
