// The library panel: the clip list and its selection, the listing CamVault hands over, imports and removal.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) {
    module.exports = factory(
      require('./commands.js'),
      require('./library.js'),
      require('./telemetry.js'),
      require('./units.js'),
      require('./trips.js'),
      require('./i18n.js'),
      require('./list-window.js'),
      require('./date-field.js'),
    );
  } else {
    const CV = root.CamVault;
    CV.libraryView = factory(CV.commands, CV.library, CV.telemetry, CV.units, CV.trips, CV.i18n, CV.listWindow, CV.dateField);
  }
})(this, function (commands, library, telemetry, units, trips, i18n, listWindowRules, dateField) {
  'use strict';

  // Under the clip's name: its first record's time once its telemetry is
  // read (with the clock correction of `clock`), and its length once known.
  function clipMeta(clip, duration, t, clock = null) {
    const parts = [];
    if (clip.records !== undefined) {
      if (clip.records.length > 0) parts.push(clock ? clock.formatRecord(clip.records[0]) : telemetry.formatKey(clip.records[0].key));
    } else if (clip.summary) {
      if (clip.summary.has_telemetry) parts.push(clock ? clock.formatMs(clip.summary.start_ms) : telemetry.formatMs(clip.summary.start_ms));
      // Without GPS the file's own date is all there is (a real time, shown
      // in the computer's time zone).
      else if (Number.isFinite(clip.summary.mtime_ms)) parts.push(localTime(clip.summary.mtime_ms));
    } else {
      parts.push(t('library.reading'));
    }
    if (Number.isFinite(duration)) parts.push(units.formatClock(duration));
    return parts.join(' \u00b7 ');
  }

  const DAY_MS = 86400000;

  // A redraw of a thousand rows writes only what changed: every write makes
  // the engine lay the row out again.
  function setText(el, text) {
    if (el.textContent !== text) el.textContent = text;
  }

  // "2026-06-01 09:00" in the computer's time zone.
  function localTime(ms) {
    const d = new Date(ms);
    const two = (v) => String(v).padStart(2, '0');
    return `${d.getFullYear()}-${two(d.getMonth() + 1)}-${two(d.getDate())} ${two(d.getHours())}:${two(d.getMinutes())}`;
  }

  // A summarised clip's length in whole seconds (its records span one
  // record's time less than the movie); NaN without one.
  function summaryLength(clip) {
    const s = clip && clip.summary;
    return s && s.has_telemetry && Number.isFinite(s.duration_ms) && s.duration_ms > 0 ? Math.round(s.duration_ms / 1000) : NaN;
  }

  // "2026-03-14" from a date field as the first millisecond of that day on
  // the camera's clock; NaN when empty.
  function dayStart(text) {
    const m = /^(\d{4})-(\d{2})-(\d{2})$/.exec(String(text || ''));
    return m ? Date.UTC(Number(m[1]), Number(m[2]) - 1, Number(m[3])) : NaN;
  }

  // Whether a row of the list (a trip, or a clip of none) passes the
  // filter: { from, to } days (ms, either NaN), `event` ('' any row, 'any'
  // rows with events, or an event kind), `movies` (a Set of the paths a place
  // search found, or null). Times are compared as the page shows them,
  // moved by the clock correction shiftMs. summaries: those of the row's clips.
  function rowPasses(filter, start, summaries, paths, shiftMs = 0) {
    if (Number.isFinite(filter.from) || Number.isFinite(filter.to)) {
      if (!Number.isFinite(start)) return false;
      const at = start + shiftMs;
      if (Number.isFinite(filter.from) && at < filter.from) return false;
      if (Number.isFinite(filter.to) && at >= filter.to + DAY_MS) return false;
    }
    if (filter.event) {
      const events = summaries.flatMap((s) => (s && Array.isArray(s.events) ? s.events : []));
      if (filter.event === 'any' ? events.length === 0 : !events.some((e) => e && e.kind === filter.event)) return false;
    }
    if (filter.movies && !paths.some((p) => filter.movies.has(p))) return false;
    return true;
  }

  const filterActive = (f) => Boolean(Number.isFinite(f.from) || Number.isFinite(f.to) || f.event || f.movies);

  // The selection keeps the order the user picked the clips in, which is the
  // order a merge joins them: a shift-click appends the clips from the anchor
  // to i that are not picked yet, lowest first.
  // `order`: the clips as the list shows them (trips put the newest first),
  // so a shift-click takes the clips between on screen.
  function extendSelection(selection, anchor, i, order = null) {
    const at = (k) => (order ? order.indexOf(k) : k);
    const clipAt = (p) => (order ? order[p] : p);
    const [a, b] = at(anchor) <= at(i) ? [at(anchor), at(i)] : [at(i), at(anchor)];
    const next = selection.slice();
    if (a < 0) return next.includes(i) ? next : next.concat([i]);
    for (let p = a; p <= b; p++) if (!next.includes(clipAt(p))) next.push(clipAt(p));
    return next;
  }

  function toggledSelection(selection, i) {
    const next = selection.slice();
    const at = next.indexOf(i);
    if (at >= 0) next.splice(at, 1);
    else next.push(i);
    return next;
  }

  // Up and down walk the library, as in any list of files: the index to
  // show, or null when the key is not for the list (typing in a field, a
  // shortcut with a modifier).
  function listStep(event, current, count) {
    const tag = event.target && event.target.tagName;
    if (tag === 'SELECT' || tag === 'INPUT' || tag === 'TEXTAREA') return null;
    if (event.ctrlKey || event.metaKey || event.altKey || event.shiftKey) return null;
    const step = event.key === 'ArrowDown' ? 1 : event.key === 'ArrowUp' ? -1 : 0;
    if (step === 0 || count === 0) return null;
    return Math.min(count - 1, Math.max(0, current + step));
  }

  // The clips an action applies to: the selection, else the clip on screen.
  function chosenClips(clips, selection, current) {
    const picked = selection.length ? selection : current >= 0 ? [current] : [];
    return picked.map((i) => clips[i]).filter(Boolean);
  }

  // The native side reports `done` clips of `total` finished, the bar names
  // the clip being copied; its arguments may arrive as strings.
  function importProgressView(done, total, name, t) {
    const d = Number(done) || 0;
    const n = Number(total) || 0;
    if (n > 0 && d >= n) return { finished: true, text: t('import.finished'), fraction: 1 };
    return {
      finished: false,
      text: t('import.progress', { done: d + 1, total: n, name: name || '' }),
      fraction: n ? d / n : 0,
    };
  }

  // What a trip's row says: its day, start and end on the camera's clock
  // (moved by the clock correction, shiftMs), then its length, distance and
  // how many clips and events it holds.
  function tripText(trip, clipCount, language, unit, t, shiftMs = 0) {
    const distance = Number.isFinite(trip.distance_m)
      ? i18n.formatNumber(language, units.distanceIn(trip.distance_m / 1000, unit), 1) + ' ' + units.distanceUnit(unit)
      : '\u2013';
    const start = trip.start_ms + shiftMs;
    const date = trips.dateOf(start, i18n.localeOf(language));
    const times = trips.clockOf(start) + '\u2013' + (Number.isFinite(trip.end_ms) ? trips.clockOf(trip.end_ms + shiftMs) : '');
    return {
      date,
      times,
      when: date + ' \u00b7 ' + times,
      facts: [
        trips.formatDuration(trip.duration_ms),
        distance,
        t('trip.clips', { count: clipCount }),
        t('trip.events', { count: Number(trip.events) || 0 }),
      ].join(' \u00b7 '),
    };
  }

  // page: state, t, message (keyed messages), sender, messages, loader
  // (telemetry and durations), availability (clips that cannot be opened),
  // and the viewer's showClip(i), showNothing(); loadSettings() once the
  // native side has set the library folder.
  function create(page) {
    const { state, t, message, sender, messages, loader, availability } = page;
    const $ = (id) => document.getElementById(id);

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
      const gone = document.createElement('span');
      gone.className = 'tag gone';
      meta.append(metaText, tag, gone);
      body.append(name, meta);
      li.append(box, body);
      li.addEventListener('click', (e) => onClipClick(i, e));
      li.parts = { box, badge, title, metaText, tag, gone };
      return li;
    }

    const filter = { from: NaN, to: NaN, event: '', movies: null };
    // The list's rows (trips, and clips of no trip) in the order shown; a
    // long list holds only those near its view (js/list-window.js).
    let rowItems = [];
    const listWindow = listWindowRules.create(
      $('clip-list'),
      () => rowItems,
      (li) => (li.row ? (li.classList.contains('open') ? 52 + 44 * li.row.clips.length : 52) : 44),
      () => clipItems.length,
      (li) => refreshPlaced(li),
    );
    let placeMode = false;
    const shift = () => (page.clock ? page.clock.shiftMs() : 0);

    // The trips the list shows open, by their start time (a new listing
    // renumbers trips, a start time stays).
    const expanded = new Set();
    let clipItems = [];
    let rows = null;
    let builtFor = '';
    let expandedFor = -2;
    const removal = trips.createRemoval(
      (paths) => {
        hideRemovalNote();
        sender.send('file_del_fun', commands.pathsArgument(paths));
        render();
      },
      { setTimeout: (f, ms) => setTimeout(f, ms), clearTimeout: (id) => clearTimeout(id) },
    );

    function createTripItem(row) {
      const li = document.createElement('li');
      li.className = 'trip';
      li.setAttribute('data-testid', 'trip-item');
      li.dataset.trip = String(row.trip);
      const head = document.createElement('div');
      head.className = 'trip-head';
      const toggle = document.createElement('button');
      toggle.type = 'button';
      toggle.className = 'trip-toggle';
      toggle.setAttribute('data-testid', 'trip-toggle');
      const when = document.createElement('div');
      when.className = 'trip-when';
      // Date and times each stay whole; a narrow list puts the times below.
      const date = document.createElement('span');
      const times = document.createElement('span');
      when.append(date, times);
      const facts = document.createElement('div');
      facts.className = 'trip-facts';
      const text = document.createElement('div');
      text.className = 'trip-text';
      text.append(when, facts);
      head.append(toggle, text);
      const inner = document.createElement('ul');
      inner.className = 'trip-clips';
      inner.setAttribute('role', 'group');
      row.clips.forEach((i) => inner.appendChild(clipItems[i]));
      li.append(head, inner);
      // The arrow opens or closes the trip; the rest of the row plays it
      // from its first clip.
      toggle.addEventListener('click', (e) => {
        e.stopPropagation();
        const key = row.summary.start_ms;
        if (expanded.has(key)) expanded.delete(key);
        else expanded.add(key);
        render();
      });
      text.addEventListener('click', () => {
        const first = row.clips.find((i) => !availability.isUnavailable(state.clips[i].path));
        const i = first === undefined ? row.clips[0] : first;
        state.selection = [i];
        state.anchor = i;
        expanded.add(row.summary.start_ms);
        page.showClip(i);
      });
      text.title = t('trip.play.title');
      li.parts = { toggle, when, date, times, facts, inner, text };
      li.row = row;
      return li;
    }

    // Rebuilds the list's items when the listing or its trips changed.
    // The listing and the library are replaced whole when they change, never
    // changed in place: the same two objects make the same rows.
    let builtFrom = null;
    function build() {
      if (builtFrom && builtFrom.clips === state.clips && builtFrom.library === state.library) return;
      builtFrom = { clips: state.clips, library: state.library };
      const nextRows = trips.tripRows(state.clips, state.library);
      const signature = JSON.stringify([state.clips.map((c) => c.path), nextRows]);
      if (signature === builtFor) return;
      builtFor = signature;
      rows = nextRows;
      clipItems = state.clips.map((clip, i) => {
        const li = createClipItem(i);
        li.dataset.path = clip.path;
        return li;
      });
      rowItems = rows ? rows.map((row) => (row.clips ? createTripItem(row) : clipItems[row.clip])) : clipItems.slice();
      listWindow.update();
      expandedFor = -2;
    }

    // Many answers that change the list (telemetry read, lengths probed)
    // make one redraw in the next frame.
    let renderRequest = 0;
    function requestRender() {
      if (renderRequest) return;
      const later = typeof requestAnimationFrame === 'function' ? requestAnimationFrame : (f) => setTimeout(f, 16);
      renderRequest = later(() => {
        renderRequest = 0;
        render();
      });
    }

    // What the last render showed rows with: rows put in a long list later
    // (js/list-window.js) are written with it.
    let shownWith = null;

    // A clip's row written as the page is now (the removals pending and the
    // merge order as the last render found them, in `shownWith`).
    function refreshClip(i) {
      const clip = state.clips[i];
      const li = clipItems[i];
      if (!clip || !li) return;
      li.stale = false;
      const p = li.parts;
      const { order } = shownWith;
      const selectedAt = state.selection.indexOf(i);
      li.title = clip.path;
      li.setAttribute('aria-selected', selectedAt >= 0 ? 'true' : 'false');
      li.classList.toggle('selected', selectedAt >= 0);
      li.classList.toggle('current', i === state.current);
      p.box.checked = selectedAt >= 0;
      p.box.title = t('library.select.title');
      p.badge.hidden = !order.has(i);
      setText(p.badge, order.has(i) ? String(order.get(i)) : '');
      setText(p.title, clip.name);
      setText(p.metaText, clipMeta(clip, loader.durations.get(clip.path) ?? summaryLength(clip), t, page.clock));
      p.tag.hidden = !(
        (clip.records && clip.records.length === 0) ||
        (clip.records === undefined && clip.summary && !clip.summary.has_telemetry)
      );
      setText(p.tag, t('library.noTelemetry'));
      const unavailable = availability.isUnavailable(clip.path);
      li.classList.toggle('unavailable', unavailable);
      if (unavailable) li.setAttribute('data-unavailable', 'true');
      else li.removeAttribute('data-unavailable');
      p.gone.hidden = !unavailable;
      setText(p.gone, t('library.unavailable'));
    }

    // A trip's texts written as the page is now (its clips being removed as
    // the last render found them).
    function refreshTrip(li) {
      li.stale = false;
      const { row, parts } = li;
      const kept = row.clips.filter((i) => !shownWith.removing.has(state.clips[i].path));
      parts.text.title = t('trip.play.title');
      setText(parts.toggle, li.classList.contains('open') ? '\u25be' : '\u25b8');
      parts.toggle.title = t('trip.toggle.title');
      parts.toggle.setAttribute('aria-label', t('trip.toggle.title'));
      const text = tripText(row.summary, kept.length, state.language, state.unit, t, shift());
      setText(parts.date, text.date);
      setText(parts.times, text.times);
      setText(parts.facts, text.facts);
    }

    // A row just put in the list, with its clips, written if a render passed
    // it by while it was out of the document.
    function refreshPlaced(li) {
      if (!shownWith) return; // the first render writes every row it puts in
      if (li.row) {
        if (li.stale) refreshTrip(li);
        for (const i of li.row.clips) if (clipItems[i] && clipItems[i].stale) refreshClip(i);
      } else if (li.stale) {
        refreshClip(Number(li.dataset.index));
      }
    }

    // Every row is decided (shown or not, open or not: the list's heights),
    // but only rows in the document are written; a long list writes the
    // others when it puts them in (refreshPlaced).
    function render() {
      build();
      const removing = new Set(removal.pendingPaths());
      // The trip of a clip just put on screen opens, so the clip is seen.
      if (rows && state.current !== expandedFor) {
        expandedFor = state.current;
        const at = trips.tripOfClip(rows, state.current);
        if (at >= 0) expanded.add(rows[at].summary.start_ms);
      }
      shownWith = { removing, order: mergePositions() };
      state.clips.forEach((clip, i) => {
        const li = clipItems[i];
        li.hidden = removing.has(clip.path);
        if (li.isConnected) refreshClip(i);
        else li.stale = true;
      });
      let passing = 0;
      for (const li of rowItems) {
        if (!li.row) {
          // A clip of no trip, straight in the list.
          const i = Number(li.dataset.index);
          const clip = state.clips[i];
          const start = clip && clip.summary ? clip.summary.start_ms : NaN;
          const passes = !clip || rowPasses(filter, start, [clip.summary], [clip.path], shift());
          if (!passes) li.hidden = true;
          else if (!li.hidden) passing += 1;
          continue;
        }
        const { row, parts } = li;
        const open = expanded.has(row.summary.start_ms);
        const kept = row.clips.filter((i) => !removing.has(state.clips[i].path));
        const passes = rowPasses(
          filter,
          row.summary.start_ms,
          row.clips.map((i) => state.clips[i].summary),
          row.clips.map((i) => state.clips[i].path),
          shift(),
        );
        li.hidden = kept.length === 0 || !passes;
        if (!li.hidden) passing += kept.length;
        li.classList.toggle('open', open);
        li.classList.toggle('current', row.clips.includes(state.current));
        parts.inner.hidden = !open;
        parts.toggle.setAttribute('aria-expanded', open ? 'true' : 'false');
        if (li.isConnected) refreshTrip(li);
        else li.stale = true;
      }
      const shown = state.clips.length - removing.size;
      const note = $('filter-note');
      note.hidden = !filterActive(filter) && !placeMode;
      note.textContent = placeMode ? t('filter.placeHint') : t('filter.note', { count: passing, total: shown });
      $('btn-filter-place').classList.toggle('active', placeMode || Boolean(filter.movies));
      // Rows shown, hidden or opened change the list's heights.
      listWindow.update();
      $('library-empty').hidden = state.clips.length > 0;
      $('library-count').textContent = shown > 0 ? t('library.clips', { count: shown }) : '';
      $('selection-info').textContent =
        state.selection.length > 1 ? t('library.selected', { count: state.selection.length }) : '';
      $('btn-remove').disabled = state.clips.length === 0;
      $('btn-merge').disabled = state.clips.length === 0;
      $('btn-select-all').disabled = state.clips.length === 0;
      $('btn-select-none').disabled = state.selection.length === 0;
    }

    // Each picked clip's place in the merge, when more than one is picked.
    function mergePositions() {
      const out = new Map();
      if (state.selection.length < 2) return out;
      const picked = state.selection.map((i) => state.clips[i]).filter(Boolean);
      trips.mergeOrder(picked, mergeMode()).forEach((clip, k) => out.set(clip.index, k + 1));
      return out;
    }

    const mergeMode = () => ($('merge-order-select') ? $('merge-order-select').value : 'clock');

    // The clips in the order the list shows them, without those being removed.
    function visibleOrder() {
      const removing = new Set(removal.pendingPaths());
      return trips.displayOrder(rows, state.clips.length).filter((i) => !removing.has(state.clips[i].path));
    }

    function startRemoval() {
      const clips = chosen();
      if (clips.length === 0) return messages.toast(t('select.first'), 'info');
      removal.start(clips.map((c) => c.path));
      state.selection = [];
      const note = $('removal-note');
      note.hidden = false;
      note.dataset.count = String(clips.length);
      renderRemovalNote();
      render();
    }

    function renderRemovalNote() {
      const note = $('removal-note');
      if (note.hidden) return;
      $('removal-text').textContent = t('removal.note', { count: Number(note.dataset.count) || 0 });
    }

    function hideRemovalNote() {
      $('removal-note').hidden = true;
    }

    function onClipClick(i, event) {
      if (event.shiftKey && state.anchor >= 0) {
        state.selection = extendSelection(state.selection, state.anchor, i, visibleOrder());
      } else if (event.ctrlKey || event.metaKey) {
        toggleSelection(i);
        return;
      } else {
        state.selection = [i];
        state.anchor = i;
      }
      page.showClip(i);
    }

    function stepClip(event) {
      const order = visibleOrder();
      const next = listStep(event, order.indexOf(state.current), order.length);
      if (next === null) return false;
      const clip = order[next];
      if (clip !== state.current) {
        state.selection = [clip];
        state.anchor = clip;
        page.showClip(clip);
        const item = clipItems[clip];
        const at = trips.tripOfClip(rows, clip);
        if (item) listWindow.reveal(at >= 0 ? rowItems[at] : item, item);
      }
      return true;
    }

    function toggleSelection(i) {
      const added = !state.selection.includes(i);
      state.selection = toggledSelection(state.selection, i);
      state.anchor = i;
      if (added && state.current < 0) page.showClip(i);
      else render();
    }

    function onFileList(dataList, movieList, selected) {
      const previous = state.current >= 0 ? state.clips[state.current] : null;
      state.clips = library.buildClips(dataList, movieList, state.library);
      // Which of these clips cannot be opened comes with the listing (a
      // listing of no clips has nothing to report).
      availability.listing(state.clips.length);
      // Summaries first: the clip shown next lists its events from its own.
      const summaries = trips.summariesByMovie(state.library);
      state.clips.forEach((clip) => {
        if (summaries.has(clip.path)) clip.summary = summaries.get(clip.path);
      });
      const index = library.chooseClip(state.clips, selected, previous && previous.path);
      state.selection = index >= 0 ? [index] : [];
      state.anchor = index;
      state.current = -1;
      // The clip on screen first: script files load one after another.
      if (index >= 0) page.showClip(index);
      else page.showNothing();
      // A clip the library summarised is listed from its summary: its
      // telemetry is read only when it is shown (a card of a thousand clips
      // never fills the page with their records).
      // Its length, too, comes from the summary; only the others' movies are
      // opened to learn it (a thousand probes would keep the page busy for
      // minutes, redrawing the list after each).
      state.clips.forEach((clip) => {
        if (!clip.summary) {
          loader.loadTelemetry(clip).then((records) => {
            clip.records = records;
            requestRender();
          });
        }
        if (!summaryLength(clip)) loader.probeDuration(clip).then(requestRender);
      });
      render();
      // user_path is set by the same script text, right after this call.
      setTimeout(page.loadSettings, 0);
    }

    // Summaries that come without a listing (a card mounted, the window
    // focused) refresh what the listed clips know of themselves.
    function onSummaries() {
      const summaries = trips.summariesByMovie(state.library);
      state.clips.forEach((clip) => {
        if (summaries.has(clip.path)) clip.summary = summaries.get(clip.path);
      });
      render();
    }

    function onImportProgress(done, total, name) {
      const view = importProgressView(done, total, name, t);
      messages.showProgress('import-progress', view.text, view.fraction);
      if (view.finished) messages.hideProgress('import-progress', 1500);
    }

    function onImportRefused(path, reason, key, params) {
      const text = message(reason || '', key, params);
      messages.toast(t('import.refused', { name: library.clipName(path || ''), reason: text }), 'error');
    }

    function wire() {
      $('btn-import').addEventListener('click', () => sender.send('file_copy_fun'));
      $('btn-remove').addEventListener('click', startRemoval);
      $('btn-undo-removal').addEventListener('click', () => {
        removal.undo();
        hideRemovalNote();
        render();
      });
      $('btn-dismiss-removal').addEventListener('click', () => removal.commit());
      $('btn-select-all').addEventListener('click', () => {
        state.selection = visibleOrder();
        render();
      });
      $('btn-select-none').addEventListener('click', () => {
        state.selection = [];
        render();
      });
      $('merge-order-select').addEventListener('change', render);
      wireFilters();
    }

    // Language changes reach the note and the days typed as well as the list.
    function renderAll() {
      renderRemovalNote();
      showDateFields();
      render();
    }

    const DATE_FIELDS = ['filter-from', 'filter-to'];
    const dateHint = () => {
      const [day, month, year] = t('filter.date.letters').split('|');
      return dateField.hint(i18n.localeOf(state.language), { day, month, year });
    };

    // A day typed in a filter field: kept as ISO in data-day and written
    // back as the language writes it; one that is no day is marked and said.
    function readDateField(el) {
      const day = dateField.parse(el.value, i18n.localeOf(state.language));
      el.classList.toggle('invalid', day === null);
      el.setAttribute('aria-invalid', day === null ? 'true' : 'false');
      el.dataset.day = day || '';
      if (day === null) messages.toast(t('filter.date.invalid', { hint: dateHint() }), 'error');
      else el.value = dateField.format(day, i18n.localeOf(state.language));
    }

    // The days written again once the language has changed: a redraw for
    // any other reason leaves alone what is being typed.
    let datesLanguage = null;
    function showDateFields() {
      if (state.language === datesLanguage) return;
      datesLanguage = state.language;
      for (const id of DATE_FIELDS) {
        const el = $(id);
        if (!el) continue;
        el.placeholder = dateHint();
        if (!el.classList.contains('invalid')) el.value = dateField.format(el.dataset.day, i18n.localeOf(state.language));
      }
    }

    const chosen = () => chosenClips(state.clips, state.selection, state.current);

    // The listing indices of the trip that holds clip i, in driving order
    // (just [i] for a clip of no trip).
    function tripMembers(i) {
      build();
      const at = trips.tripOfClip(rows, i);
      return at >= 0 ? rows[at].clips.slice() : [i];
    }

    // Both ends of a date range set at once filter the list once.
    function readFilters() {
      filter.from = dayStart($('filter-from').dataset.day);
      filter.to = dayStart($('filter-to').dataset.day);
      filter.event = $('filter-event').value;
      requestRender();
    }

    // "Through here": the next click on the map asks the library which
    // clips went within 300 m of it.
    function wireFilters() {
      for (const id of DATE_FIELDS) {
        $(id).addEventListener('change', (e) => {
          readDateField(e.target);
          readFilters();
        });
      }
      $('filter-event').addEventListener('change', readFilters);
      $('btn-filter-place').addEventListener('click', () => {
        if (filter.movies) {
          filter.movies = null;
          placeMode = false;
        } else {
          placeMode = !placeMode;
        }
        render();
      });
      $('btn-filter-clear').addEventListener('click', () => {
        for (const id of DATE_FIELDS) {
          $(id).value = '';
          readDateField($(id));
        }
        $('filter-event').value = '';
        filter.movies = null;
        placeMode = false;
        readFilters();
      });
      const map = page.routeMap && page.routeMap();
      if (map && map.map) {
        map.map.on('click', (e) => {
          if (!placeMode) return;
          placeMode = false;
          page.searchPlace({ lat: e.latlng.lat, lon: e.latlng.lng, radius_m: 300 });
          render();
        });
      }
      showDateFields();
    }

    // The library's answer to a place search.
    function onSearchResults() {
      const movies = state.searchResults && Array.isArray(state.searchResults.movies) ? state.searchResults.movies : [];
      filter.movies = new Set(movies);
      render();
    }

    return {
      render: renderAll,
      stepClip,
      chosenClips: chosen,
      mergeMode,
      tripMembers,
      onFileList,
      onSummaries,
      onSearchResults,
      onImportProgress,
      onImportRefused,
      wire,
    };
  }

  return { clipMeta, tripText, dayStart, rowPasses, extendSelection, toggledSelection, listStep, chosenClips, importProgressView, create };
});
