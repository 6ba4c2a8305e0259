// Reads a telemetry script file's text into the table its statements would fill, without running it (Node-testable, also run in the worker).
// A script file is a run of statements of a few fixed forms:
//   data['A.MOV']=new Array();
//   data["A.MOV"]["2017/05/21 13:05:56.5"]=new Array();
//   data["A.MOV"]["2017/05/21 13:05:56.5"]={'speed':"30.000000",...,'lbs':"..."};
//   data_cut['A.MOV']=100000;
// Reading them as text, instead of running the file as a script, lets a
// worker do the work off the page's main thread, and a file cannot run code.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) {
    module.exports = factory(require('./telemetry.js'));
  } else {
    root.CamVault = root.CamVault || {};
    root.CamVault.telemetryReader = factory(root.CamVault.telemetry);
  }
})(this, function (telemetry) {
  'use strict';

  // JavaScript string literals as the extractor writes them (either quote,
  // backslash escapes), never across a line.
  const STR = String.raw`'(?:[^'\\\n\r]|\\.)*'|"(?:[^"\\\n\r]|\\.)*"`;
  const NUMBER = String.raw`-?(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?`;
  const PROPERTY = `(?:${STR}|[A-Za-z_$][\\w$]*)`;
  const VALUE = `(?:${STR}|${NUMBER})`;
  const PAIR = String.raw`${PROPERTY}\s*:\s*${VALUE}`;
  const OBJECT = String.raw`\{\s*(?:${PAIR}(?:\s*,\s*${PAIR})*\s*,?)?\s*\}`;
  // Groups: 1 entry name, 2 record key, 3 object literal (else new Array()),
  // 4 name of a data_cut statement, 5 its count.
  const STATEMENT = new RegExp(
    String.raw`\s*(?:data\s*\[\s*(${STR})\s*\](?:\s*\[\s*(${STR})\s*\])?\s*=\s*(?:new\s+Array\s*\(\s*\)|(${OBJECT}))` +
      String.raw`|data_cut\s*\[\s*(${STR})\s*\]\s*=\s*(\d+))[ \t]*(?:;|(?=[\r\n]|$))`,
    'y',
  );
  const PAIRS = new RegExp(String.raw`(${PROPERTY})\s*:\s*(${VALUE})`, 'g');
  const ESCAPE = /\\(?:u\{([0-9a-fA-F]{1,6})\}|u([0-9a-fA-F]{4})|x([0-9a-fA-F]{2})|([^]))/g;
  const SIMPLE_ESCAPES = { n: '\n', r: '\r', t: '\t', b: '\b', f: '\f', v: '\v', 0: '\0' };

  // The text a string literal stands for (quotes included in `literal`).
  function unquote(literal) {
    const body = literal.slice(1, -1);
    if (body.indexOf('\\') < 0) return body;
    return body.replace(ESCAPE, (all, braced, u4, x2, other) => {
      if (braced !== undefined) return String.fromCodePoint(Math.min(parseInt(braced, 16), 0x10ffff));
      if (u4 !== undefined) return String.fromCharCode(parseInt(u4, 16));
      if (x2 !== undefined) return String.fromCharCode(parseInt(x2, 16));
      return Object.prototype.hasOwnProperty.call(SIMPLE_ESCAPES, other) ? SIMPLE_ESCAPES[other] : other;
    });
  }

  function propertyName(text) {
    return text[0] === '"' || text[0] === "'" ? unquote(text) : text;
  }

  // An object literal of string and number values, as the script would make it.
  function objectOf(literal) {
    const object = {};
    PAIRS.lastIndex = 0;
    let m;
    while ((m = PAIRS.exec(literal)) !== null) {
      const name = propertyName(m[1]);
      // In a literal, __proto__ with a string value changes nothing.
      if (name === '__proto__') continue;
      const v = m[2];
      object[name] = v[0] === '"' || v[0] === "'" ? unquote(v) : Number(v);
    }
    return object;
  }

  // Names a statement could not assign without breaking the table itself
  // (the old script would have thrown there or changed a prototype).
  const refusedName = (name) => name === '__proto__';
  const refusedKey = (key) => key === '__proto__' || key === 'length';

  // Reads statements into `table` (name -> entry, as the global `data`
  // holds them). Differences from running the file: a statement of any other
  // form is skipped with the rest of its line (counted in `skipped`) instead
  // of stopping the file or, as a syntax error, voiding all of it; and a
  // record line for a clip whose `data[...]=new Array()` line is missing
  // starts that clip's entry instead of throwing.
  function createReader() {
    const table = {};
    const written = new Set(); // entry names in the order the file wrote them
    const cut = {}; // data_cut entries
    let skipped = 0;
    let rest = ''; // text after the last complete line fed

    function entryFor(name) {
      if (!Object.prototype.hasOwnProperty.call(table, name) || table[name] === null || typeof table[name] !== 'object') {
        table[name] = [];
      }
      written.add(name);
      return table[name];
    }

    function apply(m) {
      if (m[4] !== undefined) {
        const name = unquote(m[4]);
        if (!refusedName(name)) cut[name] = Number(m[5]);
        return;
      }
      const name = unquote(m[1]);
      if (refusedName(name)) return;
      const value = m[3] !== undefined ? objectOf(m[3]) : [];
      if (m[2] === undefined) {
        table[name] = value;
        written.add(name);
        return;
      }
      const key = unquote(m[2]);
      if (!refusedKey(key)) entryFor(name)[key] = value;
    }

    // Reads the statements of `text` from `from` on; stops early, between two
    // statements, once `stop()` returns true (asked every 256 statements).
    // Returns where it stopped: text.length when it read everything.
    function read(text, from = 0, stop = null) {
      let pos = from;
      let count = 0;
      const end = text.length;
      while (pos < end) {
        if (stop && (++count & 255) === 0 && stop()) return pos;
        STATEMENT.lastIndex = pos;
        const m = STATEMENT.exec(text);
        if (m !== null) {
          apply(m);
          pos = STATEMENT.lastIndex;
          continue;
        }
        while (pos < end && /\s/.test(text[pos])) pos++;
        if (pos >= end) break;
        skipped++;
        const nl = text.indexOf('\n', pos);
        pos = nl < 0 ? end : nl + 1;
      }
      return end;
    }

    // Streamed text: the whole lines that arrived with `chunk` (no statement
    // spans two lines); the partial last line waits for the rest of it.
    function take(chunk) {
      const text = rest + chunk;
      const nl = text.lastIndexOf('\n');
      if (nl < 0) {
        rest = text;
        return '';
      }
      rest = text.slice(nl + 1);
      return text.slice(0, nl + 1);
    }

    // The partial line left when the text ended.
    function takeRest() {
      const text = rest;
      rest = '';
      return text;
    }

    function feed(chunk) {
      read(take(chunk));
    }

    function result() {
      return { table, written: [...written], cut, skipped };
    }

    function end() {
      read(takeRest());
      return result();
    }

    return { read, take, takeRest, feed, end, result };
  }

  // All of a script text at once: { table, written, cut, skipped }.
  function readScript(text) {
    const reader = createReader();
    reader.read(String(text));
    return reader.end();
  }

  // The records of each entry the file wrote, as extractRecords reads them.
  function recordsByName(result) {
    const out = new Map();
    for (const name of result.written) out.set(name, telemetry.extractRecords(result.table, name));
    return out;
  }

  return { unquote, createReader, readScript, recordsByName };
});
