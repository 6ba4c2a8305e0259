// The viewer page: CamVault's native side calls the globals below; the page
// shows the library, plays the selected clip beside its route and charts,
// and sends commands back through hidden frames.

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
/* eslint-enable no-var, no-unused-vars */

var CamVaultPage = (function () {
  'use strict';
  const CV = window.CamVault;
  const { commands, library, telemetry, units, i18n } = CV;
  const $ = (id) => document.getElementById(id);

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
    shown: null, // { clip, records, timeline, cumulative } of the clip on screen
  };

  const sender = new commands.CommandSender(document);
  // Telemetry script loads, one at a time: which table entry a script filled
  // is found by looking at what changed while it ran.
  const telemetryCache = new Map(); // data path -> Promise<records[]>
  let loadChain = Promise.resolve();
  const durations = new Map(); // clip path -> seconds (NaN: unreadable)
  let probeChain = Promise.resolve();

  const t = (key, params) => i18n.translate(state.language, key, params);

  // ---------- messages ----------

  function toast(text, kind) {
    const box = $('toasts');
    const el = document.createElement('div');
    el.className = 'toast ' + (kind || 'info');
    el.setAttribute('data-testid', 'toast');
    el.setAttribute('role', kind === 'error' ? 'alert' : 'status');
    el.textContent = text;
    box.appendChild(el);
    while (box.children.length > 4) box.firstChild.remove();
    setTimeout(() => el.classList.add('leaving'), kind === 'error' ? 7000 : 4000);
    setTimeout(() => el.remove(), kind === 'error' ? 7400 : 4400);
    return el;
  }

  function showProgress(id, text, fraction) {
    const box = $(id);
    clearTimeout(box.hideTimer);
    box.hidden = false;
    box.querySelector('.progress-text').textContent = text;
    const f = Number.isFinite(fraction) ? Math.min(1, Math.max(0, fraction)) : 0;
    box.querySelector('.progress-fill').style.width = (f * 100).toFixed(1) + '%';
  }

  function hideProgress(id, afterMs) {
    const box = $(id);
    clearTimeout(box.hideTimer);
    box.hideTimer = setTimeout(() => {
      box.hidden = true;
    }, afterMs || 0);
  }

  // ---------- settings ----------

  function fillSelects() {
    const unitSelect = $('unit-select');
    unitSelect.textContent = '';
    for (const u of library.UNITS) {
      const o = document.createElement('option');
      o.value = u;
      o.textContent = t('unit.' + u);
      unitSelect.appendChild(o);
    }
    unitSelect.value = state.unit;
    const langSelect = $('language-select');
    if (langSelect.options.length === 0) {
      for (const l of i18n.LANGUAGES) {
        const o = document.createElement('option');
        o.value = l.id;
        o.textContent = l.label;
        o.lang = l.code;
        langSelect.appendChild(o);
      }
    }
    langSelect.value = state.language;
  }

  function applyLanguage() {
    const code = (i18n.LANGUAGES.find((l) => l.id === state.language) || { code: 'en' }).code;
    document.documentElement.lang = code;
    i18n.translateDocument(document, state.language);
    fillSelects();
    player.setTranslator(t);
    renderRecording();
    renderLibrary();
    renderUnits();
  }

  function applySettings(settings) {
    state.unit = settings.unit;
    state.language = settings.language;
    applyLanguage();
  }

  function saveSettings() {
    state.settingsTouched = true;
    sender.send('save_set', commands.settingsArgument(state.unit, state.language));
  }

  function readText(url) {
    if (typeof fetch === 'function') {
      return fetch(url).then((r) => {
        if (!r.ok && r.status !== 0) throw new Error('status ' + r.status);
        return r.text();
      });
    }
    return Promise.reject(new Error('no fetch'));
  }

  function readTextXhr(url) {
    return new Promise((resolve, reject) => {
      const xhr = new XMLHttpRequest();
      xhr.open('GET', url);
      xhr.onload = () => resolve(xhr.responseText);
      xhr.onerror = () => reject(new Error('unreadable'));
      xhr.send();
    });
  }

  function loadSettings() {
    const folder = typeof user_path === 'string' ? user_path : '';
    if (!folder || folder === state.settingsFrom) return;
    state.settingsFrom = folder;
    const url = commands.fileUrl(folder + '/ini.txt');
    readText(url)
      .catch(() => readTextXhr(url))
      .then((text) => {
        if (state.settingsTouched) return;
        applySettings(library.parseSettings(text, i18n.resolveLanguage));
      })
      .catch(() => {
        /* no settings file yet: the defaults stay */
      });
  }

  // ---------- telemetry loading ----------

  function loadTelemetry(clip) {
    if (!clip.dataPath) return Promise.resolve([]);
    if (!telemetryCache.has(clip.dataPath)) {
      const job = loadChain.then(() => runTelemetryScript(clip));
      loadChain = job.catch(() => {});
      telemetryCache.set(clip.dataPath, job);
    }
    return telemetryCache.get(clip.dataPath);
  }

  function runTelemetryScript(clip) {
    return new Promise((resolve) => {
      const before = new Map(Object.entries(data));
      const script = document.createElement('script');
      const finish = () => {
        script.remove();
        let records = telemetry.extractRecords(data, clip.name);
        if (records.length === 0) {
          // The file may name its clip differently (another card's clip of
          // the same name was imported first): take what it put in the table.
          const changed = Object.keys(data).filter((k) => data[k] !== before.get(k));
          if (changed.length === 1) records = telemetry.extractRecords(data, changed[0]);
        }
        resolve(records);
      };
      script.onload = finish;
      script.onerror = () => {
        script.remove();
        resolve([]);
      };
      script.src = commands.fileUrl(clip.dataPath);
      document.head.appendChild(script);
    });
  }

  // The clip's length, read from the movie's header by a hidden player.
  function probeDuration(clip) {
    if (durations.has(clip.path)) return Promise.resolve(durations.get(clip.path));
    const job = probeChain.then(
      () =>
        new Promise((resolve) => {
          const v = document.createElement('video');
          v.preload = 'metadata';
          v.muted = true;
          let timer = 0;
          const done = (value) => {
            clearTimeout(timer);
            v.onloadedmetadata = v.onerror = null;
            v.removeAttribute('src');
            v.load();
            if (!durations.has(clip.path) || Number.isFinite(value)) durations.set(clip.path, value);
            resolve(durations.get(clip.path));
          };
          timer = setTimeout(() => done(NaN), 8000);
          v.onloadedmetadata = () => done(v.duration);
          v.onerror = () => done(NaN);
          v.src = commands.fileUrl(clip.path);
        }),
    );
    probeChain = job;
    return job;
  }

  // ---------- library ----------

  function clipMeta(clip) {
    const parts = [];
    if (clip.records === undefined) parts.push(t('library.reading'));
    else if (clip.records.length > 0) parts.push(telemetry.formatKey(clip.records[0].key));
    const d = durations.get(clip.path);
    if (Number.isFinite(d)) parts.push(units.formatClock(d));
    return parts.join(' \u00b7 ');
  }

  // List items are made once per listing and updated in place afterwards:
  // telemetry and durations arrive while the user may be clicking the list.
  function createClipItem(i) {
    const li = document.createElement('li');
    li.className = 'clip';
    li.setAttribute('data-testid', 'clip-item');
    li.setAttribute('role', 'option');
    li.dataset.index = String(i);
    const box = document.createElement('input');
    box.type = 'checkbox';
    box.setAttribute('data-testid', 'clip-select');
    box.addEventListener('click', (e) => {
      e.stopPropagation();
      toggleSelection(i);
    });
    const body = document.createElement('div');
    body.className = 'clip-body';
    const name = document.createElement('div');
    name.className = 'clip-name';
    const badge = document.createElement('span');
    badge.className = 'order';
    badge.setAttribute('data-testid', 'merge-order');
    const title = document.createElement('span');
    title.className = 'clip-title';
    name.append(badge, title);
    const meta = document.createElement('div');
    meta.className = 'clip-meta';
    const metaText = document.createElement('span');
    const tag = document.createElement('span');
    tag.className = 'tag';
    tag.setAttribute('data-testid', 'clip-no-telemetry');
    meta.append(metaText, tag);
    body.append(name, meta);
    li.append(box, body);
    li.addEventListener('click', (e) => onClipClick(i, e));
    li.parts = { box, badge, title, metaText, tag };
    return li;
  }

  function renderLibrary() {
    const list = $('clip-list');
    const items = list.children;
    if (items.length !== state.clips.length || state.clips.some((c, i) => items[i].dataset.path !== c.path)) {
      list.textContent = '';
      state.clips.forEach((clip, i) => {
        const li = createClipItem(i);
        li.dataset.path = clip.path;
        list.appendChild(li);
      });
    }
    const ordered = state.selection.length > 1;
    state.clips.forEach((clip, i) => {
      const li = items[i];
      const p = li.parts;
      const selectedAt = state.selection.indexOf(i);
      li.title = clip.path;
      li.setAttribute('aria-selected', selectedAt >= 0 ? 'true' : 'false');
      li.classList.toggle('selected', selectedAt >= 0);
      li.classList.toggle('current', i === state.current);
      p.box.checked = selectedAt >= 0;
      p.box.title = t('library.select.title');
      p.badge.hidden = !(ordered && selectedAt >= 0);
      p.badge.textContent = selectedAt >= 0 ? String(selectedAt + 1) : '';
      p.title.textContent = clip.name;
      p.metaText.textContent = clipMeta(clip);
      p.tag.hidden = !(clip.records && clip.records.length === 0);
      p.tag.textContent = t('library.noTelemetry');
    });
    $('library-empty').hidden = state.clips.length > 0;
    $('library-count').textContent = state.clips.length ? t('library.clips', { count: state.clips.length }) : '';
    $('selection-info').textContent =
      state.selection.length > 1 ? t('library.selected', { count: state.selection.length }) : '';
    $('btn-remove').disabled = state.clips.length === 0;
    $('btn-merge').disabled = state.clips.length === 0;
  }

  function onClipClick(i, event) {
    if (event.shiftKey && state.anchor >= 0) {
      const [a, b] = state.anchor <= i ? [state.anchor, i] : [i, state.anchor];
      for (let k = a; k <= b; k++) if (!state.selection.includes(k)) state.selection.push(k);
    } else if (event.ctrlKey || event.metaKey) {
      toggleSelection(i);
      return;
    } else {
      state.selection = [i];
      state.anchor = i;
    }
    showClip(i);
  }

  // Up and down walk the library, as in any list of files.
  function stepClip(event) {
    const tag = event.target && event.target.tagName;
    if (tag === 'SELECT' || tag === 'INPUT' || tag === 'TEXTAREA') return false;
    if (event.ctrlKey || event.metaKey || event.altKey || event.shiftKey) return false;
    const step = event.key === 'ArrowDown' ? 1 : event.key === 'ArrowUp' ? -1 : 0;
    if (step === 0 || state.clips.length === 0) return false;
    const next = Math.min(state.clips.length - 1, Math.max(0, state.current + step));
    if (next !== state.current) {
      state.selection = [next];
      state.anchor = next;
      showClip(next);
      const item = $('clip-list').children[next];
      if (item && item.scrollIntoView) item.scrollIntoView({ block: 'nearest' });
    }
    return true;
  }

  function toggleSelection(i) {
    const at = state.selection.indexOf(i);
    if (at >= 0) state.selection.splice(at, 1);
    else state.selection.push(i);
    state.anchor = i;
    if (at < 0 && state.current < 0) showClip(i);
    else renderLibrary();
  }

  // The clips an action applies to: the selection, else the clip on screen.
  function chosenClips() {
    const picked = state.selection.length ? state.selection : state.current >= 0 ? [state.current] : [];
    return picked.map((i) => state.clips[i]).filter(Boolean);
  }

  function onFileList(dataList, movieList, selected) {
    const previous = state.current >= 0 ? state.clips[state.current] : null;
    state.clips = library.buildClips(dataList, movieList);
    const index = library.chooseClip(state.clips, selected, previous && previous.path);
    state.selection = index >= 0 ? [index] : [];
    state.anchor = index;
    state.current = -1;
    // The clip on screen first: script files load one after another.
    if (index >= 0) showClip(index);
    else showNothing();
    state.clips.forEach((clip) => {
      loadTelemetry(clip).then((records) => {
        clip.records = records;
        renderLibrary();
      });
      probeDuration(clip).then(() => renderLibrary());
    });
    renderLibrary();
    // user_path is set by the same script text, right after this call.
    setTimeout(loadSettings, 0);
  }

  // ---------- viewer ----------

  function showNothing() {
    state.current = -1;
    state.shown = null;
    player.unload();
    $('video-message').hidden = false;
    $('video-message').textContent = t('player.noClip');
    routeMap.clear();
    speedChart.clear();
    gChart.clear();
    setTelemetryStatus('none-selected');
    renderReadouts(null);
  }

  function showClip(i) {
    const clip = state.clips[i];
    if (!clip) return;
    state.current = i;
    renderLibrary();
    const fresh = player.load(clip.path, commands.fileUrl(clip.path));
    if (fresh) $('video-message').hidden = true;
    if (!fresh && state.shown && state.shown.clip === clip) return;
    state.shown = { clip, records: [], timeline: [], cumulative: [] };
    routeMap.clear();
    speedChart.clear();
    gChart.clear();
    renderReadouts(null);
    setTelemetryStatus('loading');
    loadTelemetry(clip).then((records) => {
      if (!state.shown || state.shown.clip !== clip) return;
      clip.records = records;
      state.shown.records = records;
      state.shown.cumulative = telemetry.cumulativeKm(records);
      layoutTelemetry();
      renderLibrary();
    });
  }

  // Places the records on the video's timeline; redone once the video's
  // length is known, since records are spread over it when their times
  // cannot be trusted.
  function layoutTelemetry() {
    const shown = state.shown;
    if (!shown) return;
    const records = shown.records;
    if (records.length === 0) {
      setTelemetryStatus('none');
      routeMap.clear();
      speedChart.clear();
      gChart.clear();
      renderReadouts(null);
      return;
    }
    setTelemetryStatus('ok');
    shown.timeline = telemetry.buildTimeline(records, player.video.duration);
    const hasRoute = routeMap.showRoute(records);
    $('map-no-route').hidden = hasRoute;
    drawCharts();
    onTime(player.currentTime());
  }

  function drawCharts() {
    const shown = state.shown;
    if (!shown || shown.records.length === 0) return;
    const xs = shown.timeline;
    speedChart.setData(xs, [shown.records.map((r) => units.speedIn(r.speed, state.unit))]);
    gChart.setData(xs, [shown.records.map((r) => r.x), shown.records.map((r) => r.y), shown.records.map((r) => r.z)]);
  }

  function setTelemetryStatus(status) {
    const none = status === 'none';
    if (status !== 'ok') $('map-no-route').hidden = true;
    $('telemetry-status').hidden = !(none || status === 'loading');
    $('no-telemetry').hidden = !none;
    $('telemetry-loading').hidden = status !== 'loading';
    document.body.classList.toggle('no-telemetry', none);
  }

  function onTime(seconds) {
    const shown = state.shown;
    if (!shown || shown.records.length === 0) return;
    const i = telemetry.indexAt(shown.timeline, seconds);
    renderReadouts(shown.records[i], shown.cumulative[i]);
    routeMap.setPosition(telemetry.positionAt(shown.records, shown.timeline, seconds));
    routeMap.setHeading(telemetry.headingDegrees(shown.records[i].degrees));
    speedChart.setCursor(seconds);
    gChart.setCursor(seconds);
  }

  function hemisphereNames() {
    return { N: t('dir.N'), S: t('dir.S'), E: t('dir.E'), W: t('dir.W') };
  }

  function renderReadouts(record, km) {
    $('speed-value').textContent = record ? units.formatSpeed(record.speed, state.unit) : '\u2013';
    if (record && Number.isFinite(record.degrees)) {
      const point = telemetry.compassPoint(record.degrees);
      $('heading-value').textContent = telemetry.headingDegrees(record.degrees) + '\u00b0 ' + t('dir.' + point);
    } else {
      $('heading-value').textContent = '\u2013';
    }
    const position = record ? telemetry.formatPosition(record, hemisphereNames()) : '';
    $('position-value').textContent = position || (record ? t('tele.noPosition') : '\u2013');
    $('position-value').title = record ? record.lbs : '';
    $('datetime-value').textContent = record ? telemetry.formatKey(record.key) : '\u2013';
    $('distance-value').textContent = record ? units.formatDistance(km, state.unit) : '\u2013';
  }

  function renderUnits() {
    $('speed-unit').textContent = units.speedUnit(state.unit);
    $('distance-unit').textContent = units.distanceUnit(state.unit);
    $('speed-chart-title').textContent = t('chart.speed', { unit: units.speedUnit(state.unit) });
    routeMap.setUnit(state.unit);
    drawCharts();
    onTime(player.currentTime());
  }

  function seekToRecord(index) {
    const shown = state.shown;
    if (!shown || !shown.timeline.length) return;
    player.seekTo(shown.timeline[index]);
  }

  // ---------- native calls ----------

  function onSnapshotResult(ok, detail) {
    state.pendingSnapshot = { ok: ok === true || ok === 'true' || ok === 1 || ok === '1', detail: String(detail ?? '') };
  }

  function onSnapshotDone() {
    const r = state.pendingSnapshot;
    state.pendingSnapshot = null;
    if (!r) toast(t('snapshot.saved'), 'success');
    else if (r.ok) toast(r.detail ? t('snapshot.savedAt', { path: r.detail }) : t('snapshot.saved'), 'success');
    else toast(t('snapshot.failed', { reason: r.detail }), 'error');
  }

  function onExportDone(text) {
    hideProgress('export-progress', 0);
    if (text === 'Export Success') toast(t('export.success'), 'success');
    else toast(t('export.failed'), 'error');
  }

  function onExportProgress(fraction) {
    const f = Number(fraction);
    showProgress('export-progress', t('export.progress', { percent: Math.round((f || 0) * 100) }), f);
  }

  function onImportProgress(done, total, name) {
    const d = Number(done) || 0;
    const n = Number(total) || 0;
    if (n > 0 && d >= n) {
      showProgress('import-progress', t('import.finished'), 1);
      hideProgress('import-progress', 1500);
      return;
    }
    showProgress('import-progress', t('import.progress', { done: d + 1, total: n, name: name || '' }), n ? d / n : 0);
  }

  function onImportRefused(path, reason) {
    toast(t('import.refused', { name: library.clipName(path || ''), reason: reason || '' }), 'error');
  }

  function onRecordingState(value) {
    const s = String(value || '').toLowerCase();
    const next = s === 'recording' || s === 'paused' ? s : 'stopped';
    if (next === 'recording' && state.recording !== 'recording' && state.recording !== 'paused') {
      state.recordingSince = Date.now();
    }
    state.recording = next;
    renderRecording();
  }

  // While recording, the state label counts the time recorded so far.
  let recordingTimer = 0;
  function tickRecording() {
    clearTimeout(recordingTimer);
    if (state.recording !== 'recording' && state.recording !== 'paused') return;
    const label = $('record-state');
    const elapsed = units.formatClock((Date.now() - state.recordingSince) / 1000);
    label.textContent = (state.recording === 'paused' ? t('record.paused') : t('record.recording')) + ' ' + elapsed;
    recordingTimer = setTimeout(tickRecording, 1000);
  }

  function renderRecording() {
    const button = $('btn-record');
    const active = state.recording === 'recording' || state.recording === 'paused' || state.recording === 'starting';
    button.dataset.state = state.recording;
    button.classList.toggle('active', active);
    $('record-label').textContent = t(active ? 'tool.stopRecord' : 'tool.record');
    const title = t(active ? 'tool.stopRecord.title' : 'tool.record.title');
    button.title = title;
    button.setAttribute('aria-label', title);
    const label = $('record-state');
    label.hidden = !active;
    label.dataset.state = state.recording;
    label.textContent = state.recording === 'starting' ? t('record.starting') : '';
    document.body.classList.toggle('recording', state.recording === 'recording');
    tickRecording();
  }

  // ---------- actions ----------

  function wireActions() {
    $('btn-import').addEventListener('click', () => sender.send('file_copy_fun'));
    $('btn-remove').addEventListener('click', () => {
      const clips = chosenClips();
      if (clips.length === 0) return toast(t('select.first'), 'info');
      sender.send('file_del_fun', commands.pathsArgument(clips.map((c) => c.path)));
    });
    $('btn-merge').addEventListener('click', () => {
      const clips = chosenClips();
      if (clips.length === 0) return toast(t('select.first'), 'info');
      sender.send('merger', commands.pathsArgument(clips.map((c) => c.path)));
      showProgress('export-progress', t('export.started', { count: clips.length }), 0);
    });
    $('btn-open-dir').addEventListener('click', () => sender.send('open_dir'));
    $('btn-snapshot').addEventListener('click', () => {
      if (!player.hasClip()) return toast(t('snapshot.noClip'), 'info');
      sender.send('get_photo', commands.photoArgument(player.path, player.currentTime()));
    });
    $('btn-full-snapshot').addEventListener('click', () => sender.send('get_full_photo'));
    $('btn-record').addEventListener('click', () => {
      if (state.recording === 'stopped') {
        sender.send('recode');
        state.recording = 'starting';
      } else {
        sender.send('norecode');
        state.recording = 'stopped';
      }
      renderRecording();
    });
    $('btn-mini').addEventListener('click', () => sender.send('mini'));
    $('btn-max').addEventListener('click', () => sender.send('max'));
    $('unit-select').addEventListener('change', (e) => {
      state.unit = library.normaliseUnit(e.target.value);
      renderUnits();
      saveSettings();
    });
    $('language-select').addEventListener('change', (e) => {
      state.language = i18n.resolveLanguage(e.target.value);
      applyLanguage();
      saveSettings();
    });
    document.addEventListener('keydown', (e) => {
      if (player.handleKey(e)) e.preventDefault();
      else if (stepClip(e)) e.preventDefault();
    });
  }

  // ---------- start ----------

  const player = new CV.Player(
    {
      video: $('video'),
      play: $('btn-play'),
      back: $('btn-step-back'),
      forward: $('btn-step-forward'),
      seek: $('seek'),
      time: $('time-label'),
      rate: $('rate-select'),
    },
    {
      onTime,
      onMetadata: (duration) => {
        const shown = state.shown;
        if (shown) {
          durations.set(shown.clip.path, duration);
          renderLibrary();
          if (shown.records.length) layoutTelemetry();
        }
      },
      onError: () => {
        $('video-message').hidden = false;
        $('video-message').textContent = t('player.error');
      },
    },
  );
  const routeMap = new CV.RouteMap($('map'), {
    onSeekRecord: seekToRecord,
    onTilesState: (s) => {
      $('map-offline').hidden = s !== 'offline';
    },
  });
  // What the pointer is over, in the chart's title.
  function hoverText(index, describe) {
    const shown = state.shown;
    if (index === null || !shown || !shown.records[index]) return '';
    return units.formatClock(shown.timeline[index]) + '  ' + describe(shown.records[index]);
  }
  const gText = (v) => (Number.isFinite(v) ? (v < 0 ? '\u2212' : '+') + Math.abs(v).toFixed(2) : '\u2013');
  const speedChart = new CV.TimeChart($('speed-chart'), {
    series: [{ color: '#2f8bff', width: 2 }],
    onSeek: (s) => player.seekTo(s),
    onHover: (i) => {
      $('speed-hover').textContent = hoverText(
        i,
        (r) => units.formatSpeed(r.speed, state.unit) + ' ' + units.speedUnit(state.unit),
      );
    },
    yRange: (min, max) => [0, Math.max(10, Math.ceil((max * 1.1) / 10) * 10)],
  });
  const gChart = new CV.TimeChart($('g-chart'), {
    series: [
      { color: '#ff6b6b' },
      { color: '#51cf66' },
      { color: '#fcc419' },
    ],
    onSeek: (s) => player.seekTo(s),
    onHover: (i) => {
      $('g-hover').textContent = hoverText(i, (r) => `X ${gText(r.x)}  Y ${gText(r.y)}  Z ${gText(r.z)}`);
    },
    yRange: (min, max) => {
      const m = Math.max(1, Math.ceil(Math.max(Math.abs(min), Math.abs(max)) * 2) / 2);
      return [-m, m];
    },
  });

  wireActions();
  applyLanguage();
  showNothing();
  setTelemetryStatus('none-selected');

  // Native calls can only arrive after the load; this also covers a page
  // driven by hand before its parts exist.
  const early = [];
  let started = false;
  window.addEventListener('load', () => {
    sender.markReady();
    routeMap.probeTiles();
    // A laptop that finds a network later gets its map tiles then.
    window.addEventListener('online', () => routeMap.probeTiles());
    started = true;
    early.splice(0).forEach(([name, args]) => handlers[name](...args));
  });

  const handlers = {
    fileList: onFileList,
    snapshotDone: onSnapshotDone,
    snapshotResult: onSnapshotResult,
    exportDone: onExportDone,
    exportProgress: onExportProgress,
    importProgress: onImportProgress,
    importRefused: onImportRefused,
    recordingState: onRecordingState,
    notice: (text) => toast(String(text ?? ''), 'error'),
  };

  return {
    call(name, ...args) {
      if (!started && document.readyState !== 'complete') early.push([name, args]);
      else handlers[name](...args);
    },
    // For the end-to-end tests and for anyone debugging the page.
    state,
    sender,
    player,
    routeMap,
    speedChart,
    gChart,
  };
})();
