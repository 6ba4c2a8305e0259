// The camera's clock as the driver set it right: every telemetry time the page shows moves by the
// clock correction (signed seconds); with none, times show exactly as recorded (Node-testable).
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory(require('./telemetry.js'));
  else root.CamVault = Object.assign(root.CamVault || {}, { clock: factory(root.CamVault.telemetry) });
})(this, function (telemetry) {
  'use strict';

  // The most a camera's clock is corrected by: a year, either way.
  const MAX_CORRECTION_SECONDS = 366 * 86400;

  // correctionSeconds() gives the current correction.
  function createClock(correctionSeconds) {
    const shiftMs = () => {
      const s = Number(correctionSeconds());
      return Number.isFinite(s) && Math.abs(s) <= MAX_CORRECTION_SECONDS ? Math.round(s) * 1000 : 0;
    };
    return {
      shiftMs,
      // A record's date and time: its key as written when nothing is
      // corrected (a key that is no date stays readable), else the time
      // moved by the correction.
      formatRecord(record) {
        const shift = shiftMs();
        if (shift === 0 || !Number.isFinite(record.time)) return telemetry.formatKey(record.key);
        return telemetry.formatMs(record.time + shift);
      },
      formatMs: (ms) => telemetry.formatMs(ms + shiftMs()),
    };
  }

  // "+01:02:03" / "-00:00:30" for a correction in seconds, and back (NaN for
  // text that is none). Hours may exceed 24.
  function formatCorrection(seconds) {
    const s = Math.round(Number(seconds) || 0);
    const a = Math.abs(s);
    const two = (v) => String(v).padStart(2, '0');
    return `${s < 0 ? '-' : '+'}${two(Math.floor(a / 3600))}:${two(Math.floor((a % 3600) / 60))}:${two(a % 60)}`;
  }

  function parseCorrection(text) {
    const m = /^\s*([+\-\u2212]?)\s*(\d{1,4}):([0-5]?\d)(?::([0-5]?\d))?\s*$/.exec(String(text));
    if (!m) return NaN;
    const value = Number(m[2]) * 3600 + Number(m[3]) * 60 + Number(m[4] || 0);
    if (value > MAX_CORRECTION_SECONDS) return NaN;
    return m[1] === '-' || m[1] === '\u2212' ? -value : value;
  }

  // "+02:00" for a time zone offset in minutes, and back (NaN for none or
  // one beyond -12:00..+14:00).
  function formatZone(minutes) {
    const m = Math.round(Number(minutes) || 0);
    const a = Math.abs(m);
    return `${m < 0 ? '-' : '+'}${String(Math.floor(a / 60)).padStart(2, '0')}:${String(a % 60).padStart(2, '0')}`;
  }

  function parseZone(text) {
    const m = /^\s*([+\-\u2212]?)(\d{1,2})(?::?([0-5]\d))?\s*$/.exec(String(text));
    if (!m) return NaN;
    const value = (Number(m[2]) * 60 + Number(m[3] || 0)) * (m[1] === '-' || m[1] === '\u2212' ? -1 : 1);
    return value >= -720 && value <= 840 ? value : NaN;
  }

  return { MAX_CORRECTION_SECONDS, createClock, formatCorrection, parseCorrection, formatZone, parseZone };
});
