// The unit and language settings: their two selects, the language applied to the page, and ini.txt.
// The file is read once per library folder and written on every change the
// user makes; a change made before the file arrives wins over the file.
(function (root) {
  'use strict';
  const { commands, library, i18n } = root.CamVault;

  function readText(url) {
    if (typeof fetch === 'function') {
      return fetch(url).then((r) => {
        if (!r.ok && r.status !== 0) throw new Error('status ' + r.status);
        return r.text();
      });
    }
    return Promise.reject(new Error('no fetch'));
  }

  function readTextXhr(url) {
    return new Promise((resolve, reject) => {
      const xhr = new XMLHttpRequest();
      xhr.open('GET', url);
      xhr.onload = () => resolve(xhr.responseText);
      xhr.onerror = () => reject(new Error('unreadable'));
      xhr.send();
    });
  }

  // page: state, t, sender; userPath() reads the folder the native side set;
  // onLanguage() redraws what the page builds from texts, onUnit() what
  // shows speeds and distances.
  function create(page) {
    const { state, t, sender } = page;
    const $ = (id) => document.getElementById(id);

    function fillSelects() {
      const unitSelect = $('unit-select');
      unitSelect.textContent = '';
      for (const u of library.UNITS) {
        const o = document.createElement('option');
        o.value = u;
        o.textContent = t('unit.' + u);
        unitSelect.appendChild(o);
      }
      unitSelect.value = state.unit;
      const langSelect = $('language-select');
      if (langSelect.options.length === 0) {
        for (const l of i18n.LANGUAGES) {
          const o = document.createElement('option');
          o.value = l.id;
          o.textContent = l.label;
          o.lang = l.code;
          langSelect.appendChild(o);
        }
      }
      langSelect.value = state.language;
    }

    function applyLanguage() {
      const code = (i18n.LANGUAGES.find((l) => l.id === state.language) || { code: 'en' }).code;
      document.documentElement.lang = code;
      i18n.translateDocument(document, state.language);
      fillSelects();
      page.onLanguage();
    }

    function applySettings(settings) {
      state.unit = settings.unit;
      state.language = settings.language;
      applyLanguage();
    }

    function saveSettings() {
      state.settingsTouched = true;
      sender.send('save_set', commands.settingsArgument(state.unit, state.language));
    }

    function loadSettings() {
      const path = page.userPath();
      const folder = typeof path === 'string' ? path : '';
      if (!folder || folder === state.settingsFrom) return;
      state.settingsFrom = folder;
      const url = commands.fileUrl(folder + '/ini.txt');
      readText(url)
        .catch(() => readTextXhr(url))
        .then((text) => {
          if (state.settingsTouched) return;
          applySettings(library.parseSettings(text, i18n.resolveLanguage));
        })
        .catch(() => {
          /* no settings file yet: the defaults stay */
        });
    }

    function wire() {
      $('unit-select').addEventListener('change', (e) => {
        state.unit = library.normaliseUnit(e.target.value);
        page.onUnit();
        saveSettings();
      });
      $('language-select').addEventListener('change', (e) => {
        state.language = i18n.resolveLanguage(e.target.value);
        applyLanguage();
        saveSettings();
      });
    }

    // Asks CamVault for the remembered library once per run (CamVault keeps
    // it closed when "Reopen the library at start" is off); a reload of the
    // page (after a removal) keeps the listing CamVault already has.
    function restoreLibraryOnce() {
      let store = null;
      try {
        store = window.sessionStorage;
      } catch (e) {
        store = null;
      }
      if (store && store.getItem('camvault.libraryRestored')) return;
      if (store) store.setItem('camvault.libraryRestored', '1');
      sender.send('library_restore');
    }

    // A text file the page may read (ini.txt, settings.json).
    const readFile = (url) => readText(url).catch(() => readTextXhr(url));

    return { applyLanguage, loadSettings, wire, restoreLibraryOnce, readText: readFile };
  }

  root.CamVault.settings = { create };
})(this);
