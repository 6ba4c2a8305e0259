// Which listed clips cannot be opened (clips_unavailable), and holding a new listing's movies back until that is known (Node-testable).
// WebKit opens a movie in its own processes and can hang there on a pipe
// or a device, so no video element, seen or hidden, is pointed at a clip the
// native side reported. CamVault sends the report just before each listing
// that holds clips (a report after the listing is taken too); a native side
// that never sends one is waited for only GRACE_MS.
(function (root, factory) {
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.CamVault = Object.assign(root.CamVault || {}, { clipAvailability: api });
})(this, function () {
  'use strict';

  const GRACE_MS = 800;

  // clips_unavailable's argument: a JSON array text of paths (or the array
  // itself). null for anything else, which then changes nothing.
  function parsePaths(value) {
    let list = value;
    if (typeof value === 'string') {
      try {
        list = JSON.parse(value);
      } catch (e) {
        return null;
      }
    }
    if (!Array.isArray(list)) return null;
    return list.filter((p) => typeof p === 'string' && p !== '');
  }

  // schedule(fn, ms) / cancel(handle) are the timer; onChange() runs when a
  // report or the end of the wait changes what may be opened.
  function createAvailability(options = {}) {
    const schedule = options.schedule || ((fn, ms) => setTimeout(fn, ms));
    const cancel = options.cancel || ((handle) => clearTimeout(handle));
    const graceMs = options.graceMs ?? GRACE_MS;
    const onChange = options.onChange || (() => {});
    let unavailable = new Set();
    let waiting = false;
    let fresh = false; // a report came since the last listing: it is that listing's
    let timer = null;
    const waiters = [];

    function settle() {
      waiting = false;
      if (timer !== null) cancel(timer);
      timer = null;
      waiters.splice(0).forEach((wake) => wake());
      onChange();
    }

    // A clip reported before stays unavailable through the wait: nothing
    // says it changed yet.
    function status(path) {
      if (unavailable.has(path)) return 'unavailable';
      return waiting ? 'wait' : 'open';
    }

    return {
      // A listing of `count` clips arrived: its report is due, unless it came
      // just before or there is nothing to open.
      listing(count = 1) {
        if (count === 0) return;
        if (fresh) {
          fresh = false;
          return;
        }
        waiting = true;
        if (timer !== null) cancel(timer);
        timer = schedule(() => {
          timer = null;
          settle();
        }, graceMs);
      },
      // clips_unavailable(paths); false when the argument was not a list.
      report(value) {
        const paths = parsePaths(value);
        if (paths === null) return false;
        unavailable = new Set(paths);
        fresh = !waiting;
        settle();
        return true;
      },
      status,
      isUnavailable: (path) => unavailable.has(path),
      // Promise<boolean>: whether the clip may be opened, once that is known.
      mayOpen(path) {
        if (!waiting) return Promise.resolve(!unavailable.has(path));
        return new Promise((resolve) => waiters.push(() => resolve(!unavailable.has(path))));
      },
    };
  }

  return { GRACE_MS, parsePaths, createAvailability };
});
