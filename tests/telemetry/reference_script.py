#!/usr/bin/env python3
"""An independent, deliberately plain reimplementation of the telemetry script
writer, used by the tests to check camvault-extract byte for byte.

usage: reference_script.py CLIP CLIP_NAME  (the script text goes to stdout)
"""
import calendar
import math
import struct
import sys
from fractions import Fraction

MARKER = b"freeGPS"


def f32(x):
    return struct.unpack("<f", struct.pack("<f", x))[0]


def js(text):
    out = []
    for ch in text:
        if ch in "\\'\"":
            out.append("\\" + ch)
        elif ch == "\n":
            out.append("\\n")
        elif ch == "\r":
            out.append("\\r")
        elif ch == "\t":
            out.append("\\t")
        elif ord(ch) < 0x20 or ord(ch) == 0x7F:
            out.append("\\x%02x" % ord(ch))
        elif ch in "\u2028\u2029":
            out.append("\\u%04x" % ord(ch))
        else:
            out.append(ch)
    return "".join(out)


def half(v):
    x = Fraction(v * 3600.0 * 100.0)
    count = int(math.floor(abs(x) + Fraction(1, 2)))
    if x < 0:
        count = -count
    deg = int(count / 360000) if count >= 0 else -int(-count // 360000)
    rest = abs(count - deg * 360000)
    deg_text = "-0" if deg == 0 and v < 0 else str(deg)
    return "%s[ %d' %d.%02d:" % (deg_text, rest // 6000, rest // 100 % 60, rest % 100)


def days_in(year, month):
    if month == 2 and calendar.isleap(year):
        return 29
    return [31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31][month - 1]


def key(year, month, day, hour, minute, tenths, wrapped):
    if wrapped:
        real = 1 <= month <= 12 and 1 <= day <= days_in(year, month) and hour < 24 and minute < 60
        minute += 1
        if real and minute == 60:
            minute, hour = 0, hour + 1
            if hour == 24:
                hour, day = 0, day + 1
                if day > days_in(year, month):
                    day, month = 1, month + 1
                    if month == 13:
                        month, year = 1, year + 1
    second = f32(f32(tenths) / f32(10.0))
    return "%d/%02d/%02d %02d:%02d:%.1f" % (year, month, day, hour, minute, second)


def records(clip):
    pos = 0
    while True:
        m = clip.find(MARKER, pos)
        if m < 0 or len(clip) - m < 376:
            return
        b = clip[m + 44:m + 376]
        year, = struct.unpack(">H", b[6:8])
        month, day, hour, minute = b[8], b[9], b[10], b[11]
        x, y, z = struct.unpack(">iii", b[320:332])
        first, = struct.unpack(">H", b[12:14])
        for k in range(10):
            r = b[32 * k:32 * k + 32]
            if r[14] != 2:
                continue
            speed, deg_field = struct.unpack(">HH", r[2:6])
            tenths, = struct.unpack(">H", r[12:14])
            lat, lon = struct.unpack(">ii", r[15:23])
            degrees = struct.unpack(">i", struct.pack(">HH", deg_field, 0))[0]
            yield (key(year, month, day, hour, minute, tenths, tenths < first),
                   speed, degrees, lat, lon, x, y, z)
        pos = m + 332


def script(clip, name):
    n = js(name)
    out = ["data['%s']=new Array();" % n]
    for k, speed, degrees, lat, lon, x, y, z in records(clip):
        out.append(
            'data["%s"]["%s"]=new Array();data["%s"]["%s"]={\'speed\':"%f",\'degrees\':"%.2f",'
            '\'lat\':"%.7f",\'lon\':"%.7f",\'x\':"%.2f",\'y\':"%.2f",\'z\':"%.2f",\'lbs\':"%s"};\n'
            % (n, k, n, k, speed * 0.036, f32(f32(degrees) / f32(1e7)),
               f32(f32(lat) / f32(1e7)), f32(f32(lon) / f32(1e7)),
               f32(f32(x) / f32(1e9)), f32(f32(y) / f32(1e9)), f32(f32(z) / f32(1e9)),
               half(lat / 1e7) + "," + half(lon / 1e7)))
    return "".join(out)


if __name__ == "__main__":
    with open(sys.argv[1], "rb") as f:
        sys.stdout.write(script(f.read(), sys.argv[2]))
