"""The page's Export route end to end: the clip on screen exported in each
format from the page's own controls, the files read back by gpsbabel and
Python's csv and json with as many points as the page shows, a second export
that never replaces the first, the CSV in miles once the driver chose them,
and a refused export named in a toast."""

import csv
import json
import os
import subprocess
import tempfile
import urllib.parse
import xml.etree.ElementTree as ET

from camvault_e2e import CamVaultTestCase, wait_for
from test_import import clip

RECORD_EXPORTS = """
window.__exports = [];
var original = window.route_exported;
window.route_exported = function (ok, detail) {
  window.__exports.push([ok, detail]);
  return original.apply(this, arguments);
};
"""


class RouteExport(CamVaultTestCase):
    def export(self, app, fmt):
        before = len(app.script("return window.__exports"))
        app.script("document.getElementById('route-format').value = arguments[0];", fmt)
        app.click("[data-testid=export-route]")
        outcome = wait_for(lambda: app.script("return window.__exports")[before:], timeout=30,
                           what=f"{fmt} export answered")[0]
        toasts = app.script("return Array.from(document.querySelectorAll('[data-testid=toast]'))"
                            ".map(function (e) { return e.textContent; })")
        self.assertIn(("Route saved: " if outcome[0] else "Route not exported: ") + outcome[1],
                      toasts)
        return outcome

    def test_the_clip_on_screen_in_every_format(self):
        path = clip(tempfile.mkdtemp(prefix="camvault-card-"), "TRIP0001.MOV", seconds=3)
        app = self.start_app(["--import", path])
        app.click("[data-testid=clip-item]")
        records = wait_for(lambda: app.script(
            "var s = CamVaultPage.state.shown; return s && s.records.length ? s.records : null"),
            timeout=30, what="telemetry on screen")
        app.script(RECORD_EXPORTS)
        files = os.path.join(app.home, "CAMVAULT", "files")

        ok, gpx = self.export(app, "gpx")
        self.assertEqual((ok, gpx), (True, os.path.join(files, "TRIP0001.gpx")))
        babel = subprocess.run(["gpsbabel", "-t", "-i", "gpx", "-f", gpx, "-o", "unicsv", "-F", "-"],
                               capture_output=True, text=True, check=True).stdout.splitlines()
        self.assertEqual(len(babel) - 1, len(records))
        with open(gpx, "rb") as f:
            first_gpx = f.read()
        self.assertEqual(self.export(app, "gpx"), [True, os.path.join(files, "TRIP0001-2.gpx")])
        with open(gpx, "rb") as f:
            self.assertEqual(f.read(), first_gpx)

        ok, kml = self.export(app, "kml")
        self.assertTrue(ok, kml)
        when = ET.parse(kml).getroot().iter("{http://www.opengis.net/kml/2.2}when")
        self.assertEqual(len(list(when)), len(records))

        ok, geojson = self.export(app, "geojson")
        with open(geojson, encoding="utf-8") as f:
            feature = json.load(f)["features"][0]
        self.assertEqual(len(feature["geometry"]["coordinates"]), len(records))

        app.script("var s = document.getElementById('unit-select'); s.value = 'miles';"
                   "s.dispatchEvent(new Event('change'));")
        ok, miles = self.export(app, "csv")
        with open(miles, newline="", encoding="utf-8") as f:
            rows = list(csv.DictReader(f))
        self.assertEqual(len(rows), len(records))
        for row, record in zip(rows, records):
            self.assertAlmostEqual(float(row["speed_mph"]) * 1.609344, float(record["speed"]),
                                   delta=0.01)

        app.send_command("http://export_route/" + urllib.parse.quote(json.dumps(
            {"clips": ["/nonexistent/GONE.MOV"], "format": "gpx"}), safe=""))
        refused = wait_for(lambda: app.script("return window.__exports")[-1][0] is False,
                           what="refusal") and app.script("return window.__exports")[-1]
        self.assertEqual(refused[1], "cannot read /nonexistent/GONE.MOV: No such file or directory")
        self.assertEqual(sorted(os.listdir(files)), ["TRIP0001-2.gpx", "TRIP0001.csv",
                                                     "TRIP0001.geojson", "TRIP0001.gpx",
                                                     "TRIP0001.kml"])
