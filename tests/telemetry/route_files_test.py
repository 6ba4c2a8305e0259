#!/usr/bin/env python3
"""Route files of generated clips, written by camvault-extract and read back by
readers that share no code with it: gpsbabel for GPX and KML, Python's csv and
json for CSV and GeoJSON, ElementTree for the XML itself. Every reading is held
against an independent account of the clips' records: ExifTool's reading (the
reference of exiftool_agreement.py), and for the original block, of which
ExifTool reads one record in ten, the drive that make-clip planted. As many
points, the same first and last coordinates to 1e-6 degrees, the same times
(the camera's clock taken as UTC), in clock order although the clips are given
out of it.

usage: route_files_test.py   (CAMVAULT_EXTRACT_BIN and CAMVAULT_SOURCE_DIR set)
"""
import csv
import json
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET
from datetime import datetime, timedelta, timezone

SOURCE_DIR = os.environ["CAMVAULT_SOURCE_DIR"]
EXTRACT = os.environ["CAMVAULT_EXTRACT_BIN"]
MAKE_CLIP = os.path.join(SOURCE_DIR, "tools", "make-clip")
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tools", "clipgen"))
import drive  # noqa: E402
from exiftool_agreement import exiftool_fixes  # noqa: E402
ISO = re.compile(r"^(\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d):(\d\d)(\.\d+)?Z$")


def utc_of_camera_time(t):
    whole = int(t[5])
    return (datetime(*t[:5], whole, tzinfo=timezone.utc)
            + timedelta(milliseconds=round((t[5] - whole) * 1000)))


def planted_block_fixes(route, start, seconds, seed=1):
    """The records make-clip writes into original blocks: ten a second, in the
    fields' own units (degrees x 1e7, centimetres a second)."""
    samples = drive.simulate(drive.ROUTES[route], seconds, random.Random(seed))
    fixes = []
    for i, (lat, lon, _, speed, _, _) in enumerate(samples):
        t = start + timedelta(seconds=i / 10)
        fixes.append({"time": (t.year, t.month, t.day, t.hour, t.minute,
                               t.second + t.microsecond / 1e6),
                      "lat": drive.clamp_i32(lat * 1e7) / 1e7,
                      "lon": drive.clamp_i32(lon * 1e7) / 1e7,
                      "speed": min(65535, int(round(speed * 100))) * 0.036})
    return fixes


def parse_iso(text):
    m = ISO.match(text)
    assert m, text
    fraction = float(m.group(7) or 0)
    return (datetime(*(int(v) for v in m.group(1, 2, 3, 4, 5, 6)), tzinfo=timezone.utc)
            + timedelta(milliseconds=round(fraction * 1000)))


def local(tag):
    return tag.rsplit("}", 1)[-1]


class RouteFiles(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="camvault-routes-")
        # A drive over midnight in tenths of a second whose name needs escaping
        # in XML and JSON; a morning one from a camera without G-sensor (NMEA in
        # a text track) across the meridian; a noon one whose G-sensor ExifTool
        # reads. Given out of clock order.
        cls.late = cls.make_clip('night & <ride> "1".MOV', "--seconds", "3",
                                 "--start", "2026-06-01 23:59:58.5")
        cls.early = cls.make_clip("early.MOV", "--seconds", "2", "--start", "2026-06-01 09:00:00",
                                  "--layout", "nmea-text-track", "--route", "meridian")
        cls.noon = cls.make_clip("noon.MOV", "--seconds", "2", "--start", "2026-06-01 12:00:00",
                                 "--layout", "vantrue-n4", "--route", "equator")
        cls.clips = [cls.late, cls.early, cls.noon]
        cls.names = ["early.MOV", "noon.MOV", 'night & <ride> "1".MOV']
        cls.per_clip = [exiftool_fixes(cls.early), exiftool_fixes(cls.noon),
                        planted_block_fixes("city", datetime(2026, 6, 1, 23, 59, 58, 500000), 3)]
        cls.expected = [f for fixes in cls.per_clip for f in fixes]
        # G-sensor columns: empty without one, ExifTool's values where it reads
        # them, unchecked for the original block (ExifTool skips its G-sensor).
        cls.g_expected = (["none"] * len(cls.per_clip[0]) + ["exif"] * len(cls.per_clip[1])
                          + [None] * len(cls.per_clip[2]))
        assert all(cls.per_clip) and all(f["accel"] for f in cls.per_clip[1])

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    @classmethod
    def make_clip(cls, name, *args):
        path = os.path.join(cls.dir, name)
        subprocess.run([MAKE_CLIP, "--size", "320x180", *args, path], check=True,
                       capture_output=True)
        return path

    def extract(self, fmt):
        out = os.path.join(self.dir, "route." + fmt)
        run = subprocess.run([EXTRACT, "--format", fmt, "--output", out, *self.clips],
                             capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stderr)
        return out

    def gpsbabel(self, fmt, path):
        """(lat, lon, time) of every track point as gpsbabel reads them."""
        out = path + ".babel.gpx"
        run = subprocess.run(["gpsbabel", "-t", "-i", fmt, "-f", path, "-o", "gpx", "-F", out],
                             capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(run.stderr.strip(), "")
        return [(float(p.get("lat")), float(p.get("lon")),
                 parse_iso(next(c.text for c in p if local(c.tag) == "time")))
                for p in ET.parse(out).getroot().iter() if local(p.tag) == "trkpt"]

    def assert_points(self, points):
        self.assertEqual(len(points), len(self.expected))
        for i in (0, -1):
            self.assertAlmostEqual(points[i][0], self.expected[i]["lat"], delta=1e-6)
            self.assertAlmostEqual(points[i][1], self.expected[i]["lon"], delta=1e-6)
        self.assertEqual([p[2] for p in points],
                         [utc_of_camera_time(f["time"]) for f in self.expected])

    def test_gpx_reads_back_in_gpsbabel_with_a_segment_per_clip(self):
        path = self.extract("gpx")
        self.assert_points(self.gpsbabel("gpx", path))
        root = ET.parse(path).getroot()
        segments = [s for s in root.iter() if local(s.tag) == "trkseg"]
        self.assertEqual([len(list(s)) for s in segments], [len(c) for c in self.per_clip])
        speeds = [float(e.text) for e in root.iter("{https://camvault.github.io/xmlns/gpx/1}speed")]
        self.assertEqual(len(speeds), len(self.expected))
        for speed, fix in zip(speeds, self.expected):
            self.assertAlmostEqual(speed * 3.6, fix["speed"], delta=0.05)

    def test_kml_reads_back_in_gpsbabel_with_a_track_per_clip(self):
        path = self.extract("kml")
        self.assert_points(self.gpsbabel("kml", path))
        names = [p.findtext("{http://www.opengis.net/kml/2.2}name")
                 for p in ET.parse(path).getroot().iter("{http://www.opengis.net/kml/2.2}Placemark")]
        self.assertEqual(names, self.names)

    def test_csv_has_one_row_per_record(self):
        with open(self.extract("csv"), newline="", encoding="utf-8") as f:
            reader = csv.DictReader(f)
            rows = list(reader)
        self.assertEqual(reader.fieldnames, ["time_utc", "latitude", "longitude", "speed_kmh",
                                             "heading", "g_x", "g_y", "g_z"])
        self.assert_points([(float(r["latitude"]), float(r["longitude"]), parse_iso(r["time_utc"]))
                            for r in rows])
        for row, fix, g in zip(rows, self.expected, self.g_expected):
            self.assertAlmostEqual(float(row["speed_kmh"]), fix["speed"], delta=0.05)
            if g == "none":
                self.assertEqual((row["g_x"], row["g_y"], row["g_z"]), ("", "", ""))
            elif g == "exif":
                for ours, theirs in zip((row["g_x"], row["g_y"], row["g_z"]), fix["accel"]):
                    self.assertAlmostEqual(float(ours), theirs, delta=0.0051)

    def test_geojson_has_a_line_per_clip_with_its_times(self):
        with open(self.extract("geojson"), encoding="utf-8") as f:
            collection = json.load(f)
        features = collection["features"]
        self.assertEqual([f["geometry"]["type"] for f in features], ["LineString"] * 3)
        self.assertEqual([f["properties"]["name"] for f in features], self.names)
        self.assertEqual([len(f["geometry"]["coordinates"]) for f in features],
                         [len(c) for c in self.per_clip])
        points = [(lat, lon, parse_iso(t)) for f in features
                  for (lon, lat), t in zip(f["geometry"]["coordinates"], f["properties"]["coordTimes"])]
        self.assert_points(points)

    def test_standard_output_and_what_is_refused(self):
        run = subprocess.run([EXTRACT, "--format", "csv", *self.clips], capture_output=True)
        self.assertEqual(run.returncode, 0)
        with open(self.extract("csv"), "rb") as f:
            self.assertEqual(run.stdout, f.read())
        silent = self.make_clip("silent.MOV", "--seconds", "1", "--no-telemetry")
        out = os.path.join(self.dir, "silent.gpx")
        run = subprocess.run([EXTRACT, "--format", "gpx", "--output", out, silent],
                             capture_output=True, text=True)
        self.assertEqual(run.returncode, 1)
        self.assertIn("no position in the telemetry of " + silent, run.stderr)
        self.assertFalse(os.path.exists(out))
        for args in (["--format", "shp"], ["--output", out], ["--format", "gpx", "--force"]):
            run = subprocess.run([EXTRACT, *args, self.early], capture_output=True)
            self.assertEqual(run.returncode, 2, args)


if __name__ == "__main__":
    unittest.main(verbosity=2)
