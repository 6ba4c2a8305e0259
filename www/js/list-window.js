// A long list with only the rows near the view in the document: which rows those are, given every
// row's height, and the list element kept that way as it scrolls (rule Node-testable).
(function (root, factory) {
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.CamVault = Object.assign(root.CamVault || {}, { listWindow: api });
})(this, function () {
  'use strict';

  // From this many clips on, a list is windowed; a shorter one holds every row.
  const WINDOW_FROM = 150;

  // Rows [first, last) lie within `margin` px of the view [top, top + height)
  // of a list whose rows are `heights` px tall; topPad and bottomPad are the
  // heights of the rows left out above and below.
  function windowOf(heights, top, height, margin) {
    let y = 0;
    let first = heights.length;
    let last = heights.length;
    let topPad = 0;
    let bottomPad = 0;
    for (let k = 0; k < heights.length; k++) {
      const h = heights[k];
      if (y + h < top - margin) topPad += h;
      else if (y > top + height + margin) {
        if (last === heights.length) last = k;
        bottomPad += h;
      } else if (first === heights.length) first = k;
      y += h;
    }
    if (first === heights.length) return { first: 0, last: 0, topPad, bottomPad };
    return { first, last, topPad, bottomPad };
  }

  // Keeps `list` holding rows(): all of them when they hold fewer than
  // WINDOW_FROM clips (clips()), else those near its view between two
  // spacers. estimate(row) gives a row's height until it has been in the
  // document; a hidden row is 0 tall. placed(row) is told of each row put
  // in, before it is measured.
  function create(list, rows, estimate, clips, placed = () => {}) {
    const measured = new WeakMap(); // row -> { height, key } as last seen in the document
    const before = document.createElement('li');
    const after = document.createElement('li');
    for (const spacer of [before, after]) {
      spacer.className = 'list-spacer';
      spacer.setAttribute('aria-hidden', 'true');
    }
    const keyOf = (row) => (row.hidden ? 'hidden' : row.className);
    const heightOf = (row) => {
      if (row.hidden) return 0;
      const m = measured.get(row);
      return m && m.key === keyOf(row) ? m.height : estimate(row);
    };
    let request = 0;

    function update() {
      request = 0;
      const all = rows();
      let want;
      const windowed = clips() >= WINDOW_FROM;
      if (!windowed) {
        want = all;
      } else {
        const w = windowOf(all.map(heightOf), list.scrollTop, list.clientHeight, list.clientHeight);
        before.style.height = w.topPad + 'px';
        after.style.height = w.bottomPad + 'px';
        want = [before].concat(all.slice(w.first, w.last), [after]);
      }
      const now = list.children;
      if (now.length !== want.length || want.some((row, k) => now[k] !== row)) place(want);
      if (windowed) {
        for (const row of want) if (row !== before && row !== after && !row.hidden) measured.set(row, { height: row.offsetHeight, key: keyOf(row) });
      }
    }

    // Puts `want` in the list moving as few rows as it can: a scroll of a
    // few rows takes rows off one end and adds them at the other, and the
    // rows that stay are not taken out and put back (which would have the
    // page lay all of them out again on every frame of a scroll).
    function place(want) {
      const keep = new Set(want);
      for (const child of Array.from(list.children)) if (!keep.has(child)) child.remove();
      let at = list.firstChild;
      for (const row of want) {
        if (row === at) {
          at = at.nextSibling;
        } else {
          const added = !row.isConnected;
          list.insertBefore(row, at);
          if (added && row !== before && row !== after) placed(row);
        }
      }
    }

    function requestUpdate() {
      if (!request) request = requestAnimationFrame(update);
    }

    // Scrolls so that `row` (a row of the list, or inside one) is in the document and in view.
    function reveal(row, item) {
      if (!item.isConnected) {
        let y = 0;
        for (const r of rows()) {
          if (r === row) break;
          y += heightOf(r);
        }
        list.scrollTop = Math.max(0, y - list.clientHeight / 2);
        update();
      }
      if (item.scrollIntoView) item.scrollIntoView({ block: 'nearest' });
    }

    list.addEventListener('scroll', requestUpdate, { passive: true });
    return { update, requestUpdate, reveal };
  }

  return { WINDOW_FROM, windowOf, create };
});
