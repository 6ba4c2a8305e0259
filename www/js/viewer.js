// The clip on screen: the video, its route on the map, its speed and G-force charts and the readouts.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) {
    // Node gets the rules only: the player, map and charts need a page.
    module.exports = factory(null, require('./commands.js'), require('./telemetry.js'), require('./units.js'));
  } else {
    const CV = root.CamVault;
    CV.viewer = factory(CV, CV.commands, CV.telemetry, CV.units);
  }
})(this, function (CV, commands, telemetry, units) {
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

  // What the pointer is over, in the chart's title.
  function hoverText(shown, index, describe) {
    if (index === null || !shown || !shown.records[index]) return '';
    return units.formatClock(shown.timeline[index]) + '  ' + describe(shown.records[index]);
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
  // clip on screen.
  function create(page) {
    const { state, t, loader, availability } = page;
    const $ = (id) => document.getElementById(id);
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

    // The video element is pointed at a clip only once the listing's report
    // says it can be opened; telemetry does not wait for that.
    function openVideo(clip) {
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
          player.load(clip.path, commands.fileUrl(clip.path));
          setVideoMessage(null);
          break;
        default:
          break;
      }
    }

    // The listing's report came (or was waited for long enough).
    function onAvailability() {
      const shown = state.shown;
      if (shown && state.clips[state.current] === shown.clip) openVideo(shown.clip);
    }

    // The shown clip's driving events (from the library's summary): the
    // list beside the player and the marks on the seek bar.
    function renderEvents() {
      const shown = state.shown;
      const events = shown ? CV.trips.clipEvents(shown.clip.summary) : [];
      if (shown) shown.events = events;
      const list = $('events-list');
      list.textContent = '';
      const number = (v, digits) => CV.i18n.formatNumber(state.language, v, digits);
      events.forEach((event) => {
        const texts = CV.trips.eventTexts(event, t, number, hemisphereNames());
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
      // Only a summarised clip's events are known: without a summary the row
      // would claim a calm drive it cannot vouch for.
      const known = Boolean(shown && shown.clip.summary && shown.clip.summary.has_telemetry);
      $('events').hidden = !known;
      $('events-none').hidden = events.length > 0;
      renderEventMarkers();
    }

    // Marks on the seek bar, once the video's length is known.
    function renderEventMarkers() {
      const box = $('seek-events');
      box.textContent = '';
      const shown = state.shown;
      const d = player.video.duration;
      const length = Number.isFinite(d) && d > 0 ? d : shown && shown.clip.summary ? shown.clip.summary.duration_ms / 1000 : NaN;
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
      player.seekTo(CV.trips.jumpTime(event));
    }

    // n / p: the next or previous event of the shown clip.
    function handleEventKey(e) {
      const dir = CV.trips.eventKey(e);
      if (dir === 0) return false;
      const shown = state.shown;
      if (!shown || !shown.events) return true;
      jumpToEvent(CV.trips.stepEvent(shown.events, player.currentTime(), dir));
      return true;
    }

    function showClip(i) {
      const clip = state.clips[i];
      if (!clip) return;
      state.current = i;
      page.renderLibrary();
      const same = state.shown && state.shown.clip === clip;
      openVideo(clip);
      if (same) return;
      state.shown = { clip, records: [], timeline: [], cumulative: [] };
      renderEvents();
      routeMap.clear();
      speedChart.clear();
      gChart.clear();
      renderReadouts(null);
      renderCut();
      setTelemetryStatus('loading');
      loader.loadTelemetry(clip).then((records) => {
        if (!state.shown || state.shown.clip !== clip) return;
        clip.records = records;
        state.shown.records = records;
        state.shown.cumulative = telemetry.cumulativeKm(records);
        layoutTelemetry();
        renderCut();
        page.renderLibrary();
      });
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
      // The route does not depend on the video's length: it is drawn once.
      const steps = [];
      if (routeMap.records !== records) {
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
          onTime(player.currentTime());
          setTimeout(() => next(k + 1), 0);
        };
        setTimeout(() => next(0), 0);
      }
      onTime(player.currentTime());
    }

    function drawCharts() {
      drawSpeedChart();
      drawGChart();
    }

    // For the clip on screen, a function that gives a chart's data: the video
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

    function drawSpeedChart() {
      const columns = chartColumns('speedPick', ['speed']);
      if (columns) speedChart.setData(...columns((r) => units.speedIn(r.speed, state.unit)));
    }

    function drawGChart() {
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
            loader.durations.set(shown.clip.path, duration);
            renderEventMarkers();
            page.renderLibrary();
            if (shown.records.length) layoutTelemetry();
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
    const speedChart = new CV.TimeChart($('speed-chart'), {
      series: [{ color: '#2f8bff', width: 2 }],
      onSeek: (s) => player.seekTo(s),
      onHover: (i) => {
        $('speed-hover').textContent = hoverText(
          state.shown,
          pickedRecord(state.shown && state.shown.speedPick, i),
          (r) => units.formatSpeed(r.speed, state.unit) + ' ' + units.speedUnit(state.unit),
        );
      },
      yRange: speedRange,
    });
    const gChart = new CV.TimeChart($('g-chart'), {
      series: [
        { color: '#ff6b6b' },
        { color: '#51cf66' },
        { color: '#fcc419' },
      ],
      onSeek: (s) => player.seekTo(s),
      onHover: (i) => {
        $('g-hover').textContent = hoverText(
          state.shown,
          pickedRecord(state.shown && state.shown.gPick, i),
          (r) => `X ${formatG(r.x)}  Y ${formatG(r.y)}  Z ${formatG(r.z)}`,
        );
      },
      yRange: gRange,
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
    };
  }

  return { formatG, speedRange, gRange, hoverText, chartPick, pickedRecord, videoAction, formatCount, create };
});
