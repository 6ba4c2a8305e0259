"""The library in the running application: clips of the same name on two
cards each keep their own telemetry, the library comes back after a restart
in its order, a card taken out shows its clips as unavailable until it is
back, nothing is listed twice, and a kill in the middle of an import leaves
the index sound."""

import json
import os
import shutil
import signal
import sqlite3
import subprocess
import tempfile
import time
import unittest
import urllib.parse

from camvault_e2e import CamVaultTestCase, wait_for
from test_import import MAKE_CLIP


def make_clip(path, *options):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    subprocess.run([MAKE_CLIP, "--seconds", "2", "--size", "320x180", *options, path],
                   check=True, capture_output=True)
    return path


def listing(app):
    return app.script("return window.camvaultLastListing || null")


def movies(app):
    last = listing(app)
    return last[1].split(",")[:-1] if last else []


class Library(CamVaultTestCase):
    def index(self, app):
        return os.path.join(app.home, "CAMVAULT", "data", "library.sqlite3")

    def test_two_cards_with_the_same_names_keep_their_own_telemetry(self):
        cards = tempfile.mkdtemp(prefix="camvault-cards-")
        self.addCleanup(shutil.rmtree, cards, True)
        london = make_clip(os.path.join(cards, "A", "FILE0001.MOV"), "--lat", "51.5", "--lon", "-0.12",
                           "--start", "2026-05-14 09:00:00")
        london_2 = make_clip(os.path.join(cards, "A", "FILE0002.MOV"), "--lat", "51.6", "--lon", "-0.1")
        munich = make_clip(os.path.join(cards, "B", "FILE0001.MOV"), "--lat", "48.14", "--lon", "11.58",
                           "--start", "2026-05-02 17:00:00")
        no_gps = make_clip(os.path.join(cards, "B", "FILE0002.MOV"), "--no-telemetry")
        # Card A's clips first, then card B's.
        app = self.start_app(["--import", london, london_2, munich, no_gps])
        wait_for(lambda: len(movies(app)) == 4, timeout=60, what="both cards listed")

        data = os.path.join(app.home, "CAMVAULT", "data")
        summaries = wait_for(lambda: app.script(
            "var l = CamVaultPage.state.library; return l.clips.length === 4 ? l : null"),
            what="the summaries of the listing")
        by_movie = {c["movie"]: c for c in summaries["clips"]}
        self.assertEqual(by_movie[london]["telemetry"], os.path.join(data, "FILE0001.data"))
        self.assertEqual(by_movie[munich]["telemetry"], os.path.join(data, "FILE0001~2.data"))
        self.assertEqual(by_movie[munich]["key"], "FILE0001.MOV~2")
        self.assertEqual(by_movie[no_gps]["key"], "FILE0002.MOV~2")
        with open(os.path.join(data, "FILE0001~2.data"), encoding="utf-8") as f:
            munich_script = f.read()
        self.assertIn("data[\"FILE0001.MOV~2\"][\"2026/05/02 17:00:", munich_script)
        self.assertIn("'lat':\"48.14", munich_script)

        # Each clip shows its own route and date; the no-GPS clip says it has none.
        def show(path):
            app.script("document.querySelector('[data-testid=clip-item][data-path=\"' + "
                       "CSS.escape(arguments[0]) + '\"]').click();", path)
        show(munich)
        first = wait_for(lambda: app.script(
            "var s = CamVaultPage.state.shown; return s && s.clip.path === arguments[0]"
            " && s.records.length ? s.records[0] : null", munich), what="Munich's telemetry")
        self.assertAlmostEqual(float(first["lat"]), 48.14, places=2)
        show(london)
        first = wait_for(lambda: app.script(
            "var s = CamVaultPage.state.shown; return s && s.clip.path === arguments[0]"
            " && s.records.length ? s.records[0] : null", london), what="London's telemetry")
        self.assertAlmostEqual(float(first["lat"]), 51.5, places=2)
        show(no_gps)
        wait_for(lambda: app.script(
            "return !document.querySelector('[data-testid=no-telemetry]').hidden"),
            what="no telemetry shown for the clip without GPS")

    def test_a_harsh_brake_is_an_event_at_its_second_and_road_noise_none(self):
        cards = tempfile.mkdtemp(prefix="camvault-cards-")
        self.addCleanup(shutil.rmtree, cards, True)
        options = ("--route", "motorway", "--seconds", "60", "--start", "2026-06-01 09:00:00")
        braking = make_clip(os.path.join(cards, "BRAKE001.MOV"), *options, "--brake-at", "40")
        calm = make_clip(os.path.join(cards, "CALM0001.MOV"), *options)
        app = self.start_app(["--import", braking, calm])
        summaries = wait_for(lambda: app.script(
            "var l = CamVaultPage.state.library; return l.clips && l.clips.length === 2 ? l : null"),
            timeout=60, what="the summaries of both clips")
        by_movie = {c["movie"]: c for c in summaries["clips"]}
        events = by_movie[braking]["events"]
        self.assertEqual([e["kind"] for e in events], ["harsh_braking"])
        start = by_movie[braking]["start_ms"]
        self.assertAlmostEqual((events[0]["start_ms"] - start) / 1000, 40, delta=1)
        self.assertLess(events[0]["peak_g"], -0.6)
        self.assertEqual(by_movie[calm]["events"], [])
        # The search finds the clip by its event.
        app.script("window.__found = null; var f = search_results;"
                   "search_results = function (j) { window.__found = JSON.parse(j); return f(j); };")
        app.send_command("http://library_search/" + urllib.parse.quote(
            json.dumps({"events": ["harsh_braking"]}), safe=""))
        found = wait_for(lambda: app.script("return window.__found"), what="search results")
        self.assertEqual(found["movies"], [braking])

    def test_restart_restores_the_order_a_card_out_shows_them_unavailable_and_back(self):
        cards = tempfile.mkdtemp(prefix="camvault-cards-")
        self.addCleanup(shutil.rmtree, cards, True)
        card = os.path.join(cards, "CARD")
        clips = [make_clip(os.path.join(card, f"FILE000{n}.MOV")) for n in (3, 1, 2)]
        home = tempfile.mkdtemp(prefix="camvault-e2e-home-")
        self.addCleanup(shutil.rmtree, home, True)
        app = self.start_app(["--import", *clips], home=home)
        wait_for(lambda: movies(app) == clips, timeout=60, what="the import listing")
        app.close()

        # The card is taken out while CamVault is closed.
        out = os.path.join(cards, "CARD-out")
        os.rename(card, out)
        again = self.start_app(home=home)
        wait_for(lambda: movies(again) == clips, timeout=30, what="the restored listing")
        wait_for(lambda: again.script(
            "return document.querySelectorAll('[data-testid=clip-item][data-unavailable=true]')"
            ".length") == 3, what="the card's clips shown unavailable")
        # Back in; the window gets the focus as the user returns to it (the
        # focus goes to the root window and back: no window manager here).
        os.rename(out, card)
        window = again.window_id()
        root = subprocess.run(["xdotool", "search", "--maxdepth", "0", ""], capture_output=True,
                              text=True).stdout.split()
        if root:
            subprocess.run(["xdotool", "windowfocus", "--sync", root[0]], capture_output=True)
        subprocess.run(["xdotool", "windowfocus", "--sync", window], check=True)
        wait_for(lambda: again.script(
            "return document.querySelectorAll('[data-testid=clip-item][data-unavailable=true]')"
            ".length") == 0, what="the card's clips available again")
        self.assertIn("restored 3 clips", again.log_lines())

    def test_a_kill_in_the_middle_of_an_import_leaves_the_index_sound(self):
        folder = tempfile.mkdtemp(prefix="camvault-large-")
        self.addCleanup(shutil.rmtree, folder, True)
        small = make_clip(os.path.join(folder, "SMALL001.MOV"))
        big = os.path.join(folder, "BIG00001.MOV")
        with open(big, "wb") as f:
            block = os.urandom(1 << 20)
            for _ in range(512):
                f.write(block)
        home = tempfile.mkdtemp(prefix="camvault-e2e-home-")
        self.addCleanup(shutil.rmtree, home, True)
        app = self.start_app(["--import", small, big], home=home)
        wait_for(lambda: [l for l in app.log_lines() if "BIG00001" in l] or
                 app.script("return document.querySelector('[data-testid=import-progress]') &&"
                            " !document.querySelector('[data-testid=import-progress]').hidden"),
                 timeout=30, what="the import under way")
        os.kill(app.app_pid(), signal.SIGKILL)
        db = sqlite3.connect(os.path.join(home, "CAMVAULT", "data", "library.sqlite3"))
        self.assertEqual(db.execute("PRAGMA integrity_check").fetchone()[0], "ok")
        rows = [r[0] for r in db.execute("SELECT source_path FROM clips ORDER BY id")]
        db.close()
        # Each clip is one change: the small one is in, the big one whole or not at all (a fast
        # disk may finish it before the kill lands), and the next start lists just that.
        self.assertIn(rows, ([small], [small, big]))
        again = self.start_app(home=home)
        wait_for(lambda: movies(again) == rows, timeout=30, what="the library after the kill")


if __name__ == "__main__":
    unittest.main(verbosity=2)
