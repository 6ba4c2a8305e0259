"""Open With CamVault as a desktop does it, on a session bus of the test's own
and with CamVault's desktop entry in a data folder of its own: the desktop
offers the entry for QuickTime clips; launching it on two clips starts
CamVault, which imports both at start; opening a third clip and then a folder
while it runs hands them to the same window (the folder's clips directly
inside it only); one window throughout. Started without --automation and
without CAMVAULT_NON_UNIQUE, so the single-instance rule itself is tested."""

import os
import shutil
import subprocess
import tempfile
import unittest

from camvault_e2e import APP, SOURCE_DIR, send_window_delete, wait_for
from test_import import clip

APP_ID = "io.github.camvault.CamVault"


class OpenWith(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="camvault-open-with-")
        self.addCleanup(shutil.rmtree, self.tmp, ignore_errors=True)
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                               stdout=subprocess.PIPE, text=True)
        self.addCleanup(bus.stdout.close)
        self.addCleanup(bus.wait)
        self.addCleanup(bus.terminate)
        address = bus.stdout.readline().strip()
        applications = os.path.join(self.tmp, "share", "applications")
        os.makedirs(applications)
        self.entry = shutil.copy(os.path.join(SOURCE_DIR, "data", f"{APP_ID}.desktop"), applications)
        # What the package's dpkg trigger does: the MIME index GIO reads.
        subprocess.run(["update-desktop-database", applications], check=True)
        self.home = os.path.join(self.tmp, "home")
        os.makedirs(self.home)
        self.env = dict(os.environ, HOME=self.home, DBUS_SESSION_BUS_ADDRESS=address,
                        XDG_DATA_HOME=os.path.join(self.tmp, "share"), XDG_DATA_DIRS="/usr/share",
                        XDG_CONFIG_HOME=os.path.join(self.tmp, "config"),
                        # The entry runs "camvault": the one just built.
                        PATH=os.path.dirname(APP) + os.pathsep + os.environ["PATH"],
                        GSETTINGS_BACKEND="memory", NO_AT_BRIDGE="1")
        self.env.pop("CAMVAULT_NON_UNIQUE", None)

    def gio(self, *args, log=None):
        output = open(os.path.join(self.tmp, log), "wb") if log else subprocess.PIPE
        run = subprocess.run(["gio", *args], env=self.env, stdout=output,
                             stderr=subprocess.STDOUT)
        if log:
            output.close()
        self.assertEqual(run.returncode, 0, run.stdout)
        return run.stdout.decode() if run.stdout else ""

    def log(self, name):
        with open(os.path.join(self.tmp, name), "rb") as f:
            return f.read().decode(errors="replace").splitlines()

    def listing(self, clips):
        data = os.path.join(self.home, "CAMVAULT", "data")
        names = [os.path.splitext(os.path.basename(c))[0] for c in clips]
        return (f"file_list_fun('{''.join(f'{data}/{n}.data,' for n in names)}',"
                f"'{''.join(c + ',' for c in clips)}','{clips[-1]}');user_path='{data}'")

    def windows(self):
        return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^CamVault$"],
                              capture_output=True, text=True).stdout.split()

    def test_clips_and_a_folder_opened_with_camvault_go_to_one_window(self):
        registered = self.gio("mime", "video/quicktime").split("Registered applications:")[-1]
        self.assertIn(f"{APP_ID}.desktop", registered)
        # Another player on the machine may be the default: this desktop's user picks CamVault.
        self.gio("mime", "video/quicktime", f"{APP_ID}.desktop")
        card = os.path.join(self.tmp, "card")
        first, second, third = (clip(card, n) for n in ("A.MOV", "B.MOV", "C.MOV"))
        folder = os.path.join(card, "DCIM")
        inside = [clip(folder, "D.MOV"), clip(folder, "e.mov")]
        clip(os.path.join(folder, "deeper"), "F.MOV")
        with open(os.path.join(folder, "notes.txt"), "w") as notes:
            notes.write("not a clip")

        self.gio("launch", self.entry, first, second, log="first.log")
        wait_for(lambda: self.listing([first, second]) in self.log("first.log"), timeout=60,
                 what="both clips imported at start")
        window = wait_for(self.windows, what="CamVault window")[-1]
        pid = int(subprocess.run(["xdotool", "getwindowpid", window], capture_output=True,
                                 text=True, check=True).stdout)
        self.addCleanup(lambda: os.path.exists(f"/proc/{pid}") and os.kill(pid, 9))

        self.gio("open", third, log="third.log")
        wait_for(lambda: self.listing([first, second, third]) in self.log("first.log"),
                 timeout=60, what="the third clip imported by the running CamVault")
        self.assertIn("handed over to the CamVault already running", self.log("third.log"))

        self.gio("launch", self.entry, folder, log="folder.log")
        wait_for(lambda: self.listing([first, second, third, *inside]) in self.log("first.log"),
                 timeout=60, what="the folder's clips imported by the running CamVault")
        self.assertEqual(self.windows(), [window])

        send_window_delete(window)
        wait_for(lambda: not os.path.exists(f"/proc/{pid}"), what="CamVault closed")


if __name__ == "__main__":
    unittest.main(verbosity=2)
