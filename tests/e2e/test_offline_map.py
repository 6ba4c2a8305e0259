"""The map without a network: tiles from a local tile server (CAMVAULT_TILE_URL)
are kept and shown again once the server is gone, the bundled world map lies
under the route when no tile ever came, the route is framed again when the
window changes size, the position marker keeps clear of the zoom buttons, and
Leaflet's tooltips follow the page's language. Screenshots of the offline map
go to $CAMVAULT_E2E_SHOTS (or a temporary folder named in the output)."""

import base64
import http.server
import os
import shutil
import struct
import subprocess
import tempfile
import threading
import zlib

from camvault_e2e import CamVault, CamVaultTestCase, free_port, wait_for
from test_import import MAKE_CLIP

SHOTS = os.environ.get("CAMVAULT_E2E_SHOTS") or tempfile.mkdtemp(prefix="camvault-map-shots-")
os.makedirs(SHOTS, exist_ok=True)


def png(width, height, rgb):
    """A plain-coloured PNG with a dark frame, so that tiles are told apart."""
    rows = b""
    for y in range(height):
        row = bytearray(b"\x00")
        for x in range(width):
            edge = x < 2 or y < 2
            row += bytes((40, 40, 40)) if edge else bytes(rgb)
        rows += bytes(row)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


class TileServer:
    """Serves /z/x/y.png on 127.0.0.1, a colour per tile; counts requests."""

    def __init__(self):
        self.requests = []
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                parts = self.path.strip("/").removesuffix(".png").split("/")
                if len(parts) != 3 or not all(p.isdigit() for p in parts):
                    self.send_error(404)
                    return
                z, x, y = map(int, parts)
                server.requests.append((z, x, y))
                body = png(256, 256, (120 + (x * 37) % 120, 160 + (y * 53) % 90, 110 + z * 7 % 100))
                self.send_response(200)
                self.send_header("Content-Type", "image/png")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.url = f"http://127.0.0.1:{self.httpd.server_port}/{{z}}/{{x}}/{{y}}.png"
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def stop(self):
        if self.thread:
            self.httpd.shutdown()
            self.httpd.server_close()
            self.thread = None


_coast_clip = {}


def coast_clip(folder):
    """A minute along the coast road of Brighton: a route of about 1 km."""
    if "path" not in _coast_clip:
        path = os.path.join(tempfile.mkdtemp(prefix="camvault-e2e-clips-"), "COAST.MOV")
        subprocess.run([MAKE_CLIP, "--seconds", "60", "--size", "160x90", "--route", "coast", path],
                       check=True, capture_output=True)
        _coast_clip["path"] = path
    os.makedirs(folder, exist_ok=True)
    target = os.path.join(folder, "COAST0001.MOV")
    with open(_coast_clip["path"], "rb") as src, open(target, "wb") as dst:
        dst.write(src.read())
    return target


REPORT = "return CamVaultPage.routeMap.tileReport()"
# The loaded tile images on screen, by where they came from.
TILES_SHOWN = """
var out = {};
document.querySelectorAll('#map img.leaflet-tile-loaded').forEach(function (t) {
  if (t.naturalWidth > 0) out[t.dataset.from] = (out[t.dataset.from] || 0) + 1;
});
return out;
"""
# Pixels of the world map's canvas that were drawn (land or lines).
BASE_MAP_PIXELS = """
var c = document.querySelector('.leaflet-camvault-base-map-pane canvas');
if (!c || !c.width) return 0;
var d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data, n = 0;
for (var i = 3; i < d.length; i += 4) if (d[i] > 0) n++;
return n;
"""


class OfflineMap(CamVaultTestCase):
    def start(self, tile_url, args, home=None):
        app = CamVault(args, home=home, env={"CAMVAULT_TILE_URL": tile_url})
        self.addCleanup(app.close)
        return app

    def open_clip(self, app):
        wait_for(lambda: app.script("return document.querySelectorAll('[data-testid=clip-item]').length"),
                 timeout=30, what="the clip listed")
        app.click("[data-testid=clip-item]")
        wait_for(lambda: app.script("var s = CamVaultPage.state.shown; return !!(s && s.records.length)"),
                 timeout=30, what="telemetry on screen")
        wait_for(lambda: app.script("return !!CamVaultPage.routeMap.markerLatLng()"), what="route drawn")

    def screenshot(self, app, name):
        data = app._request("GET", f"/session/{app.session}/screenshot")
        path = os.path.join(SHOTS, name)
        with open(path, "wb") as f:
            f.write(base64.b64decode(data))
        print("screenshot:", path)

    def route_in_view(self, app):
        return app.script("""
var m = CamVaultPage.routeMap, size = m.map.getSize();
return CamVaultPage.state.shown.records.filter(function (r) { return r.hasPosition; }).every(function (r) {
  var p = m.pointOf([r.lat, r.lon]);
  return p.x >= 0 && p.y >= 0 && p.x <= size.x && p.y <= size.y;
});""")

    def test_tiles_seen_once_are_shown_when_the_server_is_gone(self):
        server = TileServer()
        self.addCleanup(server.stop)
        home = tempfile.mkdtemp(prefix="camvault-e2e-home-")
        self.addCleanup(shutil.rmtree, home, True)
        path = coast_clip(tempfile.mkdtemp(prefix="camvault-card-"))
        app = self.start(server.url, ["--import", path], home=home)
        self.assertEqual(app.script("return window.camvault_tile_url"), server.url)
        self.open_clip(app)
        wait_for(lambda: app.script(REPORT)["state"] == "online", what="tiles online")
        shown = wait_for(lambda: app.script(TILES_SHOWN).get("network", 0) >= 4 and app.script(TILES_SHOWN),
                         timeout=30, what="tiles from the server on screen")
        self.assertNotIn("kept", shown, "a first run has nothing kept")
        self.assertGreater(len([r for r in server.requests if r[0] > 10]), 0, server.requests)
        report = app.script(REPORT)
        self.assertFalse(report["baseMap"], "no world map while the tiles come")
        on_screen = shown["network"]
        wait_for(lambda: app.script(REPORT)["kept"]["tiles"] >= on_screen, what="tiles kept")

        server.stop()
        app.refresh()
        self.open_clip(app)
        wait_for(lambda: app.script(REPORT)["state"] == "offline", what="the map offline")
        shown = wait_for(lambda: app.script(TILES_SHOWN).get("kept", 0) >= on_screen and app.script(TILES_SHOWN),
                         timeout=30, what="kept tiles on screen")
        self.assertNotIn("network", shown)
        self.assertTrue(app.script("return !document.getElementById('map-offline').hidden"))
        wait_for(lambda: app.script(REPORT)["baseMap"], what="the world map under the kept tiles")
        self.screenshot(app, "offline-kept-tiles.png")

        # A new run of CamVault (same HOME) still has them.
        app.close()
        again = self.start(server.url, [], home=home)
        self.open_clip(again)
        wait_for(lambda: again.script(TILES_SHOWN).get("kept", 0) >= on_screen, timeout=30,
                 what="kept tiles after a restart")

    def test_without_any_tile_server_the_world_map_lies_under_the_route(self):
        closed = f"http://127.0.0.1:{free_port()}/{{z}}/{{x}}/{{y}}.png"
        path = coast_clip(tempfile.mkdtemp(prefix="camvault-card-"))
        app = self.start(closed, ["--import", path])
        self.open_clip(app)
        wait_for(lambda: app.script(REPORT)["state"] == "offline", what="the map offline")
        wait_for(lambda: app.script(REPORT)["baseMap"], what="the world map drawn")
        wait_for(lambda: app.script(BASE_MAP_PIXELS) > 1000, what="land drawn on the world map's canvas")
        self.assertEqual(app.script(TILES_SHOWN), {}, "no tile without a server")
        self.assertIn("Natural Earth", app.script(
            "return document.querySelector('.leaflet-control-attribution').textContent"))
        self.assertTrue(self.route_in_view(app))
        self.screenshot(app, "offline-world-map-route.png")
        # Zoomed out, the route stands on the coast of England.
        app.script("CamVaultPage.routeMap.map.setZoom(9, { animate: false })")
        wait_for(lambda: app.script(BASE_MAP_PIXELS) > 1000, what="the world map redrawn")
        self.screenshot(app, "offline-world-map-coast.png")

        # Framed again after the window changed size, until the driver moves the map.
        app.script("CamVaultPage.routeMap.showRoute(CamVaultPage.state.shown.records)")
        for command, name in (("http://max/", "large"), ("http://mini/", "small")):
            before = app.script("var s = CamVaultPage.routeMap.map.getSize(); return [s.x, s.y]")
            app.send_command(command)
            wait_for(lambda: app.script("var s = CamVaultPage.routeMap.map.getSize(); return [s.x, s.y]")
                     != before, what=f"the map resized ({name})")
            wait_for(lambda: self.route_in_view(app), what=f"the route framed in the {name} window")
            self.screenshot(app, f"offline-world-map-{name}.png")

        # The marker put under the zoom buttons is moved clear of them.
        overlap = app.script("""
var m = CamVaultPage.routeMap, box = m.element.getBoundingClientRect();
var zoom = document.querySelector('.leaflet-control-zoom').getBoundingClientRect();
m.setPosition(m.map.containerPointToLatLng([zoom.left - box.left + zoom.width / 2, zoom.top - box.top + zoom.height / 2]));
var marker = document.querySelector('.position-marker').getBoundingClientRect();
return marker.left < zoom.right && marker.right > zoom.left && marker.top < zoom.bottom && marker.bottom > zoom.top;""")
        self.assertFalse(overlap, "the marker is clear of the zoom buttons")

        # Leaflet's own tooltips in the page's language.
        self.assertEqual(app.script("return document.querySelector('.leaflet-control-zoom-in').title"), "Zoom in")
        app.script("var s = document.getElementById('language-select'); s.value = 'German';"
                   "s.dispatchEvent(new Event('change'));")
        self.assertEqual(app.script("return [document.querySelector('.leaflet-control-zoom-in').title,"
                                    "document.querySelector('.leaflet-control-zoom-out').title]"),
                         ["Vergr\u00f6\u00dfern", "Verkleinern"])
        self.assertIn("Mitwirkende", app.script(
            "return document.querySelector('.leaflet-control-attribution').textContent"))
