// The globals CamVault's native side calls or sets by evaluating script text in the page.
// They stay plain global declarations (classic script): the native side's
// script text and the telemetry script files can only reach globals. Each
// call is handed to the page that app.js composes.

/* eslint-disable no-var, no-unused-vars */
// Filled by the telemetry script files: data['A.MOV'][key] = {...}.
var data = {};
// Set by a script file whose telemetry was cut: data_cut['A.MOV'] = 100000.
var data_cut = {};
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
// A message's key and parameters follow its English text; older native
// sides send the text alone. What arrived is handed on as it arrived.
/* eslint-disable prefer-rest-params */
function import_refused(path, reason, key, params) {
  CamVaultPage.call('importRefused', ...arguments);
}
function export_progress(fraction) {
  CamVaultPage.call('exportProgress', fraction);
}
function recording_state(state) {
  CamVaultPage.call('recordingState', state);
}
function notice(text, key, params) {
  CamVaultPage.call('notice', ...arguments);
}
function snapshot_result(ok, pathOrError, key, params) {
  CamVaultPage.call('snapshotResult', ...arguments);
}
function export_result(json) {
  CamVaultPage.call('exportResult', json);
}
function route_exported(ok, pathOrError, key, params) {
  CamVaultPage.call('routeExported', ...arguments);
}
/* eslint-enable prefer-rest-params */
// After a listing: the JSON array text of the listed movies that cannot be opened.
function clips_unavailable(paths) {
  CamVaultPage.call('clipsUnavailable', paths);
}
// Before a listing: what the library index knows of the listed clips (JSON text).
function library_summaries(json) {
  CamVaultPage.call('librarySummaries', json);
}
// The answer to library_search (JSON text).
function search_results(json) {
  CamVaultPage.call('searchResults', json);
}
/* eslint-enable no-var, no-unused-vars */
