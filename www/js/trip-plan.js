// A trip played as one drive: where each clip sits on the drive's clock, which clip and moment a
// time of the trip falls in, and the trip's records and events on that clock (Node-testable).
(function (root, factory) {
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.CamVault = Object.assign(root.CamVault || {}, { tripPlan: api });
})(this, function () {
  'use strict';

  const finite = (v) => typeof v === 'number' && Number.isFinite(v);

  // A clip's length in seconds: the video's when it is known, else the span
  // of its telemetry, else nothing yet.
  function clipSeconds(clip, videoSeconds) {
    if (finite(videoSeconds) && videoSeconds > 0) return videoSeconds;
    const s = clip && clip.summary;
    if (s && finite(s.duration_ms) && s.duration_ms > 0) return s.duration_ms / 1000;
    return NaN;
  }

  // parts: one per clip, in driving order, { index, path, offset, duration,
  // startAt } where offset is the clip's start on the trip's clock (seconds
  // since the trip's first record) and startAt how far into the clip the trip
  // goes on after the clip before it (cameras overlap clips by a moment: the
  // overlap is played once). Offsets come from the clips' first records when
  // every clip has one and they never go back; otherwise the clips follow one
  // another. clips: [{ index, path, summary }]; durationOf(clip) gives the
  // video's length in seconds when known.
  function planTrip(clips, durationOf) {
    const durations = clips.map((c) => clipSeconds(c, durationOf ? durationOf(c) : NaN));
    const starts = clips.map((c) => (c.summary && finite(c.summary.start_ms) ? c.summary.start_ms : NaN));
    const timed = starts.every((s, k) => finite(s) && (k === 0 || s >= starts[k - 1]));
    const parts = [];
    let end = 0;
    clips.forEach((clip, k) => {
      let duration = durations[k];
      if (!finite(duration)) {
        // Until the video says, the next clip's start bounds this one.
        duration = timed && k + 1 < clips.length ? (starts[k + 1] - starts[k]) / 1000 : 0;
      }
      const offset = timed ? (starts[k] - starts[0]) / 1000 : end;
      const startAt = k === 0 ? 0 : Math.min(Math.max(0, end - offset), duration);
      parts.push({ index: clip.index, path: clip.path, offset, duration, startAt });
      end = Math.max(end, offset + duration);
    });
    return { parts, total: end };
  }

  // The clip and the time in it for trip time T: the last clip starting at
  // or before T; a time in a gap between clips (the car stood, the camera
  // slept) goes to the start of the next clip.
  function locate(plan, T) {
    const parts = plan.parts;
    if (parts.length === 0) return null;
    const time = finite(T) ? Math.max(0, T) : 0;
    let k = 0;
    while (k + 1 < parts.length && parts[k + 1].offset + parts[k + 1].startAt <= time) k++;
    const part = parts[k];
    let local = time - part.offset;
    if (local < part.startAt) local = part.startAt;
    if (local > part.duration && part.duration > 0) {
      if (k + 1 < parts.length) return { part: k + 1, local: parts[k + 1].startAt };
      local = part.duration;
    }
    return { part: k, local };
  }

  // Trip time of a moment in clip `part`; a clip of no plan is on its own clock.
  function tripTime(plan, part, local) {
    const p = plan.parts[part];
    const at = finite(local) ? local : 0;
    return p ? p.offset + at : at;
  }

  // The trip's records on its clock: each clip's records (with their place on
  // that clip's video, `timeline`) moved by the clip's offset, in order.
  // Records of an overlap that the trip plays once are dropped, so the trip's
  // timeline never goes back. perClip: [{ records, timeline }] by part.
  function joinRecords(plan, perClip) {
    const records = [];
    const timeline = [];
    const partOf = [];
    let last = -Infinity;
    plan.parts.forEach((p, k) => {
      const c = perClip[k];
      if (!c) return;
      for (let i = 0; i < c.records.length; i++) {
        const at = p.offset + c.timeline[i];
        if (at < last) continue;
        last = at;
        records.push(c.records[i]);
        timeline.push(at);
        partOf.push(k);
      }
    });
    return { records, timeline, partOf };
  }

  // The trip's events on its clock, by time: each clip's summary events at
  // their place in the clip moved by the clip's offset.
  function tripEvents(plan, summaries, clipEvents) {
    const out = [];
    plan.parts.forEach((p, k) => {
      for (const e of clipEvents(summaries[k])) out.push({ ...e, seconds: p.offset + e.seconds, part: k });
    });
    return out.sort((a, b) => a.seconds - b.seconds);
  }

  // The frame of a clip at `seconds`: frame n starts at n / fps (frame 1251
  // of a 30 frames/s clip at 41.7 s), as a snapshot names the frame it takes.
  function frameNumber(seconds, fps) {
    if (!finite(seconds) || seconds < 0 || !(fps > 0)) return 0;
    return Math.floor(seconds * fps + 1e-6);
  }

  // The pieces of the clips that play trip times [from, to): each part's
  // played stretch (from its startAt to its end) cut to the span, as
  // { path, from_ms, to_ms } in whole milliseconds into the clip; to_ms is
  // left out where a piece runs to its clip's end. Empty for an empty span.
  function piecesFor(plan, from, to) {
    const pieces = [];
    if (!finite(from) || !finite(to) || !(to > from)) return pieces;
    plan.parts.forEach((p) => {
      const start = Math.max(p.startAt, from - p.offset);
      const end = Math.min(p.duration, to - p.offset);
      if (!(end > start) || !finite(end)) return;
      const piece = { path: p.path, from_ms: Math.max(0, Math.round(start * 1000)) };
      if (end < p.duration - 0.0005) piece.to_ms = Math.round(end * 1000);
      if (piece.to_ms === undefined || piece.to_ms > piece.from_ms) pieces.push(piece);
    });
    return pieces;
  }

  return { planTrip, locate, tripTime, joinRecords, tripEvents, frameNumber, clipSeconds, piecesFor };
});
