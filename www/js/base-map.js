// The world map bundled with the page (Natural Earth land and borders at 1:50m, from world-atlas), drawn under the route when no tiles can be fetched.
// Its data (750 kB) and topojson-client are loaded only the first time the
// map is offline: a machine on a network never parses them.
(function (root) {
  'use strict';
  const L = root.L;

  const SCRIPTS = ['vendor/topojson-client/topojson-client.min.js', 'vendor/world-atlas/countries-50m.js'];

  // Pale land on a blue-grey sea, thin borders: the blue route and its
  // green and red ends stay the strongest marks on the map.
  const STYLE = {
    land: { stroke: false, fillColor: '#f4f1ea', fillOpacity: 1, interactive: false },
    coast: { color: '#8fa3b5', weight: 1, opacity: 1, fill: false, interactive: false },
    borders: { color: '#b9a7c6', weight: 1, opacity: 1, dashArray: '4 3', fill: false, interactive: false },
  };

  function loadScript(src) {
    return new Promise((resolve, reject) => {
      const script = root.document.createElement('script');
      script.src = src;
      script.onload = () => resolve();
      script.onerror = () => reject(new Error('cannot load ' + src));
      root.document.head.appendChild(script);
    });
  }

  let layersOnce = null;

  // The three layers, made once per page from the bundled topology.
  function makeLayers(pane) {
    if (!layersOnce) {
      layersOnce = SCRIPTS.reduce((p, src) => p.then(() => loadScript(src)), Promise.resolve()).then(() => {
        const topojson = root.topojson;
        const world = root.CamVaultWorld;
        if (!topojson || !world) throw new Error('the world map data is missing');
        const renderer = L.canvas({ pane, padding: 0.3 });
        const options = (style) => Object.assign({ renderer, pane }, style);
        const land = topojson.feature(world, world.objects.land);
        // Arcs used once are coasts, arcs between two countries are borders.
        const coast = topojson.mesh(world, world.objects.land);
        const borders = topojson.mesh(world, world.objects.countries, (a, b) => a !== b);
        return [
          L.geoJSON(land, { style: () => options(STYLE.land) }),
          L.geoJSON(coast, { style: () => options(STYLE.coast) }),
          L.geoJSON(borders, { style: () => options(STYLE.borders) }),
        ];
      });
    }
    return layersOnce;
  }

  // show()/hide() on `map`, in a pane below the tiles: tiles kept from an
  // earlier drive cover it where they exist.
  function create(map, onShown) {
    const pane = 'camvault-base-map';
    if (!map.getPane(pane)) {
      map.createPane(pane);
      map.getPane(pane).style.zIndex = 150;
    }
    let wanted = false;
    let group = null;
    return {
      show() {
        wanted = true;
        makeLayers(pane).then(
          (layers) => {
            if (!wanted) return;
            if (!group) group = L.layerGroup(layers);
            if (!map.hasLayer(group)) {
              group.addTo(map);
              onShown(true);
            }
          },
          (e) => {
            console.warn('no world map: ' + e.message);
            onShown(false);
          },
        );
      },
      hide() {
        wanted = false;
        if (group && map.hasLayer(group)) {
          group.remove();
          onShown(false);
        }
      },
      shown: () => !!group && map.hasLayer(group),
    };
  }

  root.CamVault.baseMap = { create };
})(this);
