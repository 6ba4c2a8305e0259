"""Footage import and removal end to end: the real file chooser, a real drag
source, awkward names, the exact listing texts, and a large clip imported
while the window keeps answering."""

import os
import shutil
import subprocess
import tempfile
import time
import unittest

from camvault_e2e import SOURCE_DIR, CamVaultTestCase, wait_for

MAKE_CLIP = os.path.join(SOURCE_DIR, "tools", "make-clip")
DRAG_SOURCE = os.environ.get("CAMVAULT_DRAG_SOURCE")

RECORD_CALLS = """
window.__calls = [];
['file_list_fun', 'import_progress', 'import_refused', 'notice'].forEach(function (name) {
  var original = window[name];
  window[name] = function () {
    window.__calls.push([name].concat(Array.prototype.slice.call(arguments)));
    return original.apply(this, arguments);
  };
});
"""

_clip_cache = {}


def clip(folder, name, seconds=2):
    """A small generated clip with telemetry, copied from a cache per length."""
    if seconds not in _clip_cache:
        cache = tempfile.mkdtemp(prefix="camvault-e2e-clips-")
        path = os.path.join(cache, f"clip{seconds}.MOV")
        subprocess.run([MAKE_CLIP, "--seconds", str(seconds), "--size", "320x180", path],
                       check=True, capture_output=True)
        _clip_cache[seconds] = path
    os.makedirs(folder, exist_ok=True)
    target = os.path.join(folder, name)
    shutil.copyfile(_clip_cache[seconds], target)
    return target


def calls(app, name):
    return [c[1:] for c in app.script("return window.__calls") if c[0] == name]


def send_removal(app, paths):
    app.script("var f = document.createElement('iframe'); f.style.display = 'none';"
               "f.src = 'http://file_del_fun/' + arguments[0].map(encodeURIComponent).join(',');"
               "document.body.appendChild(f);", paths)


class ImportAndRemoval(CamVaultTestCase):
    def test_started_with_clips_lists_them_as_the_example_and_removal_matches(self):
        cards = tempfile.mkdtemp(prefix="camvault-card-")
        dcim = os.path.join(cards, "DCIM")
        first, second = clip(dcim, "FILE0001.MOV"), clip(dcim, "FILE0002.MOV")
        app = self.start_app(["--import", first, second])
        data = os.path.join(app.home, "CAMVAULT", "data")
        expected = (f"file_list_fun('{data}/FILE0001.data,{data}/FILE0002.data,',"
                    f"'{first},{second},','{second}');user_path='{data}'")
        app.wait_for_log(expected, timeout=60)
        with open(os.path.join(data, "FILE0001.data"), encoding="utf-8") as script:
            self.assertTrue(script.read().startswith("data['FILE0001.MOV']=new Array();data["))

        send_removal(app, [first])
        app.wait_for_log(f"del_res1:{second},")
        lines = app.log_lines()
        self.assertIn(f"del:{first},,mov:{first},{second},", lines)
        self.assertIn(f"del_res:{data}/FILE0002.data,", lines)
        app.wait_for_page()
        wait_for(lambda: app.log_lines().count("finish") == 2, what="listing after the reload")
        self.assertTrue(os.path.exists(first))
        self.assertTrue(os.path.exists(os.path.join(data, "FILE0001.data")))

    def test_awkward_names_survive_import_removal_and_reimport(self):
        folder = tempfile.mkdtemp(prefix="camvault-awkward ")
        names = ["with space.MOV", "it's.MOV", 'say "hi".MOV', "back\\slash.MOV", "lit%20eral.MOV",
                 "hash#.MOV", "what?.MOV", "a&b.MOV", "Ü.MOV", "日本語.MOV", "-lead.MOV",
                 "x');window.__injected=true;('.MOV",
                 ("x" * 246) + ".MOV"]
        paths = [clip(folder, name) for name in names]
        comma = clip(folder, "a,comma.MOV")
        app = self.start_app()
        app.script(RECORD_CALLS)
        app.script("window.__calls = [];")
        self.choose(app, folder, select_all=True)
        listing = wait_for(lambda: calls(app, "file_list_fun"), timeout=90, what="listing")[-1]
        movies = listing[1].split(",")[:-1]
        self.assertEqual(sorted(movies), sorted(paths))
        self.assertEqual(len(listing[0].split(",")[:-1]), len(paths))
        refused = calls(app, "import_refused")
        self.assertEqual([r[0] for r in refused], [comma])
        self.assertFalse(app.script("return window.__injected === true"))

        # Remove every second clip, then import them again.
        removed = paths[::2]
        send_removal(app, removed)
        app.wait_for_page()
        app.script(RECORD_CALLS)
        wait_for(lambda: app.log_lines().count("finish") >= 2, what="reloaded listing")
        last_removal = [l for l in app.log_lines() if l.startswith("del_res1:")][-1]
        remaining = last_removal[len("del_res1:"):].split(",")[:-1]
        self.assertEqual(sorted(remaining), sorted(paths[1::2]))
        data_line = [l for l in app.log_lines() if l.startswith("del_res:")][-1]
        self.assertEqual(len(data_line.split(",")) - 1, len(remaining))

        # Importing the folder again lists the removed clips once more after the
        # kept ones, and the kept ones are not listed twice.
        self.choose(app, folder, select_all=True)
        listing = wait_for(lambda: calls(app, "file_list_fun"), timeout=90, what="listing")[-1]
        movies = listing[1].split(",")[:-1]
        self.assertEqual(sorted(movies), sorted(paths))
        self.assertEqual(movies[:len(remaining)], remaining)
        refused = [r for r in calls(app, "import_refused") if r[0] in remaining]
        self.assertEqual(sorted(r[0] for r in refused), sorted(remaining))
        self.assertTrue(all(r[2] == "refused_already_listed" for r in refused))
        self.assertFalse(app.script("return window.__injected === true"))

    def chooser(self, app):
        return wait_for(lambda: subprocess.run(
            ["xdotool", "search", "--onlyvisible", "--name", "^Import clips$"],
            capture_output=True, text=True).stdout.split(), what="file chooser")[-1]

    def choose(self, app, path, select_all=False):
        """Opens the chooser from the page and picks `path` (a file, or every
        clip of a folder) the way a person does: location typed, rows clicked."""
        app.send_command("http://file_copy_fun/")
        dialog = self.chooser(app)
        subprocess.run(["xdotool", "windowfocus", "--sync", dialog], check=True)
        subprocess.run(["xdotool", "key", "--clearmodifiers", "ctrl+l"], check=True)
        time.sleep(0.3)
        subprocess.run(["xdotool", "type", "--delay", "2", path + ("/" if select_all else "")],
                       check=True)
        time.sleep(1.0)  # let the location's completion settle
        subprocess.run(["xdotool", "key", "Return"], check=True)
        if select_all:
            time.sleep(1.0)
            subprocess.run(["xdotool", "mousemove", "--window", dialog, "300", "83", "click", "1"],
                           check=True)
            time.sleep(0.3)
            subprocess.run(["xdotool", "key", "--clearmodifiers", "ctrl+a"], check=True)
            time.sleep(0.3)
            subprocess.run(["xdotool", "key", "Return"], check=True)

    def test_chooser_cancel_changes_nothing(self):
        app = self.start_app()
        app.script(RECORD_CALLS)
        app.send_command("http://file_copy_fun/")
        dialog = self.chooser(app)
        subprocess.run(["xdotool", "windowfocus", "--sync", dialog], check=True)
        subprocess.run(["xdotool", "key", "Escape"], check=True)
        wait_for(lambda: not subprocess.run(
            ["xdotool", "search", "--onlyvisible", "--name", "^Import clips$"],
            capture_output=True, text=True).stdout.strip(), what="chooser closed")
        time.sleep(0.5)
        self.assertEqual(calls(app, "file_list_fun"), [])

    def test_chooser_picks_one_clip(self):
        folder = tempfile.mkdtemp(prefix="camvault-card-")
        path = clip(folder, "PICK0001.MOV")
        app = self.start_app()
        app.script(RECORD_CALLS)
        self.choose(app, path)
        listing = wait_for(lambda: calls(app, "file_list_fun"), timeout=60, what="listing")[-1]
        self.assertEqual(listing[1:3], [path + ",", path])

    @unittest.skipUnless(DRAG_SOURCE, "drag source helper not built")
    def test_a_drop_imports_once_and_never_navigates_the_page(self):
        folder = tempfile.mkdtemp(prefix="camvault-card-")
        path = clip(folder, "DROP0001.MOV")
        app = self.start_app()
        app.script(RECORD_CALLS + "window.__marker = 'still here';")
        source = subprocess.Popen([DRAG_SOURCE, path])
        self.addCleanup(source.kill)
        source_window = wait_for(lambda: subprocess.run(
            ["xdotool", "search", "--onlyvisible", "--name", "^Drag source$"],
            capture_output=True, text=True).stdout.split(), what="drag source")[-1]
        subprocess.run(["xdotool", "windowmove", "--sync", source_window, "1500", "700"], check=True)
        time.sleep(0.5)
        target = app.window_geometry()
        subprocess.run(["xdotool", "mousemove", "--sync", "1600", "800", "mousedown", "1"], check=True)
        for step in range(1, 11):
            x = 1600 + (target["X"] + 500 - 1600) * step // 10
            y = 800 + (target["Y"] + 300 - 800) * step // 10
            subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y)], check=True)
            time.sleep(0.05)
        time.sleep(0.3)
        subprocess.run(["xdotool", "mouseup", "1"], check=True)
        listing = wait_for(lambda: calls(app, "file_list_fun"), timeout=60, what="listing")
        time.sleep(1.0)
        self.assertEqual(len(calls(app, "file_list_fun")), 1)
        self.assertEqual(listing[-1][1:3], [path + ",", path])
        self.assertEqual(app.script("return window.__marker"), "still here")

    def test_only_regular_files_are_imported_and_the_rest_refused_with_a_key(self):
        folder = tempfile.mkdtemp(prefix="camvault-card-")
        real = clip(folder, "REAL0001.MOV")
        pipe = os.path.join(folder, "PIPE0001.MOV")
        os.mkfifo(pipe)  # a clip probe or a read would block on it for ever
        dir_clip = os.path.join(folder, "DIR0001.MOV")
        os.mkdir(dir_clip)
        dangling = os.path.join(folder, "LINK0001.MOV")
        os.symlink(os.path.join(folder, "gone.MOV"), dangling)
        app = self.start_app(["--import", pipe, dir_clip, dangling, real])
        app.script(RECORD_CALLS)
        listing = wait_for(lambda: [l for l in app.log_lines() if l.startswith("file_list_fun(")
                                    and real in l], timeout=60, what="listing")[-1]
        self.assertNotIn(pipe, listing)
        self.assertNotIn(dir_clip, listing)
        self.assertNotIn(dangling, listing)
        for path in (pipe, dir_clip, dangling):
            self.assertTrue([l for l in app.log_lines() if l.startswith(f"not imported: {path}: ")])
        # The window still answers: nothing blocked on the pipe.
        self.assertEqual(app.script("return 1 + 1"), 2)

    def test_a_clip_replaced_by_a_pipe_is_named_before_the_next_listing(self):
        folder = tempfile.mkdtemp(prefix="camvault-card-")
        first, shown, third = (clip(folder, "FILE0001.MOV"), clip(folder, "FILE0002.MOV"),
                               clip(folder, "FILE0003.MOV"))
        app = self.start_app(["--import", first, shown])
        wait_for(lambda: app.script("return CamVaultPage.player.path") == shown, timeout=60,
                 what="the last imported clip on screen")
        # Both lengths read (the page opens each movie once for it) before the
        # file changes under the page.
        wait_for(lambda: app.script(
            "return Array.from(document.querySelectorAll('[data-testid=clip-item] .clip-meta'),"
            " m => m.textContent).every(t => /\\u00b7 0:0[0-9]/.test(t))"), what="both clips' lengths")
        # The clip not on screen becomes a pipe (a video element opening it would hang).
        os.unlink(first)
        os.mkfifo(first)
        app.script("""
            window.__order = [];
            var unavailable = window.clips_unavailable;
            window.clips_unavailable = function (paths) {
              window.__order.push(['clips_unavailable', JSON.parse(paths)]);
              return unavailable.apply(this, arguments);
            };
            var listing = file_list_fun;
            file_list_fun = function () {
              window.__order.push(['file_list_fun']);
              return listing.apply(this, arguments);
            };""")
        self.choose(app, third)
        order = wait_for(lambda: app.script("return window.__order.length >= 2 && window.__order"),
                         timeout=60, what="listing after the import")
        self.assertEqual(order[:2], [["clips_unavailable", [first]], ["file_list_fun"]])
        wait_for(lambda: app.script(
            "return document.querySelector('[data-testid=clip-item][data-unavailable=true]')"
            " .dataset.path") == first, what="the pipe marked in the list")
        self.assertEqual(app.script("return 1 + 1"), 2)

    def test_a_large_clip_imports_while_the_page_keeps_answering(self):
        folder = tempfile.mkdtemp(prefix="camvault-large-")
        big = os.path.join(folder, "BIG00001.MOV")
        with open(big, "wb") as f:
            block = os.urandom(1 << 20)
            for _ in range(1024):  # 1 GiB of data the scan must read
                f.write(block)
        self.addCleanup(shutil.rmtree, folder, True)
        app = self.start_app()
        app.script(RECORD_CALLS)
        started = time.monotonic()
        self.choose(app, big)
        slowest = 0.0
        while not calls(app, "file_list_fun"):
            t = time.monotonic()
            self.assertEqual(app.script("return 1 + 1"), 2)
            slowest = max(slowest, time.monotonic() - t)
            self.assertLess(time.monotonic() - started, 120)
            time.sleep(0.1)
        self.assertLess(slowest, 1.0)
        self.assertTrue(calls(app, "import_progress"))
        self.assertEqual(calls(app, "file_list_fun")[-1][2], big)


if __name__ == "__main__":
    unittest.main(verbosity=2)
