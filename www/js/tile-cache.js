// Map tiles kept on this computer: which tile URL templates are usable, which tiles to drop when the store is full, and the IndexedDB store itself (rules Node-testable).
// Places driven before keep their streets when the tile server cannot be
// reached. IndexedDB keeps a tile's bytes and what the bound needs (size,
// last use) in one transaction, and WebKitGTK keeps it between runs for the
// page's file URL (under ~/.local/share/camvault); the Cache API would need
// a second store beside it for the bound. Bytes go in as ArrayBuffers, which
// every engine stores (not all store Blobs).
(function (root, factory) {
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.CamVault = Object.assign(root.CamVault || {}, { tileCache: api });
})(this, function () {
  'use strict';

  const DEFAULT_TEMPLATE = 'https://tile.openstreetmap.org/{z}/{x}/{y}.png';

  // About 2,500 street tiles: a few regions driven often. Both bounds hold.
  const BOUND = { maxBytes: 50 * 1024 * 1024, maxTiles: 4000 };
  // A tile bigger than this is shown but not kept (no map tile is this large;
  // an error page or a photo might be).
  const MAX_TILE_BYTES = 1024 * 1024;
  // A tile kept for less than this is shown without asking the server again:
  // fewer requests to the server, as its usage rules ask of applications.
  const FRESH_MS = 7 * 24 * 3600 * 1000;

  const PLACEHOLDERS = new Set(['s', 'z', 'x', 'y', '-y', 'r']);

  // The template if Leaflet can fill it and it names an http(s) server,
  // otherwise null. Leaflet throws on a placeholder it has no value for, and
  // a template without {z}, {x} and a y would show one tile everywhere.
  function checkTemplate(value) {
    if (typeof value !== 'string') return null;
    const template = value.trim();
    if (template === '' || template.length > 2048) return null;
    const names = [...template.matchAll(/\{([^{}]*)\}/g)].map((m) => m[1]);
    if (!names.every((n) => PLACEHOLDERS.has(n))) return null;
    if (!names.includes('z') || !names.includes('x') || !(names.includes('y') || names.includes('-y'))) return null;
    const sample = fillTemplate(template, { z: 0, x: 0, y: 0 });
    if (/[{}\s]/.test(sample)) return null;
    let url;
    try {
      url = new URL(sample);
    } catch (e) {
      return null;
    }
    // Written out: URL() reads "http:///x" as the host "x".
    if (!/^https?:\/\/[^/]/i.test(sample)) return null;
    if (url.protocol !== 'http:' && url.protocol !== 'https:') return null;
    if (url.hostname === '') return null;
    return template;
  }

  // The template from the native side (CamVault's CAMVAULT_TILE_URL), or the
  // default when none came or it cannot be used.
  function chooseTemplate(value) {
    return checkTemplate(value) || DEFAULT_TEMPLATE;
  }

  // One tile's URL, as Leaflet fills it without retina tiles ({r} empty) and
  // with the first subdomain.
  function fillTemplate(template, { z, x, y }) {
    const values = { s: 'a', z, x, y, '-y': Math.pow(2, z) - 1 - y, r: '' };
    return template.replace(/\{([^{}]*)\}/g, (whole, name) =>
      Object.prototype.hasOwnProperty.call(values, name) ? String(values[name]) : whole,
    );
  }

  // The key a tile is kept under: the same for every subdomain, different
  // for another server or another style.
  function tileKey(template, { z, x, y }) {
    return `${template}#${z}/${x}/${y}`;
  }

  function isFresh(entry, now) {
    return !!entry && now - entry.stored >= 0 && now - entry.stored < FRESH_MS;
  }

  function storable(size) {
    return Number.isFinite(size) && size > 0 && size <= MAX_TILE_BYTES;
  }

  // The keys to drop so that `entries` ({key, size, used}) keep within
  // `bound`: the least recently shown first, so the places driven most stay.
  function evictionPlan(entries, bound = BOUND) {
    let bytes = 0;
    for (const e of entries) bytes += e.size;
    let count = entries.length;
    if (bytes <= bound.maxBytes && count <= bound.maxTiles) return [];
    const oldestFirst = [...entries].sort((a, b) => a.used - b.used || (a.key < b.key ? -1 : a.key > b.key ? 1 : 0));
    const drop = [];
    for (const e of oldestFirst) {
      if (bytes <= bound.maxBytes && count <= bound.maxTiles) break;
      drop.push(e.key);
      bytes -= e.size;
      count -= 1;
    }
    return drop;
  }

  // The store: `tiles` holds the bytes, `entries` what the bound needs (size,
  // when stored, when last shown), read whole at the start without the bytes.
  const DB_NAME = 'camvault-map-tiles';
  const DB_VERSION = 1;

  function request(r) {
    return new Promise((resolve, reject) => {
      r.onsuccess = () => resolve(r.result);
      r.onerror = () => reject(r.error);
    });
  }

  function done(tx) {
    return new Promise((resolve, reject) => {
      tx.oncomplete = () => resolve();
      tx.onerror = tx.onabort = () => reject(tx.error || new Error('transaction aborted'));
    });
  }

  // A store on `indexedDB`; every method answers null or false rather than
  // failing when the engine refuses storage, so the map just shows less.
  function openTileStore(indexedDB, bound = BOUND, now = () => Date.now()) {
    const entries = new Map();
    let bytes = 0;
    const opened = (async () => {
      if (!indexedDB) return null;
      const open = indexedDB.open(DB_NAME, DB_VERSION);
      open.onupgradeneeded = () => {
        const db = open.result;
        if (!db.objectStoreNames.contains('tiles')) db.createObjectStore('tiles', { keyPath: 'key' });
        if (!db.objectStoreNames.contains('entries')) db.createObjectStore('entries', { keyPath: 'key' });
      };
      const db = await request(open);
      const all = await request(db.transaction('entries').objectStore('entries').getAll());
      for (const e of all) {
        entries.set(e.key, e);
        bytes += e.size;
      }
      return db;
    })().catch((e) => {
      console.warn('map tiles are not kept: ' + (e && e.message));
      return null;
    });

    async function remove(db, keys) {
      if (keys.length === 0) return;
      const tx = db.transaction(['tiles', 'entries'], 'readwrite');
      for (const key of keys) {
        tx.objectStore('tiles').delete(key);
        tx.objectStore('entries').delete(key);
        const e = entries.get(key);
        if (e) bytes -= e.size;
        entries.delete(key);
      }
      await done(tx);
    }

    return {
      ready: () => opened.then((db) => db !== null),
      entry: (key) => entries.get(key) || null,
      size: () => ({ tiles: entries.size, bytes }),
      // { data: ArrayBuffer, type } or null; marks the tile as shown now.
      async get(key) {
        const db = await opened;
        if (!db || !entries.has(key)) return null;
        try {
          const tx = db.transaction(['tiles', 'entries'], 'readwrite');
          const tile = await request(tx.objectStore('tiles').get(key));
          const e = entries.get(key);
          if (!tile || !e) return null;
          e.used = now();
          tx.objectStore('entries').put(e);
          await done(tx);
          return tile;
        } catch (err) {
          return null;
        }
      },
      async put(key, data, type) {
        const db = await opened;
        if (!db || !storable(data.byteLength)) return false;
        try {
          const time = now();
          const old = entries.get(key);
          const e = { key, size: data.byteLength, stored: time, used: time };
          const tx = db.transaction(['tiles', 'entries'], 'readwrite');
          tx.objectStore('tiles').put({ key, data, type });
          tx.objectStore('entries').put(e);
          await done(tx);
          if (old) bytes -= old.size;
          entries.set(key, e);
          bytes += e.size;
          await remove(db, evictionPlan([...entries.values()], bound));
          return entries.has(key);
        } catch (err) {
          return false;
        }
      },
    };
  }

  return {
    DEFAULT_TEMPLATE,
    BOUND,
    MAX_TILE_BYTES,
    FRESH_MS,
    checkTemplate,
    chooseTemplate,
    fillTemplate,
    tileKey,
    isFresh,
    storable,
    evictionPlan,
    openTileStore,
  };
});
