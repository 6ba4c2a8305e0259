"""Evidence from the running application: stills named after the footage's
clock and stamped with where and when, and exports of trips and events."""

import csv
import io
import json
import os
import re
import shutil
import struct
import subprocess
import tempfile
import unittest
import zlib

from camvault_e2e import BUILD_DIR, CamVaultTestCase, wait_for
from test_library import make_clip

MEDIA = os.path.join(BUILD_DIR, "app", "camvault-media")
EXTRACT = os.path.join(BUILD_DIR, "app", "camvault-extract")

CATCH_EXPORT = """
window.__exports = [];
var original = export_result;
export_result = function (json) { window.__exports.push(JSON.parse(json)); return original(json); };
"""

def png_chunks(path):
    """(width, height, {keyword: text}) of a PNG's header and tEXt/iTXt chunks."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", path
    width, height = struct.unpack(">II", data[16:24])
    text, at = {}, 8
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"tEXt":
            key, value = body.split(b"\0", 1)
            text[key.decode("latin-1")] = value.decode("latin-1")
        elif kind == b"iTXt":
            key, rest = body.split(b"\0", 1)
            compressed, rest = rest[0], rest[2:]
            _language, _translated, value = rest.split(b"\0", 2)
            text[key.decode("latin-1")] = (zlib.decompress(value) if compressed else value).decode()
        at += 12 + length
    return width, height, text


def snapshots(app):
    folder = os.path.join(app.home, "CAMVAULT", "files")
    return sorted(n for n in os.listdir(folder) if n.endswith(".png")) if os.path.isdir(folder) else []


class Evidence(CamVaultTestCase):
    def test_a_still_is_named_after_the_corrected_clock_and_carries_the_facts(self):
        card = tempfile.mkdtemp(prefix="camvault-card-")
        self.addCleanup(shutil.rmtree, card, True)
        clip = make_clip(os.path.join(card, "FILE0001.MOV"), "--seconds", "4",
                         "--start", "2026-06-01 09:00:00", "--lat", "51.5", "--lon", "-0.12")
        app = self.start_app(["--import", clip])
        shown = lambda: app.script("return document.getElementById('datetime-value').textContent")
        wait_for(lambda: shown().startswith("2026-06-01 09:00:0"), timeout=60, what="the recorded time")
        # The camera ran an hour fast.
        app.script("document.querySelector('[data-testid=prefs]').click();"
                   "document.getElementById('pref-correction').value = '-01:00:00';"
                   "document.querySelector('[data-testid=prefs-save]').click();")
        wait_for(lambda: shown().startswith("2026-06-01 08:00:0"), what="the corrected time shown")
        app.script("CamVaultPage.player.seekTrip(1.5)")
        wait_for(lambda: abs(app.script("return CamVaultPage.player.tripTime()") - 1.5) < 0.05,
                 what="the frame at 1.5 s")
        app.click("#btn-snapshot")
        wait_for(lambda: len(snapshots(app)) == 1, what="the still")
        name = snapshots(app)[0]
        match = re.fullmatch(r"FILE0001_2026-06-01_08-00-01\.(\d{3})\.png", name)
        self.assertTrue(match, name)
        self.assertLess(abs(int(match.group(1)) - 500), 40)
        width, height, text = png_chunks(os.path.join(app.home, "CAMVAULT", "files", name))
        self.assertEqual((width, height), (320, 180))
        self.assertEqual(text["Title"], "FILE0001.MOV")
        self.assertTrue(text["Creation Time"].startswith("2026-06-01T08:00:01."), text)
        self.assertAlmostEqual(float(text["Latitude"]), 51.5, delta=0.01)
        self.assertAlmostEqual(float(text["Longitude"]), -0.12, delta=0.01)
        self.assertRegex(text["Speed"], r"^\d+\.\d km/h$")
        self.assertIn("Heading", text)

        # With the caption setting on, the facts are also written under the picture.
        app.script("document.querySelector('[data-testid=prefs]').click();"
                   "document.getElementById('pref-caption').checked = true;"
                   "document.querySelector('[data-testid=prefs-save]').click();")
        wait_for(lambda: app.script("return CamVaultPage.state.prefs.snapshot_caption") is True,
                 what="the caption setting read back")
        app.click("#btn-snapshot")
        wait_for(lambda: len(snapshots(app)) == 2, what="the captioned still")
        captioned = [n for n in snapshots(app) if n != name][0]
        self.assertEqual(captioned, name[:-4] + "-2.png")  # the same moment: never overwritten
        width, height, _ = png_chunks(os.path.join(app.home, "CAMVAULT", "files", captioned))
        self.assertEqual(width, 320)
        self.assertGreater(height, 200)


    # -- exports ---------------------------------------------------------

    def export(self, app, choice, name="", event=None, burn_in=False):
        """Runs the export dialog as a driver would; returns export_result's object."""
        count = len(app.script("return window.__exports"))
        app.click("#btn-export")
        app.script("var k = document.getElementById('export-kind'); k.value = arguments[0];"
                   "k.dispatchEvent(new Event('change'));"
                   "document.getElementById('export-name').value = arguments[1];"
                   "if (arguments[2] !== null) document.getElementById('export-event').value = arguments[2];"
                   "document.getElementById('export-burn').checked = arguments[3];",
                   choice, name, event, burn_in)
        app.click("[data-testid=export-start]")
        wait_for(lambda: len(app.script("return window.__exports")) > count, timeout=120,
                 what=f"the {choice} export's outcome")
        return app.script("return window.__exports")[count]

    def route_rows(self, clips, home):
        """camvault-extract's CSV rows of the clips (times as recorded)."""
        out = subprocess.run([EXTRACT, "--format", "csv", "--data-dir", home, *clips],
                             capture_output=True, text=True, check=True).stdout
        return list(csv.DictReader(io.StringIO(out)))

    def test_compatible_clips_merge_losslessly_with_their_route_inside(self):
        card = tempfile.mkdtemp(prefix="camvault-card-")
        self.addCleanup(shutil.rmtree, card, True)
        first = make_clip(os.path.join(card, "FILE0001.MOV"), "--seconds", "4", "--size", "1920x1080",
                          "--start", "2026-06-01 09:00:00", "--route", "motorway")
        second = make_clip(os.path.join(card, "FILE0002.MOV"), "--seconds", "4", "--size", "1920x1080",
                           "--start", "2026-06-01 09:00:04", "--route", "motorway", "--seed", "2")
        app = self.start_app(["--import", first, second])
        app.script(CATCH_EXPORT)
        wait_for(lambda: app.script("return CamVaultPage.state.clips.length") == 2, timeout=60,
                 what="both clips listed")
        app.click("[data-testid=select-all]")
        result = self.export(app, "merge", "Commute")
        self.assertTrue(result["ok"], result)
        self.assertEqual(result["mode"], "lossless")
        files = os.path.join(app.home, "CAMVAULT", "files")
        self.assertEqual(result["path"], os.path.join(files, "Commute.mov"))
        self.assertEqual(result["gpx"], os.path.join(files, "Commute.gpx"))
        wait_for(lambda: app.script("return Array.from(document.querySelectorAll('[data-testid=export-show]')).length") == 1,
                 what="the toast's button to show the folder")

        frames = lambda path: int(subprocess.run(
            ["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
             "stream=nb_read_frames", "-of", "csv=p=0", path], capture_output=True, text=True,
            check=True).stdout.strip())
        self.assertEqual(frames(result["path"]), frames(first) + frames(second))

        # The exported movie's own telemetry: at every second its records are the sources'.
        sources = {r["time_utc"]: r for r in self.route_rows([first, second], app.home)}
        exported = {r["time_utc"]: r for r in self.route_rows([result["path"]], app.home)}
        whole = [t for t in sources if "." not in t]
        self.assertGreaterEqual(len(whole), 6)
        for t in whole:
            self.assertIn(t, exported)
            for field in ("latitude", "longitude"):
                self.assertAlmostEqual(float(exported[t][field]), float(sources[t][field]), delta=1e-5)
            self.assertAlmostEqual(float(exported[t]["speed_kmh"]), float(sources[t]["speed_kmh"]),
                                   delta=0.1)
        # Its GPX holds one point per source record, as gpsbabel reads it.
        points = subprocess.run(["gpsbabel", "-i", "gpx", "-f", result["gpx"], "-o", "csv", "-F", "-"],
                                capture_output=True, text=True, check=True).stdout.strip().splitlines()
        self.assertEqual(len(points), len(sources))

        # Imported into a library of its own, the movie plays in the page with its route and charts.
        movie = shutil.copy(result["path"], card)  # closing the app takes its home away
        app.close()
        again = self.start_app(["--import", movie])
        wait_for(lambda: again.script(
            "var s = CamVaultPage.state.shown; return Boolean(s && s.clip.path === arguments[0] &&"
            " s.records.length > 50)", movie), timeout=60, what="the exported movie shown with its records")
        wait_for(lambda: again.script("return CamVaultPage.player.video.readyState") >= 2,
                 what="WebKit decoding the copied movie")
        self.assertAlmostEqual(again.script("return CamVaultPage.player.video.duration"), 8.0, delta=0.05)
        self.assertTrue(again.script("return document.getElementById('map-no-route').hidden"))
        self.assertFalse(again.script("return document.body.classList.contains('no-telemetry')"))
        again.script("var v = CamVaultPage.player.video; v.currentTime = 7.0; v.play();")
        wait_for(lambda: again.script("return CamVaultPage.player.video.ended"), timeout=15,
                 what="the copied movie played to its end in WebKit")

    def test_an_event_trims_to_30_s_and_packs_evidence_that_verifies(self):
        card = tempfile.mkdtemp(prefix="camvault-card-")
        self.addCleanup(shutil.rmtree, card, True)
        brake = make_clip(os.path.join(card, "FILE0001.MOV"), "--route", "motorway", "--seconds", "40",
                          "--start", "2026-06-01 09:00:00", "--brake-at", "20")
        app = self.start_app(["--import", brake])
        app.script(CATCH_EXPORT)
        wait_for(lambda: app.script("return (CamVaultPage.state.shown && CamVaultPage.state.shown.events"
                                    " || []).length") == 1, timeout=60, what="the brake listed")
        trimmed = self.export(app, "event", "", "0")
        self.assertTrue(trimmed["ok"], trimmed)
        self.assertTrue(os.path.basename(trimmed["path"]).startswith("exp_"), trimmed)
        duration = float(subprocess.run(
            ["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", "stream=duration",
             "-of", "csv=p=0", trimmed["path"]], capture_output=True, text=True, check=True).stdout)
        self.assertAlmostEqual(duration, 30, delta=0.1)

        # The same 30 s with speed, time and place written at the bottom of the picture.
        burnt = self.export(app, "event", "burnt", "0", burn_in=True)
        self.assertTrue(burnt["ok"], burnt)
        self.assertEqual(burnt["mode"], "reencoded")
        frame = lambda movie, y, h: subprocess.run(
            ["ffmpeg", "-v", "error", "-ss", "10", "-i", movie, "-frames:v", "1", "-vf",
             f"scale=1920:1080,crop=1920:{h}:0:{y}", "-f", "rawvideo", "-pix_fmt", "gray", "-"],
            capture_output=True, check=True).stdout
        differs = lambda a, b: sum(abs(p - q) for p, q in zip(a, b)) / max(1, len(a))
        self.assertGreater(differs(frame(burnt["path"], 960, 120), frame(trimmed["path"], 960, 120)), 3)
        self.assertLess(differs(frame(burnt["path"], 0, 600), frame(trimmed["path"], 0, 600)), 3)

        pack = self.export(app, "packEvent", "Brake on the A4", "0")
        self.assertTrue(pack["ok"], pack)
        folder = pack["path"]
        self.assertEqual(os.path.basename(folder), "Brake on the A4")
        self.assertEqual(pack["zip"], folder + ".zip")
        names = sorted(os.listdir(folder))
        self.assertIn("manifest.json", names)
        self.assertIn("manifest.sha256", names)
        self.assertIn("Brake on the A4.mov", names)
        self.assertTrue(any(n.endswith(".gpx") for n in names), names)
        self.assertTrue(any(n.endswith(".csv") for n in names), names)
        self.assertTrue(any(n.endswith("_map.png") for n in names), names)
        still = [n for n in names if re.fullmatch(r"FILE0001_2026-06-01_09-00-\d\d\.\d{3}\.png", n)]
        self.assertEqual(len(still), 1, names)
        with open(os.path.join(folder, "manifest.json"), encoding="utf-8") as f:
            manifest = json.load(f)
        self.assertEqual([s["name"] for s in manifest["sources"]], ["FILE0001.MOV"])

        verify = lambda: subprocess.run([MEDIA, "verify", folder], capture_output=True, text=True)
        self.assertEqual(verify().returncode, 0, verify().stdout)
        self.assertEqual(subprocess.run([MEDIA, "verify", pack["zip"]]).returncode, 0)
        for name in names:
            path = os.path.join(folder, name)
            with open(path, "r+b") as f:
                f.seek(os.path.getsize(path) // 2)
                byte = f.read(1)
                f.seek(-1, 1)
                f.write(bytes([byte[0] ^ 0x01]))
            checked = verify()
            self.assertNotEqual(checked.returncode, 0, name)
            self.assertIn(name, checked.stdout + checked.stderr)
            with open(path, "r+b") as f:
                f.seek(os.path.getsize(path) // 2)
                f.write(byte)
        self.assertEqual(verify().returncode, 0)

    def test_a_cancelled_export_leaves_nothing(self):
        card = tempfile.mkdtemp(prefix="camvault-card-")
        self.addCleanup(shutil.rmtree, card, True)
        clip = make_clip(os.path.join(card, "FILE0001.MOV"), "--seconds", "30", "--size", "1280x720",
                         "--start", "2026-06-01 09:00:00")
        app = self.start_app(["--import", clip])
        app.script(CATCH_EXPORT)
        wait_for(lambda: app.script("return CamVaultPage.state.clips.length") == 1, timeout=60,
                 what="the clip listed")
        app.click("[data-testid=select-all]")
        app.click("#btn-export")
        app.script("document.getElementById('export-kind').value = 'merge';")
        app.click("[data-testid=export-start]")
        wait_for(lambda: app.script("return !document.getElementById('btn-export-cancel').hidden"),
                 what="the cancel button")
        app.click("#btn-export-cancel")
        wait_for(lambda: app.script("return window.__exports.length") == 1, timeout=60,
                 what="the cancelled outcome")
        result = app.script("return window.__exports[0]")
        self.assertEqual((result["ok"], result.get("cancelled")), (False, True))
        files = os.path.join(app.home, "CAMVAULT", "files")
        self.assertEqual([n for n in os.listdir(files) if not n.endswith(".png")] if os.path.isdir(files) else [], [])


if __name__ == "__main__":
    unittest.main()
