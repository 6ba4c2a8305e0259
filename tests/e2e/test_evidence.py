"""Evidence from the running application: stills named after the footage's
clock and stamped with where and when, and exports of trips and events."""

import os
import re
import shutil
import struct
import tempfile
import unittest
import zlib

from camvault_e2e import CamVaultTestCase, wait_for
from test_library import make_clip

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


if __name__ == "__main__":
    unittest.main()
