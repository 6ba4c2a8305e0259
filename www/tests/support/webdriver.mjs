// A small WebDriver client for driving the page in WebKitGTK's MiniBrowser
// through WebKitWebDriver: the same engine CamVault embeds. Needs a display
// (the e2e tier runs under Xvfb).
import { spawn } from 'node:child_process';
import { existsSync } from 'node:fs';
import { createServer } from 'node:net';

const MINIBROWSER_CANDIDATES = [
  '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser',
  '/usr/lib/aarch64-linux-gnu/webkit2gtk-4.1/MiniBrowser',
  '/usr/libexec/webkit2gtk-4.1/MiniBrowser',
];

export function findMiniBrowser() {
  return MINIBROWSER_CANDIDATES.find((p) => existsSync(p)) || null;
}

export function findDriver() {
  return ['/usr/bin/WebKitWebDriver', '/usr/local/bin/WebKitWebDriver'].find((p) => existsSync(p)) || null;
}

function freePort() {
  return new Promise((resolve, reject) => {
    const server = createServer();
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
    server.on('error', reject);
  });
}

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
const ELEMENT = 'element-6066-11e4-a52e-4f735466cecf';

export class Browser {
  // Starts MiniBrowser, or with `binary` another WebKitGTK program that
  // accepts --automation (CamVault itself), with `args` and `env`.
  // `output`: a file descriptor that receives the driver's and the
  // program's output (WebKit writes console messages there when asked to).
  static async start({ width = 960, height = 600, binary = null, args = null, env = null, output = 'ignore' } = {}) {
    const driverPath = findDriver();
    const miniBrowser = findMiniBrowser();
    if (!driverPath || !(binary || miniBrowser)) throw new Error('WebKitWebDriver or MiniBrowser missing');
    const port = await freePort();
    const driver = spawn(driverPath, [`--port=${port}`, '--host=127.0.0.1'], {
      stdio: ['ignore', output, output],
      env: { ...process.env, ...(env || {}) },
    });
    const base = `http://127.0.0.1:${port}`;
    for (let i = 0; ; i++) {
      try {
        const r = await fetch(base + '/status');
        if (r.ok) break;
      } catch (e) {
        if (i > 100) {
          driver.kill();
          throw new Error('WebKitWebDriver did not answer');
        }
      }
      await sleep(100);
    }
    const b = new Browser(driver, base);
    const session = await b.request('POST', '/session', {
      capabilities: {
        alwaysMatch: {
          'webkitgtk:browserOptions': binary
            ? { binary, args: ['--automation', ...(args || [])] }
            : {
                binary: miniBrowser,
                args: ['--automation', '--allow-file-access-from-file-urls=true', `--geometry=${width}x${height}`],
              },
        },
      },
    });
    b.session = session.sessionId;
    if (binary) return b;
    await b.request('POST', `/session/${b.session}/window/rect`, { width, height }).catch(() => {});
    return b;
  }

  constructor(driver, base) {
    this.driver = driver;
    this.base = base;
    this.session = null;
  }

  async request(method, path, body) {
    const r = await fetch(this.base + path, {
      method,
      headers: { 'content-type': 'application/json' },
      body: body === undefined ? undefined : JSON.stringify(body),
    });
    const json = await r.json();
    if (!r.ok) throw new Error(`${method} ${path}: ${JSON.stringify(json.value)}`);
    return json.value;
  }

  s(path) {
    return `/session/${this.session}${path}`;
  }

  navigate(url) {
    return this.request('POST', this.s('/url'), { url });
  }

  execute(script, args = []) {
    return this.request('POST', this.s('/execute/sync'), { script, args });
  }

  executeAsync(script, args = []) {
    return this.request('POST', this.s('/execute/async'), { script, args });
  }

  async find(css) {
    const v = await this.request('POST', this.s('/element'), { using: 'css selector', value: css });
    return v[ELEMENT];
  }

  async findAll(css) {
    const v = await this.request('POST', this.s('/elements'), { using: 'css selector', value: css });
    return v.map((e) => e[ELEMENT]);
  }

  click(element) {
    return this.request('POST', this.s(`/element/${element}/click`), {});
  }

  text(element) {
    return this.request('GET', this.s(`/element/${element}/text`));
  }

  // Pointer click at a point of the viewport.
  clickAt(x, y) {
    return this.request('POST', this.s('/actions'), {
      actions: [
        {
          type: 'pointer',
          id: 'mouse',
          parameters: { pointerType: 'mouse' },
          actions: [
            { type: 'pointerMove', x: Math.round(x), y: Math.round(y), duration: 0 },
            { type: 'pointerDown', button: 0 },
            { type: 'pointerUp', button: 0 },
          ],
        },
      ],
    });
  }

  keys(text) {
    return this.request('POST', this.s('/actions'), {
      actions: [
        {
          type: 'key',
          id: 'keyboard',
          actions: [...text].flatMap((c) => [
            { type: 'keyDown', value: c },
            { type: 'keyUp', value: c },
          ]),
        },
      ],
    });
  }

  async screenshot() {
    return Buffer.from(await this.request('GET', this.s('/screenshot')), 'base64');
  }

  async waitFor(script, { timeoutMs = 10000, args = [] } = {}) {
    const end = Date.now() + timeoutMs;
    let last;
    while (Date.now() < end) {
      last = await this.execute(script, args);
      if (last) return last;
      await sleep(100);
    }
    throw new Error(`timed out waiting for: ${script} (last ${JSON.stringify(last)})`);
  }

  // Seeks the viewer page's video and waits until the frame is there.
  async seekVideo(seconds) {
    await this.execute(`CamVaultPage.player.seekTo(${seconds})`);
    await this.waitFor(
      `const v = document.getElementById('video'); return !v.seeking && Math.abs(v.currentTime - ${seconds}) < 0.05`,
    );
    await sleep(50);
  }

  async quit() {
    try {
      if (this.session) await this.request('DELETE', this.s(''));
    } finally {
      this.driver.kill();
    }
  }
}
