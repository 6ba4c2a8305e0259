// The toolbar's tools and the merge export: snapshots, merging clips, the files folder and the window size;
// the route export of the clip on screen.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory(require('./commands.js'), require('./trips.js'));
  else root.CamVault.tools = factory(root.CamVault.commands, root.CamVault.trips);
})(this, function (commands, trips) {
  'use strict';

  // snapshot_result's arguments may arrive as strings; a failure may carry a
  // message key and its parameters after the English error.
  function snapshotOutcome(ok, detail, key, params) {
    return {
      ok: ok === true || ok === 'true' || ok === 1 || ok === '1',
      detail: String(detail ?? ''),
      key: String(key ?? ''),
      params: params ?? '',
    };
  }

  // The toast once get_act() says the snapshot is done; a get_act() with no
  // outcome reported before it still means the snapshot was saved.
  // message(text, key, params) puts a keyed error in the page's language.
  function snapshotMessage(outcome, t, message = (text) => text) {
    if (!outcome) return { text: t('snapshot.saved'), kind: 'success' };
    if (outcome.ok) {
      const text = outcome.detail ? t('snapshot.savedAt', { path: outcome.detail }) : t('snapshot.saved');
      return { text, kind: 'success' };
    }
    const reason = message(outcome.detail, outcome.key, outcome.params);
    return { text: t('snapshot.failed', { reason }), kind: 'error' };
  }

  // route_exported's outcome as the toast that names the file or the reason
  // (a keyed reason in the page's language).
  function routeMessage(ok, detail, t, key, params, message = (text) => text) {
    const outcome = snapshotOutcome(ok, detail, key, params);
    if (outcome.ok) return { text: t('route.saved', { path: outcome.detail }), kind: 'success' };
    const reason = message(outcome.detail, outcome.key, outcome.params);
    return { text: t('route.failed', { reason }), kind: 'error' };
  }

  // page: state, t, message (keyed messages), sender, messages, the viewer's
  // player, and chosenClips() from the library.
  function create(page) {
    const { state, t, message, sender, messages, player } = page;
    const $ = (id) => document.getElementById(id);

    function onSnapshotResult(ok, detail, key, params) {
      state.pendingSnapshot = snapshotOutcome(ok, detail, key, params);
    }

    function onSnapshotDone() {
      const shown = snapshotMessage(state.pendingSnapshot, t, message);
      state.pendingSnapshot = null;
      messages.toast(shown.text, shown.kind);
    }

    function onExportDone(text) {
      messages.hideProgress('export-progress', 0);
      if (text === 'Export Success') messages.toast(t('export.success'), 'success');
      else messages.toast(t('export.failed'), 'error');
    }

    function onExportProgress(fraction) {
      const f = Number(fraction);
      // The export dialog's exports are not merges: their bar says so.
      const key = state.exportRunning ? 'export.runningPercent' : 'export.progress';
      messages.showProgress('export-progress', t(key, { percent: Math.round((f || 0) * 100) }), f);
    }

    function onRouteExported(ok, detail, key, params) {
      const shown = routeMessage(ok, detail, t, key, params, message);
      messages.toast(shown.text, shown.kind);
    }

    function exportRoute() {
      const shown = state.shown;
      if (!player.hasClip() || !shown) return messages.toast(t('route.noClip'), 'info');
      if (shown.records.length === 0) return messages.toast(t('route.noTelemetry'), 'info');
      const format = $('route-format').value;
      // A trip's route is the whole drive: every clip of it, in driving order.
      const paths = shown.members ? shown.members.map((i) => state.clips[i].path) : [player.path];
      sender.send('export_route', commands.routeExportArgument(paths, format, state.unit));
    }

    function wire() {
      const formats = $('route-format');
      commands.ROUTE_FORMATS.forEach((format) => {
        const option = document.createElement('option');
        option.value = format;
        option.textContent = format === 'geojson' ? 'GeoJSON' : format.toUpperCase();
        formats.appendChild(option);
      });
      $('btn-export-route').addEventListener('click', exportRoute);
      $('btn-merge').addEventListener('click', () => {
        // By recording time unless the driver asked for the order picked.
        const clips = trips.mergeOrder(page.chosenClips(), page.mergeMode());
        if (clips.length === 0) return messages.toast(t('select.first'), 'info');
        sender.send('merger', commands.pathsArgument(clips.map((c) => c.path)));
        messages.showProgress('export-progress', t('export.started', { count: clips.length }), 0);
      });
      $('btn-open-dir').addEventListener('click', () => sender.send('open_dir'));
      $('btn-snapshot').addEventListener('click', () => {
        if (!player.hasClip()) return messages.toast(t('snapshot.noClip'), 'info');
        const stamp = page.frameStamp ? page.frameStamp(Boolean(state.prefs && state.prefs.snapshot_caption)) : null;
        sender.send('get_photo', commands.photoArgument(player.path, player.currentTime(), stamp));
      });
      $('btn-full-snapshot').addEventListener('click', () => sender.send('get_full_photo'));
      $('btn-mini').addEventListener('click', () => sender.send('mini'));
      $('btn-max').addEventListener('click', () => sender.send('max'));
    }

    return { onSnapshotResult, onSnapshotDone, onExportDone, onExportProgress, onRouteExported, wire };
  }

  return { snapshotOutcome, snapshotMessage, routeMessage, create };
});
