// The video player: custom controls around two <video> elements that play a trip's clips one
// after another without a gap, frame stepping, playback speed, full screen, zoom and keyboard
// shortcuts. It reports the trip's time often enough (every animation frame while playing) for
// the map marker and chart cursors to move smoothly.
(function (root) {
  'use strict';
  const { units, tripPlan } = root.CamVault;

  // Dash cameras record at 30 frames per second (some at 25 or 60); a step
  // of 1/30 s lands on the next frame at 30 and never skips one at 25.
  const FPS = 30;
  const FRAME_SECONDS = 1 / FPS;
  // How long after a paused seek the picture is asked for again (see wire());
  // the later try is for a page busy with a new trip's telemetry.
  const REPAINT_AFTER_SEEK_MS = [200, 1000, 2500];
  const JUMP_SECONDS = 5;
  // The next clip starts this close to the end of the one playing: the last
  // frame has been on screen by then, and waiting for `ended` would cost a
  // frame or two.
  const HANDOVER_SECONDS = 0.02;
  const MAX_ZOOM = 8;

  class Player {
    constructor(elements, callbacks) {
      this.videos = [elements.video].concat(elements.nextVideo ? [elements.nextVideo] : []);
      this.active = 0;
      this.el = elements;
      this.onTime = callbacks.onTime || (() => {});
      this.onMetadata = callbacks.onMetadata || (() => {});
      this.onError = callbacks.onError || (() => {});
      this.onPart = callbacks.onPart || (() => {});
      // The address of a clip's movie, or '' while it may not be opened.
      this.urlOf = callbacks.urlOf || (() => '');
      this.path = '';
      this.plan = { parts: [], total: 0 };
      this.part = -1;
      this.pendingSeek = null;
      this.stopAtClipEnd = false;
      this.frameRequest = 0;
      this.translate = (key) => key;
      this.zoom = { scale: 1, x: 0, y: 0 };
      this.videos.forEach((v, k) => {
        v.classList.toggle('standby', k !== this.active);
        v.dataset.path = '';
      });
      this.wire();
    }

    get video() {
      return this.videos[this.active];
    }

    get standby() {
      return this.videos.length > 1 ? this.videos[1 - this.active] : null;
    }

    wire() {
      const el = this.el;
      el.play.addEventListener('click', () => this.toggle());
      el.back.addEventListener('click', () => this.step(-1));
      el.forward.addEventListener('click', () => this.step(1));
      el.rate.addEventListener('change', () => {
        for (const v of this.videos) {
          v.playbackRate = this.rate();
          v.defaultPlaybackRate = v.playbackRate;
        }
      });
      el.seek.addEventListener('input', () => {
        const total = this.tripDuration();
        if (total > 0) this.seekTrip((Number(el.seek.value) / 1000) * total);
      });
      for (const v of this.videos) {
        // Only the video on screen speaks for the player; the other one is
        // the next clip, loaded and waiting.
        const mine = (f) => (e) => {
          if (e.target === this.video) f(e);
        };
        v.addEventListener('play', mine(() => this.playing(true)));
        v.addEventListener('pause', mine(() => this.playing(false)));
        v.addEventListener('ended', mine(() => this.clipEnded()));
        v.addEventListener('timeupdate', mine(() => this.report()));
        v.addEventListener('seeked', mine(() => this.report()));
        // WebKitGTK compositing the page through OpenGL leaves the picture of
        // a paused video black after a load or a seek (the frame is decoded,
        // readyState says so, nothing is painted); a second seek a little
        // later to the same frame paints it. (Seen with Mesa drawing on the
        // CPU, where CamVault now turns compositing off; kept for GPUs.)
        // A clip is always sought once it is loaded (see load()).
        // Playing or seeking again drops the tries still waiting.
        const dropRepaints = () => {
          for (const id of v.repaintTimers || []) clearTimeout(id);
          v.repaintTimers = [];
        };
        const repaintSoon = (delays) => {
          dropRepaints();
          if (!v.paused) return;
          const attempt = () => {
            if (!v.paused || v.ended || !v.dataset.path) return;
            // Still seeking (a try before this one): try again a moment later.
            if (v.seeking) return v.repaintTimers.push(setTimeout(attempt, 100));
            v.repainting = true;
            // A seek to the very same time is skipped: a tenth of a
            // millisecond on stays within the frame.
            v.currentTime = v.currentTime + 0.0001;
          };
          v.repaintTimers = delays.map((delay) => setTimeout(attempt, delay));
        };
        // Playing paints by itself: no second seek into a playing video.
        v.addEventListener('play', () => {
          dropRepaints();
          v.repainting = false;
        });
        v.addEventListener('seeked', () => {
          // The second seek's own 'seeked' leaves the later tries standing.
          if (v.repainting) v.repainting = false;
          else repaintSoon(REPAINT_AFTER_SEEK_MS);
        });
        v.addEventListener('loadedmetadata', mine(() => {
          v.playbackRate = this.rate();
          if (this.pendingSeek !== null) {
            v.currentTime = Math.min(this.pendingSeek, v.duration || this.pendingSeek);
            this.pendingSeek = null;
          }
          this.onMetadata(v.duration);
          this.report();
        }));
        v.addEventListener('error', mine(() => {
          if (this.path) this.onError();
        }));
        v.addEventListener('click', () => this.toggle());
        v.addEventListener('dblclick', (e) => {
          e.preventDefault();
          this.toggleFullscreen();
        });
      }
      this.wireZoom();
    }

    rate() {
      return Number(this.el.rate.value) || 1;
    }

    // The clips to play as one: parts of a trip plan (a single clip is a
    // plan of one). Keeps the clip on screen when it is part of the plan.
    setPlan(plan) {
      this.plan = plan && plan.parts ? plan : { parts: [], total: 0 };
      this.part = this.plan.parts.findIndex((p) => p.path === this.path);
      this.preloadNext();
      this.report();
    }

    // Puts part k on screen at `local` seconds into it.
    showPart(k, local) {
      const p = this.plan.parts[k];
      if (!p) return;
      const changed = this.part !== k || this.path !== p.path;
      this.part = k;
      if (this.path !== p.path) {
        const sb = this.standby;
        if (sb && sb.dataset.path === p.path && sb.readyState >= 1) this.swap();
        else this.load(p.path, this.urlOf(p.path), local);
      }
      if (this.video.readyState >= 1) this.seekTo(local);
      else this.pendingSeek = local;
      this.preloadNext();
      if (changed) this.onPart(k);
    }

    load(path, url, startAt) {
      if (this.path === path) return false;
      this.path = path;
      const v = this.video;
      v.pause();
      v.dataset.path = path;
      // Sought even to the start: the seek is what gets the first frame
      // painted while paused (see wire()).
      this.pendingSeek = startAt > 0 ? startAt : 0;
      v.src = url;
      v.load();
      this.report();
      return true;
    }

    unload() {
      this.path = '';
      this.part = -1;
      this.plan = { parts: [], total: 0 };
      this.pendingSeek = null;
      for (const v of this.videos) {
        v.pause();
        v.dataset.path = '';
        v.removeAttribute('src');
        v.load();
      }
      this.report();
    }

    // The next part of the plan waits in the second video, at the moment the
    // trip goes on from, with its first frame decoded.
    preloadNext() {
      const sb = this.standby;
      const next = this.plan.parts[this.part + 1];
      const url = next ? this.urlOf(next.path) : '';
      if (!sb || !url) return;
      if (sb.dataset.path !== next.path) {
        sb.pause();
        sb.dataset.path = next.path;
        sb.preload = 'auto';
        sb.src = url;
        sb.load();
        const at = next.startAt;
        if (at > 0) sb.addEventListener('loadedmetadata', () => (sb.currentTime = at), { once: true });
      } else if (sb.paused && Math.abs(sb.currentTime - next.startAt) > FRAME_SECONDS / 2) {
        sb.currentTime = next.startAt;
      }
    }

    // The waiting video takes the screen; the one that played waits.
    swap() {
      const old = this.video;
      this.active = 1 - this.active;
      const v = this.video;
      v.playbackRate = this.rate();
      v.classList.remove('standby');
      old.classList.add('standby');
      v.style.transform = old.style.transform;
      old.pause();
      this.path = v.dataset.path;
      this.pendingSeek = null;
    }

    // The clip on screen came to its end: the trip goes on into the next one
    // unless the driver wants single clips.
    clipEnded() {
      if (!this.advance()) this.playing(false);
    }

    advance() {
      const next = this.part + 1;
      const p = this.plan.parts[next];
      const url = p ? this.urlOf(p.path) : '';
      if (!p || this.stopAtClipEnd || !url) return false;
      const sb = this.standby;
      if (!sb || sb.dataset.path !== p.path || sb.readyState < 2) {
        // Not ready (a card too slow, or no second video): load and go on.
        this.part = next;
        this.load(p.path, url, p.startAt);
        this.video.addEventListener('canplay', () => this.start(), { once: true });
        this.onPart(next);
        this.preloadNext();
        return true;
      }
      this.start(sb);
      this.swap();
      this.part = next;
      this.onPart(next);
      this.preloadNext();
      this.report();
      return true;
    }

    start(v = this.video) {
      const started = v.play();
      if (started && started.catch) started.catch(() => {});
    }

    hasClip() {
      return this.path !== '';
    }

    toggle() {
      if (!this.hasClip()) return;
      const v = this.video;
      if (v.paused || v.ended) {
        if (v.ended && this.plan.parts[this.part + 1] && !this.stopAtClipEnd) {
          this.advance();
          return;
        }
        this.start();
      } else {
        v.pause();
      }
    }

    // Seconds into the clip on screen.
    seekTo(seconds) {
      const d = this.video.duration;
      let t = Math.max(0, Number(seconds) || 0);
      if (Number.isFinite(d)) t = Math.min(t, d);
      if (this.video.readyState >= 1) this.video.currentTime = t;
      else this.pendingSeek = t;
      this.report();
    }

    // Seconds on the trip's clock, into whichever clip holds them.
    seekTrip(T) {
      if (this.plan.parts.length === 0) return this.seekTo(T);
      const at = tripPlan.locate(this.plan, T);
      if (!at) return;
      const playing = !this.video.paused;
      if (at.part === this.part) this.seekTo(at.local);
      else {
        this.showPart(at.part, at.local);
        if (playing) this.start();
      }
    }

    tripTime() {
      return tripPlan.tripTime(this.plan, this.part, this.currentTime());
    }

    tripDuration() {
      if (this.plan.parts.length > 1) return this.plan.total;
      const d = this.video.duration;
      return Number.isFinite(d) ? d : this.plan.total;
    }

    jump(seconds) {
      this.seekTrip(this.tripTime() + seconds);
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
          const v = this.video;
          if (!v.paused && Number.isFinite(v.duration) && v.duration - v.currentTime <= HANDOVER_SECONDS) {
            // Stopping at the clip's end is done here, not left to 'ended':
            // WebKit now and then holds a video a hair before its end,
            // playing, and never says it ended.
            if (!this.advance() && this.stopAtClipEnd) v.pause();
          }
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
      if (this.el.time) this.el.time.title = this.translate('player.time.title');
    }

    currentTime() {
      return this.video.currentTime || 0;
    }

    // The frame on screen, counted in its clip from 0.
    frame() {
      return tripPlan.frameNumber(this.currentTime(), FPS);
    }

    report() {
      const T = this.tripTime();
      const total = this.tripDuration();
      this.el.time.textContent =
        units.formatClock(T) + ' / ' + (total > 0 ? units.formatClock(total) : '0:00') + ' \u00b7 #' + this.frame();
      if (total > 0 && document.activeElement !== this.el.seek) {
        this.el.seek.value = String(Math.round(Math.min(1, T / total) * 1000));
      }
      this.onTime(T);
    }

    // Full screen holds the video and its controls (the element given as
    // `stage`), so the driver can still seek and step.
    toggleFullscreen() {
      const stage = this.el.stage || this.video;
      if (document.fullscreenElement) {
        if (document.exitFullscreen) document.exitFullscreen();
        else if (document.webkitExitFullscreen) document.webkitExitFullscreen();
      } else if (stage.requestFullscreen) {
        stage.requestFullscreen().catch(() => {});
      } else if (stage.webkitRequestFullscreen) {
        stage.webkitRequestFullscreen();
      }
    }

    // Zoom with the wheel about the pointer (to read a number plate), drag to
    // move about, double-click or `0` to see the whole picture again.
    wireZoom() {
      const box = this.el.videoBox;
      if (!box) return;
      box.addEventListener('wheel', (e) => {
        if (!this.hasClip()) return;
        e.preventDefault();
        const rect = box.getBoundingClientRect();
        const factor = Math.exp(-e.deltaY * (e.deltaMode === 1 ? 0.05 : 0.002));
        this.zoomAt(factor, e.clientX - rect.left, e.clientY - rect.top, rect.width, rect.height);
      }, { passive: false });
      let drag = null;
      box.addEventListener('pointerdown', (e) => {
        if (this.zoom.scale <= 1 || e.button !== 0) return;
        drag = { x: e.clientX, y: e.clientY, zx: this.zoom.x, zy: this.zoom.y, moved: false };
        box.setPointerCapture(e.pointerId);
      });
      box.addEventListener('pointermove', (e) => {
        if (!drag) return;
        const dx = e.clientX - drag.x;
        const dy = e.clientY - drag.y;
        if (Math.abs(dx) + Math.abs(dy) > 3) drag.moved = true;
        const rect = box.getBoundingClientRect();
        this.setZoom(this.zoom.scale, drag.zx + dx, drag.zy + dy, rect.width, rect.height);
      });
      const end = (e) => {
        if (drag && drag.moved) {
          // A drag is no click: the video keeps playing or paused.
          const stop = (c) => c.stopPropagation();
          box.addEventListener('click', stop, { capture: true, once: true });
        }
        drag = null;
        if (box.hasPointerCapture && box.hasPointerCapture(e.pointerId)) box.releasePointerCapture(e.pointerId);
      };
      box.addEventListener('pointerup', end);
      box.addEventListener('pointercancel', end);
    }

    zoomAt(factor, px, py, width, height) {
      const z = this.zoom;
      const scale = Math.min(MAX_ZOOM, Math.max(1, z.scale * factor));
      // The point under the pointer stays under it.
      const k = scale / z.scale;
      this.setZoom(scale, px - (px - z.x) * k, py - (py - z.y) * k, width, height);
    }

    // Scale about the box's top left corner, moved by x, y; the picture
    // always covers the box.
    setZoom(scale, x, y, width, height) {
      const s = Math.min(MAX_ZOOM, Math.max(1, scale));
      const clampedX = Math.min(0, Math.max(width * (1 - s), x));
      const clampedY = Math.min(0, Math.max(height * (1 - s), y));
      this.zoom = { scale: s, x: s === 1 ? 0 : clampedX, y: s === 1 ? 0 : clampedY };
      const transform = s === 1 ? '' : `translate(${this.zoom.x}px, ${this.zoom.y}px) scale(${s})`;
      for (const v of this.videos) v.style.transform = transform;
      if (this.el.videoBox) this.el.videoBox.classList.toggle('zoomed', s > 1);
    }

    resetZoom() {
      this.setZoom(1, 0, 0, 0, 0);
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
          this.seekTrip(0);
          return true;
        case 'f':
        case 'F':
          this.toggleFullscreen();
          return true;
        case '0':
          this.resetZoom();
          return true;
        default:
          return false;
      }
    }
  }

  Player.FPS = FPS;
  root.CamVault.Player = Player;
})(this);
