// The page inside CamVault itself: the native side imports generated clips,
// hands the page its listing and stores its settings; the page is driven
// through WebDriver while the app runs under Xvfb.
import test, { before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { mkdirSync, mkdtempSync, readFileSync, rmSync, openSync, closeSync, existsSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import vm from 'node:vm';
import { Browser, findDriver } from '../support/webdriver.mjs';

const app = process.env.CAMVAULT_APP;
const makeClip = process.env.CAMVAULT_MAKE_CLIP;
const canRun = Boolean(process.env.DISPLAY);
const skip = !canRun && 'needs a display';
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

let b;
let root;
let home;
let logPath;
let logFd;
let clip;
let noTelemetry;
let records; // [{ t, speed, lat, lon }] from the script file CamVault wrote

// The records as the page's table would hold them, with their time since the
// first record, read independently of the page's own code.
function readTelemetry(path, name) {
  const context = { data: {} };
  vm.runInNewContext(readFileSync(path, 'utf8'), context);
  const entry = context.data[name];
  const toMs = (key) => {
    const m = /^(\d+)\/(\d+)\/(\d+) (\d+):(\d+):([\d.]+)$/.exec(key);
    return Date.UTC(+m[1], +m[2] - 1, +m[3], +m[4], +m[5]) + Math.round(parseFloat(m[6]) * 1000);
  };
  const keys = Object.keys(entry);
  const first = toMs(keys[0]);
  return keys.map((k) => ({
    t: (toMs(k) - first) / 1000,
    speed: parseFloat(entry[k].speed),
    lat: parseFloat(entry[k].lat),
    lon: parseFloat(entry[k].lon),
  }));
}

function recordAt(t) {
  let found = records[0];
  for (const r of records) if (r.t <= t + 1e-9) found = r;
  return found;
}

before(async () => {
  if (!canRun) return;
  assert.ok(app && existsSync(app), `the built application (CAMVAULT_APP=${app})`);
  assert.ok(makeClip && existsSync(makeClip), `tools/make-clip (CAMVAULT_MAKE_CLIP=${makeClip})`);
  assert.ok(findDriver(), 'WebKitWebDriver');
  root = mkdtempSync(join(tmpdir(), 'camvault-page-app-'));
  home = join(root, 'home');
  mkdirSync(home);
  mkdirSync(join(root, 'card'));
  clip = join(root, 'card', 'TRIP0001.MOV');
  noTelemetry = join(root, 'card', 'TRIP0002.MOV');
  execFileSync(makeClip, ['--seconds', '20', '--route', 'city', '--start', '2026-06-01 09:11:00', clip], { stdio: 'ignore' });
  execFileSync(makeClip, ['--seconds', '6', '--no-telemetry', noTelemetry], { stdio: 'ignore' });
  logPath = join(root, 'app.log');
  logFd = openSync(logPath, 'w');
  b = await Browser.start({
    binary: app,
    args: ['--import', clip, noTelemetry],
    env: { HOME: home, GSETTINGS_BACKEND: 'memory', NO_AT_BRIDGE: '1' },
    output: logFd,
  });
  await b.waitFor('return typeof CamVaultPage === "object" && CamVaultPage.state.clips.length === 2', { timeoutMs: 30000 });
  records = readTelemetry(join(home, 'CAMVAULT/data/TRIP0001.data'), 'TRIP0001.MOV');
});

after(async () => {
  if (b) await b.quit().catch(() => {});
  // WebKitWebDriver started the application and leaves it running when it
  // goes: end it, so that no window of it outlives this suite.
  if (root) spawnSync('pkill', ['-f', root]);
  if (logFd !== undefined) closeSync(logFd);
  if (root) rmSync(root, { recursive: true, force: true });
});

const seek = (seconds) => b.seekVideo(seconds);

const readout = () =>
  b.execute(
    'return { m: CamVaultPage.routeMap.markerLatLng(), c: CamVaultPage.speedChart.cursorOffset(), speed: document.getElementById("speed-value").textContent, unit: document.getElementById("speed-unit").textContent }',
  );

test('after the import the last accepted clip is shown; it has no telemetry and says so', { skip }, async () => {
  await b.waitFor('return CamVaultPage.state.current === 1');
  await b.waitFor('return !document.querySelector("[data-testid=no-telemetry]").hidden');
  const names = await b.execute('return [...document.querySelectorAll("[data-testid=clip-item] .clip-title")].map((e) => e.textContent)');
  assert.deepEqual(names, ['TRIP0001.MOV', 'TRIP0002.MOV']);
});

test('the marker and the chart cursor follow the video; the route seeks it', { skip }, async () => {
  // The first clip is in a trip of its own, closed while the other clip is on screen.
  await b.execute(`document.querySelectorAll('[data-testid=trip-item]').forEach((t) => {
    if (t.querySelector('[data-testid=clip-item]').offsetParent === null) t.querySelector('.trip-toggle').click();
  })`);
  const items = await b.findAll('[data-testid="clip-item"]');
  await b.click(items[0]);
  await b.waitFor('return CamVaultPage.state.shown && CamVaultPage.state.shown.records.length > 100');
  assert.equal(await b.execute('return CamVaultPage.telemetryMode()'), 'worker', 'CamVault\'s view starts the worker from its file URL');
  assert.deepEqual(
    await b.execute('return CamVaultPage.state.shown.records.map((r) => [r.lat, r.lon])'),
    records.map((r) => [r.lat, r.lon]),
    'the records CamVault wrote, read by the worker',
  );
  await b.waitFor('return document.getElementById("video").readyState >= 2', { timeoutMs: 15000 });
  await seek(4);
  const at4 = await readout();
  await seek(11.5);
  const at11 = await readout();
  for (const [at, t] of [[at4, 4], [at11, 11.5]]) {
    const r = recordAt(t);
    assert.ok(Math.abs(at.m[0] - r.lat) < 5e-5 && Math.abs(at.m[1] - r.lon) < 5e-5, `marker near the record at ${t} s`);
    assert.equal(at.speed, String(Math.round(r.speed)));
    assert.equal(at.unit, 'km/h');
  }
  assert.ok(at11.c > at4.c, 'chart cursor moved with the video');

  await b.execute('document.getElementById("video").play()');
  await b.waitFor('return document.getElementById("video").currentTime > 12.5', { timeoutMs: 10000 });
  await b.execute('document.getElementById("video").pause()');
  assert.notDeepEqual((await readout()).m, at11.m, 'the marker moves while the video plays');

  const target = records.find((r) => r.t >= 16);
  const point = await b.execute(
    `const p = CamVaultPage.routeMap.pointOf([${target.lat}, ${target.lon}]); const box = document.getElementById('map').getBoundingClientRect(); return [box.left + p.x, box.top + p.y]`,
  );
  await b.clickAt(point[0], point[1]);
  await b.waitFor(`return Math.abs(document.getElementById("video").currentTime - ${target.t}) < 0.5`);
});

test('switching to miles changes every speed shown and survives a reload', { skip }, async () => {
  await seek(10);
  const kmh = recordAt(10).speed;
  await b.execute('const s = document.getElementById("unit-select"); s.value = "miles"; s.dispatchEvent(new Event("change"))');
  const shown = await b.execute(
    'return [document.getElementById("speed-value").textContent, document.getElementById("speed-unit").textContent, document.getElementById("speed-chart-title").textContent, document.getElementById("distance-unit").textContent]',
  );
  assert.deepEqual(shown, [String(Math.round(kmh / 1.609344)), 'mph', 'Speed (mph)', 'mi']);
  const ini = join(home, 'CAMVAULT/data/ini.txt');
  const deadline = Date.now() + 5000;
  while (readFileSync(ini, 'utf8') !== 'miles,English' && Date.now() < deadline) await sleep(100);
  assert.equal(readFileSync(ini, 'utf8'), 'miles,English');

  await b.execute('location.reload()');
  await sleep(500);
  await b.waitFor('return typeof CamVaultPage === "object" && CamVaultPage.state.clips.length === 2', { timeoutMs: 15000 });
  await b.waitFor('return document.getElementById("unit-select").value === "miles"');
  assert.equal(await b.execute('return CamVaultPage.state.current'), 0, 'a reload shows the first clip');
  await b.waitFor('return document.getElementById("speed-unit").textContent === "mph"');
});

test('the page wrote no error to the console', { skip }, async () => {
  await sleep(300);
  const errors = readFileSync(logPath, 'utf8')
    .split('\n')
    .filter((line) => /CONSOLE .*ERROR/.test(line));
  assert.deepEqual(errors, []);
});
