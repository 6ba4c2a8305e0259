"""The Debian package as a person gets it: CPack builds it from the build tree;
its control fields and files are what Debian and the desktop expect; unpacked
with dpkg -x into a folder of its own (a prefix it was never built for) the
application starts with its own page and lists its library; apt's resolver
accepts it with its dependencies."""

import glob
import os
import re
import shutil
import subprocess
import tempfile
import unittest

from camvault_e2e import BUILD_DIR, CamVault

APP_ID = "io.github.camvault.CamVault"


def project_version():
    with open(os.path.join(BUILD_DIR, "CMakeCache.txt"), encoding="utf-8") as cache:
        return re.search(r"^CMAKE_PROJECT_VERSION:STATIC=(.*)$", cache.read(), re.M).group(1)


class DebianPackage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.out = tempfile.mkdtemp(prefix="camvault-deb-")
        cls.root = tempfile.mkdtemp(prefix="camvault-unpacked-")
        run = subprocess.run(["cpack", "-G", "DEB", "-B", cls.out, "--config",
                              os.path.join(BUILD_DIR, "CPackConfig.cmake")],
                             cwd=BUILD_DIR, capture_output=True, text=True)
        assert run.returncode == 0, run.stdout + run.stderr
        cls.deb = glob.glob(os.path.join(cls.out, "camvault_*.deb"))[0]
        subprocess.run(["dpkg", "-x", cls.deb, cls.root], check=True)
        print(f"package: {os.path.basename(cls.deb)}, {os.path.getsize(cls.deb)} bytes")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.out, ignore_errors=True)
        shutil.rmtree(cls.root, ignore_errors=True)

    def field(self, name):
        return subprocess.run(["dpkg-deb", "-f", self.deb, name], capture_output=True, text=True,
                              check=True).stdout.strip()

    def test_control_fields_files_and_programs(self):
        version = project_version()
        self.assertEqual(self.field("Package"), "camvault")
        self.assertEqual(self.field("Version"), version)
        self.assertEqual(os.path.basename(self.deb), f"camvault_{version}_amd64.deb")
        depends = {d.split()[0] for d in self.field("Depends").split(", ")}
        for needed in ("libgtk-3-0", "libwebkit2gtk-4.1-0", "libgstreamer1.0-0", "libges-1.0-0",
                       "gstreamer1.0-plugins-good", "gstreamer1.0-libav", "gstreamer1.0-gl"):
            self.assertIn(needed, depends)
        usr = os.path.join(self.root, "usr")
        for path in ("share/camvault/www/index.html", "share/camvault/www/vendor/leaflet/leaflet.js",
                     f"share/applications/{APP_ID}.desktop", f"share/metainfo/{APP_ID}.metainfo.xml",
                     f"share/icons/hicolor/scalable/apps/{APP_ID}.svg",
                     f"share/icons/hicolor/48x48/apps/{APP_ID}.png", "share/doc/camvault/copyright",
                     *(f"share/man/man1/{m}.1.gz" for m in ("camvault", "camvault-extract",
                                                             "camvault-media"))):
            self.assertTrue(os.path.isfile(os.path.join(usr, path)), path)
        # Only the page: the build folder's own files stay behind.
        self.assertFalse(os.path.exists(os.path.join(usr, "share/camvault/www/Makefile")))
        with open(os.path.join(usr, "share/doc/camvault/copyright"), encoding="utf-8") as f:
            self.assertIn("/usr/share/common-licenses/GPL-3", f.read())
        for program in ("camvault", "camvault-extract", "camvault-media"):
            run = subprocess.run([os.path.join(usr, "bin", program), "--version"],
                                 capture_output=True, text=True)
            self.assertEqual((run.returncode, run.stdout), (0, f"{program} {version}\n"))

    def test_unpacked_application_lists_its_library_with_its_own_page(self):
        app = CamVault(app=os.path.join(self.root, "usr", "bin", "camvault"))
        self.addCleanup(app.close)
        data = os.path.join(app.home, "CAMVAULT", "data")
        self.assertEqual(app.script("return [window.camvaultLastListing, user_path]"),
                         [["", "", "0"], data])
        page = "file://" + os.path.realpath(self.root) + "/usr/share/camvault/www/index.html"
        self.assertEqual(app.script("return window.location.href"), page)

    def test_apt_resolves_its_dependencies(self):
        run = subprocess.run(["apt-get", "install", "--simulate", self.deb],
                             capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertIn("Inst camvault", run.stdout)


if __name__ == "__main__":
    unittest.main(verbosity=2)
