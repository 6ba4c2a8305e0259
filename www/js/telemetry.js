// Reads the records a telemetry script file put into the page's `data` table
// and maps video time onto them. Records are keyed by date-time text such as
// "2017/05/21 13:05:56.5" (one decimal, no leading zero on the second), about
// ten per second of video, in the order the camera wrote them.
(function (root, factory) {
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.CamVault = Object.assign(root.CamVault || {}, { telemetry: api });
})(this, function () {
  'use strict';

  const KEY_PATTERN = /^\s*(\d+)\/(\d{1,2})\/(\d{1,2}) (\d{1,2}):(\d{1,2}):(\d{1,2}(?:\.\d+)?)\s*$/;

  // Milliseconds on a zone-free clock (UTC arithmetic, so no daylight-saving
  // jump can bend the timeline), or NaN for text that is no record key.
  function parseKey(key) {
    const m = KEY_PATTERN.exec(String(key));
    if (!m) return NaN;
    const year = Number(m[1]);
    const second = Math.round(Number(m[6]) * 1000);
    // Date.UTC takes years 0 to 99 for 1900 to 1999; the Date object, made
    // only then, does not (a long clip has 100,000 keys to read).
    if (year >= 100) return Date.UTC(year, Number(m[2]) - 1, Number(m[3]), Number(m[4]), Number(m[5])) + second;
    const d = new Date(0);
    d.setUTCFullYear(year, Number(m[2]) - 1, Number(m[3]));
    d.setUTCHours(Number(m[4]), Number(m[5]), 0, 0);
    return d.getTime() + second;
  }

  // "2017-05-21 13:05:56" for display, or the key itself when it is no date.
  function formatKey(key) {
    const m = KEY_PATTERN.exec(String(key));
    if (!m) return String(key);
    const two = (v) => String(Math.floor(Number(v))).padStart(2, '0');
    return `${m[1]}-${two(m[2])}-${two(m[3])} ${two(m[4])}:${two(m[5])}:${two(m[6])}`;
  }

  // The same text from a time in ms since 1970 as recorded (the summaries').
  function formatMs(ms) {
    const d = new Date(Number(ms));
    if (!Number.isFinite(d.getTime())) return '';
    const two = (v) => String(v).padStart(2, '0');
    return `${d.getUTCFullYear()}-${two(d.getUTCMonth() + 1)}-${two(d.getUTCDate())} ` +
      `${two(d.getUTCHours())}:${two(d.getUTCMinutes())}:${two(d.getUTCSeconds())}`;
  }

  function toNumber(value) {
    const n = typeof value === 'number' ? value : parseFloat(value);
    return Number.isFinite(n) ? n : NaN;
  }

  function validPosition(lat, lon) {
    if (!Number.isFinite(lat) || !Number.isFinite(lon)) return false;
    if (Math.abs(lat) > 90 || Math.abs(lon) > 180) return false;
    // Cameras write 0,0 until the receiver has a fix.
    return !(Math.abs(lat) < 1e-7 && Math.abs(lon) < 1e-7);
  }

  // The clip's records in file order. A table entry that is no object (a
  // broken or foreign script) yields nothing rather than an error.
  function extractRecords(table, name) {
    const entry = table && Object.prototype.hasOwnProperty.call(table, name) ? table[name] : null;
    if (!entry || typeof entry !== 'object') return [];
    const keys = Object.keys(entry);
    return appendRecords([], entry, keys, 0, keys.length);
  }

  // The records of keys[from..to) of a table entry, appended to `out`: a
  // caller on the page's main thread takes a large entry a slice at a time.
  function appendRecords(out, entry, keys, from, to) {
    for (let i = from; i < to; i++) {
      const key = keys[i];
      const r = entry[key];
      if (!r || typeof r !== 'object') continue;
      const lat = toNumber(r.lat);
      const lon = toNumber(r.lon);
      out.push({
        key,
        time: parseKey(key),
        speed: toNumber(r.speed),
        degrees: toNumber(r.degrees),
        lat,
        lon,
        hasPosition: validPosition(lat, lon),
        x: toNumber(r.x),
        y: toNumber(r.y),
        z: toNumber(r.z),
        lbs: typeof r.lbs === 'string' ? r.lbs : '',
      });
    }
    return out;
  }

  const NOMINAL_RATE = 10; // records per second of video

  // The video time (seconds) of every record. When the keys are dates that
  // never go back and span about as long as the video, each record sits at
  // its time since the first record; otherwise (clock jumps, broken keys) the
  // records are spread evenly over the video in file order.
  function buildTimeline(records, videoDuration) {
    const n = records.length;
    if (n === 0) return [];
    const duration = Number.isFinite(videoDuration) && videoDuration > 0 ? videoDuration : NaN;
    let ordered = true;
    for (let i = 0; i < n; i++) {
      if (!Number.isFinite(records[i].time) || (i > 0 && records[i].time < records[i - 1].time)) {
        ordered = false;
        break;
      }
    }
    const span = ordered ? (records[n - 1].time - records[0].time) / 1000 : NaN;
    const plausible =
      ordered && (n === 1 || span > 0) && (Number.isNaN(duration) || span <= duration * 1.5 + 2);
    if (plausible) return records.map((r) => (r.time - records[0].time) / 1000);
    const step = Number.isNaN(duration) ? 1 / NOMINAL_RATE : duration / n;
    return records.map((_, i) => i * step);
  }

  // Index of the last record at or before video time t (the first record
  // before it starts).
  function indexAt(timeline, t) {
    if (timeline.length === 0) return -1;
    let lo = 0;
    let hi = timeline.length - 1;
    if (!(t >= timeline[0])) return 0;
    while (lo < hi) {
      const mid = (lo + hi + 1) >> 1;
      if (timeline[mid] <= t) lo = mid;
      else hi = mid - 1;
    }
    return lo;
  }

  // The position at video time t, moving smoothly between two fixes.
  function positionAt(records, timeline, t) {
    const i = indexAt(timeline, t);
    if (i < 0) return null;
    let a = i;
    while (a >= 0 && !records[a].hasPosition) a--;
    let b = i + 1;
    while (b < records.length && !records[b].hasPosition) b++;
    if (a < 0) return b < records.length ? [records[b].lat, records[b].lon] : null;
    if (b >= records.length || timeline[b] <= timeline[a]) return [records[a].lat, records[a].lon];
    const f = Math.min(1, Math.max(0, (t - timeline[a]) / (timeline[b] - timeline[a])));
    return [
      records[a].lat + (records[b].lat - records[a].lat) * f,
      records[a].lon + (records[b].lon - records[a].lon) * f,
    ];
  }

  // The records with a fix, evenly spread over them when there are more
  // than `max` (a route drawn through a long clip); the first and the last
  // always.
  function routeFixes(records, max) {
    const fixes = records.filter((r) => r.hasPosition);
    if (fixes.length <= max) return fixes;
    if (max < 2) return fixes.slice(0, Math.max(0, max));
    const step = (fixes.length - 1) / (max - 1);
    const out = new Array(max);
    for (let k = 0; k < max; k++) out[k] = fixes[Math.round(k * step)];
    return out;
  }

  const EARTH_RADIUS_KM = 6371.0088;

  function distanceKm(lat1, lon1, lat2, lon2) {
    const rad = Math.PI / 180;
    const dLat = (lat2 - lat1) * rad;
    const dLon = (lon2 - lon1) * rad;
    const h =
      Math.sin(dLat / 2) ** 2 + Math.cos(lat1 * rad) * Math.cos(lat2 * rad) * Math.sin(dLon / 2) ** 2;
    return 2 * EARTH_RADIUS_KM * Math.asin(Math.min(1, Math.sqrt(h)));
  }

  // Distance driven up to each record, over the records that have a fix.
  function cumulativeKm(records) {
    const out = new Array(records.length);
    let total = 0;
    let last = null;
    records.forEach((r, i) => {
      if (r.hasPosition) {
        if (last) total += distanceKm(last.lat, last.lon, r.lat, r.lon);
        last = r;
      }
      out[i] = total;
    });
    return out;
  }

  // The record whose fix lies closest to a point (for seeking by a click on
  // the route); -1 when no record has a fix.
  function nearestIndex(records, lat, lon) {
    let best = -1;
    let bestD = Infinity;
    const k = Math.cos((lat * Math.PI) / 180);
    records.forEach((r, i) => {
      if (!r.hasPosition) return;
      const dy = r.lat - lat;
      const dx = (r.lon - lon) * k;
      const d = dx * dx + dy * dy;
      if (d < bestD) {
        bestD = d;
        best = i;
      }
    });
    return best;
  }

  const COMPASS = ['N', 'NE', 'E', 'SE', 'S', 'SW', 'W', 'NW'];

  // Headings in whole degrees from 0 to 359 (cameras write some as -84).
  function headingDegrees(degrees) {
    if (!Number.isFinite(degrees)) return NaN;
    return Math.round(((degrees % 360) + 360) % 360) % 360;
  }

  function compassPoint(degrees) {
    if (!Number.isFinite(degrees)) return '';
    const d = ((degrees % 360) + 360) % 360;
    return COMPASS[Math.round(d / 45) % 8];
  }

  return {
    parseKey,
    formatKey,
    formatMs,
    extractRecords,
    appendRecords,
    buildTimeline,
    indexAt,
    positionAt,
    routeFixes,
    distanceKm,
    cumulativeKm,
    nearestIndex,
    headingDegrees,
    compassPoint,
    NOMINAL_RATE,
  };
});
