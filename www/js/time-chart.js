// A chart of telemetry values over the trip's time (uPlot), its axis on the clock, with a cursor
// line at the video's position and marks at events; a click on the plot seeks the video there.
(function (root) {
  'use strict';
  const uPlot = root.uPlot;
  const { units } = root.CamVault;

  const AXIS = { stroke: '#9aa6b5', grid: { stroke: 'rgba(255,255,255,0.07)', width: 1 }, ticks: { show: false } };
  // Time ticks fall on whole seconds and round clock steps, so a short clip
  // never shows the same second twice.
  const TIME_STEPS = [1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600];

  class TimeChart {
    constructor(element, options) {
      this.element = element;
      this.series = options.series; // [{ color, width }]
      this.onSeek = options.onSeek || (() => {});
      this.onHover = options.onHover || (() => {});
      this.yRange = options.yRange || null;
      // The text of a time tick (seconds of the trip): its clock time.
      this.axisText = options.axisText || ((seconds) => units.formatClock(seconds));
      this.marks = [];
      this.markBox = null;
      this.plot = null;
      this.cursorTime = 0;
      this.cursorLine = null;
      if (typeof ResizeObserver === 'function') {
        new ResizeObserver(() => this.resize()).observe(element);
      }
    }

    size() {
      return {
        width: Math.max(120, Math.floor(this.element.clientWidth)),
        height: Math.max(60, Math.floor(this.element.clientHeight)),
      };
    }

    clear() {
      if (this.plot) this.onHover(null);
      if (this.plot) this.plot.destroy();
      this.plot = null;
      this.cursorLine = null;
      this.markBox = null;
    }

    // xs: video seconds; columns: one array of values per series.
    setData(xs, columns) {
      this.clear();
      if (xs.length === 0) return;
      const yRange = this.yRange;
      const opts = {
        ...this.size(),
        legend: { show: false },
        cursor: { drag: { x: false, y: false, setScale: false }, points: { show: false }, y: false },
        select: { show: false },
        scales: {
          x: { time: false },
          y: yRange ? { range: (u, min, max) => yRange(min, max) } : {},
        },
        axes: [
          { ...AXIS, incrs: TIME_STEPS, space: 64, values: (u, ticks) => ticks.map((t) => this.axisText(t)), size: 24, font: '10px sans-serif' },
          { ...AXIS, size: 34, font: '10px sans-serif' },
        ],
        // Scales exist only once the plot has drawn; place the cursor then.
        hooks: {
          draw: [() => {
            this.setCursor(this.cursorTime);
            this.drawMarks();
          }],
          setCursor: [(u) => this.onHover(u.cursor.idx ?? null)],
        },
        series: [{}].concat(
          this.series.map((s) => ({ stroke: s.color, width: s.width || 1.5, points: { show: false } })),
        ),
      };
      this.plot = new uPlot(opts, [xs].concat(columns), this.element);
      this.cursorLine = document.createElement('div');
      this.cursorLine.className = 'chart-cursor';
      this.plot.over.appendChild(this.cursorLine);
      this.markBox = document.createElement('div');
      this.markBox.className = 'chart-marks';
      this.plot.over.appendChild(this.markBox);
      this.plot.over.addEventListener('click', (e) => {
        const rect = this.plot.over.getBoundingClientRect();
        const t = this.plot.posToVal(e.clientX - rect.left, 'x');
        if (Number.isFinite(t)) this.onSeek(Math.max(0, t));
      });
      this.setCursor(this.cursorTime);
    }

    setCursor(seconds) {
      this.cursorTime = seconds;
      if (!this.plot || !this.cursorLine) return;
      const left = this.plot.valToPos(seconds, 'x');
      const inside = Number.isFinite(left) && left >= 0 && left <= this.plot.bbox.width / devicePixelRatio + 1;
      this.cursorLine.style.display = inside ? 'block' : 'none';
      if (inside) this.cursorLine.style.transform = `translateX(${left.toFixed(1)}px)`;
    }

    // Events of the trip, as seconds on its clock: a thin line each.
    setMarks(seconds) {
      this.marks = seconds.filter(Number.isFinite);
      this.drawMarks();
    }

    drawMarks() {
      if (!this.plot || !this.markBox) return;
      this.markBox.textContent = '';
      for (const s of this.marks) {
        const left = this.plot.valToPos(s, 'x');
        if (!Number.isFinite(left)) continue;
        const mark = document.createElement('div');
        mark.className = 'chart-mark';
        mark.setAttribute('data-testid', 'chart-event-marker');
        mark.style.transform = `translateX(${left.toFixed(1)}px)`;
        this.markBox.appendChild(mark);
      }
    }

    cursorOffset() {
      if (!this.plot || !this.cursorLine || this.cursorLine.style.display === 'none') return null;
      return this.plot.valToPos(this.cursorTime, 'x');
    }

    resize() {
      if (!this.plot) return;
      this.plot.setSize(this.size());
      this.setCursor(this.cursorTime);
    }
  }

  root.CamVault.TimeChart = TimeChart;
})(this);
