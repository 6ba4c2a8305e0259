// The route map: Leaflet with OpenStreetMap tiles when the tile server
// answers, and the same route, marker and scale bar on a plain background
// when it does not. Tiles are only tried after the page has loaded, so a
// machine without network never holds up the page's load.
(function (root) {
  'use strict';
  const L = root.L;
  const { telemetry } = root.CamVault;

  const TILE_URL = 'https://tile.openstreetmap.org/{z}/{x}/{y}.png';
  const TILE_PROBE = 'https://tile.openstreetmap.org/0/0/0.png';
  const ATTRIBUTION =
    '\u00a9 <a href="https://www.openstreetmap.org/copyright">OpenStreetMap</a> contributors';
  const PROBE_TIMEOUT_MS = 6000;

  // Leaflet projects and simplifies every point of a line on each zoom, on
  // the page's main thread: a long clip's route (up to 100,000 records) is
  // drawn through at most this many of its fixes. Seeking by a click on the
  // route still finds the nearest of all records.
  const MAX_ROUTE_POINTS = 6000;

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

  class RouteMap {
    constructor(element, callbacks) {
      this.element = element;
      this.onSeekRecord = callbacks.onSeekRecord || (() => {});
      this.onTilesState = callbacks.onTilesState || (() => {});
      this.map = L.map(element, {
        zoomControl: true,
        attributionControl: true,
        worldCopyJump: false,
        zoomSnap: 0.25,
      }).setView([30, 0], 1);
      this.map.attributionControl.setPrefix('Leaflet');
      this.routeLayer = L.layerGroup().addTo(this.map);
      this.lineRenderer = L.canvas({ padding: 0.2, tolerance: 7 });
      this.marker = null;
      this.records = [];
      this.scale = null;
      this.tiles = null;
      this.tilesState = 'unknown';
      this.followPaused = false;
      element.classList.add('no-tiles');
      this.setUnit('km');
      if (typeof ResizeObserver === 'function') {
        new ResizeObserver(() => this.map.invalidateSize({ pan: false })).observe(element);
      }
    }

    // One small image decides between tiles and the plain background; a
    // failing tile server is therefore asked once, not for every tile.
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
        if (ok) this.addTiles();
        else this.setTilesState('offline');
      };
      const timer = setTimeout(() => settle(false), PROBE_TIMEOUT_MS);
      img.onload = () => settle(img.naturalWidth > 0);
      img.onerror = () => settle(false);
      img.src = TILE_PROBE;
    }

    addTiles() {
      this.tiles = L.tileLayer(TILE_URL, { maxZoom: 19, attribution: ATTRIBUTION }).addTo(this.map);
      this.tiles.bringToBack();
      this.element.classList.remove('no-tiles');
      this.setTilesState('online');
    }

    setTilesState(state) {
      this.tilesState = state;
      this.onTilesState(state);
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

    // Draws the route; false when no record has a position.
    showRoute(records) {
      this.clear();
      this.records = records;
      const points = telemetry.routeFixes(records, MAX_ROUTE_POINTS).map((r) => L.latLng(r.lat, r.lon));
      if (points.length === 0) return false;
      // Framed first: the lines are then projected once, at the zoom they show.
      this.fit(points.length === 1 ? points : fixBounds(records));
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
          iconSize: [24, 24],
          iconAnchor: [12, 12],
        }),
        interactive: false,
        keyboard: false,
        zIndexOffset: 1000,
      }).addTo(this.routeLayer);
      this.heading = NaN;
      return true;
    }

    // points: one point, or the corners of the route's bounds.
    fit(points) {
      this.map.invalidateSize({ pan: false });
      if (points.length === 1) this.map.setView(points[0], 16, { animate: false });
      else this.map.fitBounds(L.latLngBounds(points), { padding: [18, 18], maxZoom: 17, animate: false });
    }

    // Moves the marker and keeps it in sight; the whole route stays framed
    // as long as the driver has not zoomed in.
    setPosition(latLng) {
      if (!this.marker || !latLng) return;
      this.marker.setLatLng(latLng);
      const bounds = this.map.getBounds();
      if (bounds.isValid() && !bounds.contains(latLng)) {
        this.map.panTo(latLng, { animate: false });
      }
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

  root.CamVault.RouteMap = RouteMap;
})(this);
