// Toasts for the user, and the import and export progress bars of the library panel.
(function (root) {
  'use strict';

  function create(doc) {
    const $ = (id) => doc.getElementById(id);

    // lifeMs: how long it stays (a toast with a button stays longer).
    function toast(text, kind, lifeMs) {
      const box = $('toasts');
      const el = doc.createElement('div');
      el.className = 'toast ' + (kind || 'info');
      el.setAttribute('data-testid', 'toast');
      el.setAttribute('role', kind === 'error' ? 'alert' : 'status');
      el.textContent = text;
      box.appendChild(el);
      while (box.children.length > 4) box.firstChild.remove();
      const life = lifeMs || (kind === 'error' ? 7000 : 4000);
      setTimeout(() => el.classList.add('leaving'), life);
      setTimeout(() => el.remove(), life + 400);
      return el;
    }

    function showProgress(id, text, fraction) {
      const box = $(id);
      clearTimeout(box.hideTimer);
      box.hidden = false;
      box.querySelector('.progress-text').textContent = text;
      const f = Number.isFinite(fraction) ? Math.min(1, Math.max(0, fraction)) : 0;
      box.querySelector('.progress-fill').style.width = (f * 100).toFixed(1) + '%';
    }

    function hideProgress(id, afterMs) {
      const box = $(id);
      clearTimeout(box.hideTimer);
      box.hideTimer = setTimeout(() => {
        box.hidden = true;
      }, afterMs || 0);
    }

    return { toast, showProgress, hideProgress };
  }

  root.CamVault.messages = { create };
})(this);
