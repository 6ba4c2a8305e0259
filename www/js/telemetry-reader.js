// Reads a telemetry script file's text into the table its statements would fill, without running it (Node-testable, also run in the worker).
// A script file is a run of statements of a few fixed forms:
//   data['A.MOV']=new Array();
//   data["A.MOV"]["2017/05/21 13:05:56.5"]=new Array();
//   data["A.MOV"]["2017/05/21 13:05:56.5"]={'speed':"30.000000",...,'lbs':"..."};
//   data_cut['A.MOV']=100000;
// Reading them as text, instead of running the file as a script, lets a
// worker do the work off the page's main thread, and a file cannot run code.
// The statements are scanned character by character: one regular expression
// for the whole statement was twelve times slower than this in WebKit.
(function (root, factory) {
  if (typeof module === 'object' && module.exports) {
    module.exports = factory(require('./telemetry.js'));
  } else {
    root.CamVault = root.CamVault || {};
    root.CamVault.telemetryReader = factory(root.CamVault.telemetry);
  }
})(this, function (telemetry) {
  'use strict';

  const ESCAPE = /\\(?:u\{([0-9a-fA-F]{1,6})\}|u([0-9a-fA-F]{4})|x([0-9a-fA-F]{2})|([^]))/g;
  const SIMPLE_ESCAPES = { n: '\n', r: '\r', t: '\t', b: '\b', f: '\f', v: '\v', 0: '\0' };

  // The text a string literal's body (between its quotes) stands for.
  function unescapeBody(body) {
    if (body.indexOf('\\') < 0) return body;
    return body.replace(ESCAPE, (all, braced, u4, x2, other) => {
      if (braced !== undefined) return String.fromCodePoint(Math.min(parseInt(braced, 16), 0x10ffff));
      if (u4 !== undefined) return String.fromCharCode(parseInt(u4, 16));
      if (x2 !== undefined) return String.fromCharCode(parseInt(x2, 16));
      return Object.prototype.hasOwnProperty.call(SIMPLE_ESCAPES, other) ? SIMPLE_ESCAPES[other] : other;
    });
  }

  // The text a string literal stands for (quotes included in `literal`).
  function unquote(literal) {
    return unescapeBody(literal.slice(1, -1));
  }

  // JavaScript's white space within a line (a file may start with a BOM).
  function isSpace(c) {
    return c === 32 || c === 9 || c === 13 || c === 11 || c === 12 || c === 0xa0 || c === 0xfeff;
  }
  const isDigit = (c) => c >= 48 && c <= 57;
  const isIdentifierStart = (c) => (c >= 65 && c <= 90) || (c >= 97 && c <= 122) || c === 95 || c === 36;
  const isIdentifierPart = (c) => isIdentifierStart(c) || isDigit(c);

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

    // The scanner works on text s up to the end of the current line, e; each
    // step returns the index after what it read, or -1 when the text there
    // is not what the statement needs. A literal's value goes to `value`.
    let s = '';
    let e = 0;
    let value = '';

    function space(i) {
      while (i < e && isSpace(s.charCodeAt(i))) i++;
      return i;
    }

    function expect(i, code) {
      i = space(i);
      return i < e && s.charCodeAt(i) === code ? i + 1 : -1;
    }

    function word(i, text) {
      return s.startsWith(text, i) && i + text.length <= e ? i + text.length : -1;
    }

    function string(i) {
      i = space(i);
      const quote = s.charCodeAt(i);
      if (i >= e || (quote !== 34 && quote !== 39)) return -1;
      const q = quote === 34 ? '"' : "'";
      let from = i + 1;
      for (;;) {
        const close = s.indexOf(q, from);
        if (close < 0 || close >= e) return -1;
        let b = close - 1;
        while (s.charCodeAt(b) === 92) b--;
        // An even run of backslashes before the quote escapes none of it.
        if ((close - 1 - b) % 2 === 0) {
          value = unescapeBody(s.slice(i + 1, close));
          return close + 1;
        }
        from = close + 1;
      }
    }

    // An entry name: every record line names its clip twice, so the last
    // name read is taken again without being cut out and unescaped anew.
    let lastName = null;
    let lastNameBody = '';
    let lastNameQuote = 0;
    function entryName(i) {
      i = space(i);
      const quote = s.charCodeAt(i);
      const close = i + 1 + lastNameBody.length;
      if (lastName !== null && quote === lastNameQuote && close < e && s.charCodeAt(close) === quote && s.startsWith(lastNameBody, i + 1)) {
        value = lastName;
        return close + 1;
      }
      const next = string(i);
      if (next >= 0) {
        lastName = value;
        lastNameBody = s.slice(i + 1, next - 1);
        lastNameQuote = quote;
      }
      return next;
    }

    function number(i) {
      i = space(i);
      const start = i;
      if (s.charCodeAt(i) === 45) i++;
      const digitsFrom = i;
      while (i < e && isDigit(s.charCodeAt(i))) i++;
      if (i < e && s.charCodeAt(i) === 46) {
        i++;
        while (i < e && isDigit(s.charCodeAt(i))) i++;
      }
      if (i === digitsFrom || (i === digitsFrom + 1 && s.charCodeAt(digitsFrom) === 46)) return -1;
      if (i < e && (s.charCodeAt(i) | 32) === 101) {
        let j = i + 1;
        if (j < e && (s.charCodeAt(j) === 43 || s.charCodeAt(j) === 45)) j++;
        const expFrom = j;
        while (j < e && isDigit(s.charCodeAt(j))) j++;
        if (j > expFrom) i = j;
      }
      value = Number(s.slice(start, i));
      return i;
    }

    function propertyName(i) {
      i = space(i);
      const c = s.charCodeAt(i);
      if (c === 34 || c === 39) return string(i);
      if (i >= e || !isIdentifierStart(c)) return -1;
      const start = i;
      while (i < e && isIdentifierPart(s.charCodeAt(i))) i++;
      value = s.slice(start, i);
      return i;
    }

    // {'speed':"30.000000",...}: string and number values.
    function object(i, out) {
      i = expect(i, 123);
      if (i < 0) return -1;
      for (;;) {
        const close = expect(i, 125);
        if (close >= 0) return close;
        i = propertyName(i);
        if (i < 0) return -1;
        const name = value;
        i = expect(i, 58);
        if (i < 0) return -1;
        const at = space(i);
        const c = s.charCodeAt(at);
        i = c === 34 || c === 39 ? string(at) : number(at);
        if (i < 0) return -1;
        // In a literal, __proto__ with a string value changes nothing.
        if (name !== '__proto__') out[name] = value;
        const comma = expect(i, 44);
        if (comma >= 0) i = comma;
        else if (expect(i, 125) < 0) return -1;
      }
    }

    // new Array()
    function newArray(i) {
      i = word(space(i), 'new');
      if (i < 0 || !isSpace(s.charCodeAt(i))) return -1;
      i = word(space(i), 'Array');
      if (i < 0) return -1;
      i = expect(i, 40);
      return i < 0 ? -1 : expect(i, 41);
    }

    // One statement from i; applies it and returns the index after it.
    function statement(i) {
      i = word(space(i), 'data');
      if (i < 0) return -1;
      let cutStatement = false;
      if (s.startsWith('_cut', i)) {
        cutStatement = true;
        i += 4;
      }
      i = expect(i, 91);
      if (i >= 0) i = entryName(i);
      if (i >= 0) i = expect(i, 93);
      if (i < 0) return -1;
      const name = value;
      let key = null;
      let assigned;
      if (cutStatement) {
        i = expect(i, 61);
        if (i < 0) return -1;
        const from = space(i);
        i = from;
        while (i < e && isDigit(s.charCodeAt(i))) i++;
        if (i === from) return -1;
        assigned = Number(s.slice(from, i));
      } else {
        const open = expect(i, 91);
        if (open >= 0) {
          i = string(open);
          if (i >= 0) i = expect(i, 93);
          if (i < 0) return -1;
          key = value;
        }
        i = expect(i, 61);
        if (i < 0) return -1;
        const at = space(i);
        if (s.charCodeAt(at) === 123) {
          assigned = {};
          i = object(at, assigned);
        } else {
          assigned = [];
          i = newArray(at);
        }
        if (i < 0) return -1;
      }
      // A statement ends with ';' or, without one, at the end of its line.
      i = space(i);
      if (i < e && s.charCodeAt(i) === 59) i++;
      else if (i < e) return -1;
      apply(cutStatement, name, key, assigned);
      return i;
    }

    function apply(cutStatement, name, key, assigned) {
      if (refusedName(name)) return;
      if (cutStatement) {
        cut[name] = assigned;
      } else if (key === null) {
        table[name] = assigned;
        written.add(name);
      } else if (!refusedKey(key)) {
        if (!Object.prototype.hasOwnProperty.call(table, name) || table[name] === null || typeof table[name] !== 'object') {
          table[name] = [];
        }
        written.add(name);
        table[name][key] = assigned;
      }
    }

    // Reads the statements of `text` from `from` on; stops early, between two
    // statements, once `stop()` returns true (asked every 256 statements).
    // Returns where it stopped: text.length when it read everything.
    function read(text, from = 0, stop = null) {
      const end = text.length;
      let pos = from;
      let count = 0;
      s = text;
      while (pos < end) {
        const nl = text.indexOf('\n', pos);
        e = nl < 0 ? end : nl;
        for (;;) {
          pos = space(pos);
          if (pos >= e) break;
          if (stop && (++count & 255) === 0 && stop()) {
            s = '';
            return pos;
          }
          const next = statement(pos);
          if (next < 0) {
            skipped++;
            break;
          }
          pos = next;
        }
        pos = e + 1;
      }
      s = '';
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
