// The viewer page put together from its parts; the globals in native-globals.js hand the native side's calls to it.
// The page shows the library, plays the selected clip beside its route and
// charts, and sends commands back through hidden frames.

var CamVaultPage = (function () {
  'use strict';
  const CV = window.CamVault;
  const { commands, i18n } = CV;

  const state = {
    clips: [],
    current: -1,
    selection: [], // clip indices in the order the user picked them
    anchor: -1,
    unit: 'km',
    language: 'English',
    settingsFrom: '', // user_path whose ini.txt was read
    settingsTouched: false,
    recording: 'stopped',
    recordingSince: 0,
    pendingSnapshot: null,
    library: { clips: [] }, // what the library index told of the listed clips
    searchResults: null, // { movies } of the last library search
    shown: null, // { clip, members, plan, records, timeline, cumulative } of the trip (or clip) on screen
    prefs: null, // settings.json's settings (js/prefs.js)
  };

  // The global a script file sets when its telemetry was cut short.
  const cutTable = () => {
    if (!window.data_cut || typeof window.data_cut !== 'object') window.data_cut = {};
    return window.data_cut;
  };

  const sender = new commands.CommandSender(document);
  const t = (key, params) => i18n.translate(state.language, key, params);
  // A message the native side sent with a key, in the page's language.
  const message = (text, key, params) => i18n.messageText(state.language, text, key, params);
  const locale = () => (i18n.LANGUAGES.find((l) => l.id === state.language) || { code: 'en' }).code;

  // The parts call each other through the arrows below; none of them calls
  // another while it is being made.
  const messages = CV.messages.create(document);
  const availability = CV.clipAvailability.createAvailability({
    onChange: () => {
      libraryView.render();
      viewer.onAvailability();
    },
  });
  const loader = CV.telemetryLoader.create(document, () => window.data, cutTable, {
    // Relative to the page: the worker's file sits beside the page's scripts.
    makeWorker: typeof Worker === 'function' ? () => new Worker('js/telemetry-worker.js') : null,
    mayOpen: (clip) => availability.mayOpen(clip.path),
  });
  const clock = CV.clock.createClock(() => (state.prefs ? state.prefs.clock_correction_s : 0));
  const viewer = CV.viewer.create({
    state,
    t,
    locale,
    loader,
    availability,
    clock,
    renderLibrary: () => libraryView.render(),
    tripMembers: (i) => libraryView.tripMembers(i),
  });
  const { player } = viewer;
  const libraryView = CV.libraryView.create({
    state,
    t,
    message,
    sender,
    messages,
    loader,
    availability,
    clock,
    showClip: (i) => viewer.showClip(i),
    showNothing: () => viewer.showNothing(),
    loadSettings: () => {
      settings.loadSettings();
      prefs.load();
    },
    searchPlace: (near) => sender.send('library_search', commands.searchArgument({ near })),
    routeMap: () => viewer.routeMap,
  });
  const recording = CV.recordingView.create({ state, t, sender });
  // What the toolbar's tools and the export dialog both work with.
  const mediaPage = {
    state,
    t,
    message,
    sender,
    messages,
    player,
    chosenClips: () => libraryView.chosenClips(),
    mergeMode: () => libraryView.mergeMode(),
    frameStamp: (caption, seconds) => viewer.frameStamp(caption, seconds),
    shiftMs: () => clock.shiftMs(),
  };
  const tools = CV.tools.create(mediaPage);
  const exportView = CV.exportView.create(mediaPage);
  const settings = CV.settings.create({
    state,
    t,
    sender,
    userPath: () => window.user_path,
    onLanguage: () => {
      player.setTranslator(t);
      viewer.routeMap.setTranslator(t);
      recording.render();
      libraryView.render();
      viewer.renderLanguage();
    },
    onUnit: () => {
      viewer.renderUnits();
      libraryView.render(); // trip distances
    },
  });

  const prefs = CV.prefs.create({
    state,
    t,
    sender,
    readText: (url) => settings.readText(url),
    fileUrl: commands.fileUrl,
    userPath: () => window.user_path,
    onPrefs: () => {
      player.stopAtClipEnd = state.prefs.stop_at_clip_end;
      libraryView.render();
      viewer.renderEvents();
      viewer.renderUnits();
    },
  });

  libraryView.wire();
  prefs.wire();
  tools.wire();
  exportView.wire();
  recording.wire();
  settings.wire();
  document.addEventListener('keydown', (e) => {
    if (player.handleKey(e)) e.preventDefault();
    else if (viewer.handleEventKey(e)) e.preventDefault();
    else if (libraryView.stepClip(e)) e.preventDefault();
  });

  settings.applyLanguage();
  viewer.showNothing();
  viewer.setTelemetryStatus('none-selected');

  // Native calls can only arrive after the load; this also covers a page
  // driven by hand before its parts exist.
  const early = [];
  let started = false;
  window.addEventListener('load', () => {
    sender.markReady();
    viewer.routeMap.probeTiles();
    // A laptop that finds a network later gets its map tiles then.
    window.addEventListener('online', () => viewer.routeMap.probeTiles());
    started = true;
    early.splice(0).forEach(([name, args]) => handlers[name](...args));
    settings.restoreLibraryOnce();
  });

  const handlers = {
    fileList: libraryView.onFileList,
    snapshotDone: tools.onSnapshotDone,
    snapshotResult: tools.onSnapshotResult,
    exportDone: tools.onExportDone,
    exportProgress: tools.onExportProgress,
    routeExported: tools.onRouteExported,
    exportResult: exportView.onResult,
    importProgress: libraryView.onImportProgress,
    importRefused: libraryView.onImportRefused,
    recordingState: recording.onRecordingState,
    // A saved recording is good news; every other notice tells of a problem.
    notice: (text, key, params) =>
      messages.toast(message(text, key, params), key === 'recording_saved' ? 'success' : 'error'),
    clipsUnavailable: (paths) => availability.report(paths),
    librarySummaries: (json) => {
      state.library = parseJson(json, { clips: [] });
      // Summaries that come again without a listing (a card mounted) may
      // bring new events or trips for the clips already listed.
      libraryView.onSummaries();
      viewer.renderEvents();
    },
    searchResults: (json) => {
      state.searchResults = parseJson(json, { movies: [] });
      libraryView.onSearchResults();
    },
  };

  function parseJson(text, fallback) {
    try {
      const value = JSON.parse(String(text));
      return value && typeof value === 'object' ? value : fallback;
    } catch (e) {
      return fallback;
    }
  }

  return {
    call(name, ...args) {
      if (!started && document.readyState !== 'complete') early.push([name, args]);
      else handlers[name](...args);
    },
    // For the end-to-end tests and for anyone debugging the page.
    state,
    sender,
    player,
    routeMap: viewer.routeMap,
    speedChart: viewer.speedChart,
    gChart: viewer.gChart,
    // How telemetry files are read: 'worker', 'page', 'script' (or 'undecided').
    telemetryMode: () => loader.mode(),
  };
})();
