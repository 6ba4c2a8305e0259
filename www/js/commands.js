// Builds the command URLs the page sends to CamVault's native side and sends
// them. The native side sees each navigation's URL after WebKit normalised it,
// so every argument that names a file is percent-encoded here and decoded
// there piece by piece; a path with a space, an accent or a comma then
// survives the trip intact.
(function (root, factory) {
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.CamVault = Object.assign(root.CamVault || {}, { commands: api });
})(this, function () {
  'use strict';

  // A file URL whose path segments are each escaped, so ';', ',', '#', '?'
  // and '%' inside a name cannot end or split the URL.
  function fileUrl(path) {
    return 'file://' + String(path).split('/').map(encodeURIComponent).join('/');
  }

  function commandUrl(command, argument) {
    return 'http://' + command + '/' + (argument === undefined ? '' : argument);
  }

  // file_del_fun and merger: each path escaped, joined by a literal comma.
  function pathsArgument(paths) {
    return paths.map((p) => encodeURIComponent(p)).join(',');
  }

  // The native side grabs the frame one second after the position it is
  // given, so it is handed the current time less one second.
  function snapshotPosition(currentTime) {
    const t = Number(currentTime);
    const whole = Number.isFinite(t) ? Math.max(0, Math.floor(t - 1)) : 0;
    return { minutes: Math.floor(whole / 60), seconds: whole % 60 };
  }

  // The minute and second as ever, then the exact media time of the frame on
  // screen in milliseconds (CamVault takes that frame; older ones ignore it),
  // then for a clip with telemetry the frame's stamp (www/README.md), encoded
  // whole so that no ';' of a caption splits the fields.
  function photoArgument(moviePath, currentTime, stamp) {
    const { minutes, seconds } = snapshotPosition(currentTime);
    const ms = Math.max(0, Math.round((Number(currentTime) || 0) * 1000));
    const base = fileUrl(moviePath) + ';' + minutes + ';' + seconds + ';' + ms;
    return stamp ? base + ';' + encodeURIComponent(JSON.stringify(stamp)) : base;
  }

  // export_route: the JSON object www/README.md describes, encoded whole, so
  // no '/', '?', '#' or ',' of a path reaches the URL as itself.
  const ROUTE_FORMATS = ['gpx', 'kml', 'csv', 'geojson'];

  function routeExportArgument(paths, format, unit) {
    return encodeURIComponent(
      JSON.stringify({ clips: paths.map(String), format, speed_unit: unit === 'miles' ? 'mph' : 'kmh' }),
    );
  }

  // library_search: {from, to, near: {lat, lon, radius_m}, events}, encoded whole.
  const searchArgument = (query) => encodeURIComponent(JSON.stringify(query));

  function settingsArgument(unit, language) {
    return encodeURIComponent(unit) + ',' + encodeURIComponent(language);
  }

  // Sends commands through a fresh hidden iframe each: navigations started in
  // one script task on the same frame collapse into the last one, and a
  // navigation started while the page is still loading cuts the load short,
  // so nothing goes out before the window's load event.
  class CommandSender {
    constructor(doc, options = {}) {
      this.doc = doc;
      this.removeAfterMs = options.removeAfterMs ?? 1000;
      this.schedule = options.schedule || ((fn, ms) => setTimeout(fn, ms));
      this.ready = false;
      this.queue = [];
      this.sent = [];
    }

    send(command, argument) {
      const url = commandUrl(command, argument);
      if (this.ready) this.navigate(url);
      else this.queue.push(url);
      return url;
    }

    markReady() {
      if (this.ready) return;
      this.ready = true;
      const waiting = this.queue.splice(0);
      waiting.forEach((url) => this.navigate(url));
    }

    navigate(url) {
      const frame = this.doc.createElement('iframe');
      frame.style.display = 'none';
      frame.setAttribute('aria-hidden', 'true');
      frame.setAttribute('data-command-frame', '');
      frame.src = url;
      this.doc.body.appendChild(frame);
      this.sent.push(url);
      if (this.sent.length > 100) this.sent.shift();
      this.schedule(() => frame.remove(), this.removeAfterMs);
    }
  }

  // export: the JSON object www/README.md describes, encoded whole.
  function exportArgument(request) {
    return encodeURIComponent(JSON.stringify(request));
  }

  return {
    fileUrl,
    exportArgument,
    commandUrl,
    pathsArgument,
    snapshotPosition,
    photoArgument,
    settingsArgument,
    searchArgument,
    ROUTE_FORMATS,
    routeExportArgument,
    CommandSender,
  };
});
