#!/usr/bin/env python3
"""Keeps the files that name CamVault to the outside world in step: one
application id (desktop entry, its icon, metainfo, GApplication), the
project's version as the metainfo's newest release and the page's version, and
one licence (LICENSE, package.json, metainfo, Debian copyright). A version
raised in CMake without release notes, or an id renamed in one place only,
fails here.

usage: check_identity.py SOURCE_DIR VERSION
"""
import configparser
import json
import re
import sys
import xml.etree.ElementTree as ET

APP_ID = "io.github.camvault.CamVault"
LICENSE = "GPL-3.0-or-later"


def problems_of(root, version):
    problems = []

    def expect(ok, what):
        if not ok:
            problems.append(what)

    entry = configparser.ConfigParser(interpolation=None)
    entry.optionxform = str
    entry.read(f"{root}/data/{APP_ID}.desktop", encoding="utf-8")
    desktop = entry["Desktop Entry"]
    expect(desktop.get("Icon") == APP_ID, "desktop entry: Icon is not the application id")
    expect(re.fullmatch(r"camvault( .*)? %F", desktop.get("Exec", "")) is not None,
           "desktop entry: Exec does not run camvault with %F")
    expect("video/quicktime" in desktop.get("MimeType", "").split(";"),
           "desktop entry: no video/quicktime")
    categories = desktop.get("Categories", "").split(";")
    expect(all(c in categories for c in ("AudioVideo", "Video", "Player")),
           "desktop entry: categories")

    meta = ET.parse(f"{root}/data/{APP_ID}.metainfo.xml").getroot()
    expect(meta.findtext("id") == APP_ID, "metainfo: id")
    expect(meta.findtext("launchable") == f"{APP_ID}.desktop", "metainfo: launchable")
    expect(meta.findtext("project_license") == LICENSE, "metainfo: project_license")
    expect(meta.findtext("metadata_license") == "CC0-1.0", "metainfo: metadata_license")
    releases = meta.findall("releases/release")
    expect(bool(releases) and releases[0].get("version") == version,
           f"metainfo: the newest release is not {version}")

    svg = ET.parse(f"{root}/data/icons/{APP_ID}.svg").getroot()
    expect(svg.tag == "{http://www.w3.org/2000/svg}svg", "icon: not an SVG")

    with open(f"{root}/app/launch.hpp", encoding="utf-8") as f:
        expect(f'kApplicationId = "{APP_ID}"' in f.read(), "app/launch.hpp: application id")
    with open(f"{root}/LICENSE", encoding="utf-8") as f:
        expect(f.readline().strip() == f"SPDX-License-Identifier: {LICENSE}", "LICENSE: SPDX line")
    with open(f"{root}/www/package.json", encoding="utf-8") as f:
        package = json.load(f)
    expect(package.get("license") == LICENSE, "package.json: license")
    expect(package.get("version") == version, "package.json: version")
    with open(f"{root}/data/copyright", encoding="utf-8") as f:
        copyright_text = f.read()
    expect(f"Files: *\nCopyright: 2026 The CamVault developers\nLicense: {LICENSE}\n"
           in copyright_text, "copyright: CamVault's own files")
    expect("/usr/share/common-licenses/GPL-3" in copyright_text, "copyright: no common-licenses path")
    return problems


if __name__ == "__main__":
    found = problems_of(sys.argv[1], sys.argv[2])
    for problem in found:
        print(problem)
    print("identity: %d problems" % len(found))
    sys.exit(1 if found else 0)
