// The screen recording: the record button, and the state label that counts the time recorded.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) module.exports = factory(require('./units.js'));
  else root.CamVault.recordingView = factory(root.CamVault.units);
})(this, function (units) {
  'use strict';

  // The state the native side reports; anything else means it stopped.
  function reportedState(value) {
    const s = String(value || '').toLowerCase();
    return s === 'recording' || s === 'paused' ? s : 'stopped';
  }

  // The clock restarts when a recording begins, not when a pause ends.
  function startsClock(previous, next) {
    return next === 'recording' && previous !== 'recording' && previous !== 'paused';
  }

  function elapsedText(recording, since, now, t) {
    const elapsed = units.formatClock((now - since) / 1000);
    return (recording === 'paused' ? t('record.paused') : t('record.recording')) + ' ' + elapsed;
  }

  // page: state, t, sender. The button shows 'starting' from the click
  // until the native side reports the recording.
  function create(page) {
    const { state, t, sender } = page;
    const $ = (id) => document.getElementById(id);

    function onRecordingState(value) {
      const next = reportedState(value);
      if (startsClock(state.recording, next)) state.recordingSince = Date.now();
      state.recording = next;
      render();
    }

    let recordingTimer = 0;
    function tickRecording() {
      clearTimeout(recordingTimer);
      if (state.recording !== 'recording' && state.recording !== 'paused') return;
      $('record-state').textContent = elapsedText(state.recording, state.recordingSince, Date.now(), t);
      recordingTimer = setTimeout(tickRecording, 1000);
    }

    function render() {
      const button = $('btn-record');
      const active = state.recording === 'recording' || state.recording === 'paused' || state.recording === 'starting';
      button.dataset.state = state.recording;
      button.classList.toggle('active', active);
      $('record-label').textContent = t(active ? 'tool.stopRecord' : 'tool.record');
      // The other label, unseen, keeps the button as wide as the wider of
      // the two: the button never moves under the pointer.
      $('record-label-alt').textContent = t(active ? 'tool.record' : 'tool.stopRecord');
      const title = t(active ? 'tool.stopRecord.title' : 'tool.record.title');
      button.title = title;
      button.setAttribute('aria-label', title);
      const label = $('record-state');
      // Its room stays when it is empty, so nothing beside it moves.
      label.classList.toggle('idle', !active);
      label.dataset.state = state.recording;
      label.textContent = state.recording === 'starting' ? t('record.starting') : '';
      document.body.classList.toggle('recording', state.recording === 'recording');
      tickRecording();
    }

    function wire() {
      $('btn-record').addEventListener('click', () => {
        if (state.recording === 'stopped') {
          sender.send('recode');
          state.recording = 'starting';
        } else {
          sender.send('norecode');
          state.recording = 'stopped';
        }
        render();
      });
    }

    return { onRecordingState, render, wire };
  }

  return { reportedState, startsClock, elapsedText, create };
});
