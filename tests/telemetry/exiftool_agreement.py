#!/usr/bin/env python3
"""Holds CamVault's telemetry script of a clip against ExifTool's reading of the
same clip (`exiftool -ee -n -G3 -j`), fix by fix: the same count, the same
date and time to a tenth of a second, latitude and longitude within 1e-6
degrees, speed within 0.05 km/h, and where ExifTool reads a G-sensor the same
x, y, z to the script's two decimals.

usage: exiftool_agreement.py CLIP SCRIPT
Prints each disagreement and exits 1 when there is one, 2 when either side
holds no fix at all (an agreement on nothing proves nothing).
"""
import json
import re
import subprocess
import sys

LINE = re.compile(r'\]\["(\d+)/(\d+)/(\d+) (\d+):(\d+):([\d.]+)"\]=\{(.*)\};$')
FIELD = re.compile(r"'(\w+)':\"([^\"]*)\"")
EXIF_TIME = re.compile(r"^(\d{4}):(\d{2}):(\d{2}) (\d{2}):(\d{2}):([\d.]+)Z?$")


def camvault_fixes(script_path):
    fixes = []
    with open(script_path, encoding="utf-8") as f:
        for line in f.read().splitlines():
            m = LINE.search(line)
            if not m:
                continue
            fields = dict(FIELD.findall(m.group(7)))
            fixes.append({
                "time": tuple(int(v) for v in m.group(1, 2, 3, 4, 5)) + (float(m.group(6)),),
                "lat": float(fields["lat"]),
                "lon": float(fields["lon"]),
                "speed": float(fields["speed"]),
                "accel": tuple(float(fields[k]) for k in ("x", "y", "z")),
            })
    return fixes


def exiftool_fixes(clip):
    out = subprocess.run(["exiftool", "-ee", "-n", "-G3", "-j", clip], check=True,
                         capture_output=True, text=True).stdout
    tags = json.loads(out)[0]
    docs = {}
    for key, value in tags.items():
        m = re.match(r"^Doc(\d+):(\w+)$", key)
        if m:
            docs.setdefault(int(m.group(1)), {})[m.group(2)] = value
    fixes = []
    for n in sorted(docs):
        d = docs[n]
        if "GPSLatitude" not in d:
            continue
        t = EXIF_TIME.match(str(d.get("GPSDateTime", "")))
        accel = d.get("Accelerometer")
        fixes.append({
            "time": (tuple(int(v) for v in t.group(1, 2, 3, 4, 5)) + (float(t.group(6)),))
            if t else None,
            "lat": float(d["GPSLatitude"]),
            "lon": float(d["GPSLongitude"]),
            "speed": float(d.get("GPSSpeed", 0.0)),
            "accel": None if accel is None else tuple(
                float(v) for v in (accel if isinstance(accel, list) else str(accel).split())),
        })
    return fixes


def main(clip, script_path):
    ours = camvault_fixes(script_path)
    theirs = exiftool_fixes(clip)
    problems = []
    if len(ours) != len(theirs):
        problems.append("count: CamVault %d, ExifTool %d" % (len(ours), len(theirs)))
    for i, (a, b) in enumerate(zip(ours, theirs)):
        where = "fix %d" % (i + 1)
        if b["time"] is None:
            problems.append("%s: ExifTool gives no date and time" % where)
        elif a["time"][:5] != b["time"][:5] or abs(a["time"][5] - b["time"][5]) > 0.05 + 1e-9:
            problems.append("%s: time %s vs %s" % (where, a["time"], b["time"]))
        for k in ("lat", "lon"):
            if abs(a[k] - b[k]) > 1e-6:
                problems.append("%s: %s %.9f vs %.9f" % (where, k, a[k], b[k]))
        if abs(a["speed"] - b["speed"]) > 0.05:
            problems.append("%s: speed %.6f vs %.6f" % (where, a["speed"], b["speed"]))
        if b["accel"] is not None:
            if len(b["accel"]) != 3 or any(abs(x - y) > 0.005 + 1e-9
                                           for x, y in zip(a["accel"], b["accel"])):
                problems.append("%s: accel %s vs %s" % (where, a["accel"], b["accel"]))
        elif any(a["accel"]):
            problems.append("%s: accel %s where ExifTool reads none" % (where, a["accel"]))
    for p in problems[:20]:
        print(p)
    if problems:
        return 1
    if not ours:
        print("no fixes on either side")
        return 2
    print("%d fixes agree" % len(ours))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
