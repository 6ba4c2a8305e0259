"""End-to-end harness: starts the real CamVault under WebKitWebDriver with a
temporary HOME, drives the page over the WebDriver protocol (plain HTTP, no
client library), and does what only a person can through xdotool."""

import ctypes
import json
import os
import signal
import shutil
import socket
import subprocess
import tempfile
import time
import unittest
import urllib.error
import urllib.request

BUILD_DIR = os.environ.get("CAMVAULT_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../../build"))
APP = os.path.abspath(os.path.join(BUILD_DIR, "app", "camvault"))
SOURCE_DIR = os.path.abspath(os.path.join(os.path.dirname(__file__), "../.."))
# Every CamVault a test starts runs on its own, never handing its clips to
# another test's (one CamVault per session is the rule everywhere else);
# test_open_with takes the variable away again to test that rule.
os.environ.setdefault("CAMVAULT_NON_UNIQUE", "1")
# WebKit draws the page itself, as on machines without a GPU: under Xvfb a
# render node, where the machine has one, would only sometimes be used, and
# the pictures the tests grab would differ from machine to machine.
os.environ.setdefault("CAMVAULT_GPU", "0")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(predicate, timeout=15.0, interval=0.1, what="condition"):
    deadline = time.monotonic() + timeout
    last = None
    while time.monotonic() < deadline:
        last = predicate()
        if last:
            return last
        time.sleep(interval)
    raise AssertionError(f"timed out waiting for {what} (last value: {last!r})")


class WebDriverError(Exception):
    pass


class CamVault:
    """One running CamVault with its own HOME, driven through WebKitWebDriver."""

    def __init__(self, args=(), home=None, env=None, app=APP):
        self.app = app
        self.home = home or tempfile.mkdtemp(prefix="camvault-e2e-home-")
        self.owns_home = home is None
        self.log_path = os.path.join(tempfile.mkdtemp(prefix="camvault-e2e-log-"), "app.log")
        self.port = free_port()
        environment = dict(os.environ, HOME=self.home, GSETTINGS_BACKEND="memory", NO_AT_BRIDGE="1")
        environment.update(env or {})
        self._log = open(self.log_path, "wb")
        self.driver = subprocess.Popen(
            ["WebKitWebDriver", f"--port={self.port}"], stdout=self._log, stderr=subprocess.STDOUT,
            env=environment)
        self.base = f"http://127.0.0.1:{self.port}"
        wait_for(self._driver_ready, what="WebKitWebDriver")
        capabilities = {"capabilities": {"alwaysMatch": {
            "webkitgtk:browserOptions": {"binary": app, "args": ["--automation", *args]}}}}
        self.session = self._request("POST", "/session", capabilities)["sessionId"]
        self.wait_for_page()

    # WebDriver protocol
    def _driver_ready(self):
        try:
            with urllib.request.urlopen(self.base + "/status", timeout=1) as response:
                return json.load(response)["value"].get("ready", True)
        except (OSError, ValueError):
            return False

    def _request(self, method, path, body=None):
        data = json.dumps(body).encode() if body is not None else None
        request = urllib.request.Request(self.base + path, data=data, method=method,
                                         headers={"Content-Type": "application/json"})
        try:
            with urllib.request.urlopen(request, timeout=60) as response:
                return json.load(response)["value"]
        except urllib.error.HTTPError as error:
            raise WebDriverError(error.read().decode(errors="replace")) from None

    def script(self, source, *args):
        return self._request("POST", f"/session/{self.session}/execute/sync",
                             {"script": source, "args": list(args)})

    def async_script(self, source, *args):
        return self._request("POST", f"/session/{self.session}/execute/async",
                             {"script": source, "args": list(args)})

    def find(self, css):
        return self._request("POST", f"/session/{self.session}/element",
                             {"using": "css selector", "value": css})

    def click(self, css):
        element = self.find(css)
        key = next(iter(element))
        self._request("POST", f"/session/{self.session}/element/{element[key]}/click", {})

    def refresh(self):
        self._request("POST", f"/session/{self.session}/refresh", {})
        self.wait_for_page()

    def wait_for_page(self):
        wait_for(lambda: self.script("return document.readyState === 'complete' && "
                                     "typeof user_path === 'string' && user_path.length > 0"),
                 what="page loaded with its listing")

    def send_command(self, url):
        """Navigates a hidden frame to a command URL, as the page does."""
        self.script("var f = document.createElement('iframe'); f.style.display = 'none';"
                    "f.src = arguments[0]; document.body.appendChild(f);"
                    "setTimeout(function () { f.remove(); }, 1000);", url)

    # The process and its window
    def log_text(self):
        self._log.flush()
        with open(self.log_path, "rb") as log:
            return log.read().decode(errors="replace")

    def log_lines(self):
        return [line for line in self.log_text().splitlines()]

    def wait_for_log(self, line, timeout=15.0):
        return wait_for(lambda: line in self.log_lines(), timeout=timeout, what=f"log line {line!r}")

    def window_id(self):
        out = wait_for(lambda: subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^CamVault$"],
                                              capture_output=True, text=True).stdout.split(),
                       what="CamVault window")
        return out[-1]

    def window_geometry(self):
        out = subprocess.run(["xdotool", "getwindowgeometry", "--shell", self.window_id()],
                             capture_output=True, text=True, check=True).stdout
        values = dict(line.split("=", 1) for line in out.split())
        return {k: int(v) for k, v in values.items() if k in ("X", "Y", "WIDTH", "HEIGHT")}

    def app_pid(self):
        out = subprocess.run(["pgrep", "-f", "-n", self.app], capture_output=True,
                             text=True).stdout.split()
        return int(out[-1]) if out else None

    def close(self):
        if self._log.closed:
            return
        app = self.app_pid()
        try:
            self._request("DELETE", f"/session/{self.session}")
        except Exception:
            pass
        self.driver.terminate()
        try:
            self.driver.wait(10)
        except subprocess.TimeoutExpired:
            self.driver.kill()
        # WebKitWebDriver leaves the application it started running; a window
        # of it would outlive this test and confuse the next one.
        if app:
            try:
                os.kill(app, signal.SIGKILL)
            except ProcessLookupError:
                pass
        self._log.close()
        if self.owns_home:
            shutil.rmtree(self.home, ignore_errors=True)


_X_ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(lambda d, e: 0)


def send_window_delete(window_id):
    """Asks a window to close the way a window manager does (WM_DELETE_WINDOW).
    A window that is gone already is no error."""
    x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.c_void_p]
    x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    x11.XSetErrorHandler(_X_ERROR_HANDLER)
    display = x11.XOpenDisplay(None)

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                    ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                    ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                    ("data", ctypes.c_long * 5)]

    class XEvent(ctypes.Union):
        _fields_ = [("client", ClientMessage), ("pad", ctypes.c_long * 24)]

    event = XEvent()
    event.client.type = 33  # ClientMessage
    event.client.window = int(window_id)
    event.client.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
    event.client.format = 32
    event.client.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    event.client.data[1] = 0  # CurrentTime
    x11.XSendEvent(display, int(window_id), 0, 0, ctypes.byref(event))
    x11.XSync(display, 0)
    x11.XCloseDisplay(display)


def close_like_a_person(process, window_name, timeout=15.0):
    """Sends WM_DELETE_WINDOW to the process's visible windows of that name
    until it exits; returns its exit status."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        windows = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(process.pid),
                                  "--name", window_name], capture_output=True, text=True).stdout.split()
        for window in windows:
            send_window_delete(window)
        try:
            return process.wait(1.0)
        except subprocess.TimeoutExpired:
            continue
    raise AssertionError(f"process {process.pid} did not close")


class CamVaultTestCase(unittest.TestCase):
    """Starts a fresh CamVault per test and closes it afterwards."""

    app_args = ()

    def start_app(self, args=None, home=None):
        app = CamVault(args if args is not None else self.app_args, home=home)
        self.addCleanup(app.close)
        return app
