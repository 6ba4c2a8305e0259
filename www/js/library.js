// The library listing as CamVault hands it over (two comma-terminated path
// lists), which clip to show after a load or an import, and the settings
// text kept in ini.txt.
(function (root, factory) {
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.CamVault = Object.assign(root.CamVault || {}, { library: api });
})(this, function () {
  'use strict';

  // "a,b," gives ["a", "b"]; "" gives []. Paths are not escaped in the list.
  function parseList(text) {
    if (typeof text !== 'string' || text === '') return [];
    return text.split(',').filter((entry) => entry !== '');
  }

  function clipName(path) {
    const pieces = String(path).split('/');
    return pieces[pieces.length - 1];
  }

  // Entry k of the telemetry list belongs to entry k of the movie list.
  // `summaries` (library_summaries) gives each movie the name its telemetry
  // lines use: another card's clip of the same name was listed first, so this
  // one's lines are "FILE0001.MOV~2". Without it the clip name is the key.
  function buildClips(dataList, movieList, summaries = null) {
    const dataPaths = parseList(dataList);
    const keys = new Map();
    for (const c of (summaries && Array.isArray(summaries.clips) ? summaries.clips : [])) {
      if (c && typeof c.movie === 'string' && typeof c.key === 'string' && c.key !== '') keys.set(c.movie, c.key);
    }
    return parseList(movieList).map((path, index) => ({
      index,
      path,
      name: clipName(path),
      key: keys.get(path) || clipName(path),
      dataPath: dataPaths[index] || '',
    }));
  }

  // Which clip to show after file_list_fun: "0" after a page load (the first
  // clip), "(null)" after an import that accepted nothing (keep the clip shown
  // before, found by its path), else the path of the clip just imported
  // (the last entry with that path, since an import appends). -1: none.
  function chooseClip(clips, selected, previousPath) {
    if (clips.length === 0) return -1;
    const lastIndexOf = (path) => {
      for (let i = clips.length - 1; i >= 0; i--) if (clips[i].path === path) return i;
      return -1;
    };
    if (selected === '(null)' || selected === null || selected === undefined) {
      const kept = previousPath ? lastIndexOf(previousPath) : -1;
      return kept >= 0 ? kept : 0;
    }
    if (selected === '0' || selected === 0) return 0;
    const found = lastIndexOf(String(selected));
    return found >= 0 ? found : 0;
  }

  const UNITS = ['km', 'miles'];

  function normaliseUnit(text) {
    const t = String(text || '').trim().toLowerCase();
    if (t === 'mi' || t === 'mile' || t === 'miles' || t === 'mph') return 'miles';
    return 'km';
  }

  function decodeField(text) {
    try {
      return decodeURIComponent(text);
    } catch (e) {
      return text;
    }
  }

  // "unit,language", each field possibly percent-encoded. Unknown values fall
  // back to km and English (`resolveLanguage` maps a name to a known language).
  function parseSettings(text, resolveLanguage) {
    const raw = typeof text === 'string' ? text.replace(/^\uFEFF/, '') : '';
    const comma = raw.indexOf(',');
    const unitField = comma >= 0 ? raw.slice(0, comma) : raw;
    const languageField = comma >= 0 ? raw.slice(comma + 1) : '';
    const language = decodeField(languageField.trim()).trim();
    return {
      unit: normaliseUnit(decodeField(unitField.trim())),
      language: resolveLanguage ? resolveLanguage(language) : language || 'English',
    };
  }

  return { parseList, clipName, buildClips, chooseClip, UNITS, normaliseUnit, parseSettings };
});
