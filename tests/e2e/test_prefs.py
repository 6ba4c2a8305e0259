"""The page's settings in the running application: a save_prefs sent through
the page's own sender writes settings.json normalised and leaves ini.txt
alone, new event thresholds bring fresh summaries without the events of the
old ones, refused saves show as toasts while the former file stays, and the
Import chooser speaks the language the page saved in ini.txt."""

import json
import os
import shutil
import subprocess
import tempfile

from camvault_e2e import CamVaultTestCase, wait_for
from test_library import make_clip

SEND_PREFS = ("return CamVaultPage.sender.send('save_prefs',"
              " encodeURIComponent(JSON.stringify(arguments[0])));")


def kinds(app):
    """The event kinds of the only listed clip, once its summary is known."""
    return app.script(
        "var l = CamVaultPage.state.library;"
        "if (!l || l.clips.length !== 1 || l.clips[0].has_telemetry !== true) return null;"
        "return l.clips[0].events.map(function (e) { return e.kind; });")


def toasts_with(app, text):
    return [t for t in app.script("return Array.from(document.querySelectorAll("
                                  "'[data-testid=toast]'), t => t.textContent)") if text in t]


class Prefs(CamVaultTestCase):
    def test_saved_prefs_are_written_and_thresholds_find_events_again(self):
        card = tempfile.mkdtemp(prefix="camvault-card-")
        self.addCleanup(shutil.rmtree, card, True)
        brake = make_clip(os.path.join(card, "FILE0001.MOV"), "--route", "motorway", "--seconds",
                          "20", "--start", "2026-06-01 09:00:00", "--brake-at", "10")
        app = self.start_app(["--import", brake])
        data = os.path.join(app.home, "CAMVAULT", "data")
        with open(os.path.join(data, "ini.txt"), encoding="utf-8") as f:
            ini = f.read()
        # The -0.75 g stop is harsh braking at the default 0.40 g.
        at_defaults = wait_for(lambda: kinds(app), timeout=60, what="the clip's events")
        self.assertEqual(at_defaults, ["harsh_braking"])

        highest = {"braking_g": 2, "acceleration_g": 2, "cornering_g": 2, "impact_g": 16}
        app.script(SEND_PREFS, {"events": highest, "camera_utc_offset_min": 60,
                                "unknown": "\u00fc"})
        path = os.path.join(data, "settings.json")
        wait_for(lambda: os.path.exists(path), what="settings.json written")
        with open(path, encoding="utf-8") as f:
            saved = json.load(f)
        self.assertEqual(saved, {
            "clock_correction_s": 0, "camera_utc_offset_min": 60,
            "events": highest,
            "reopen_library": True, "stop_at_clip_end": False, "snapshot_caption": False})
        with open(os.path.join(data, "ini.txt"), encoding="utf-8") as f:
            self.assertEqual(f.read(), ini)
        # Fresh summaries: nothing is an event at 2 g.
        wait_for(lambda: kinds(app) == [], timeout=30, what="summaries of the new thresholds")

        # More than 4096 bytes: a toast, and the file stays.
        app.script(SEND_PREFS, {"reopen_library": False, "padding": "x" * 5000})
        wait_for(lambda: toasts_with(app, "4096"), what="the size refusal shown in the page")
        # A value out of its range: a toast naming the field, and the file stays.
        app.script(SEND_PREFS, {"camera_utc_offset_min": 900})
        wait_for(lambda: toasts_with(app, "camera_utc_offset_min"),
                 what="the invalid value shown in the page")
        with open(path, encoding="utf-8") as f:
            self.assertEqual(json.load(f), saved)

        # Back at the defaults, the stop is an event again.
        app.script(SEND_PREFS, {})
        wait_for(lambda: kinds(app) == at_defaults, timeout=30,
                 what="summaries of the default thresholds")

    def test_the_settings_dialog_saves_and_the_clock_correction_moves_every_time(self):
        card = tempfile.mkdtemp(prefix="camvault-card-")
        self.addCleanup(shutil.rmtree, card, True)
        clip = make_clip(os.path.join(card, "FILE0001.MOV"), "--seconds", "4",
                         "--start", "2026-06-01 09:00:00")
        home = tempfile.mkdtemp(prefix="camvault-e2e-home-")
        self.addCleanup(shutil.rmtree, home, True)
        app = self.start_app(["--import", clip], home=home)
        shown = lambda: app.script("return document.getElementById('datetime-value').textContent")
        wait_for(lambda: shown().startswith("2026-06-01 09:00:0"), timeout=60, what="the recorded time")
        # The camera ran an hour fast, and the library should start closed.
        app.script("document.querySelector('[data-testid=prefs]').click();"
                   "document.getElementById('pref-correction').value = '-01:00:00';"
                   "document.getElementById('pref-reopen').checked = false;"
                   "document.querySelector('[data-testid=prefs-save]').click();")
        path = os.path.join(app.home, "CAMVAULT", "data", "settings.json")
        wait_for(lambda: os.path.exists(path), what="settings.json written")
        with open(path, encoding="utf-8") as f:
            saved = json.load(f)
        self.assertEqual((saved["clock_correction_s"], saved["reopen_library"]), (-3600, False))
        wait_for(lambda: shown().startswith("2026-06-01 08:00:0"), what="the corrected time shown")
        self.assertRegex(app.script("return document.querySelector('.clip-meta').textContent"),
                         r"^2026-06-01 08:00:0")
        # The charts' time axis (drawn on a canvas) labels its ticks by the same clock.
        self.assertEqual(app.script("return CamVaultPage.speedChart.axisText(0)"), "08:00:00")

        # A new start keeps the library closed, and the page reads the correction back.
        app.close()
        again = self.start_app([], home=home)
        again.wait_for_log("library kept closed at start")
        wait_for(lambda: again.script("return CamVaultPage.state.prefs.clock_correction_s") == -3600,
                 what="the page read settings.json")
        self.assertEqual(again.script("return CamVaultPage.state.clips.length"), 0)

    def chooser_titled(self, title):
        return wait_for(lambda: subprocess.run(
            ["xdotool", "search", "--onlyvisible", "--name", f"^{title}$"],
            capture_output=True, text=True).stdout.split(), what=f"chooser {title!r}")[-1]

    def test_the_chooser_speaks_the_pages_language(self):
        app = self.start_app()
        ini = os.path.join(app.home, "CAMVAULT", "data", "ini.txt")
        for language, title, cancel, accept in (
                ("German", "Clips importieren", "Abbrechen", "Importieren"),
                ("French", "Importer des clips", "Annuler", "Importer")):
            app.script("var s = document.getElementById('language-select'); s.value = arguments[0];"
                       "s.dispatchEvent(new Event('change'));", language)
            wait_for(lambda: open(ini, encoding="utf-8").read().endswith(language),
                     what=f"{language} saved in ini.txt")
            app.send_command("http://file_copy_fun/")
            dialog = self.chooser_titled(title)
            # The buttons the dialog shows, read back from its widgets.
            self.assertIn(f"chooser: {title} | {cancel} | {accept}", app.log_lines())
            subprocess.run(["xdotool", "windowfocus", "--sync", dialog], check=True)
            subprocess.run(["xdotool", "key", "Escape"], check=True)
            wait_for(lambda: not subprocess.run(
                ["xdotool", "search", "--onlyvisible", "--name", f"^{title}$"],
                capture_output=True, text=True).stdout.strip(), what="chooser closed")
