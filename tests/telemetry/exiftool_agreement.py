#!/usr/bin/env python3
"""Holds CamVault's telemetry script of a clip against ExifTool's reading of the
same clip (`exiftool -ee -n -G3 -j`), fix by fix: the same count, the same
date and time to a tenth of a second, latitude and longitude within 1e-6
degrees, speed within 0.05 km/h, and where ExifTool reads a G-sensor the same
x, y, z to the script's two decimals.

GoPro GPMF samples hold many GPS5 positions each, which ExifTool reads as
repeated tags of one document: for those its duplicates are read too
(`-a -G3:4`, the copies in the order read, the plain tag the last), the first
entry at the sample's GPSDateTime and the others spread evenly across ExifTool's
SampleDuration; their speed is in m/s, their Accelerometer in m/s2 (all the
sample's readings, `-b` to have them as text), the reading at each position's
moment held against the script in g.

Boxes that carry no time (INNOVV) give ExifTool fixes without one. Their time
is the movie's, by CamVault's rule: the movie header's CreateDate as ExifTool
reads it, plus one second for each such box before (ExifTool's own grouping of
fixes into boxes, from its verbose listing), plus k/n of a second for the k-th
of a box's n fixes.

usage: exiftool_agreement.py CLIP SCRIPT
Prints each disagreement and exits 1 when there is one, 2 when either side
holds no fix at all (an agreement on nothing proves nothing).
"""
import datetime
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


STANDARD_GRAVITY = 9.80665


def gpmf_fixes(clip):
    """{document: its fixes} for every GoPro GPMF sample (a document with
    GPSSpeed3D, which only GPS5 gives)."""
    out = subprocess.run(["exiftool", "-ee", "-n", "-a", "-b", "-G3:4", "-j", clip], check=True,
                         capture_output=True, text=True).stdout
    docs = {}
    for key, value in json.loads(out)[0].items():
        m = re.match(r"^Doc(\d+):(?:Copy(\d+):)?(\w+)$", key)
        if m:
            copy = int(m.group(2)) if m.group(2) else 1 << 30  # the plain tag was read last
            docs.setdefault(int(m.group(1)), {}).setdefault(m.group(3), []).append((copy, value))
    result = {}
    for n, d in docs.items():
        if "GPSSpeed3D" not in d:
            continue
        tag = {k: [v for _, v in sorted(values, key=lambda cv: cv[0])] for k, values in d.items()}
        count = len(tag["GPSLatitude"])
        t = EXIF_TIME.match(str(tag.get("GPSDateTime", [""])[0]))
        first = None
        if t:
            whole = datetime.datetime(*(int(v) for v in t.group(1, 2, 3, 4, 5)))
            first = whole + datetime.timedelta(seconds=float(t.group(6)))
        duration = float(tag.get("SampleDuration", [0])[0])
        accel = [float(v) for v in str(tag.get("Accelerometer", [""])[0]).split()]
        readings = len(accel) // 3
        fixes = []
        for k in range(count):
            when = None
            if first is not None:
                at = first + datetime.timedelta(seconds=duration * k / count)
                when = (at.year, at.month, at.day, at.hour, at.minute,
                        at.second + at.microsecond / 1e6)
            r = k * readings // count
            fixes.append({
                "time": when,
                "lat": float(tag["GPSLatitude"][k]),
                "lon": float(tag["GPSLongitude"][k]),
                "speed": float(tag["GPSSpeed"][k]) * 3.6,
                "accel": tuple(v / STANDARD_GRAVITY for v in accel[3 * r:3 * r + 3])
                if readings else None,
            })
        result[n] = fixes
    return result


def untimed_box_places(clip):
    """(box, k, n) of every fix ExifTool reads from a box without a time, in
    order: the box counted among such boxes, the fix's place in it, and how
    many the box holds."""
    out = subprocess.run(["exiftool", "-ee", "-v2", clip], check=True, capture_output=True,
                         text=True).stdout
    boxes = []
    for line in out.splitlines():
        if "[GPS directory," in line:
            boxes.append({"fixes": 0, "timed": False})
        elif boxes and re.match(r"^\s*\| GPSLatitude = ", line):
            boxes[-1]["fixes"] += 1
        elif boxes and re.match(r"^\s*\| GPSDateTime = ", line):
            boxes[-1]["timed"] = True
    places = []
    untimed = [b for b in boxes if not b["timed"]]
    for i, b in enumerate(untimed):
        places.extend((i, k, b["fixes"]) for k in range(b["fixes"]))
    return places


def movie_timed(fixes, create_date, places):
    """Gives each fix without a time the movie's time for its place."""
    t = EXIF_TIME.match(str(create_date or ""))
    if not t or t.group(1) == "0000":
        return
    created = datetime.datetime(*(int(v) for v in t.group(1, 2, 3, 4, 5, 6)))
    untimed = [f for f in fixes if f["time"] is None]
    for f, (box, k, n) in zip(untimed, places):
        at = created + datetime.timedelta(seconds=box + k / n)
        f["time"] = (at.year, at.month, at.day, at.hour, at.minute,
                     at.second + at.microsecond / 1e6)


def exiftool_fixes(clip):
    out = subprocess.run(["exiftool", "-ee", "-n", "-G3", "-j", clip], check=True,
                         capture_output=True, text=True).stdout
    tags = json.loads(out)[0]
    docs = {}
    for key, value in tags.items():
        m = re.match(r"^Doc(\d+):(\w+)$", key)
        if m:
            docs.setdefault(int(m.group(1)), {})[m.group(2)] = value
    gpmf = gpmf_fixes(clip) if any("GPSSpeed3D" in d for d in docs.values()) else {}
    fixes = []
    for n in sorted(docs):
        d = docs[n]
        if n in gpmf:
            fixes.extend(gpmf[n])
            continue
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
            # INNOVV's untimed boxes give words of no documented unit: CamVault
            # reads no G-sensor there (0.00), rather than thousands of g.
            "accel": None if accel is None or not t else tuple(
                float(v) for v in (accel if isinstance(accel, list) else str(accel).split())),
        })
    if any(f["time"] is None for f in fixes):
        movie_timed(fixes, tags.get("Main:CreateDate"), untimed_box_places(clip))
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
