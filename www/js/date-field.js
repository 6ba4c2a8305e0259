// Days typed and shown as the page's language writes them ("06.12.2026",
// "06/12/2026", "12/06/2026"): WebKitGTK's own date fields follow the
// desktop's locale whatever the page's language, so the filter's days are
// text fields read and written here (rules Node-testable).
(function (root, factory) {
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.CamVault = Object.assign(root.CamVault || {}, { dateField: api });
})(this, function () {
  'use strict';

  const ISO = /^(\d{4})-(\d{1,2})-(\d{1,2})$/;
  const layouts = new Map();

  // The order of day, month and year in `locale`, and what goes between them.
  function layoutOf(locale) {
    let layout = layouts.get(locale);
    if (layout) return layout;
    layout = { order: ['year', 'month', 'day'], separator: '-' };
    try {
      const parts = new Intl.DateTimeFormat(locale, {
        day: '2-digit',
        month: '2-digit',
        year: 'numeric',
        timeZone: 'UTC',
      }).formatToParts(Date.UTC(2026, 11, 6));
      const order = parts.map((p) => p.type).filter((type) => type === 'day' || type === 'month' || type === 'year');
      const literal = parts.find((p) => p.type === 'literal');
      if (order.length === 3 && literal) layout = { order, separator: literal.value.trim() || literal.value };
    } catch (e) {
      // Without Intl, days are written as ISO 8601.
    }
    layouts.set(locale, layout);
    return layout;
  }

  const pad = (n, width) => String(n).padStart(width, '0');

  // The day `iso` ("2026-12-06") as `locale` writes it, or '' for no day.
  function format(iso, locale) {
    const m = ISO.exec(String(iso || ''));
    if (!m) return '';
    const values = { year: pad(m[1], 4), month: pad(m[2], 2), day: pad(m[3], 2) };
    const { order, separator } = layoutOf(locale);
    return order.map((type) => values[type]).join(separator);
  }

  // The ISO day of what was typed: '' for nothing, null for no real day.
  // ISO 8601 reads in every language; otherwise three numbers in the
  // language's order, a two-digit year in this century.
  function parse(text, locale) {
    const typed = String(text || '').trim();
    if (typed === '') return '';
    let year;
    let month;
    let day;
    const iso = ISO.exec(typed);
    if (iso) {
      [year, month, day] = iso.slice(1).map(Number);
    } else {
      const numbers = typed.split(/[^0-9]+/).filter(Boolean);
      if (numbers.length !== 3) return null;
      const values = {};
      layoutOf(locale).order.forEach((type, k) => {
        values[type] = numbers[k];
      });
      if (values.year.length !== 2 && values.year.length !== 4) return null;
      year = Number(values.year) + (values.year.length === 2 ? 2000 : 0);
      month = Number(values.month);
      day = Number(values.day);
    }
    const date = new Date(Date.UTC(year, month - 1, day));
    if (date.getUTCFullYear() !== year || date.getUTCMonth() !== month - 1 || date.getUTCDate() !== day) return null;
    return `${pad(year, 4)}-${pad(month, 2)}-${pad(day, 2)}`;
  }

  // What to type, as the language says day, month and year (`names`, e.g.
  // { day: 'TT', month: 'MM', year: 'JJJJ' }).
  function hint(locale, names) {
    const { order, separator } = layoutOf(locale);
    return order.map((type) => names[type]).join(separator);
  }

  return { layoutOf, format, parse, hint };
});
