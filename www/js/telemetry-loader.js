// Loads each clip's telemetry script file into the page's `data` table and reads each clip's length.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) {
    module.exports = factory(require('./telemetry.js'), require('./commands.js'));
  } else {
    root.CamVault.telemetryLoader = factory(root.CamVault.telemetry, root.CamVault.commands);
  }
})(this, function (telemetry, commands) {
  'use strict';

  // The records a script file added, given the table's entries from before
  // it ran. The file may name its clip differently (another card's clip of
  // the same name was imported first): then take the one entry it changed.
  function recordsAfterScript(table, before, clipName) {
    let records = telemetry.extractRecords(table, clipName);
    if (records.length === 0) {
      const changed = Object.keys(table).filter((k) => table[k] !== before.get(k));
      if (changed.length === 1) records = telemetry.extractRecords(table, changed[0]);
    }
    return records;
  }

  // runScript(clip) -> Promise<records>, probeVideo(clip) -> Promise<seconds
  // or NaN>. Script files run one at a time, since which table entry a file
  // filled is found by what changed while it ran; each file runs once.
  function createLoader(runScript, probeVideo) {
    const telemetryCache = new Map(); // data path -> Promise<records[]>
    let loadChain = Promise.resolve();
    const durations = new Map(); // clip path -> seconds (NaN: unreadable)
    let probeChain = Promise.resolve();

    function loadTelemetry(clip) {
      if (!clip.dataPath) return Promise.resolve([]);
      if (!telemetryCache.has(clip.dataPath)) {
        const job = loadChain.then(() => runScript(clip));
        loadChain = job.catch(() => {});
        telemetryCache.set(clip.dataPath, job);
      }
      return telemetryCache.get(clip.dataPath);
    }

    // A failed probe keeps a length the player has read meanwhile.
    function probeDuration(clip) {
      if (durations.has(clip.path)) return Promise.resolve(durations.get(clip.path));
      const job = probeChain.then(() =>
        probeVideo(clip).then((value) => {
          if (!durations.has(clip.path) || Number.isFinite(value)) durations.set(clip.path, value);
          return durations.get(clip.path);
        }),
      );
      probeChain = job;
      return job;
    }

    return { loadTelemetry, probeDuration, durations };
  }

  function runTelemetryScript(doc, table, clip) {
    return new Promise((resolve) => {
      const before = new Map(Object.entries(table()));
      const script = doc.createElement('script');
      script.onload = () => {
        script.remove();
        resolve(recordsAfterScript(table(), before, clip.name));
      };
      script.onerror = () => {
        script.remove();
        resolve([]);
      };
      script.src = commands.fileUrl(clip.dataPath);
      doc.head.appendChild(script);
    });
  }

  // The clip's length, read from the movie's header by a hidden player.
  function readDuration(doc, clip) {
    return new Promise((resolve) => {
      const v = doc.createElement('video');
      v.preload = 'metadata';
      v.muted = true;
      let timer = 0;
      const done = (value) => {
        clearTimeout(timer);
        v.onloadedmetadata = v.onerror = null;
        v.removeAttribute('src');
        v.load();
        resolve(value);
      };
      timer = setTimeout(() => done(NaN), 8000);
      v.onloadedmetadata = () => done(v.duration);
      v.onerror = () => done(NaN);
      v.src = commands.fileUrl(clip.path);
    });
  }

  // table() returns the global `data` the script files fill.
  function create(doc, table) {
    return createLoader(
      (clip) => runTelemetryScript(doc, table, clip),
      (clip) => readDuration(doc, clip),
    );
  }

  return { recordsAfterScript, createLoader, create };
});
