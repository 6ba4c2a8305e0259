// WebKitGTK reports the process locale as the page's language; under the C
// or POSIX locale that is "c", which Intl rejects, and the chart library
// builds its number format from it when it loads. Give such pages a valid
// language tag before any library runs.
(function () {
  'use strict';
  try {
    new Intl.NumberFormat(navigator.language);
  } catch (e) {
    Object.defineProperty(navigator, 'language', { value: 'en-US', configurable: true });
    Object.defineProperty(navigator, 'languages', { value: ['en-US'], configurable: true });
  }
})();
