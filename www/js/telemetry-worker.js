// The telemetry worker: reads one telemetry script file at a time off the page's main thread and hands the page its entries in batches.
// Request: { id, url }. Answers, in order: { id, type: 'entry', name, kind,
// first, keys, values, records } for each slice of each entry the file
// wrote, then { id, type: 'done', written, cut, skipped } or
// { id, type: 'failed', error }.
/* global importScripts, CamVault */
importScripts('telemetry.js', 'telemetry-reader.js');

// A batch is taken apart on the page's main thread in one task: small
// enough to stay far below a frame there.
const BATCH = 2000;

async function readInto(reader, url) {
  const response = await fetch(url);
  // File URLs answer with status 0.
  if (!response.ok && response.status !== 0) throw new Error('status ' + response.status);
  if (response.body && typeof response.body.getReader === 'function' && typeof TextDecoder === 'function') {
    // Streamed: the file's text is never held whole.
    const stream = response.body.getReader();
    const decoder = new TextDecoder();
    for (;;) {
      const { done, value } = await stream.read();
      if (done) break;
      reader.feed(decoder.decode(value, { stream: true }));
    }
    reader.feed(decoder.decode());
  } else {
    reader.feed(await response.text());
  }
}

function post(id, result) {
  const { telemetry } = CamVault;
  for (const name of result.written) {
    const entry = result.table[name];
    const isObject = entry !== null && typeof entry === 'object';
    const keys = isObject ? Object.keys(entry) : [];
    const kind = Array.isArray(entry) ? 'array' : 'object';
    let first = true;
    for (let from = 0; first || from < keys.length; from += BATCH) {
      const to = Math.min(keys.length, from + BATCH);
      const slice = keys.slice(from, to);
      self.postMessage({
        id,
        type: 'entry',
        name,
        kind,
        first,
        keys: slice,
        values: slice.map((k) => entry[k]),
        records: telemetry.appendRecords([], entry, keys, from, to),
      });
      first = false;
    }
  }
  self.postMessage({ id, type: 'done', written: result.written, cut: result.cut, skipped: result.skipped });
}

self.onmessage = async (event) => {
  const { id, url } = event.data || {};
  try {
    const reader = CamVault.telemetryReader.createReader();
    await readInto(reader, url);
    post(id, reader.end());
  } catch (error) {
    self.postMessage({ id, type: 'failed', error: String((error && error.message) || error) });
  }
};
