// The map's kept tiles and tile server: which URL templates CamVault accepts,
// the probe and tile URLs they give, which tiles go when the store is full,
// and where the position marker goes when it lands under a control.
import test from 'node:test';
import assert from 'node:assert/strict';
import tileCache from '../js/tile-cache.js';
import routeMapRules from '../js/route-map.js';

const { checkTemplate, chooseTemplate, fillTemplate, tileKey, evictionPlan, isFresh, storable, BOUND, DEFAULT_TEMPLATE } =
  tileCache;

test('tile URL templates: http(s) servers with {z}, {x} and a y, nothing Leaflet cannot fill', () => {
  for (const good of [
    'http://127.0.0.1:8123/{z}/{x}/{y}.png',
    'https://{s}.tile.example.org/{z}/{x}/{y}{r}.png',
    'https://tiles.example.org/tms/{z}/{x}/{-y}.png',
    ' https://tile.example.org/{z}/{x}/{y}.png?key=abc ',
  ]) {
    assert.equal(checkTemplate(good), good.trim(), good);
  }
  for (const bad of [
    undefined,
    null,
    42,
    '',
    '   ',
    'http://127.0.0.1:8123/{z}/{x}.png', // no y: one tile for a whole column
    'http://127.0.0.1:8123/{x}/{y}.png', // no zoom
    'http://127.0.0.1:8123/{z}/{x}/{y}/{apikey}.png', // Leaflet throws on a value it lacks
    'http://127.0.0.1:8123/{z}/{x}/{y}.png{',
    'file:///home/u/tiles/{z}/{x}/{y}.png',
    'javascript:alert(1)//{z}/{x}/{y}',
    '/tiles/{z}/{x}/{y}.png',
    'http:///{z}/{x}/{y}.png',
    'http://host/{z}/{x}/{y} .png',
    'http://host/' + 'a'.repeat(2100) + '/{z}/{x}/{y}.png',
  ]) {
    assert.equal(checkTemplate(bad), null, String(bad));
  }
  assert.equal(chooseTemplate(undefined), DEFAULT_TEMPLATE, 'no variable: the default server');
  assert.equal(chooseTemplate('ftp://h/{z}/{x}/{y}'), DEFAULT_TEMPLATE, 'an unusable one: the default too');
  assert.equal(chooseTemplate('http://127.0.0.1:1/{z}/{x}/{y}.png'), 'http://127.0.0.1:1/{z}/{x}/{y}.png');
  assert.equal(checkTemplate(DEFAULT_TEMPLATE), DEFAULT_TEMPLATE);
});

test('tile URLs and the keys tiles are kept under', () => {
  assert.equal(fillTemplate(DEFAULT_TEMPLATE, { z: 0, x: 0, y: 0 }), 'https://tile.openstreetmap.org/0/0/0.png');
  assert.equal(fillTemplate('https://{s}.h/{z}/{x}/{-y}{r}.png', { z: 3, x: 5, y: 1 }), 'https://a.h/3/5/6.png');
  const template = 'http://127.0.0.1:8123/{z}/{x}/{y}.png';
  assert.equal(tileKey(template, { z: 14, x: 8185, y: 5460 }), template + '#14/8185/5460');
  assert.notEqual(tileKey(template, { z: 14, x: 8185, y: 5460 }), tileKey(template, { z: 14, x: 5460, y: 8185 }));
  assert.notEqual(tileKey(template, { z: 1, x: 0, y: 0 }), tileKey(DEFAULT_TEMPLATE, { z: 1, x: 0, y: 0 }), 'another server, another tile');
});

test('kept tiles: fresh for a week, at most a megabyte each', () => {
  const now = 1_000_000_000_000;
  const day = 24 * 3600 * 1000;
  assert.equal(isFresh({ stored: now - 6 * day }, now), true);
  assert.equal(isFresh({ stored: now - 8 * day }, now), false);
  assert.equal(isFresh({ stored: now + day }, now), false, 'a clock set back: asked again');
  assert.equal(isFresh(null, now), false);
  assert.equal(storable(20_000), true);
  assert.equal(storable(1024 * 1024), true);
  assert.equal(storable(1024 * 1024 + 1), false);
  assert.equal(storable(0), false);
  assert.equal(storable(NaN), false);
});

test('a full store drops the tiles shown longest ago until both bounds hold', () => {
  const bound = { maxBytes: 100, maxTiles: 4 };
  const entries = [
    { key: 'a', size: 30, used: 5 },
    { key: 'b', size: 30, used: 1 },
    { key: 'c', size: 30, used: 9 },
  ];
  assert.deepEqual(evictionPlan(entries, bound), [], 'within both bounds');
  assert.deepEqual(evictionPlan([...entries, { key: 'd', size: 30, used: 10 }], bound), ['b'], 'bytes: 120 > 100');
  assert.deepEqual(
    evictionPlan([...entries, { key: 'd', size: 60, used: 10 }], bound),
    ['b', 'a'],
    'as many as it takes, oldest first',
  );
  const many = [1, 2, 3, 4, 5, 6].map((used) => ({ key: 'k' + used, size: 1, used }));
  assert.deepEqual(evictionPlan(many, bound), ['k1', 'k2'], 'tiles: 6 > 4');
  assert.deepEqual(evictionPlan(many.slice().reverse(), bound), ['k1', 'k2'], 'whatever the order they come in');
  assert.deepEqual(evictionPlan([{ key: 'x', size: 101, used: 1 }], bound), ['x']);
  assert.deepEqual(evictionPlan([]), []);
  assert.ok(BOUND.maxBytes >= 10 * 1024 * 1024 && BOUND.maxBytes <= 200 * 1024 * 1024, 'tens of megabytes');
});

test('the marker under a control moves the least distance that clears it, and stays on the map', () => {
  const { clearOfControls, CONTROL_MARGIN } = routeMapRules;
  const size = { x: 400, y: 300 };
  const zoom = { left: 10, right: 44, top: 10, bottom: 74 };
  const r = 12;
  assert.deepEqual(clearOfControls({ x: 200, y: 150 }, r, [zoom], size), [0, 0], 'clear already');
  // Just right of the zoom buttons' middle: out to the right is shortest.
  const [dx, dy] = clearOfControls({ x: 40, y: 40 }, r, [zoom], size);
  assert.equal(dy, 0);
  assert.equal(40 + dx - r - CONTROL_MARGIN, zoom.right);
  // Just below them: out downwards.
  assert.deepEqual(clearOfControls({ x: 27, y: 80 }, r, [zoom], size), [0, zoom.bottom + r + CONTROL_MARGIN - 80]);
  // A badge across the top right and the zoom buttons: never pushed into the other.
  const badge = { left: 60, right: 394, top: 6, bottom: 24 };
  const move = clearOfControls({ x: 50, y: 20 }, r, [zoom, badge], size);
  const box = { left: 50 + move[0] - r, right: 50 + move[0] + r, top: 20 + move[1] - r, bottom: 20 + move[1] + r };
  for (const c of [zoom, badge]) {
    assert.ok(box.right <= c.left || box.left >= c.right || box.bottom <= c.top || box.top >= c.bottom, JSON.stringify(move));
  }
  assert.ok(box.left >= 0 && box.top >= 0 && box.right <= size.x && box.bottom <= size.y);
  // A control as large as the map leaves nowhere to go.
  assert.equal(clearOfControls({ x: 50, y: 50 }, r, [{ left: 0, right: 400, top: 0, bottom: 300 }], size), null);
});
