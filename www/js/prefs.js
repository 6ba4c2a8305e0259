// The page's settings beyond ini.txt (clock correction, camera time zone, event thresholds and
// behaviour), kept by CamVault in settings.json: their defaults and checks (Node-testable), and
// the settings dialog that shows and saves them.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory(require('./clock.js'));
  else root.CamVault = Object.assign(root.CamVault || {}, { prefs: factory(root.CamVault.clock) });
})(this, function (clock) {
  'use strict';

  // The same bounds CamVault checks before it writes the file.
  const THRESHOLDS = {
    braking_g: { min: 0.05, max: 2, byDefault: 0.4 },
    acceleration_g: { min: 0.05, max: 2, byDefault: 0.35 },
    cornering_g: { min: 0.05, max: 2, byDefault: 0.45 },
    impact_g: { min: 0.5, max: 16, byDefault: 2.5 },
  };
  const MAX_BYTES = 4096;
  // The dialog's field of each threshold.
  const THRESHOLD_FIELDS = {
    braking_g: 'pref-braking',
    acceleration_g: 'pref-acceleration',
    cornering_g: 'pref-cornering',
    impact_g: 'pref-impact',
  };

  function defaults() {
    const events = {};
    for (const [name, t] of Object.entries(THRESHOLDS)) events[name] = t.byDefault;
    return {
      clock_correction_s: 0,
      camera_utc_offset_min: 0,
      events,
      reopen_library: true,
      stop_at_clip_end: false,
      snapshot_caption: false,
    };
  }

  const isInteger = (v) => typeof v === 'number' && Number.isInteger(v);
  const inRange = (v, t) => typeof v === 'number' && Number.isFinite(v) && v >= t.min && v <= t.max;

  // Whatever the file held, as settings: every field that is missing or out
  // of its bounds takes its default (a file from a later CamVault, or edited
  // by hand, never stops the page).
  function normalise(value) {
    const out = defaults();
    const v = value && typeof value === 'object' && !Array.isArray(value) ? value : {};
    if (isInteger(v.clock_correction_s) && Math.abs(v.clock_correction_s) <= clock.MAX_CORRECTION_SECONDS) {
      out.clock_correction_s = v.clock_correction_s;
    }
    if (isInteger(v.camera_utc_offset_min) && v.camera_utc_offset_min >= -720 && v.camera_utc_offset_min <= 840) {
      out.camera_utc_offset_min = v.camera_utc_offset_min;
    }
    const events = v.events && typeof v.events === 'object' ? v.events : {};
    for (const [name, t] of Object.entries(THRESHOLDS)) if (inRange(events[name], t)) out.events[name] = events[name];
    for (const name of ['reopen_library', 'stop_at_clip_end', 'snapshot_caption']) {
      if (typeof v[name] === 'boolean') out[name] = v[name];
    }
    return out;
  }

  function parse(text) {
    try {
      return normalise(JSON.parse(text));
    } catch (e) {
      return defaults();
    }
  }

  // The dialog's fields (texts and checkbox states) as settings, or the key
  // of what is wrong with them.
  function fromForm(form) {
    const correction = String(form.correction).trim() === '' ? 0 : clock.parseCorrection(form.correction);
    if (!Number.isFinite(correction)) return { error: 'prefs.badCorrection' };
    const zone = String(form.zone).trim() === '' ? 0 : clock.parseZone(form.zone);
    if (!Number.isFinite(zone)) return { error: 'prefs.badZone' };
    const events = {};
    for (const [name, t] of Object.entries(THRESHOLDS)) {
      const text = String(form.events[name] ?? '').trim().replace(',', '.');
      const value = text === '' ? t.byDefault : Number(text);
      if (!inRange(value, t)) return { error: 'prefs.badThreshold' };
      events[name] = value;
    }
    return {
      prefs: {
        clock_correction_s: correction,
        camera_utc_offset_min: zone,
        events,
        reopen_library: Boolean(form.reopen_library),
        stop_at_clip_end: Boolean(form.stop_at_clip_end),
        snapshot_caption: Boolean(form.snapshot_caption),
      },
    };
  }

  // The save_prefs command's argument.
  const argument = (prefs) => encodeURIComponent(JSON.stringify(prefs));

  // page: state (state.prefs is kept here), t, sender, readText(url),
  // userPath(), fileUrl(path), onPrefs() when the settings changed.
  function create(page) {
    const { state, t, sender } = page;
    const $ = (id) => document.getElementById(id);
    state.prefs = defaults();
    let readFrom = '';
    let touched = false;

    function apply(prefs) {
      state.prefs = prefs;
      page.onPrefs();
    }

    // settings.json beside ini.txt, once per library folder.
    function load() {
      const folder = typeof page.userPath() === 'string' ? page.userPath() : '';
      if (!folder || folder === readFrom) return;
      readFrom = folder;
      page
        .readText(page.fileUrl(folder + '/settings.json'))
        .then((text) => {
          if (!touched) apply(parse(text));
        })
        .catch(() => {
          /* no settings file yet: the defaults stay */
        });
    }

    function fill() {
      const p = state.prefs;
      $('pref-correction').value = clock.formatCorrection(p.clock_correction_s);
      $('pref-zone').value = clock.formatZone(p.camera_utc_offset_min);
      for (const [name, id] of Object.entries(THRESHOLD_FIELDS)) $(id).value = String(p.events[name]);
      $('pref-reopen').checked = p.reopen_library;
      $('pref-stop-at-end').checked = p.stop_at_clip_end;
      $('pref-caption').checked = p.snapshot_caption;
      $('prefs-error').hidden = true;
    }

    function save() {
      const events = {};
      for (const [name, id] of Object.entries(THRESHOLD_FIELDS)) events[name] = $(id).value;
      const read = fromForm({
        correction: $('pref-correction').value,
        zone: $('pref-zone').value,
        events,
        reopen_library: $('pref-reopen').checked,
        stop_at_clip_end: $('pref-stop-at-end').checked,
        snapshot_caption: $('pref-caption').checked,
      });
      if (read.error) {
        $('prefs-error').textContent = t(read.error);
        $('prefs-error').hidden = false;
        return false;
      }
      touched = true;
      apply(read.prefs);
      sender.send('save_prefs', argument(read.prefs));
      return true;
    }

    function wire() {
      const dialog = $('prefs');
      $('btn-prefs').addEventListener('click', () => {
        fill();
        if (dialog.showModal) dialog.showModal();
        else dialog.setAttribute('open', '');
      });
      $('btn-prefs-save').addEventListener('click', (e) => {
        if (!save()) e.preventDefault();
      });
    }

    return { load, wire, save, fill };
  }

  return { THRESHOLDS, MAX_BYTES, defaults, normalise, parse, fromForm, argument, create };
});
