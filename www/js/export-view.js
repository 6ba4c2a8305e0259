// The export dialog: a merge under a chosen name, the stretch between marks A and B, 30 s around an
// event, an evidence pack; the marks on the seek bar, the export's cancel button and its outcome
// with a button to show the file (rules Node-testable).
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory(require('./trip-plan.js'));
  else root.CamVault.exportView = factory(root.CamVault.tripPlan);
})(this, function (tripPlan) {
  'use strict';

  const finite = (v) => typeof v === 'number' && Number.isFinite(v);
  // "30 s around this event": from 15 s before its moment to 15 s after.
  const AROUND_EVENT_SECONDS = 15;
  const KIND_TEXTS = {
    merge: 'export.kind.merge',
    span: 'export.kind.span',
    event: 'export.kind.event',
    packEvent: 'export.kind.packEvent',
    packSpan: 'export.kind.packSpan',
  };

  // The trip-time span an export choice covers, or null when it has none
  // (marks unset or reversed, no event, nothing on screen).
  function spanOf(choice, marks, event, total) {
    if (choice === 'event' || choice === 'packEvent') {
      if (!event || !finite(event.seconds)) return null;
      const end = finite(total) && total > 0 ? total : event.seconds + AROUND_EVENT_SECONDS;
      return [Math.max(0, event.seconds - AROUND_EVENT_SECONDS), Math.min(end, event.seconds + AROUND_EVENT_SECONDS)];
    }
    if (choice === 'span' || choice === 'packSpan') {
      if (!marks || !finite(marks.a) || !finite(marks.b) || !(marks.b > marks.a)) return null;
      return [marks.a, marks.b];
    }
    return null;
  }

  // The export command's object (www/README.md) for a choice, or an error key:
  // { request } or { error }. clips: the chosen clips in merge order;
  // plan: the trip on screen; stampAt(seconds): the frame's stamp there.
  function exportRequest({ choice, name, clips, plan, marks, event, total, stampAt, burnIn }) {
    const request = {};
    if (burnIn) request.options = { burn_in: true };
    const trimmed = String(name || '').trim();
    if (trimmed) {
      if (trimmed.length > 100 || trimmed.startsWith('.') || /[\/\u0000-\u001f\u007f]/.test(trimmed)) return { error: 'export.badName' };
      request.name = trimmed;
    }
    if (choice === 'merge') {
      if (!clips || clips.length === 0) return { error: 'select.first' };
      request.kind = 'merge';
      request.pieces = clips.map((c) => ({ clip: String(c.path) }));
      return { request };
    }
    if (!plan) return { error: 'export.noClip' };
    const span = spanOf(choice, marks, event, total);
    if (!span) return { error: choice === 'event' || choice === 'packEvent' ? 'export.noEvent' : 'export.noMarks' };
    const pieces = tripPlan.piecesFor(plan, span[0], span[1]);
    if (pieces.length === 0) return { error: 'export.noMarks' };
    request.pieces = pieces.map((p) => {
      const piece = { clip: String(p.path), from_ms: p.from_ms };
      if (p.to_ms !== undefined) piece.to_ms = p.to_ms;
      return piece;
    });
    if (choice === 'span' || choice === 'event') {
      request.kind = 'trim';
      return { request };
    }
    // The pack's frame: the event's moment, or mark A.
    const at = choice === 'packEvent' ? event.seconds : span[0];
    const where = tripPlan.locate(plan, at);
    if (!where) return { error: 'export.noClip' };
    request.kind = 'evidence';
    request.event = {
      kind: choice === 'packEvent' ? String(event.kind) : 'marked',
      clip: String(plan.parts[where.part].path),
      at_ms: Math.max(0, Math.round(where.local * 1000)),
    };
    const stamp = stampAt ? stampAt(at) : null;
    if (stamp) request.event.stamp = stamp;
    return { request };
  }

  // export_result's JSON (a text, or already an object) as the page shows it.
  function parseResult(json) {
    let r = json;
    if (typeof json === 'string') {
      try {
        r = JSON.parse(json);
      } catch (e) {
        r = null;
      }
    }
    if (!r || typeof r !== 'object') return { ok: false, text: String(json), key: '', params: {} };
    return r;
  }

  function fileName(path) {
    return String(path || '').split('/').pop();
  }

  // page: state, t, message, sender, messages, player, chosenClips(),
  // mergeMode(), frameStamp(caption, seconds).
  function create(page) {
    const { state, t, message, sender, messages, player } = page;
    const CV = window.CamVault;
    const $ = (id) => document.getElementById(id);
    const marks = { a: NaN, b: NaN };
    let running = false;

    const shownEvents = () => (state.shown && state.shown.events) || [];

    function renderMarks() {
      const box = $('seek-marks');
      box.textContent = '';
      const length = player.tripDuration();
      for (const key of ['a', 'b']) {
        $('btn-mark-' + key).classList.toggle('set', finite(marks[key]));
        if (!finite(marks[key]) || !(length > 0)) continue;
        const mark = document.createElement('span');
        mark.className = 'seek-mark';
        mark.setAttribute('data-testid', 'seek-mark-' + key);
        mark.textContent = key.toUpperCase();
        mark.style.left = Math.min(100, (marks[key] / length) * 100) + '%';
        box.appendChild(mark);
      }
    }

    function setMark(key) {
      if (!player.hasClip()) return messages.toast(t('export.noClip'), 'info');
      marks[key] = player.tripTime();
      renderMarks();
    }

    // A new trip on screen: its marks are gone.
    function onTrip() {
      marks.a = NaN;
      marks.b = NaN;
      renderMarks();
    }

    function fillEvents() {
      const select = $('export-event');
      select.textContent = '';
      const number = (v, digits) => CV.i18n.formatNumber(state.language, v, digits);
      const now = player.tripTime();
      let nearest = 0;
      shownEvents().forEach((event, k) => {
        const texts = CV.trips.eventTexts(event, t, number, {}, page.shiftMs ? page.shiftMs() : 0);
        const option = document.createElement('option');
        option.value = String(k);
        option.textContent = [texts.kind, texts.time, texts.peak].filter(Boolean).join(' \u00b7 ');
        select.appendChild(option);
        if (Math.abs(event.seconds - now) < Math.abs(shownEvents()[nearest].seconds - now)) nearest = k;
      });
      if (shownEvents().length) select.value = String(nearest);
    }

    function renderChoice() {
      const choice = $('export-kind').value;
      const needsEvent = choice === 'event' || choice === 'packEvent';
      $('export-event-row').hidden = !needsEvent;
      $('export-marks-text').hidden = !(choice === 'span' || choice === 'packSpan');
      const clockOf = (s) => (finite(s) ? CV.units.formatClock(s) : '\u2013');
      $('export-marks-text').textContent = t('export.marks', { a: clockOf(marks.a), b: clockOf(marks.b) });
      $('export-error').hidden = true;
    }

    function open() {
      if (running) return messages.toast(t('export.busy'), 'info');
      fillEvents();
      // The likeliest choice: an event when the trip has one near, the marks when set.
      const kind = $('export-kind');
      if (finite(marks.a) && finite(marks.b)) kind.value = 'span';
      else if (!page.chosenClips().length && shownEvents().length) kind.value = 'event';
      else kind.value = 'merge';
      renderChoice();
      $('export-dialog').showModal();
    }

    function submit(e) {
      e.preventDefault();
      const shown = state.shown;
      const choice = $('export-kind').value;
      const event = shownEvents()[Number($('export-event').value)];
      const made = exportRequest({
        choice,
        name: $('export-name').value,
        clips: CV.trips.mergeOrder(page.chosenClips(), page.mergeMode()),
        plan: shown && shown.plan,
        marks,
        event,
        total: player.tripDuration(),
        stampAt: (s) => page.frameStamp(Boolean(state.prefs && state.prefs.snapshot_caption), s),
        burnIn: $('export-burn').checked,
      });
      if (made.error) {
        $('export-error').textContent = t(made.error);
        $('export-error').hidden = false;
        return;
      }
      $('export-dialog').close();
      running = true;
      state.exportRunning = true;
      $('btn-export-cancel').hidden = false;
      messages.showProgress('export-progress', t('export.running'), 0);
      sender.send('export', encodeURIComponent(JSON.stringify(made.request)));
    }

    function onResult(json) {
      const r = parseResult(json);
      running = false;
      state.exportRunning = false;
      $('btn-export-cancel').hidden = true;
      messages.hideProgress('export-progress', 600);
      if (r.ok) {
        const el = messages.toast(t(r.zip ? 'export.packDone' : 'export.done', { name: fileName(r.path) }), 'success', 12000);
        const show = document.createElement('button');
        show.className = 'toast-action';
        show.setAttribute('data-testid', 'export-show');
        show.textContent = t('export.show');
        show.addEventListener('click', () => sender.send('open_dir'));
        el.appendChild(show);
        return;
      }
      if (r.cancelled) return messages.toast(t('export.cancelled'), 'info');
      messages.toast(message(r.text, r.key, r.params), 'error');
    }

    function wire() {
      const kind = $('export-kind');
      for (const [k, key] of Object.entries(KIND_TEXTS)) {
        const option = document.createElement('option');
        option.value = k;
        option.setAttribute('data-i18n', key);
        option.textContent = t(key);
        kind.appendChild(option);
      }
      kind.addEventListener('change', renderChoice);
      $('btn-export').addEventListener('click', open);
      $('export-form').addEventListener('submit', submit);
      $('btn-export-close').addEventListener('click', () => $('export-dialog').close());
      $('btn-mark-a').addEventListener('click', () => setMark('a'));
      $('btn-mark-b').addEventListener('click', () => setMark('b'));
      $('btn-export-cancel').addEventListener('click', () => sender.send('export_cancel'));
    }

    return { wire, onResult, onTrip, renderMarks };
  }

  return { AROUND_EVENT_SECONDS, spanOf, exportRequest, parseResult, create };
});
