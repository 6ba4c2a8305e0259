// The clip or trip on screen: the video, its route on the map, its speed and G-force charts and the readouts.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) {
    // Node gets the rules only: the player, map and charts need a page.
    module.exports = factory(null, require('./commands.js'), require('./telemetry.js'), require('./units.js'), require('./trip-plan.js'));
  } else {
    const CV = root.CamVault;
    CV.viewer = factory(CV, CV.commands, CV.telemetry, CV.units, CV.tripPlan);
  }
})(this, function (CV, commands, telemetry, units, tripPlan) {
  'use strict';

  // Always signed, with a true minus sign, so the three columns line up.
  const formatG = (v) => (Number.isFinite(v) ? (v < 0 ? '\u2212' : '+') + Math.abs(v).toFixed(2) : '\u2013');

  // The speed axis starts at zero and ends on a round ten above the top speed.
  const speedRange = (min, max) => [0, Math.max(10, Math.ceil((max * 1.1) / 10) * 10)];

  // The G axis is symmetric about zero, at least ±1 g, in half-g steps.
  function gRange(min, max) {
    const m = Math.max(1, Math.ceil(Math.max(Math.abs(min), Math.abs(max)) * 2) / 2);
    return [-m, m];
  }

  // A chart is drawn through at most about this many runs of records: more
  // than a chart has pixels across, far fewer than a long clip's records.
  const CHART_BUCKETS = 1000;
  // From this many records on, the route and the charts are drawn in tasks
  // of their own, so the page answers input between them.
  const LARGE_CLIP = 20000;

  // The indices of the records a chart is drawn through: null (all of them)
  // up to twice `buckets`; beyond, for each of `buckets` runs of consecutive
  // records, its first one and those with the lowest and the highest value
  // of each field, so that no peak (a braking jolt) is lost.
  function chartPick(records, fields, buckets) {
    const n = records.length;
    if (n <= buckets * 2) return null;
    const out = [];
    const picked = [];
    for (let b = 0; b < buckets; b++) {
      const from = Math.floor((b * n) / buckets);
      const to = Math.floor(((b + 1) * n) / buckets);
      if (to <= from) continue;
      picked.length = 0;
      picked.push(from);
      for (const field of fields) {
        let lo = -1;
        let hi = -1;
        for (let i = from; i < to; i++) {
          const v = records[i][field];
          if (!Number.isFinite(v)) continue;
          if (lo < 0 || v < records[lo][field]) lo = i;
          if (hi < 0 || v > records[hi][field]) hi = i;
        }
        if (lo >= 0) picked.push(lo, hi);
      }
      picked.sort((a, c) => a - c);
      for (let k = 0; k < picked.length; k++) if (k === 0 || picked[k] !== picked[k - 1]) out.push(picked[k]);
    }
    if (out[out.length - 1] !== n - 1) out.push(n - 1);
    return out;
  }

  // The record under a chart's point `i` (null: none).
  const pickedRecord = (pick, i) => (i === null || i === undefined ? null : pick ? pick[i] : i);

  // 100000 as the page's language writes it (100,000 or 100.000).
  function formatCount(n, locale) {
    try {
      return Number(n).toLocaleString(locale || 'en');
    } catch (e) {
      return String(n);
    }
  }

  // What the pointer is over, in the chart's title: the clock time of the
  // record (as recorded, with the clock correction) and its values.
  function hoverText(shown, index, describe, clockText = (r, s) => units.formatClock(s)) {
    if (index === null || !shown || !shown.records[index]) return '';
    return clockText(shown.records[index], shown.timeline[index]) + '  ' + describe(shown.records[index]);
  }

  // What the video element does for the clip on screen, given whether the
  // clip may be opened ('open', 'wait' for the listing's report, or
  // 'unavailable') and the clip it holds: 'refuse' (and say why), 'keep' it,
  // 'close' it until the report, or 'open' the clip.
  function videoAction(status, loadedPath, clipPath) {
    if (status === 'unavailable') return 'refuse';
    if (loadedPath === clipPath) return 'keep';
    return status === 'wait' ? 'close' : 'open';
  }

  // page: state, t, loader (telemetry and durations), availability (clips
  // that cannot be opened), renderLibrary() for what the library shows of the
  // clip on screen, tripMembers(i) for the listing indices of the trip that
  // holds clip i (in driving order; [i] for a clip of no trip), clock for the
  // clock correction, settings() for the page's settings.
  function create(page) {
    const { state, t, loader, availability } = page;
    const $ = (id) => document.getElementById(id);
    const clock = page.clock || { shiftMs: () => 0 };
    let videoMessageKey = 'player.noClip';

    // key null: no message over the video.
    function setVideoMessage(key) {
      videoMessageKey = key;
      $('video-message').hidden = key === null;
      if (key !== null) $('video-message').textContent = t(key);
    }

    function showNothing() {
      state.current = -1;
      state.shown = null;
      renderEvents();
      player.unload();
      setVideoMessage('player.noClip');
      renderCut();
      routeMap.clear();
      speedChart.clear();
      gChart.clear();
      setTelemetryStatus('none-selected');
      renderReadouts(null);
    }

    const urlOf = (path) => (availability.status(path) === 'open' ? commands.fileUrl(path) : '');
    const durationOf = (clip) => loader.durations.get(clip.path);

    function plan(shown) {
      return tripPlan.planTrip(shown.members.map((i) => state.clips[i]), durationOf);
    }

    // The video element is pointed at a clip only once the listing's report
    // says it can be opened; telemetry does not wait for that. `local` is
    // where in the clip to start (undefined: where it is).
    function openVideo(clip, local) {
      const shown = state.shown;
      const k = shown ? shown.members.indexOf(clip.index) : -1;
      switch (videoAction(availability.status(clip.path), player.path, clip.path)) {
        case 'refuse':
          if (player.hasClip()) player.unload();
          setVideoMessage('player.unavailable');
          break;
        case 'close':
          if (player.hasClip()) player.unload();
          setVideoMessage(null);
          break;
        case 'open':
          player.setPlan(shown.plan);
          player.showPart(k, local || 0);
          setVideoMessage(null);
          break;
        default:
          player.setPlan(shown.plan);
          if (local !== undefined) player.seekTo(local);
          break;
      }
    }

    // The listing's report came (or was waited for long enough).
    function onAvailability() {
      const shown = state.shown;
      if (shown && state.clips[state.current] === shown.clip) openVideo(shown.clip);
    }

    // The shown trip's (or clip's) driving events from the library's
    // summaries: the list beside the player and the marks on the seek bar.
    function renderEvents() {
      const shown = state.shown;
      const events = shown
        ? tripPlan.tripEvents(shown.plan, shown.members.map((i) => state.clips[i].summary), CV.trips.clipEvents)
        : [];
      if (shown) shown.events = events;
      const list = $('events-list');
      list.textContent = '';
      const number = (v, digits) => CV.i18n.formatNumber(state.language, v, digits);
      events.forEach((event) => {
        const texts = CV.trips.eventTexts(event, t, number, hemisphereNames(), clock.shiftMs());
        const li = document.createElement('li');
        li.className = 'event ' + event.kind;
        li.setAttribute('data-testid', 'event-item');
        li.tabIndex = 0;
        li.title = t('event.item.title');
        for (const [cls, text] of [['event-kind', texts.kind], ['event-time', texts.time], ['event-peak', texts.peak], ['event-place', texts.place]]) {
          const span = document.createElement('span');
          span.className = cls;
          span.textContent = text;
          li.appendChild(span);
        }
        li.addEventListener('click', () => jumpToEvent(event));
        li.addEventListener('keydown', (e) => {
          if (e.key === 'Enter') jumpToEvent(event);
        });
        list.appendChild(li);
      });
      // Only summarised clips' events are known: without a summary the row
      // would claim a calm drive it cannot vouch for.
      const known = Boolean(shown && shown.members.some((i) => state.clips[i].summary && state.clips[i].summary.has_telemetry));
      $('events').hidden = !known;
      $('events-none').hidden = events.length > 0;
      $('events-none').textContent = t(shown && shown.members.length > 1 ? 'events.noneTrip' : 'events.none');
      renderEventMarkers();
      speedChart.setMarks(events.map((e) => e.seconds));
      gChart.setMarks(events.map((e) => e.seconds));
      routeMap.setEvents(events.filter((e) => Array.isArray(e.at)).map((e) => ({ at: e.at, kind: e.kind, seconds: e.seconds })));
    }

    // Marks on the seek bar, once the trip's length is known.
    function renderEventMarkers() {
      const box = $('seek-events');
      box.textContent = '';
      const shown = state.shown;
      const length = player.tripDuration() || (shown ? shown.plan.total : NaN);
      if (!shown || !shown.events || !(length > 0)) return;
      for (const event of shown.events) {
        const mark = document.createElement('span');
        mark.className = 'seek-event ' + event.kind;
        mark.setAttribute('data-testid', 'seek-event-marker');
        mark.style.left = Math.min(100, (event.seconds / length) * 100) + '%';
        box.appendChild(mark);
      }
    }

    function jumpToEvent(event) {
      if (!event) return;
      player.seekTrip(CV.trips.jumpTime(event));
    }

    // n / p: the next or previous event of the shown trip.
    function handleEventKey(e) {
      const dir = CV.trips.eventKey(e);
      if (dir === 0) return false;
      const shown = state.shown;
      if (!shown || !shown.events) return true;
      jumpToEvent(CV.trips.stepEvent(shown.events, player.tripTime(), dir));
      return true;
    }

    // Puts clip i on screen: with the trip it belongs to (the whole trip's
    // route, charts and events; playback goes on into the next clip), from
    // the clip's start. Another clip of the trip on screen just moves there.
    function showClip(i) {
      const clip = state.clips[i];
      if (!clip) return;
      state.current = i;
      page.renderLibrary();
      const members = page.tripMembers ? page.tripMembers(i) : [i];
      const clips = members.map((m) => state.clips[m]);
      const shown = state.shown;
      // The same trip of the same listing (a new listing brings new clips,
      // whose telemetry may have changed): only the clip on screen moves.
      if (shown && shown.clips.length === clips.length && shown.clips.every((c, k) => c === clips[k])) {
        if (shown.clip === clip) return openVideo(clip);
        shown.clip = clip;
        renderCut();
        return openVideo(clip, 0);
      }
      const next = { clips, clip, members, perClip: members.map(() => null), records: [], timeline: [], cumulative: [] };
      next.plan = plan(next);
      state.shown = next;
      openVideo(clip, 0);
      renderEvents();
      routeMap.clear();
      speedChart.clear();
      gChart.clear();
      renderReadouts(null);
      renderCut();
      setTelemetryStatus('loading');
      // The clip asked for first, then the rest of its trip in driving order.
      const k0 = members.indexOf(i);
      const order = [k0].concat(members.map((_, k) => k).filter((k) => k !== k0));
      let pending = order.length;
      for (const k of order) {
        const member = state.clips[members[k]];
        loader.loadTelemetry(member).then((records) => {
          if (state.shown !== next) return;
          member.records = records;
          next.perClip[k] = records;
          pending -= 1;
          // The first clip is drawn at once; the others together, or every
          // half second while a long trip loads.
          if (k === k0 || pending === 0) layoutTelemetry();
          else scheduleLayout(next);
          if (pending === 0) page.renderLibrary();
        });
      }
    }

    function scheduleLayout(shown) {
      if (shown.layoutTimer) return;
      shown.layoutTimer = setTimeout(() => {
        shown.layoutTimer = 0;
        if (state.shown === shown) layoutTelemetry();
      }, 500);
    }

    // The part of the trip on screen changed while it played on.
    function onPart(k) {
      const shown = state.shown;
      if (!shown || shown.members[k] === undefined) return;
      const i = shown.members[k];
      state.current = i;
      shown.clip = state.clips[i];
      if (availability.status(shown.clip.path) === 'unavailable') {
        player.unload();
        setVideoMessage('player.unavailable');
      }
      renderCut();
      page.renderLibrary();
    }

    // The note that the shown clip's telemetry was cut short.
    function renderCut() {
      const shown = state.shown;
      const records = shown && shown.records.length ? loader.cutOf(shown.clip) : undefined;
      const note = $('telemetry-cut');
      note.hidden = records === undefined;
      if (records !== undefined) {
        note.textContent = t('msg.telemetry_cut', { clip: shown.clip.name, records: formatCount(records, page.locale()) });
      }
    }

    // The page's language and every text the viewer set from it.
    function renderLanguage() {
      if (videoMessageKey !== null) setVideoMessage(videoMessageKey);
      renderCut();
      renderUnits();
      renderEvents();
      if (routeMap.setTranslator) routeMap.setTranslator(t);
    }

    // Places the records on the trip's clock; redone once a video's length
    // is known, since records are spread over it when their times cannot be
    // trusted, and as the trip's clips arrive.
    function layoutTelemetry() {
      const shown = state.shown;
      if (!shown) return;
      shown.plan = plan(shown);
      player.setPlan(shown.plan);
      const perClip = shown.plan.parts.map((p, k) => {
        const records = shown.perClip[k];
        if (!records) return null;
        const video = loader.durations.get(state.clips[p.index].path);
        return { records, timeline: telemetry.buildTimeline(records, video) };
      });
      const joined = tripPlan.joinRecords(shown.plan, perClip);
      const records = joined.records;
      if (records.length === 0) {
        if (shown.perClip.every((r) => r !== null)) {
          setTelemetryStatus('none');
          routeMap.clear();
          speedChart.clear();
          gChart.clear();
          renderReadouts(null);
        }
        return;
      }
      setTelemetryStatus('ok');
      const sameRoute = shown.records.length === records.length && shown.records[0] === records[0];
      shown.records = records;
      shown.timeline = joined.timeline;
      shown.cumulative = telemetry.cumulativeKm(records);
      delete shown.speedPick;
      delete shown.gPick;
      shown.hasGsensor = shown.members.some((i) => {
        const s = state.clips[i].summary;
        return !s || s.has_gsensor !== false;
      });
      renderEvents();
      renderCut();
      const steps = [];
      if (!sameRoute || routeMap.records !== records) {
        if (records.length >= LARGE_CLIP) steps.push(() => routeMap.frameRoute(records));
        steps.push(() => {
          $('map-no-route').hidden = routeMap.showRoute(records);
        });
      }
      steps.push(drawSpeedChart, drawGChart);
      // A later layout (the video's length came) replaces this one's steps.
      const layout = (shown.layouts = (shown.layouts || 0) + 1);
      const current = () => state.shown === shown && shown.records === records && shown.layouts === layout;
      if (records.length < LARGE_CLIP) {
        steps.forEach((step) => step());
      } else {
        // One step per task, each started only after the one before ended,
        // so that input waiting meanwhile is answered between them.
        const next = (k) => {
          if (k >= steps.length || !current()) return;
          steps[k]();
          onTime(player.tripTime());
          setTimeout(() => next(k + 1), 0);
        };
        setTimeout(() => next(0), 0);
      }
      onTime(player.tripTime());
    }

    function drawCharts() {
      drawSpeedChart();
      drawGChart();
    }

    // For the trip on screen, a function that gives a chart's data: the trip
    // times of the records the chart is drawn through, then f(record) over
    // them for each f it is given. null when there is nothing to chart.
    function chartColumns(pickName, fields) {
      const shown = state.shown;
      if (!shown || shown.records.length === 0) return null;
      const { records, timeline } = shown;
      if (!(pickName in shown)) shown[pickName] = chartPick(records, fields, CHART_BUCKETS);
      const pick = shown[pickName];
      const column = (f) => (pick ? pick.map((i) => f(records[i], i)) : records.map(f));
      return (...fs) => [column((r, i) => timeline[i]), fs.map(column)];
    }

    // The clock time a chart's axis shows at trip time `seconds`: the first
    // record's time (with the clock correction) plus the seconds since.
    function clockAt(seconds) {
      const shown = state.shown;
      const first = shown && shown.records.length ? shown.records[0].time - shown.timeline[0] * 1000 : NaN;
      if (!Number.isFinite(first)) return units.formatClock(seconds);
      return CV.trips.clockSecondsOf(first + seconds * 1000 + clock.shiftMs());
    }

    function drawSpeedChart() {
      const columns = chartColumns('speedPick', ['speed']);
      if (columns) speedChart.setData(...columns((r) => units.speedIn(r.speed, state.unit)));
    }

    // A trip without a G-sensor hides the G chart rather than draw a flat
    // line of zeros.
    function drawGChart() {
      const shown = state.shown;
      document.body.classList.toggle('no-gsensor', Boolean(shown && shown.records.length && !shown.hasGsensor));
      const columns = chartColumns('gPick', ['x', 'y', 'z']);
      if (columns) gChart.setData(...columns((r) => r.x, (r) => r.y, (r) => r.z));
    }

    function setTelemetryStatus(status) {
      const none = status === 'none';
      if (status !== 'ok') $('map-no-route').hidden = true;
      $('telemetry-status').hidden = !(none || status === 'loading');
      $('no-telemetry').hidden = !none;
      $('telemetry-loading').hidden = status !== 'loading';
      document.body.classList.toggle('no-telemetry', none);
    }

    // seconds: on the trip's clock.
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

    const decimalMark = () => CV.i18n.formatNumber(state.language, 0.5, 1).charAt(1);

    function renderReadouts(record, km) {
      $('speed-value').textContent = record ? units.formatSpeed(record.speed, state.unit) : '\u2013';
      if (record && Number.isFinite(record.degrees)) {
        const point = telemetry.compassPoint(record.degrees);
        $('heading-value').textContent = telemetry.headingDegrees(record.degrees) + '\u00b0 ' + t('dir.' + point);
      } else {
        $('heading-value').textContent = '\u2013';
      }
      const position = record && record.hasPosition ? CV.trips.formatDms([record.lat, record.lon], hemisphereNames(), decimalMark()) : '';
      $('position-value').textContent = position || (record ? t('tele.noPosition') : '\u2013');
      $('position-value').title = position ? t('tele.position.title') : '';
      $('datetime-value').textContent = record ? clock.formatRecord(record) : '\u2013';
      $('distance-value').textContent = record ? units.formatDistance(km, state.unit, decimalMark()) : '\u2013';
    }

    // The facts of the frame on screen (or at trip time `at`) for a stamped still: its clock time
    // (corrected, to the millisecond), place, speed and heading; with
    // `caption`, the strip's lines in the page's language. Null for a clip
    // without telemetry (its still keeps the computer's time in its name).
    function frameStamp(caption, at) {
      const shown = state.shown;
      if (!shown || !shown.records.length || !player.hasClip()) return null;
      const seconds = at === undefined ? player.tripTime() : at;
      const first = shown.records[0].time - shown.timeline[0] * 1000;
      if (!Number.isFinite(first) || !Number.isFinite(seconds)) return null;
      const clockMs = Math.round(first + seconds * 1000 + clock.shiftMs());
      const record = shown.records[telemetry.indexAt(shown.timeline, seconds)];
      const position = telemetry.positionAt(shown.records, shown.timeline, seconds);
      const stamp = { clock_ms: clockMs };
      if (position) [stamp.lat, stamp.lon] = position;
      if (record && Number.isFinite(record.speed)) stamp.speed_kmh = record.speed;
      if (record && Number.isFinite(record.degrees)) stamp.heading = telemetry.headingDegrees(record.degrees);
      if (caption) {
        const when = telemetry.formatMs(clockMs) + '.' + String(((clockMs % 1000) + 1000) % 1000).padStart(3, '0');
        const name = String(shown.clip.path).split('/').pop();
        const facts = [];
        if (position) facts.push(t('tele.position') + ' ' + CV.trips.formatDms(position, hemisphereNames(), decimalMark()));
        if (stamp.speed_kmh !== undefined) facts.push(t('tele.speed') + ' ' + units.formatSpeed(record.speed, state.unit) + ' ' + units.speedUnit(state.unit));
        if (stamp.heading !== undefined) facts.push(t('tele.heading') + ' ' + stamp.heading + '\u00b0 ' + t('dir.' + telemetry.compassPoint(record.degrees)));
        stamp.caption = [name + '  \u00b7  ' + when, facts.join('  \u00b7  ')].filter(Boolean);
      }
      return stamp;
    }

    function renderUnits() {
      $('speed-unit').textContent = units.speedUnit(state.unit);
      $('distance-unit').textContent = units.distanceUnit(state.unit);
      $('speed-chart-title').textContent = t('chart.speed', { unit: units.speedUnit(state.unit) });
      routeMap.setUnit(state.unit);
      drawCharts();
      onTime(player.tripTime());
    }

    function seekToRecord(index) {
      const shown = state.shown;
      if (!shown || !shown.timeline.length) return;
      player.seekTrip(shown.timeline[index]);
    }

    const player = new CV.Player(
      {
        video: $('video'),
        nextVideo: $('video-next'),
        videoBox: $('video-box'),
        stage: $('player-panel'),
        play: $('btn-play'),
        back: $('btn-step-back'),
        forward: $('btn-step-forward'),
        seek: $('seek'),
        time: $('time-label'),
        rate: $('rate-select'),
      },
      {
        onTime,
        onPart,
        urlOf,
        onMetadata: (duration) => {
          const shown = state.shown;
          if (shown) {
            loader.durations.set(shown.clip.path, duration);
            page.renderLibrary();
            if (shown.records.length) layoutTelemetry();
            renderEventMarkers();
          }
        },
        onError: () => setVideoMessage('player.error'),
      },
    );
    const routeMap = new CV.RouteMap($('map'), {
      onSeekRecord: seekToRecord,
      onTilesState: (s) => {
        $('map-offline').hidden = s !== 'offline';
      },
    });
    const gText = (r) => `X ${formatG(r.x)}  Y ${formatG(r.y)}  Z ${formatG(r.z)}`;
    const speedChart = new CV.TimeChart($('speed-chart'), {
      series: [{ color: '#2f8bff', width: 2 }],
      onSeek: (s) => player.seekTrip(s),
      onHover: (i) => {
        $('speed-hover').textContent = hoverText(
          state.shown,
          pickedRecord(state.shown && state.shown.speedPick, i),
          (r) => units.formatSpeed(r.speed, state.unit) + ' ' + units.speedUnit(state.unit),
          (r, s) => clockAt(s),
        );
      },
      yRange: speedRange,
      axisText: clockAt,
    });
    const gChart = new CV.TimeChart($('g-chart'), {
      series: [
        { color: '#ff6b6b' },
        { color: '#51cf66' },
        { color: '#fcc419' },
      ],
      onSeek: (s) => player.seekTrip(s),
      onHover: (i) => {
        $('g-hover').textContent = hoverText(state.shown, pickedRecord(state.shown && state.shown.gPick, i), gText, (r, s) => clockAt(s));
      },
      yRange: gRange,
      axisText: clockAt,
    });

    return {
      player,
      routeMap,
      speedChart,
      gChart,
      showNothing,
      showClip,
      onAvailability,
      setTelemetryStatus,
      renderUnits,
      renderLanguage,
      renderEvents,
      handleEventKey,
      frameStamp,
    };
  }

  return { formatG, speedRange, gRange, hoverText, chartPick, pickedRecord, videoAction, formatCount, create };
});
