// The video player: custom controls around a <video>, frame stepping,
// playback speed and keyboard shortcuts. It reports the position often
// enough (every animation frame while playing) for the map marker and chart
// cursors to move smoothly.
(function (root) {
  'use strict';
  const { units } = root.CamVault;

  // Dash cameras record at 30 frames per second (some at 25 or 60); a step
  // of 1/30 s lands on the next frame at 30 and never skips one at 25.
  const FRAME_SECONDS = 1 / 30;
  const JUMP_SECONDS = 5;

  class Player {
    constructor(elements, callbacks) {
      this.video = elements.video;
      this.el = elements;
      this.onTime = callbacks.onTime || (() => {});
      this.onMetadata = callbacks.onMetadata || (() => {});
      this.onError = callbacks.onError || (() => {});
      this.path = '';
      this.frameRequest = 0;
      this.translate = (key) => key;
      this.seeking = false;
      this.wire();
    }

    wire() {
      const v = this.video;
      const el = this.el;
      el.play.addEventListener('click', () => this.toggle());
      el.back.addEventListener('click', () => this.step(-1));
      el.forward.addEventListener('click', () => this.step(1));
      el.rate.addEventListener('change', () => {
        v.playbackRate = Number(el.rate.value) || 1;
        v.defaultPlaybackRate = v.playbackRate;
      });
      el.seek.addEventListener('input', () => {
        const d = v.duration;
        if (Number.isFinite(d)) this.seekTo((Number(el.seek.value) / 1000) * d);
      });
      v.addEventListener('play', () => this.playing(true));
      v.addEventListener('pause', () => this.playing(false));
      v.addEventListener('ended', () => this.playing(false));
      v.addEventListener('timeupdate', () => this.report());
      v.addEventListener('seeked', () => this.report());
      v.addEventListener('loadedmetadata', () => {
        v.playbackRate = Number(el.rate.value) || 1;
        this.onMetadata(v.duration);
        this.report();
      });
      v.addEventListener('error', () => {
        if (this.path) this.onError();
      });
      v.addEventListener('click', () => this.toggle());
    }

    load(path, url) {
      if (this.path === path) return false;
      this.path = path;
      this.video.pause();
      this.video.src = url;
      this.video.load();
      this.report();
      return true;
    }

    unload() {
      this.path = '';
      this.video.pause();
      this.video.removeAttribute('src');
      this.video.load();
      this.report();
    }

    hasClip() {
      return this.path !== '';
    }

    toggle() {
      if (!this.hasClip()) return;
      if (this.video.paused || this.video.ended) {
        const started = this.video.play();
        if (started && started.catch) started.catch(() => {});
      } else {
        this.video.pause();
      }
    }

    seekTo(seconds) {
      const d = this.video.duration;
      let t = Math.max(0, Number(seconds) || 0);
      if (Number.isFinite(d)) t = Math.min(t, d);
      this.video.currentTime = t;
      this.report();
    }

    jump(seconds) {
      this.seekTo(this.video.currentTime + seconds);
    }

    step(frames) {
      if (!this.hasClip()) return;
      this.video.pause();
      this.seekTo(this.video.currentTime + frames * FRAME_SECONDS);
    }

    playing(on) {
      this.el.play.classList.toggle('is-playing', on);
      this.applyLabels();
      cancelAnimationFrame(this.frameRequest);
      if (on) {
        const tick = () => {
          this.report();
          this.frameRequest = requestAnimationFrame(tick);
        };
        this.frameRequest = requestAnimationFrame(tick);
      }
    }

    setTranslator(translate) {
      this.translate = translate;
      this.applyLabels();
    }

    applyLabels() {
      const label = this.translate(this.video.paused ? 'player.play' : 'player.pause');
      this.el.play.title = label;
      this.el.play.setAttribute('aria-label', label);
    }

    currentTime() {
      return this.video.currentTime || 0;
    }

    report() {
      const v = this.video;
      const t = v.currentTime || 0;
      const d = v.duration;
      this.el.time.textContent =
        units.formatClock(t) + ' / ' + (Number.isFinite(d) ? units.formatClock(d) : '0:00');
      if (Number.isFinite(d) && d > 0 && document.activeElement !== this.el.seek) {
        this.el.seek.value = String(Math.round((t / d) * 1000));
      }
      this.onTime(t);
    }

    // Shortcuts work anywhere except where a key already means something
    // (a text field, a drop-down list, the seek slider for arrows).
    handleKey(event) {
      const target = event.target;
      const tag = target && target.tagName;
      if (tag === 'SELECT' || tag === 'TEXTAREA' || (tag === 'INPUT' && target.type !== 'range' && target.type !== 'checkbox')) {
        return false;
      }
      if (event.ctrlKey || event.metaKey || event.altKey) return false;
      switch (event.key) {
        case ' ':
        case 'k':
          this.toggle();
          return true;
        case 'ArrowLeft':
          if (target === this.el.seek) return false;
          this.jump(event.shiftKey ? -1 : -JUMP_SECONDS);
          return true;
        case 'ArrowRight':
          if (target === this.el.seek) return false;
          this.jump(event.shiftKey ? 1 : JUMP_SECONDS);
          return true;
        case ',':
          this.step(-1);
          return true;
        case '.':
          this.step(1);
          return true;
        case 'Home':
          this.seekTo(0);
          return true;
        default:
          return false;
      }
    }
  }

  root.CamVault.Player = Player;
})(this);
