// Speeds and distances in the unit the driver chose (telemetry is always
// km/h and km), and clock texts for video positions.
(function (root, factory) {
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.CamVault = Object.assign(root.CamVault || {}, { units: api });
})(this, function () {
  'use strict';

  const KM_PER_MILE = 1.609344;

  function speedIn(kmh, unit) {
    return unit === 'miles' ? kmh / KM_PER_MILE : kmh;
  }

  function distanceIn(km, unit) {
    return unit === 'miles' ? km / KM_PER_MILE : km;
  }

  function speedUnit(unit) {
    return unit === 'miles' ? 'mph' : 'km/h';
  }

  function distanceUnit(unit) {
    return unit === 'miles' ? 'mi' : 'km';
  }

  function formatSpeed(kmh, unit) {
    if (!Number.isFinite(kmh)) return '\u2013';
    return String(Math.round(speedIn(kmh, unit)));
  }

  // decimalMark: the page's language's ("," in French, German and Spanish).
  function formatDistance(km, unit, decimalMark = '.') {
    if (!Number.isFinite(km)) return '\u2013';
    const v = distanceIn(km, unit);
    return (v < 10 ? v.toFixed(2) : v.toFixed(1)).replace('.', decimalMark);
  }

  // 75.4 gives "1:15"; an hour or more gives "1:02:05".
  function formatClock(seconds) {
    if (!Number.isFinite(seconds) || seconds < 0) return '0:00';
    const whole = Math.floor(seconds);
    const h = Math.floor(whole / 3600);
    const m = Math.floor((whole % 3600) / 60);
    const s = String(whole % 60).padStart(2, '0');
    return h > 0 ? `${h}:${String(m).padStart(2, '0')}:${s}` : `${m}:${s}`;
  }

  return {
    KM_PER_MILE,
    speedIn,
    distanceIn,
    speedUnit,
    distanceUnit,
    formatSpeed,
    formatDistance,
    formatClock,
  };
});
