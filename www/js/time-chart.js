// A chart of telemetry values over video time (uPlot), with a cursor line at
// the video's position; a click on the plot seeks the video there.
(function (root) {
  'use strict';
  const uPlot = root.uPlot;
  const { units } = root.CamVault;

  const AXIS = { stroke: '#9aa6b5', grid: { stroke: 'rgba(255,255,255,0.07)', width: 1 }, ticks: { show: false } };

  class TimeChart {
    constructor(element, options) {
      this.element = element;
      this.series = options.series; // [{ color, width }]
      this.onSeek = options.onSeek || (() => {});
      this.onHover = options.onHover || (() => {});
      this.yRange = options.yRange || null;
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
          { ...AXIS, values: (u, ticks) => ticks.map((t) => units.formatClock(t)), size: 24, font: '10px sans-serif' },
          { ...AXIS, size: 34, font: '10px sans-serif' },
        ],
        // Scales exist only once the plot has drawn; place the cursor then.
        hooks: {
          draw: [() => this.setCursor(this.cursorTime)],
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
