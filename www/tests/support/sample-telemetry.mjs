// Writes telemetry script files in the exact form CamVault's extractor
// writes them, for the page tests: a header line, then one record line per
// tenth of a second along a made-up drive.
import { writeFileSync } from 'node:fs';

function pad(n) {
  return String(n).padStart(2, '0');
}

// "2017/05/21 13:05:56.5": the second has one decimal and no leading zero.
export function recordKey(date) {
  const tenths = Math.round(date.getUTCMilliseconds() / 100);
  const second = (date.getUTCSeconds() + tenths / 10).toFixed(1);
  return (
    `${date.getUTCFullYear()}/${pad(date.getUTCMonth() + 1)}/${pad(date.getUTCDate())} ` +
    `${pad(date.getUTCHours())}:${pad(date.getUTCMinutes())}:${second}`
  );
}

function label(v) {
  const count = Math.round(v * 3600 * 100);
  const degrees = Math.trunc(count / 360000);
  const rest = Math.abs(count - degrees * 360000);
  return `${degrees}[ ${Math.floor(rest / 6000)}' ${Math.floor(rest / 100) % 60}.${pad(rest % 100)}:`;
}

// Text inside a JavaScript string literal, escaped as the extractor (and
// tests/telemetry/reference_script.py) escapes it.
export function jsText(text) {
  let out = '';
  for (const ch of String(text)) {
    const c = ch.codePointAt(0);
    if (ch === '\\' || ch === "'" || ch === '"') out += '\\' + ch;
    else if (ch === '\n') out += '\\n';
    else if (ch === '\r') out += '\\r';
    else if (ch === '\t') out += '\\t';
    else if (c < 0x20 || c === 0x7f) out += '\\x' + c.toString(16).padStart(2, '0');
    else if (c === 0x2028 || c === 0x2029) out += '\\u' + c.toString(16);
    else out += ch;
  }
  return out;
}

// records: [{ key, speed, degrees, lat, lon, x, y, z }]
export function telemetryScript(clipName, records) {
  const name = jsText(clipName);
  let text = `data['${name}']=new Array();`;
  for (const r of records) {
    text +=
      `data["${name}"]["${r.key}"]=new Array();data["${name}"]["${r.key}"]=` +
      `{'speed':"${r.speed.toFixed(6)}",'degrees':"${r.degrees.toFixed(2)}",'lat':"${r.lat.toFixed(7)}",` +
      `'lon':"${r.lon.toFixed(7)}",'x':"${r.x.toFixed(2)}",'y':"${r.y.toFixed(2)}",'z':"${r.z.toFixed(2)}",` +
      `'lbs':"${label(r.lat)},${label(r.lon)}"};\n`;
  }
  return text;
}

// A drive of `seconds` seconds starting at `start` (a Date, UTC fields used),
// heading north-east from (lat, lon) while the speed rises and falls.
export function sampleDrive({ seconds = 20, start = new Date(Date.UTC(2026, 5, 1, 9, 11, 0)), lat = 51.5074, lon = -3.1791 } = {}) {
  const records = [];
  let la = lat;
  let lo = lon;
  for (let i = 0; i < seconds * 10; i++) {
    const s = i / 10;
    const speed = 30 + 40 * Math.sin((Math.PI * s) / seconds); // km/h
    const heading = (45 + 60 * Math.sin(s / 5) + 360) % 360;
    const metres = (speed / 3.6) * 0.1;
    la += (metres * Math.cos((heading * Math.PI) / 180)) / 111320;
    lo += (metres * Math.sin((heading * Math.PI) / 180)) / (111320 * Math.cos((la * Math.PI) / 180));
    records.push({
      key: recordKey(new Date(start.getTime() + i * 100)),
      speed,
      degrees: heading,
      lat: la,
      lon: lo,
      x: 0.2 * Math.sin(s * 1.3),
      y: -0.98 + 0.05 * Math.cos(s * 2.1),
      z: 0.1 * Math.sin(s * 0.7),
    });
  }
  return records;
}

export function writeTelemetry(path, clipName, records) {
  writeFileSync(path, telemetryScript(clipName, records));
}

// node sample-telemetry.mjs OUT.data CLIP.MOV [seconds]
if (import.meta.url === `file://${process.argv[1]}`) {
  const [out, clip, seconds] = process.argv.slice(2);
  writeTelemetry(out, clip, sampleDrive({ seconds: Number(seconds) || 20 }));
}
