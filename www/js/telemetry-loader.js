// Loads each clip's telemetry script file into the page's `data` table, read off the main thread, and reads each clip's length.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) {
    module.exports = factory(require('./telemetry.js'), require('./telemetry-reader.js'), require('./commands.js'));
  } else {
    const CV = root.CamVault;
    CV.telemetryLoader = factory(CV.telemetry, CV.telemetryReader, CV.commands);
  }
})(this, function (telemetry, telemetryReader, commands) {
  'use strict';

  // The name of the entry a script file filled for a clip, given the table's
  // entries from before it ran: the clip's own, else (the file names its clip
  // differently: another card's clip of the same name was imported first)
  // the one entry the file changed; null when there is none.
  function entryAfterScript(table, before, clipName) {
    if (telemetry.extractRecords(table, clipName).length > 0) return clipName;
    const changed = Object.keys(table).filter((k) => table[k] !== before.get(k));
    return changed.length === 1 ? changed[0] : null;
  }

  function recordsAfterScript(table, before, clipName) {
    const name = entryAfterScript(table, before, clipName);
    return name === null ? [] : telemetry.extractRecords(table, name);
  }

  // The same rule for a file that was read as text: `file.entries` maps each
  // name the file wrote to { value, records }; `earlier(name)` gives the
  // records the table held under a name the file did not write.
  function entryOfFile(file, clipName, earlier) {
    const own = file.entries.get(clipName);
    if (own ? own.records.length > 0 : earlier(clipName).length > 0) return clipName;
    return file.entries.size === 1 ? [...file.entries.keys()][0] : null;
  }

  // Puts what a file wrote into the page's tables (the entries whole, so the
  // table never holds half an entry) and returns { name, records } of the
  // entry the clip takes (name null: none).
  function applyFile(table, cutTable, file, clipName, earlier) {
    for (const [name, entry] of file.entries) {
      table[name] = entry.value;
      if (Object.prototype.hasOwnProperty.call(file.cut, name)) cutTable[name] = file.cut[name];
      else delete cutTable[name];
    }
    for (const name of Object.keys(file.cut)) cutTable[name] = file.cut[name];
    const name = entryOfFile(file, clipName, earlier);
    if (name === null) return { name: null, records: [] };
    const entry = file.entries.get(name);
    return { name, records: entry ? entry.records : earlier(name) };
  }

  const NO_FILE = () => ({ entries: new Map(), written: [], cut: {} });

  // Collects a worker's batches into { entries, written, cut }.
  function collectBatch(file, message) {
    let entry = file.entries.get(message.name);
    if (message.first || !entry) {
      entry = { value: message.kind === 'array' ? [] : {}, records: [] };
      file.entries.set(message.name, entry);
    }
    const { keys, values, records } = message;
    for (let i = 0; i < keys.length; i++) entry.value[keys[i]] = values[i];
    for (let i = 0; i < records.length; i++) entry.records.push(records[i]);
  }

  // Reading through the worker. read(url) -> Promise<file>; it rejects with
  // `unusable` set when the worker itself could not run (its script did not
  // load), so the caller can read some other way.
  function createWorkerSource(makeWorker, started = null) {
    let worker = null;
    let answered = false;
    let nextId = 1;
    const jobs = new Map(); // id -> { file, resolve, reject }

    function onMessage(event) {
      const m = event.data || {};
      const job = jobs.get(m.id);
      answered = true;
      if (!job) return;
      if (m.type === 'entry') {
        collectBatch(job.file, m);
      } else if (m.type === 'done') {
        jobs.delete(m.id);
        job.file.written = m.written || [];
        job.file.cut = m.cut || {};
        job.resolve(job.file);
      } else if (m.type === 'failed') {
        // An unreadable file has no telemetry, as a script that failed to load.
        jobs.delete(m.id);
        job.resolve(NO_FILE());
      }
    }

    function onError(event) {
      if (event && event.preventDefault) event.preventDefault();
      const error = new Error('the telemetry worker stopped');
      error.unusable = !answered;
      worker.terminate();
      worker = null;
      const pending = [...jobs.values()];
      jobs.clear();
      pending.forEach((job) => job.reject(error));
    }

    function read(url) {
      if (!worker) {
        try {
          worker = started || makeWorker();
        } catch (e) {
          return Promise.reject(Object.assign(new Error('no telemetry worker'), { unusable: true }));
        }
        started = null;
        worker.onmessage = onMessage;
        worker.onerror = onError;
      }
      const id = nextId++;
      return new Promise((resolve, reject) => {
        jobs.set(id, { file: { entries: new Map(), written: [], cut: {} }, resolve, reject });
        worker.postMessage({ id, url });
      });
    }

    return { read };
  }

  const SLICE_MS = 10;
  const DECODE_BYTES = 1 << 20;
  const nextTask = () => new Promise((resolve) => setTimeout(resolve, 0));

  // Reading on the page's main thread, where no worker can run: the text is
  // read in slices of at most SLICE_MS with a task boundary between them, so
  // input is still answered meanwhile.
  // A file that cannot be read, or breaks off, has no telemetry (as a script
  // that failed to load).
  function readOnPage(url, fetchImpl) {
    return readSlicesOnPage(url, fetchImpl).catch(() => NO_FILE());
  }

  async function readSlicesOnPage(url, fetchImpl) {
    const reader = telemetryReader.createReader();
    let sliceStart = Date.now();
    const overBudget = () => Date.now() - sliceStart > SLICE_MS;
    const readSliced = async (text) => {
      let pos = 0;
      while ((pos = reader.read(text, pos, overBudget)) < text.length) {
        await nextTask();
        sliceStart = Date.now();
      }
    };
    const response = await fetchImpl(url);
    if (!response.ok && response.status !== 0) return NO_FILE();
    if (response.body && typeof response.body.getReader === 'function' && typeof TextDecoder === 'function') {
      const stream = response.body.getReader();
      const decoder = new TextDecoder();
      for (;;) {
        const { done, value } = await stream.read();
        if (done) break;
        // A file URL may hand over the whole file as one piece: it is
        // decoded a megabyte at a time.
        for (let at = 0; at < value.length; at += DECODE_BYTES) {
          const text = decoder.decode(value.subarray(at, at + DECODE_BYTES), { stream: true });
          await readSliced(reader.take(text));
          if (overBudget()) {
            await nextTask();
            sliceStart = Date.now();
          }
        }
      }
      await readSliced(reader.take(decoder.decode()));
    } else {
      await readSliced(reader.take(await response.text()));
    }
    await readSliced(reader.takeRest());
    const result = reader.result();
    const file = { entries: new Map(), written: result.written, cut: result.cut };
    for (const name of result.written) {
      const value = result.table[name];
      const keys = Object.keys(value);
      const records = [];
      for (let from = 0; from < keys.length; from += 500) {
        if (overBudget()) {
          await nextTask();
          sliceStart = Date.now();
        }
        telemetry.appendRecords(records, value, keys, from, Math.min(keys.length, from + 500));
      }
      file.entries.set(name, { value, records });
    }
    return file;
  }

  // How many clips' telemetry stays in the page: the clips shown lately.
  // A library of a thousand clips never holds more than these.
  const CACHED_CLIPS = 12;

  // runScript(clip) -> Promise<records>, probeVideo(clip) -> Promise<seconds
  // or NaN>. Script files load one at a time, in the order asked for (the
  // clip on screen is asked for first), and each file once while it is among
  // the last `cached` asked for; forget(clip) drops an older one's records.
  function createLoader(runScript, probeVideo, cached = CACHED_CLIPS, forget = () => {}) {
    const telemetryCache = new Map(); // data path -> Promise<records[]>, oldest first
    let loadChain = Promise.resolve();
    const durations = new Map(); // clip path -> seconds (NaN: unreadable)
    let probeChain = Promise.resolve();

    function loadTelemetry(clip) {
      if (!clip.dataPath) return Promise.resolve([]);
      let job = telemetryCache.get(clip.dataPath);
      if (job) {
        telemetryCache.delete(clip.dataPath); // asked for again: the newest
      } else {
        job = loadChain.then(() => runScript(clip));
        loadChain = job.catch(() => {});
      }
      telemetryCache.set(clip.dataPath, job);
      while (telemetryCache.size > cached) {
        const [oldest, dropped] = telemetryCache.entries().next().value;
        telemetryCache.delete(oldest);
        dropped.then(() => forget(oldest), () => forget(oldest));
      }
      return job;
    }

    // A failed probe keeps a length the player has read meanwhile.
    function probeDuration(clip) {
      if (durations.has(clip.path)) return Promise.resolve(durations.get(clip.path));
      const job = probeChain.then(() =>
        probeVideo(clip).then((value) => {
          if (!durations.has(clip.path) || Number.isFinite(value)) durations.set(clip.path, value);
          return durations.get(clip.path);
        }),
      );
      probeChain = job;
      return job;
    }

    return { loadTelemetry, probeDuration, durations };
  }

  // The last way to read telemetry, for a view that refuses file reads from
  // file URLs (CamVault's own view allows them): the file runs as a script
  // on the main thread, as the page once loaded every file.
  function runTelemetryScript(doc, table, clip) {
    return new Promise((resolve) => {
      const before = new Map(Object.entries(table()));
      const script = doc.createElement('script');
      script.onload = () => {
        script.remove();
        const name = entryAfterScript(table(), before, clip.key || clip.name);
        resolve({ name, records: name === null ? [] : telemetry.extractRecords(table(), name) });
      };
      script.onerror = () => {
        script.remove();
        resolve({ name: null, records: [] });
      };
      script.src = commands.fileUrl(clip.dataPath);
      doc.head.appendChild(script);
    });
  }

  // Which way files are read: 'worker'; 'script' where the view refuses a
  // worker from a file URL for want of file access (it then refuses fetch of
  // file URLs too); 'page' where there is no worker.
  function chooseMode(makeWorker) {
    if (typeof makeWorker !== 'function') return { mode: 'page' };
    try {
      return { mode: 'worker', worker: makeWorker() };
    } catch (e) {
      return { mode: e && e.name === 'SecurityError' ? 'script' : 'page' };
    }
  }

  // The clip's length, read from the movie's header by a hidden player.
  // `mayOpen(clip)` -> Promise<boolean>: a clip that cannot be opened is never
  // handed to a video element.
  function readDuration(doc, clip, mayOpen) {
    return mayOpen(clip).then(
      (open) =>
        new Promise((resolve) => {
          if (!open) return resolve(NaN);
          const v = doc.createElement('video');
          v.preload = 'metadata';
          v.muted = true;
          let timer = 0;
          const done = (value) => {
            clearTimeout(timer);
            v.onloadedmetadata = v.onerror = null;
            v.removeAttribute('src');
            v.load();
            resolve(value);
          };
          timer = setTimeout(() => done(NaN), 8000);
          v.onloadedmetadata = () => done(v.duration);
          v.onerror = () => done(NaN);
          v.src = commands.fileUrl(clip.path);
        }),
    );
  }

  // table() returns the global `data` the files fill, cutTable() the global
  // `data_cut`; options.makeWorker() starts the worker (absent: none),
  // options.mayOpen(clip) tells whether a movie may be opened.
  function create(doc, table, cutTable, options = {}) {
    const cuts = new Map(); // data path -> records count the file was cut at
    const earlierRecords = new Map(); // entry name -> records, as last read
    const mayOpen = options.mayOpen || (() => Promise.resolve(true));
    const fetchImpl = options.fetch || ((url) => fetch(url));
    let chosen = null;
    let workerSource = null;

    const earlier = (name) => earlierRecords.get(name) || telemetry.extractRecords(table(), name);

    // Decided at the first file, when the page has loaded.
    function decideMode() {
      if (chosen) return;
      chosen = chooseMode(options.makeWorker);
      if (chosen.mode === 'worker') workerSource = createWorkerSource(options.makeWorker, chosen.worker);
    }

    function readFile(url) {
      if (chosen.mode !== 'worker') return readOnPage(url, fetchImpl);
      return workerSource.read(url).catch((error) => {
        if (!error.unusable) return NO_FILE();
        chosen = { mode: 'page' };
        return readOnPage(url, fetchImpl);
      });
    }

    function load(clip) {
      const url = commands.fileUrl(clip.dataPath);
      const taken = () =>
        chosen.mode === 'script'
          ? runTelemetryScript(doc, table, clip)
          : readFile(url).then((file) => {
              const out = applyFile(table(), cutTable(), file, clip.key || clip.name, earlier);
              for (const [name, entry] of file.entries) earlierRecords.set(name, entry.records);
              return out;
            });
      decideMode();
      return Promise.resolve()
        .then(taken)
        .catch(() => ({ name: null, records: [] }))
        .then(({ name, records }) => {
          remember(clip, name);
          const cut = name === null ? NaN : Number(cutTable()[name]);
          if (cut > 0) cuts.set(clip.dataPath, cut);
          else cuts.delete(clip.dataPath);
          return records;
        });
    }

    const entryOfPath = new Map(); // data path -> the entry its file filled
    const remember = (clip, name) => {
      if (name !== null) entryOfPath.set(clip.dataPath, name);
    };
    // An older clip's records leave the page's table with its cache entry.
    const forget = (dataPath) => {
      const name = entryOfPath.get(dataPath);
      entryOfPath.delete(dataPath);
      if (name === undefined) return;
      delete table()[name];
      earlierRecords.delete(name);
      cuts.delete(dataPath);
    };
    const loader = createLoader(
      (clip) => load(clip),
      (clip) => readDuration(doc, clip, mayOpen),
      options.cachedClips || CACHED_CLIPS,
      forget,
    );
    // The records count a clip's telemetry was cut at, or undefined.
    loader.cutOf = (clip) => (clip && clip.dataPath ? cuts.get(clip.dataPath) : undefined);
    loader.mode = () => (chosen ? chosen.mode : 'undecided');
    return loader;
  }

  return {
    entryAfterScript,
    recordsAfterScript,
    entryOfFile,
    applyFile,
    collectBatch,
    createWorkerSource,
    readOnPage,
    chooseMode,
    createLoader,
    create,
  };
});
