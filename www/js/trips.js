// The library seen as trips and the shown clip's driving events: grouping, ordering and the texts they show (Node-testable).
(function (root, factory) {
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.CamVault = Object.assign(root.CamVault || {}, { trips: api });
})(this, function () {
  'use strict';

  // An event is jumped to a little before it starts, so the driver sees what
  // led up to it.
  const EVENT_LEAD_SECONDS = 3;

  const finite = (v) => typeof v === 'number' && Number.isFinite(v);

  // The rows of the library list, newest trip first: { trip, clips } for each
  // timed trip of the summaries (clips as listing indices, in driving order),
  // then { clip } for each listed clip no timed trip holds, in listing order.
  // null when the summaries say nothing of these clips: the list stays flat.
  function tripRows(clips, library) {
    const summaries = library && Array.isArray(library.clips) ? library.clips : [];
    const trips = library && Array.isArray(library.trips) ? library.trips : [];
    if (trips.length === 0 || clips.length === 0) return null;
    const listed = new Map(clips.map((c, i) => [c.path, i]));
    const rows = [];
    const inTrip = new Set();
    trips.forEach((trip, index) => {
      if (!trip || !trip.timed || !finite(trip.start_ms) || !Array.isArray(trip.clips)) return;
      const members = [];
      for (const k of trip.clips) {
        const s = summaries[k];
        const at = s ? listed.get(s.movie) : undefined;
        if (at !== undefined && !inTrip.has(at)) {
          members.push(at);
          inTrip.add(at);
        }
      }
      if (members.length) rows.push({ trip: index, summary: trip, clips: members });
    });
    if (rows.length === 0) return null;
    // Stable: trips that start together keep the summaries' order.
    rows.sort((a, b) => b.summary.start_ms - a.summary.start_ms);
    clips.forEach((c, i) => {
      if (!inTrip.has(i)) rows.push({ clip: i });
    });
    return rows;
  }

  // Each listed movie's summary, where the summary says whether it has
  // telemetry (a clip listed by an earlier CamVault says null: the page reads
  // its script instead).
  function summariesByMovie(library) {
    const out = new Map();
    for (const c of library && Array.isArray(library.clips) ? library.clips : []) {
      if (c && typeof c.movie === 'string' && typeof c.has_telemetry === 'boolean') out.set(c.movie, c);
    }
    return out;
  }

  // Listing indices in the order the list shows them (for the arrow keys).
  function displayOrder(rows, count) {
    if (!rows) return Array.from({ length: count }, (_, i) => i);
    return rows.flatMap((r) => (r.clips ? r.clips : [r.clip]));
  }

  // The row index of the trip that holds listing index i, or -1.
  function tripOfClip(rows, i) {
    if (!rows) return -1;
    return rows.findIndex((r) => r.clips && r.clips.includes(i));
  }

  // The shown clip's events with their place on the video's timeline
  // (seconds from the clip's first record, as the page's timeline counts).
  function clipEvents(summary) {
    if (!summary || !Array.isArray(summary.events) || !finite(summary.start_ms)) return [];
    return summary.events
      .filter((e) => e && finite(e.start_ms))
      .map((e) => ({ ...e, seconds: Math.max(0, (e.start_ms - summary.start_ms) / 1000) }))
      .sort((a, b) => a.seconds - b.seconds);
  }

  // Where the video goes for an event.
  const jumpTime = (event) => Math.max(0, event.seconds - EVENT_LEAD_SECONDS);

  // The event `n` (dir 1) or `p` (dir -1) goes to from video time `now`:
  // the first whose jump point lies ahead, or the last one behind. A small
  // margin keeps a press at an event's own jump point from finding it again.
  function stepEvent(events, now, dir) {
    const margin = 0.25;
    if (dir > 0) return events.find((e) => jumpTime(e) > now + margin) || null;
    for (let k = events.length - 1; k >= 0; k--) if (jumpTime(events[k]) < now - margin) return events[k];
    return null;
  }

  // 51.5114465 and -0.1016102 as 51°30'41.2"N 0°06'05.8"W; hemispheres maps
  // N, S, E, W to the page's letters.
  function formatDms(at, hemispheres = { N: 'N', S: 'S', E: 'E', W: 'W' }, decimal = '.') {
    if (!Array.isArray(at) || !finite(at[0]) || !finite(at[1])) return '';
    const one = (v, pos, neg) => {
      // Tenths of a second, rounded once so 59.96" never shows as 60.0".
      const tenths = Math.round(Math.abs(v) * 36000);
      const d = Math.floor(tenths / 36000);
      const m = Math.floor((tenths % 36000) / 600);
      const s = ((tenths % 600) / 10).toFixed(1).padStart(4, '0').replace('.', decimal);
      return `${d}\u00b0${String(m).padStart(2, '0')}'${s}"${hemispheres[v < 0 ? neg : pos]}`;
    };
    return one(at[0], 'N', 'S') + ' ' + one(at[1], 'E', 'W');
  }

  // What an event's line in the list says: its kind, clock time (moved by
  // the clock correction, shiftMs), peak in g and place. number(value,
  // digits) writes a number in the page's language.
  function eventTexts(event, t, number, hemispheres, shiftMs = 0) {
    const kind = t('event.' + event.kind);
    const at = finite(event.peak_ms) ? event.peak_ms : event.start_ms;
    return {
      kind: kind === 'event.' + event.kind ? String(event.kind) : kind,
      time: finite(at) ? clockSecondsOf(at + shiftMs) : '',
      peak: finite(event.peak_g) ? number(event.peak_g, 2) + ' g' : '',
      place: formatDms(event.at, hemispheres, number(0.5, 1).charAt(1)),
    };
  }

  // The n and p keys, unless a field takes the key or a modifier is held:
  // 1, -1, or 0 when the key is not for events.
  function eventKey(event) {
    const tag = event.target && event.target.tagName;
    if (tag === 'SELECT' || tag === 'TEXTAREA' || (tag === 'INPUT' && event.target.type !== 'range' && event.target.type !== 'checkbox')) return 0;
    if (event.ctrlKey || event.metaKey || event.altKey) return 0;
    return event.key === 'n' ? 1 : event.key === 'p' ? -1 : 0;
  }

  // "14:05" from a time in ms as recorded (the camera's clock, read as UTC).
  function clockOf(ms) {
    const d = new Date(ms);
    const two = (v) => String(v).padStart(2, '0');
    return `${two(d.getUTCHours())}:${two(d.getUTCMinutes())}`;
  }

  // "14:05:09", for an event.
  function clockSecondsOf(ms) {
    const d = new Date(ms);
    return clockOf(ms) + ':' + String(d.getUTCSeconds()).padStart(2, '0');
  }

  // The trip's day in the page's language, on the camera's clock. One
  // formatter a language: making one costs more than a hundred rows' dates.
  const dayFormats = new Map();
  function dateOf(ms, locale) {
    try {
      if (!dayFormats.has(locale)) {
        dayFormats.set(locale, new Intl.DateTimeFormat(locale, {
          timeZone: 'UTC', weekday: 'short', day: 'numeric', month: 'short', year: 'numeric',
        }));
      }
      return dayFormats.get(locale).format(new Date(ms));
    } catch (e) {
      return new Date(ms).toISOString().slice(0, 10);
    }
  }

  // A trip's length: "42 min", "1 h 05 min", "45 s".
  function formatDuration(ms) {
    if (!finite(ms) || ms < 0) return '\u2013';
    const s = Math.round(ms / 1000);
    if (s < 60) return `${s} s`;
    const minutes = Math.round(s / 60);
    if (minutes < 60) return `${minutes} min`;
    return `${Math.floor(minutes / 60)} h ${String(minutes % 60).padStart(2, '0')} min`;
  }

  // The order a merge sends the chosen clips in: 'clock' by the time their
  // recording started (clips with no known time keep their picked order,
  // after the timed ones), 'picked' as the user picked them.
  function mergeOrder(clips, mode) {
    if (mode === 'picked') return clips.slice();
    const start = (c) => (c.summary && finite(c.summary.start_ms) ? c.summary.start_ms
      : c.records && c.records.length && finite(c.records[0].time) ? c.records[0].time : null);
    const timed = clips.filter((c) => start(c) !== null);
    const untimed = clips.filter((c) => start(c) === null);
    timed.sort((a, b) => start(a) - start(b));
    return timed.concat(untimed);
  }

  // A removal waits `delay` ms before it is sent, so it can be undone: one
  // pending at a time (a second removal sends the first at once).
  // timers: { setTimeout, clearTimeout }; send(paths) sends file_del_fun.
  function createRemoval(send, timers, delay = 10000) {
    let pending = null;
    const commit = () => {
      if (!pending) return;
      const { paths, timer } = pending;
      pending = null;
      timers.clearTimeout(timer);
      send(paths);
    };
    return {
      start(paths) {
        commit();
        pending = { paths: paths.slice(), timer: timers.setTimeout(commit, delay) };
      },
      undo() {
        if (!pending) return null;
        timers.clearTimeout(pending.timer);
        const { paths } = pending;
        pending = null;
        return paths;
      },
      // The note was closed: remove now.
      commit,
      pendingPaths: () => (pending ? pending.paths.slice() : []),
    };
  }

  return {
    EVENT_LEAD_SECONDS,
    tripRows,
    summariesByMovie,
    displayOrder,
    tripOfClip,
    clipEvents,
    jumpTime,
    stepEvent,
    formatDms,
    eventTexts,
    eventKey,
    clockOf,
    clockSecondsOf,
    dateOf,
    formatDuration,
    mergeOrder,
    createRemoval,
  };
});
