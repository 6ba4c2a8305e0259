// The route map: Leaflet with map tiles, kept on this computer as they come
// (js/tile-cache.js), and the bundled world map (js/base-map.js) under the
// route, its marker and its scale bar when the tile server cannot be reached.
// Tiles are only tried after the page has loaded, so a machine without
// network never holds up the page's load. Rules Node-testable.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) {
    // Node gets the rules only: the map needs a page.
    module.exports = factory(null);
  } else {
    const api = factory(root);
    root.CamVault.RouteMap = api.RouteMap;
    root.CamVault.routeMapRules = api;
  }
})(this, function (root) {
  'use strict';

  // How far (pixels) the marker keeps from a control's edge.
  const CONTROL_MARGIN = 6;

  function overlaps(box, rect) {
    return box.left < rect.right && box.right > rect.left && box.top < rect.bottom && box.bottom > rect.top;
  }

  // The shortest move (pixels) of the marker at `point` (radius `radius`)
  // that takes it clear of every rectangle in `rects` (the map's controls, in
  // map element pixels) and keeps it inside the map (`size`); [0, 0] when it
  // is clear already, null when there is no such place (a map too small).
  // The marker can only end beside a control's edge or where it is, so those
  // places are all tried: a few controls give a few hundred.
  function clearOfControls(point, radius, rects, size) {
    const r = radius + CONTROL_MARGIN;
    const xs = [point.x];
    const ys = [point.y];
    for (const rect of rects) {
      xs.push(rect.left - r, rect.right + r);
      ys.push(rect.top - r, rect.bottom + r);
    }
    let best = null;
    for (const x of xs) {
      if (x - r < 0 || x + r > size.x) continue;
      for (const y of ys) {
        if (y - r < 0 || y + r > size.y) continue;
        const box = { left: x - r, right: x + r, top: y - r, bottom: y + r };
        if (rects.some((rect) => overlaps(box, rect))) continue;
        const distance = Math.hypot(x - point.x, y - point.y);
        if (!best || distance < best.distance) best = { distance, move: [x - point.x, y - point.y] };
      }
    }
    return best && best.move;
  }

  const rules = { CONTROL_MARGIN, clearOfControls };
  if (!root) return rules;

  const L = root.L;
  const { telemetry, tileCache } = root.CamVault;

  const OSM_ATTRIBUTION = '\u00a9 <a href="https://www.openstreetmap.org/copyright">OpenStreetMap</a> {contributors}';
  const PROBE_TIMEOUT_MS = 6000;
  // A tile server that neither answers nor fails is given up on after this.
  const TILE_TIMEOUT_MS = 15000;

  // Leaflet projects and simplifies every point of a line on each zoom, on
  // the page's main thread: a long clip's route (up to 100,000 records) is
  // drawn through at most this many of its fixes. Seeking by a click on the
  // route still finds the nearest of all records.
  const MAX_ROUTE_POINTS = 6000;
  const routePoints = (records) => telemetry.routeFixes(records, MAX_ROUTE_POINTS).map((r) => L.latLng(r.lat, r.lon));
  const MARKER_RADIUS = 12;

  // The corners of the box around every fix (not only the fixes drawn).
  function fixBounds(records) {
    let south = Infinity;
    let west = Infinity;
    let north = -Infinity;
    let east = -Infinity;
    for (const r of records) {
      if (!r.hasPosition) continue;
      if (r.lat < south) south = r.lat;
      if (r.lat > north) north = r.lat;
      if (r.lon < west) west = r.lon;
      if (r.lon > east) east = r.lon;
    }
    return [L.latLng(south, west), L.latLng(north, east)];
  }

  function escapeHtml(text) {
    return String(text).replace(/[&<>"]/g, (c) => ({ '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;' })[c]);
  }

  function fetchWithTimeout(url) {
    const abort = typeof AbortController === 'function' ? new AbortController() : null;
    const timer = abort ? setTimeout(() => abort.abort(), TILE_TIMEOUT_MS) : 0;
    return fetch(url, { signal: abort && abort.signal, credentials: 'omit' }).finally(() => clearTimeout(timer));
  }

  // Tiles from the server, kept in the store as they come; from the store
  // when the map is offline, when a kept tile is fresh, or when the server
  // fails. Where fetch() itself is refused (a server without CORS headers in
  // a view that enforces them), the image element asks the server as before.
  const KeptTileLayer = L.TileLayer.extend({
    initialize(template, store, options) {
      L.TileLayer.prototype.initialize.call(this, template, options);
      this.template = template;
      this.store = store;
      this.offline = true;
      this.counts = { network: 0, kept: 0, direct: 0, missing: 0 };
      this.on('tileunload', (e) => this.release(e.tile));
    },

    release(tile) {
      if (tile.keptUrl) URL.revokeObjectURL(tile.keptUrl);
      tile.keptUrl = null;
    },

    createTile(coords, done) {
      const tile = document.createElement('img');
      tile.alt = '';
      tile.setAttribute('role', 'presentation');
      L.DomEvent.on(tile, 'load', () => {
        this.release(tile);
        this._tileOnLoad(done, tile);
      });
      L.DomEvent.on(tile, 'error', (e) => {
        this.release(tile);
        this._tileOnError(done, tile, e);
      });
      this.source(coords).then((found) => {
        if (!found) {
          this.counts.missing++;
          done(new Error('tile not kept'), tile);
          return;
        }
        this.counts[found.from]++;
        if (found.from !== 'direct') tile.keptUrl = found.url;
        tile.dataset.from = found.from;
        tile.src = found.url;
      });
      return tile;
    },

    async kept(key) {
      const tile = await this.store.get(key);
      if (!tile) return null;
      return { from: 'kept', url: URL.createObjectURL(new Blob([tile.data], { type: tile.type })) };
    },

    async source(coords) {
      const url = this.getTileUrl(coords);
      const key = tileCache.tileKey(this.template, coords);
      const entry = this.store.entry(key);
      if (this.offline || tileCache.isFresh(entry, Date.now())) {
        const found = await this.kept(key);
        if (found || this.offline) return found;
      }
      try {
        const response = await fetchWithTimeout(url);
        const type = response.headers.get('content-type') || 'image/png';
        if (!response.ok || !type.startsWith('image/')) throw new Error('HTTP ' + response.status);
        const data = await response.arrayBuffer();
        this.store.put(key, data, type);
        return { from: 'network', url: URL.createObjectURL(new Blob([data], { type })) };
      } catch (e) {
        const found = entry ? await this.kept(key) : null;
        return found || { from: 'direct', url };
      }
    },
  });

  class RouteMap {
    // callbacks: onSeekRecord(index), onTilesState('probing' | 'online' |
    // 'offline'), translate(key) for Leaflet's own texts.
    constructor(element, callbacks) {
      this.element = element;
      this.onSeekRecord = callbacks.onSeekRecord || (() => {});
      this.onTilesState = callbacks.onTilesState || (() => {});
      this.t = callbacks.translate || ((key) => key);
      this.map = L.map(element, {
        zoomControl: false,
        attributionControl: true,
        worldCopyJump: false,
        zoomSnap: 0.25,
      }).setView([30, 0], 1);
      this.zoomControl = null;
      this.attribution = '';
      this.routeLayer = L.layerGroup().addTo(this.map);
      this.lineRenderer = L.canvas({ padding: 0.2, tolerance: 7 });
      this.marker = null;
      this.records = [];
      this.scale = null;
      this.fitted = null; // what the last fit framed, until the driver moves the map
      this.ownMove = false;
      // CamVault sets camvault_tile_url before the page's scripts run.
      const asked = root.camvault_tile_url;
      this.template = tileCache.chooseTemplate(asked);
      if (asked && this.template !== asked) console.warn('CAMVAULT_TILE_URL cannot be used: ' + asked);
      this.store = tileCache.openTileStore(root.indexedDB);
      this.tiles = new KeptTileLayer(this.template, this.store, { maxZoom: 19 });
      this.tilesState = 'unknown';
      this.baseMap = root.CamVault.baseMap.create(this.map, (shown) => {
        element.classList.toggle('base-map', shown);
        if (shown) this.map.attributionControl.addAttribution('Natural Earth');
        else this.map.attributionControl.removeAttribution('Natural Earth');
      });
      element.classList.add('no-tiles');
      this.setUnit('km');
      this.setTranslator(this.t);
      // Any move the page did not make itself is the driver's: the route is
      // then no longer refitted when the map's size changes.
      this.map.on('movestart zoomstart', () => {
        if (!this.ownMove) this.fitted = null;
      });
      if (typeof ResizeObserver === 'function') {
        let pending = false;
        new ResizeObserver(() => {
          if (pending) return;
          pending = true;
          requestAnimationFrame(() => {
            pending = false;
            this.onResize();
          });
        }).observe(element);
      }
    }

    // Runs `move` as the page's own move of the map.
    own(move) {
      this.ownMove = true;
      try {
        move();
      } finally {
        this.ownMove = false;
      }
    }

    onResize() {
      this.rects = null;
      this.own(() => this.map.invalidateSize({ pan: false }));
      if (this.fitted) this.fit(this.fitted);
      if (this.marker) this.keepMarkerClear();
    }

    // Leaflet's texts in the page's language: the zoom buttons' tooltips and
    // the attribution.
    setTranslator(t) {
      this.t = t;
      this.rects = null;
      if (this.zoomControl) this.zoomControl.remove();
      this.zoomControl = L.control
        .zoom({ zoomInTitle: t('map.zoomIn'), zoomOutTitle: t('map.zoomOut'), position: 'topleft' })
        .addTo(this.map);
      const control = this.map.attributionControl;
      control.setPrefix(`<span title="${escapeHtml(t('map.leafletTitle'))}">Leaflet</span>`);
      if (this.attribution) control.removeAttribution(this.attribution);
      this.attribution = OSM_ATTRIBUTION.replace('{contributors}', escapeHtml(t('map.contributors')));
      if (this.tilesState === 'online' || this.tilesState === 'offline') control.addAttribution(this.attribution);
    }

    // One small image decides whether the tile server answers; a failing
    // server is therefore asked once, not for every tile, and the map then
    // shows the tiles kept from earlier drives over the world map.
    probeTiles() {
      if (this.tilesState !== 'unknown' && this.tilesState !== 'offline') return;
      this.tilesState = 'probing';
      if (root.navigator && root.navigator.onLine === false) {
        this.setTilesState('offline');
        return;
      }
      const img = new Image();
      let settled = false;
      const settle = (ok) => {
        if (settled) return;
        settled = true;
        clearTimeout(timer);
        img.onload = img.onerror = null;
        this.setTilesState(ok ? 'online' : 'offline');
      };
      const timer = setTimeout(() => settle(false), PROBE_TIMEOUT_MS);
      img.onload = () => settle(img.naturalWidth > 0);
      img.onerror = () => settle(false);
      img.src = tileCache.fillTemplate(this.template, { z: 0, x: 0, y: 0 });
    }

    setTilesState(state) {
      const wasOffline = this.tiles.offline;
      this.tilesState = state;
      this.tiles.offline = state !== 'online';
      if (!this.map.hasLayer(this.tiles)) {
        this.tiles.addTo(this.map);
        this.map.attributionControl.addAttribution(this.attribution);
      } else if (wasOffline !== this.tiles.offline) {
        this.tiles.redraw();
      }
      this.element.classList.toggle('no-tiles', state !== 'online');
      if (state === 'online') this.baseMap.hide();
      else this.baseMap.show();
      this.onTilesState(state);
    }

    // For tests and for anyone debugging the map: where the tiles on screen
    // came from, how much the store holds, whether the world map is drawn.
    tileReport() {
      return {
        state: this.tilesState,
        template: this.template,
        counts: Object.assign({}, this.tiles.counts),
        kept: this.store.size(),
        baseMap: this.baseMap.shown(),
      };
    }

    setUnit(unit) {
      if (this.scale) this.scale.remove();
      this.scale = L.control
        .scale({ metric: unit !== 'miles', imperial: unit === 'miles', position: 'bottomleft', maxWidth: 120 })
        .addTo(this.map);
    }

    clear() {
      this.routeLayer.clearLayers();
      this.marker = null;
      this.records = [];
      this.fitted = null;
    }

    // The trip's events where they happened: an orange ring each, over the
    // route. events: [{ at: [lat, lon], kind }].
    setEvents(events) {
      if (!this.eventLayer) this.eventLayer = L.layerGroup().addTo(this.map);
      this.eventLayer.clearLayers();
      for (const e of events) {
        L.circleMarker(e.at, {
          radius: 7,
          color: '#ff8c3c',
          weight: 3,
          fill: false,
          interactive: false,
          className: 'event-marker event-' + e.kind,
        }).addTo(this.eventLayer);
      }
    }

    // Frames the map on the route of `records` ahead of showRoute(records):
    // a new zoom draws the base map again, which a long route's page does in
    // a task of its own.
    frameRoute(records) {
      const points = routePoints(records);
      if (points.length === 0) return;
      this.fit(points.length === 1 ? points : fixBounds(records));
      this.framed = { records, points };
    }

    // Draws the route; false when no record has a position.
    showRoute(records) {
      const framed = this.framed && this.framed.records === records ? this.framed : null;
      // What frameRoute fitted, unless the driver has moved the map since.
      const fitted = framed ? this.fitted : null;
      this.framed = null;
      this.clear();
      this.records = records;
      const points = framed ? framed.points : routePoints(records);
      if (points.length === 0) return false;
      // Framed first: the lines are then projected once, at the zoom they show.
      if (fitted) this.fitted = fitted;
      else this.fit(points.length === 1 ? points : fixBounds(records));
      // The lines go on a canvas: WebKit works out the outline of every SVG
      // line it paints, which costs a frame for a long route.
      const renderer = this.lineRenderer;
      L.polyline(points, { renderer, color: '#1d6fe0', weight: 7, opacity: 0.35, interactive: false }).addTo(
        this.routeLayer,
      );
      // The renderer's tolerance makes the line easy to hit with the mouse.
      const line = L.polyline(points, { renderer, color: '#2f8bff', weight: 3.5, opacity: 0.95 });
      line.on('click', (e) => {
        const index = telemetry.nearestIndex(this.records, e.latlng.lat, e.latlng.lng);
        if (index >= 0) this.onSeekRecord(index);
      });
      line.addTo(this.routeLayer);
      L.circleMarker(points[0], {
        radius: 5,
        color: '#fff',
        weight: 2,
        fillColor: '#2fbf71',
        fillOpacity: 1,
        interactive: false,
      }).addTo(this.routeLayer);
      L.circleMarker(points[points.length - 1], {
        radius: 5,
        color: '#fff',
        weight: 2,
        fillColor: '#e5484d',
        fillOpacity: 1,
        interactive: false,
      }).addTo(this.routeLayer);
      // The car: an arrow that points where the camera was heading.
      this.marker = L.marker(points[0], {
        icon: L.divIcon({
          className: 'position-marker',
          html: '<div class="position-arrow"></div>',
          iconSize: [2 * MARKER_RADIUS, 2 * MARKER_RADIUS],
          iconAnchor: [MARKER_RADIUS, MARKER_RADIUS],
        }),
        interactive: false,
        keyboard: false,
        zIndexOffset: 1000,
      }).addTo(this.routeLayer);
      this.heading = NaN;
      return true;
    }

    // points: one point, or the corners of the route's bounds. Framed again
    // when the map's size changes, until the driver moves the map.
    fit(points) {
      this.own(() => {
        this.map.invalidateSize({ pan: false });
        if (points.length === 1) this.map.setView(points[0], 16, { animate: false });
        else this.map.fitBounds(L.latLngBounds(points), { padding: [18, 18], maxZoom: 17, animate: false });
      });
      this.fitted = points;
    }

    // The rectangles (map element pixels) of what is drawn over the map:
    // Leaflet's controls, the badges and the route export beside it.
    controlRects() {
      // Read again at most twice a second: the marker moves with every frame
      // of the video, and reading them makes WebKit lay the page out.
      const now = Date.now();
      if (this.rects && now - this.rectsAt < 500) return this.rects;
      this.rectsAt = now;
      this.rects = this.readControlRects();
      return this.rects;
    }

    readControlRects() {
      const origin = this.element.getBoundingClientRect();
      const panel = this.element.parentElement || this.element;
      const shown = [
        ...this.element.querySelectorAll('.leaflet-control'),
        ...panel.querySelectorAll('.map-badge, .route-export'),
      ];
      return shown
        .map((el) => el.getBoundingClientRect())
        .filter((r) => r.width > 0 && r.height > 0)
        .map((r) => ({
          left: r.left - origin.left,
          right: r.right - origin.left,
          top: r.top - origin.top,
          bottom: r.bottom - origin.top,
        }));
    }

    // Pans the map just enough that the marker is not under a control.
    keepMarkerClear() {
      const point = this.map.latLngToContainerPoint(this.marker.getLatLng());
      const move = clearOfControls(point, MARKER_RADIUS, this.controlRects(), this.map.getSize());
      if (move && (move[0] !== 0 || move[1] !== 0)) {
        this.own(() => this.map.panBy([-move[0], -move[1]], { animate: false }));
      }
    }

    // Moves the marker and keeps it in sight and clear of the controls; the
    // whole route stays framed as long as the driver has not zoomed in.
    setPosition(latLng) {
      if (!this.marker || !latLng) return;
      this.marker.setLatLng(latLng);
      const bounds = this.map.getBounds();
      if (bounds.isValid() && !bounds.contains(latLng)) {
        this.own(() => this.map.panTo(latLng, { animate: false }));
      }
      this.keepMarkerClear();
    }

    setHeading(degrees) {
      if (!this.marker || degrees === this.heading) return;
      this.heading = degrees;
      const arrow = this.marker.getElement() && this.marker.getElement().firstChild;
      if (!arrow) return;
      arrow.classList.toggle('no-heading', !Number.isFinite(degrees));
      arrow.style.transform = Number.isFinite(degrees) ? `rotate(${degrees}deg)` : '';
    }

    markerLatLng() {
      if (!this.marker) return null;
      const p = this.marker.getLatLng();
      return [p.lat, p.lng];
    }

    // Screen point of a map position inside the map element, for tests and
    // for anything that wants to point at the route.
    pointOf(latLng) {
      const p = this.map.latLngToContainerPoint(latLng);
      return { x: p.x, y: p.y };
    }
  }

  return Object.assign({ RouteMap }, rules);
});
