"""Media tools inside the running application: snapshots, the window grab,
merging, and the screen recorder across a page reload."""

import json
import os
import signal
import struct
import subprocess
import tempfile
import time
import unittest

from camvault_e2e import CamVaultTestCase, send_window_delete, wait_for
from test_import import RECORD_CALLS, calls, clip


def png_size(path):
    with open(path, "rb") as f:
        header = f.read(24)
    assert header[:8] == b"\x89PNG\r\n\x1a\n", path
    return struct.unpack(">II", header[16:24])


def rgb_of(path):
    """(width, height, rgb bytes) of a PNG, decoded by ffmpeg."""
    width, height = png_size(path)
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"],
                         capture_output=True, check=True).stdout
    return width, height, raw


def region_difference(a, b, box):
    """Mean absolute difference of two same-sized pictures inside box (x0, y0, x1, y1)."""
    width, height, pa = a
    _, _, pb = b
    x0, y0 = max(0, box[0]), max(0, box[1])
    x1, y1 = min(width, box[2]), min(height, box[3])
    total, count = 0, 0
    for y in range(y0, y1):
        row = (y * width + x0) * 3
        end = (y * width + x1) * 3
        total += sum(abs(p - q) for p, q in zip(pa[row:end], pb[row:end]))
        count += end - row
    return total / max(1, count)


def screen_region(box):
    """The X screen's pixels inside box, as a picture of the box's size (ffmpeg's x11grab)."""
    out = os.path.join(tempfile.mkdtemp(prefix="camvault-grab-"), "screen.png")
    subprocess.run(["ffmpeg", "-v", "error", "-f", "x11grab", "-video_size",
                    f"{box[2] - box[0]}x{box[3] - box[1]}", "-i",
                    f"{os.environ['DISPLAY']}+{box[0]},{box[1]}", "-frames:v", "1", out],
                   check=True, capture_output=True)
    return rgb_of(out)


class MediaInTheApp(CamVaultTestCase):
    def files(self, app):
        folder = os.path.join(app.home, "CAMVAULT", "files")
        return sorted(os.listdir(folder)) if os.path.isdir(folder) else []

    def test_frame_and_window_snapshots(self):
        folder = tempfile.mkdtemp(prefix="camvault-card-")
        path = clip(folder, "SNAP 0001.MOV", seconds=3)
        app = self.start_app()
        app.script(RECORD_CALLS + """
            window.__acts = 0; var act = get_act;
            get_act = function () { window.__acts++; return act(); };
            var result = snapshot_result;
            snapshot_result = function (ok, what) { window.__calls.push(['snapshot_result', ok, what]);
                                                    return result(ok, what); };""")
        url = "file://" + "/".join(p and __import__("urllib.parse").parse.quote(p) for p in path.split("/"))
        app.send_command(f"http://get_photo/{url};0;1")
        wait_for(lambda: app.script("return window.__acts") == 1, what="get_act after the frame")
        ok, written = calls(app, "snapshot_result")[0]
        self.assertIn(ok, (True, "true"))
        self.assertEqual(png_size(written), (320, 180))
        self.assertIn(f"photo:{url},0,1", app.log_lines())

        app.send_command("http://get_full_photo/")
        wait_for(lambda: app.script("return window.__acts") == 2, what="get_act after the grab")
        ok, written = calls(app, "snapshot_result")[1]
        self.assertIn(ok, (True, "true"))
        self.assertEqual(png_size(written), (960, 600))
        self.assertIn("get_photo", app.log_lines())
        time.sleep(0.5)
        self.assertEqual(app.script("return window.__acts"), 2)

    def test_a_window_snapshot_leaves_out_the_tooltip_the_pointer_raised(self):
        app = self.start_app()
        app.script(RECORD_CALLS + """
            var result = snapshot_result;
            snapshot_result = function (ok, what) { window.__calls.push(['snapshot_result', ok, what]);
                                                    return result(ok, what); };""")
        rect = app.script("var r = document.getElementById('btn-full-snapshot').getBoundingClientRect();"
                          "return [Math.round(r.left), Math.round(r.top), Math.round(r.right),"
                          " Math.round(r.bottom)];")
        window = app.window_id()
        geometry = app.window_geometry()
        # Where a tooltip of the button shows: under and beside the pointer, inside the window.
        below = (max(0, rect[0] - 60), rect[3] + 2, rect[0] + 260, rect[3] + 70)
        on_screen = (geometry["X"] + below[0], geometry["Y"] + below[1],
                     geometry["X"] + below[2], geometry["Y"] + below[3])
        subprocess.run(["xdotool", "mousemove", "--window", window, "5", "5"], check=True)
        time.sleep(1.0)
        without = screen_region(on_screen)
        subprocess.run(["xdotool", "mousemove", "--window", window,
                        str((rect[0] + rect[2]) // 2), str((rect[1] + rect[3]) // 2)], check=True)
        # The tooltip is up: the screen under the button changed.
        wait_for(lambda: region_difference(screen_region(on_screen), without,
                                           (0, 0, on_screen[2] - on_screen[0],
                                            on_screen[3] - on_screen[1])) > 5,
                 timeout=10, what="the button's tooltip on the screen")

        app.send_command("http://get_full_photo/")
        wait_for(lambda: len(calls(app, "snapshot_result")) == 1, what="the grab with the tooltip up")
        hovered = rgb_of(calls(app, "snapshot_result")[0][1])
        subprocess.run(["xdotool", "mousemove", "--window", window, "5", "5"], check=True)
        time.sleep(1.0)
        app.send_command("http://get_full_photo/")
        wait_for(lambda: len(calls(app, "snapshot_result")) == 2, what="the grab without it")
        plain = rgb_of(calls(app, "snapshot_result")[1][1])
        self.assertLess(region_difference(hovered, plain, below), 1.0)

    def test_merge_reports_success_and_writes_the_movie(self):
        folder = tempfile.mkdtemp(prefix="camvault-card-")
        first, second = clip(folder, "A.MOV", 2), clip(folder, "B.MOV", 2)
        app = self.start_app()
        app.script(RECORD_CALLS + """
            var done = exp; exp = function (t) { window.__calls.push(['exp', t]); return done(t); };""")
        app.send_command("http://merger/" + ",".join([first, second]) + ",")
        outcome = wait_for(lambda: calls(app, "exp"), timeout=180, what="export outcome")
        self.assertEqual(outcome, [["Export Success"]])
        movies = [f for f in self.files(app) if f.startswith("exp_") and f.endswith(".mov")]
        self.assertEqual(len(movies), 1)
        self.assertEqual([l for l in app.log_lines() if l.startswith("merger:")],
                         [f"merger:{first}", f"merger:{second}"])

    def test_a_merge_with_a_missing_clip_exports_nothing_and_names_it(self):
        folder = tempfile.mkdtemp(prefix="camvault-card-")
        first, gone = clip(folder, "A.MOV", 2), os.path.join(folder, "gone.MOV")
        app = self.start_app()
        app.script(RECORD_CALLS + """
            var done = exp; exp = function (t) { window.__calls.push(['exp', t]); return done(t); };""")
        app.send_command("http://merger/" + ",".join([first, gone]))
        outcome = wait_for(lambda: calls(app, "exp"), timeout=60, what="export outcome")
        self.assertEqual(outcome, [["Export Failed"]])
        [(text, key, params)] = calls(app, "notice")
        self.assertEqual(key, "export_missing_clips")
        self.assertEqual(json.loads(params), {"clips": gone})
        self.assertEqual(self.files(app), [])

    def test_an_export_killed_midway_leaves_nothing_after_the_next_start(self):
        folder = tempfile.mkdtemp(prefix="camvault-card-")
        clips = [clip(folder, f"LONG{n}.MOV", 20) for n in range(3)]
        app = self.start_app()
        app.send_command("http://merger/" + ",".join(clips))
        partial = wait_for(lambda: [f for f in self.files(app) if f.endswith(".part")
                                    and os.path.getsize(os.path.join(app.home, "CAMVAULT", "files", f))],
                           timeout=60, what="the export writing its temporary file")
        os.kill(app.app_pid(), signal.SIGKILL)
        self.assertEqual(self.files(app), partial)

        again = self.start_app(home=app.home)
        again.wait_for_page()
        self.assertEqual(self.files(again), [])

    def test_recording_survives_a_page_reload_and_stops_into_a_movie(self):
        app = self.start_app()
        app.send_command("http://recode/")
        wait_for(lambda: app.script(
            "return document.querySelector('[data-testid=record]').dataset.state") == "recording",
            what="recording shown")
        app.send_command("http://file_del_fun/")  # reloads the page
        time.sleep(1.0)
        app.wait_for_page()
        wait_for(lambda: app.script(
            "return document.querySelector('[data-testid=record]').dataset.state") == "recording",
            what="recording shown after the reload")
        time.sleep(1.0)
        app.send_command("http://norecode/")
        wait_for(lambda: app.script(
            "return document.querySelector('[data-testid=record]').dataset.state") == "stopped",
            what="recording stopped")
        recordings = wait_for(lambda: [f for f in self.files(app) if f.startswith("Recording-")],
                              what="recording file")
        self.assertEqual(len(recordings), 1)
        self.assertGreater(os.path.getsize(os.path.join(app.home, "CAMVAULT", "files", recordings[0])), 0)


    def test_closing_the_window_while_recording_leaves_a_finished_movie(self):
        app = self.start_app()
        window = app.window_id()
        app.send_command("http://recode/")
        wait_for(lambda: app.script(
            "return document.querySelector('[data-testid=record]').dataset.state") == "recording",
            what="recording shown")
        time.sleep(2.0)
        send_window_delete(window)
        wait_for(lambda: not subprocess.run(["xdotool", "search", "--onlyvisible", "--name",
                                             "^CamVault$"], capture_output=True).stdout.strip(),
                 what="window closed")
        recordings = [f for f in self.files(app) if f.startswith("Recording-")]
        self.assertEqual(len(recordings), 1)
        movie = os.path.join(app.home, "CAMVAULT", "files", recordings[0])
        probe = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration",
                                "-of", "csv=p=0", movie], capture_output=True, text=True)
        self.assertEqual(probe.returncode, 0, probe.stderr)
        self.assertGreater(float(probe.stdout.strip()), 1.5)


if __name__ == "__main__":
    unittest.main(verbosity=2)
