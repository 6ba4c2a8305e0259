"""The application shell end to end: first listing and library folders,
settings that survive a reload, window sizes, the command dispatcher, closing."""

import os
import shutil
import subprocess
import tempfile
import time
import unittest

from camvault_e2e import APP, CamVault, CamVaultTestCase, close_like_a_person, wait_for

PROPORTION = 1.60000002384185791015625


def read(path):
    with open(path, "rb") as f:
        return f.read()


class FirstStart(CamVaultTestCase):
    def test_empty_home_gets_library_folders_settings_and_an_empty_listing(self):
        app = self.start_app()
        data = os.path.join(app.home, "CAMVAULT", "data")
        self.assertTrue(os.path.isdir(data))
        self.assertTrue(os.path.isdir(os.path.join(app.home, "CAMVAULT", "files")))
        self.assertEqual(read(os.path.join(data, "ini.txt")), b"km,English")
        received = app.script("return [window.camvaultLastListing, user_path]")
        self.assertEqual(received, [["", "", "0"], data])
        self.assertIn("finish", app.log_lines())

    def test_existing_settings_are_kept_and_save_set_survives_a_reload(self):
        home = tempfile.mkdtemp(prefix="camvault-e2e-home-")
        os.makedirs(os.path.join(home, "CAMVAULT", "data"))
        ini = os.path.join(home, "CAMVAULT", "data", "ini.txt")
        with open(ini, "w") as f:
            f.write("mi,Deutsch")
        app = self.start_app(home=home)
        self.assertEqual(read(ini), b"mi,Deutsch")
        app.send_command("http://save_set/km,Fran%C3%A7ais")
        wait_for(lambda: read(ini) == b"km,Fran%C3%A7ais", what="settings written")
        app.refresh()
        self.assertEqual(read(ini), b"km,Fran%C3%A7ais")
        self.assertEqual(app.log_lines().count("finish"), 2)


class WindowSizes(CamVaultTestCase):
    def geometry_after(self, app, command, height):
        app.send_command(command)
        return wait_for(lambda: (lambda g: g if g["HEIGHT"] == height else None)(app.window_geometry()),
                        what=f"window {height} high")

    def test_max_and_mini(self):
        app = self.start_app()
        screen = 1080
        large = self.geometry_after(app, "http://max/", screen - 50)
        self.assertEqual(large["WIDTH"], round((screen - 50) * PROPORTION))
        self.assertEqual(large["Y"], 50)
        app.wait_for_log("max")
        small = self.geometry_after(app, "http://mini/", 600)
        self.assertEqual(small["WIDTH"], 960)
        self.assertEqual((small["X"], small["Y"]), (0, 0))

    def test_width_follows_a_dragged_height(self):
        app = self.start_app()
        subprocess.run(["xdotool", "windowsize", app.window_id(), "960", "700"], check=True)
        wait_for(lambda: app.window_geometry()["WIDTH"] == round(700 * PROPORTION),
                 what="width following the height")
        self.assertIn("rr:1.600000,w:1120.000017,h:700.000000,rh:1080.000000", app.log_lines())

    def test_numbers_keep_their_decimal_point_in_a_decimal_comma_locale(self):
        if "de_DE.utf8" not in subprocess.run(["locale", "-a"], capture_output=True,
                                              text=True).stdout.split():
            self.skipTest("de_DE.UTF-8 is not generated (scripts/run-tests generates it)")
        app = CamVault(env={"LC_ALL": "de_DE.UTF-8", "LANG": "de_DE.UTF-8"})
        self.addCleanup(app.close)
        subprocess.run(["xdotool", "windowsize", app.window_id(), "960", "700"], check=True)
        app.wait_for_log("rr:1.600000,w:1120.000017,h:700.000000,rh:1080.000000")


class Dispatcher(CamVaultTestCase):
    def test_two_prefixes_run_in_table_order(self):
        app = self.start_app()
        app.send_command("http://max/?then=http://mini/")
        app.wait_for_log("max")
        lines = app.log_lines()
        self.assertLess(lines.index("mini"), lines.index("max"))
        # The page is still displayed and still receives calls.
        self.assertTrue(app.script("return typeof file_list_fun === 'function'"))

    def test_import_command_ends_the_dispatch(self):
        app = self.start_app()
        app.send_command("http://file_copy_fun/?http://max/")
        app.send_command("http://mini/")
        app.wait_for_log("mini")
        time.sleep(0.5)
        self.assertNotIn("max", app.log_lines())

    def test_other_pages_never_replace_the_page(self):
        app = self.start_app()
        app.script("window.location.href = 'file:///etc/hostname';")
        time.sleep(1.0)
        self.assertTrue(app.script("return typeof file_list_fun === 'function'"))

    def test_a_library_that_cannot_be_made_is_told_to_the_page(self):
        home = tempfile.mkdtemp(prefix="camvault-e2e-home-")
        self.addCleanup(shutil.rmtree, home, True)
        with open(os.path.join(home, "CAMVAULT"), "w") as f:
            f.write("a file where the library folder belongs")
        app = self.start_app(home=home)
        folder = os.path.join(home, "CAMVAULT", "data")
        toasts = wait_for(lambda: [t for t in app.script(
            "return Array.from(document.querySelectorAll('[data-testid=toast]'),"
            " t => t.textContent)") if folder in t], what="the problem shown in the page")
        self.assertTrue(toasts)
        self.assertTrue([l for l in app.log_lines() if l.startswith(f"cannot create folder {folder}")])

    def test_foreign_frames_command_nothing(self):
        app = self.start_app()
        ini = os.path.join(app.home, "CAMVAULT", "data", "ini.txt")
        wait_for(lambda: os.path.exists(ini), what="ini.txt")
        # Frames of other sites whose URLs merely hold a command.
        for url in ("https://camvault.invalid/#http://save_set/mi,Deutsch",
                    "http://camvault.invalid/?http://get_photo/http://camvault.invalid/x.mov;0;0",
                    "http://camvault.invalid/http://max/"):
            app.script("var f = document.createElement('iframe'); f.src = arguments[0];"
                       "document.body.appendChild(f);", url)
        time.sleep(1.5)
        with open(ini) as f:
            self.assertEqual(f.read(), "km,English")
        self.assertFalse([l for l in app.log_lines() if l.startswith("photo:") or l == "max"])


class Closing(unittest.TestCase):
    """CamVault started by hand (no WebDriver), closed the way a window manager does."""

    def run_until_window(self, extra_env, window_name):
        home = tempfile.mkdtemp(prefix="camvault-e2e-home-")
        env = dict(os.environ, HOME=home, GSETTINGS_BACKEND="memory", NO_AT_BRIDGE="1", **extra_env)
        # A file, not a pipe: an unread pipe fills up and blocks the application.
        output = tempfile.TemporaryFile()
        self.addCleanup(output.close)
        process = subprocess.Popen([APP], env=env, stdout=output, stderr=subprocess.STDOUT)
        self.addCleanup(lambda: process.poll() is None and process.kill())
        window = wait_for(lambda: subprocess.run(
            ["xdotool", "search", "--onlyvisible", "--pid", str(process.pid), "--name", window_name],
            capture_output=True, text=True).stdout.split(), what=window_name)[-1]
        return home, process, window, output

    def test_closing_the_window_ends_with_status_zero(self):
        home, process, _, _ = self.run_until_window({}, "^CamVault$")
        wait_for(lambda: os.path.exists(os.path.join(home, "CAMVAULT", "data", "ini.txt")),
                 what="first listing")
        self.assertEqual(close_like_a_person(process, "^CamVault$"), 0)

    def test_missing_page_is_a_clear_error(self):
        _, process, _, output = self.run_until_window(
            {"CAMVAULT_WWW_DIR": "/nonexistent/www"}, "CamVault")
        self.assertEqual(close_like_a_person(process, "CamVault"), 1)
        output.seek(0)
        self.assertIn(b"www/index.html is missing", output.read())


if __name__ == "__main__":
    unittest.main(verbosity=2)
