"""freeGPS boxes of the camera layouts other than the original 332-byte block,
one box a second, built from the same generated drive. Each layout writes its
fields where ExifTool 12.57 reads them; `indexed` says whether cameras of that
kind list their boxes in a `gps ` box in the moov (ExifTool then reads the
listed boxes only) or leave them to be found in the movie data."""
import datetime
import math
import random
import struct

import drive

BOX_32K = 0x8000
BOX_16K = 0x4000


class Fix:
    """One second of the drive: what every layout encodes."""

    def __init__(self, when, lat, lon, speed_ms, heading, lateral, longitudinal, vertical):
        self.when = when
        self.lat, self.lon = lat, lon
        self.speed_ms = speed_ms
        self.heading = heading % 360.0
        self.accel = (lateral, longitudinal, vertical)

    @property
    def knots(self):
        return self.speed_ms * 3.6 / 1.852

    @property
    def kmh(self):
        return self.speed_ms * 3.6

    def ns(self):
        return b"S" if self.lat < 0 else b"N"

    def ew(self):
        return b"W" if self.lon < 0 else b"E"


def ddmm(degrees):
    """|degrees| as DDDMM.MMMM: whole degrees times 100 plus minutes."""
    d = abs(degrees)
    whole = math.floor(d)
    return whole * 100 + (d - whole) * 60


def fixes(route, start, seconds, seed):
    rng = random.Random(seed)
    samples = list(drive.simulate(route, seconds, rng))
    start = start.replace(microsecond=0)
    out = []
    for i in range(seconds):
        lat, lon, heading, speed, lateral, longitudinal = samples[i * 10]
        out.append(Fix(start + datetime.timedelta(seconds=i), lat, lon, speed, heading, lateral,
                       longitudinal, 1.0 + rng.gauss(0.0, 0.02)))
    return out


def new_box(size, word12):
    box = bytearray(size)
    struct.pack_into(">I4s4s", box, 0, size, b"free", b"GPS ")
    struct.pack_into("<I", box, 12, word12)
    return box


def time_words(f, year_offset=2000):
    t = f.when
    return (t.hour, t.minute, t.second, t.year - year_offset, t.month, t.day)


def accel_ints(f, scale):
    return tuple(int(round(a * scale)) for a in f.accel)


def novatek(f):
    box = new_box(BOX_32K, 0x4C)
    struct.pack_into("<6I", box, 48, *time_words(f))
    box[72:76] = b"A" + f.ns() + f.ew() + b"\0"
    struct.pack_into("<4f", box, 76, ddmm(f.lat), ddmm(f.lon), f.knots, f.heading)
    return box


def viofo_a119v3(f):
    box = new_box(BOX_16K, 0x3F0)
    struct.pack_into("<6I", box, 16, *time_words(f))
    box[40:44] = b"A" + f.ns() + f.ew() + b"\0"
    struct.pack_into("<4f", box, 0x2C, ddmm(f.lat), ddmm(f.lon), f.knots, f.heading)
    struct.pack_into("<3i", box, 60, *accel_ints(f, 256))
    return box


def akaso(f):
    box = new_box(BOX_32K, 0x60)
    box[16:20] = b"x.xx"
    box[32:37] = b"00000"
    t = f.when
    struct.pack_into("<3I", box, 48, t.hour, t.minute, t.second)
    struct.pack_into("<4s f 4s f 4s", box, 60, b"A\0\0\0", ddmm(f.lat), f.ns() + b"\0\0\0",
                     ddmm(f.lon), f.ew() + b"\0\0\0")
    # The camera's track is half a turn off what it means.
    struct.pack_into("<2f", box, 0x50, f.kmh, (f.heading + 180.0) % 360.0)
    struct.pack_into("<3I", box, 88, t.year, t.month, t.day)
    return box


def vantrue_s1(f):
    box = new_box(BOX_32K, 0x78)
    box[48:58] = b"horsontech"
    box[64:68] = b"A" + f.ns() + f.ew() + b"\0"
    t = f.when
    struct.pack_into("<6I", box, 68, t.year - 2000, t.month, t.day, t.hour, t.minute, t.second)
    struct.pack_into("<5f", box, 0x5C, ddmm(f.lon), ddmm(f.lat), f.knots, f.heading, 35.0)
    struct.pack_into("<3i", box, 112, *accel_ints(f, 1000))
    return box


def azdome_text(f):
    t = f.when
    plain = bytearray(0x101)
    plain[0:8] = b"\0\0XKZD\xfe\xfe"
    plain[8:22] = t.strftime("%Y%m%d%H%M%S").encode()
    plain[22] = 0x0C
    plain[23:38] = b"5567GP         "
    plain[38:39] = f.ns()
    plain[39:47] = b"%08d" % int(round(ddmm(f.lat) * 1e4))
    plain[47:48] = f.ew()
    plain[48:57] = b"%09d" % int(round(ddmm(f.lon) * 1e4))
    plain[57:65] = b"%08d" % int(round(f.kmh))
    plain[173:185] = b"".join(b"%+04d" % int(round(a * 100)) for a in f.accel)
    box = new_box(BOX_32K, 0x105)
    box[16:18] = b"\x01\x03"
    box[18:18 + len(plain)] = bytes(b ^ 0xAA for b in plain)
    return box


def rmc_sentence(f, decimals=5):
    t = f.when
    body = "GPRMC,%s.000,A,%0*.*f,%s,%0*.*f,%s,%.3f,%.2f,%s,,,A" % (
        t.strftime("%H%M%S"), 5 + decimals, decimals, ddmm(f.lat), f.ns().decode(),
        6 + decimals, decimals, ddmm(f.lon), f.ew().decode(), f.knots, f.heading,
        t.strftime("%d%m%y"))
    check = 0
    for c in body.encode():
        check ^= c
    return ("$%s*%02X\r\n" % (body, check)).encode()


def gga_sentence(f):
    t = f.when
    body = "GPGGA,%s.000,%010.5f,%s,%011.5f,%s,1,09,0.9,35.0,M,47.0,M,," % (
        t.strftime("%H%M%S"), ddmm(f.lat), f.ns().decode(), ddmm(f.lon), f.ew().decode())
    check = 0
    for c in body.encode():
        check ^= c
    return ("$%s*%02X\r\n" % (body, check)).encode()


def nextbase_nmea(f):
    box = new_box(BOX_32K, 0x140)
    box[52:66] = f.when.strftime("%Y%m%d%H%M%S").encode()
    struct.pack_into("<3i", box, 68, *accel_ints(f, 256))
    text = rmc_sentence(f) + gga_sentence(f)
    box[128:128 + len(text)] = text
    return box


def rmc_shifted(f):
    box = new_box(BOX_16K, 0x1F0)
    box[16:24] = b"ZXSBNXYS"
    text = rmc_sentence(f, 4)[:80]
    box[60:60 + len(text)] = bytes(c + 16 for c in text)
    return box


def doubles_type2(f):
    box = new_box(BOX_32K, 0x108)
    box[16:27] = b"20130815.01"
    t = f.when
    struct.pack_into("<3I4sd4s4xd4s4x2d", box, 48, t.hour, t.minute, t.second, b"A\0\0\0",
                     ddmm(f.lat), f.ns() + b"\0\0\0", ddmm(f.lon), f.ew() + b"\0\0\0", f.knots,
                     f.heading)
    struct.pack_into("<3I3i", box, 112, t.year - 2000, t.month, t.day, *accel_ints(f, 1000))
    return box


def iqs_integer(f):
    box = new_box(BOX_32K, 0x4C)
    box[16:31] = b"IQS_A7_20150417"
    struct.pack_into("<6I", box, 48, *time_words(f))
    box[72:76] = b"A" + f.ns() + f.ew() + b"\0"
    struct.pack_into("<3if", box, 0x4C, int(round(abs(f.lat) * 1e7)),
                     int(round(abs(f.lon) * 1e7)), int(round(f.speed_ms * 100)), 35000.0)
    return box


def floats_type2e(f):
    box = new_box(BOX_32K, 0x68)
    box[16:25] = b"20130325A"
    t = f.when
    struct.pack_into("<3I", box, 48, t.hour, t.minute, t.second)
    struct.pack_into("<4s f 4s f 4s", box, 60, b"A\0\0\0", ddmm(f.lat), f.ns() + b"\0\0\0",
                     ddmm(f.lon), f.ew() + b"\0\0\0")
    struct.pack_into("<2f", box, 0x50, f.kmh, f.heading)
    struct.pack_into("<3I3i", box, 88, t.year - 2000, t.month, t.day, *accel_ints(f, 1000))
    return box


def vantrue_n4(f):
    box = new_box(BOX_16K, 0x3F0)
    t = f.when
    struct.pack_into("<3I4sd4s4xd4s4x2d", box, 16, t.hour, t.minute, t.second, b"A\0\0\0",
                     ddmm(f.lat), f.ns() + b"\0\0\0", ddmm(f.lon), f.ew() + b"\0\0\0", f.knots,
                     f.heading)
    struct.pack_into("<3I3i", box, 80, t.year - 2000, t.month, t.day, *accel_ints(f, 1000))
    return box


ATC_SLOTS = 30
ATC_RECORD = 52


def atc_record(f, counter, slot, rng):
    """One 52-byte ring record, encrypted with two random key bytes."""
    t = f.when
    plain = bytearray(ATC_RECORD)
    plain[0:4] = bytes([1, counter & 0xFF, slot, 0])
    struct.pack_into("<I", plain, 4, t.day | t.month << 5 | t.year << 9)
    struct.pack_into("<I", plain, 8, t.second | t.minute << 6 | t.hour << 12)
    plain[0x0C] = 1
    plain[0x0D] = (t.hour - 1) & 0xFF
    plain[0x0E] = t.minute
    plain[0x0F] = t.second
    struct.pack_into("<i", plain, 0x10, int(round(f.lat * 1e7)))
    plain[0x15:0x18] = b"ATC"
    struct.pack_into("<i", plain, 0x18, int(round(f.lon * 1e7)))
    plain[0x1D:0x20] = b"001"
    heading = (f.heading + 180.0) % 360.0 - 180.0
    struct.pack_into("<ihhi", plain, 0x20, int(round(f.speed_ms * 100)), int(round(heading * 100)),
                     0, 35000)
    struct.pack_into("<HBB", plain, 0x2C, t.year, t.month, t.day)
    key1, key2 = rng.randrange(1, 256), rng.randrange(1, 256)
    rec = bytearray(plain)
    for i in list(range(0x00, 0x14)) + list(range(0x18, 0x1C)):
        rec[i] ^= key1
    rec[0x14] = key1
    rec[0x1C] = key2
    for i in range(0x20, 0x33):
        rec[i] ^= key2
    return bytes(rec)


def atc_ring_boxes(all_fixes, seed):
    """The camera keeps a ring of 30 records and writes all of it every second,
    the newest one in the slot after the last."""
    rng = random.Random(seed)
    ring = [bytes(ATC_RECORD)] * ATC_SLOTS
    boxes = []
    for i, f in enumerate(all_fixes):
        ring[i % ATC_SLOTS] = atc_record(f, i, i % ATC_SLOTS, rng)
        box = new_box(BOX_32K, 0x638)
        box[16:28] = b"IQS20130306B"
        box[0x30:0x30 + ATC_SLOTS * ATC_RECORD] = b"".join(ring)
        boxes.append(bytes(box))
    return boxes


INNOVV_RECORD = 32
INNOVV_FIXES_PER_BOX = 5


def innovv_boxes(route, start, seconds, seed):
    """Boxes of 32-byte records without time, five a second (every other tenth
    of the drive), as INNOVV cameras leave them in the movie data; readers
    time them from the movie header, one box a second. The G-sensor words are
    written in thousandths of a g, a unit no reader is told."""
    rng = random.Random(seed)
    samples = list(drive.simulate(route, seconds, rng))
    step = 10 // INNOVV_FIXES_PER_BOX
    boxes = []
    for i in range(seconds):
        box = new_box(BOX_32K, INNOVV_FIXES_PER_BOX * INNOVV_RECORD)
        for k in range(INNOVV_FIXES_PER_BOX):
            lat, lon, heading, speed, lateral, longitudinal = samples[i * 10 + k * step]
            f = Fix(start, lat, lon, speed, heading, lateral, longitudinal,
                    1.0 + rng.gauss(0.0, 0.02))
            at = 16 + k * INNOVV_RECORD
            box[at:at + 4] = b"A" + f.ns() + f.ew() + b"\0"
            struct.pack_into("<4f3i", box, at + 4, ddmm(f.lat), ddmm(f.lon), f.knots, f.heading,
                             *accel_ints(f, 1000))
        boxes.append(bytes(box))
    return boxes


# name: (box of one fix, listed in a `gps ` box)
LAYOUTS = {
    "novatek": (novatek, True),
    "novatek-unindexed": (novatek, False),
    "viofo-a119v3": (viofo_a119v3, True),
    "akaso": (akaso, True),
    "vantrue-s1": (vantrue_s1, True),
    "azdome-text": (azdome_text, True),
    "nextbase-nmea": (nextbase_nmea, True),
    "rmc-shifted": (rmc_shifted, True),
    "doubles-type2": (doubles_type2, False),
    "iqs-integer": (iqs_integer, False),
    "floats-type2e": (floats_type2e, False),
    "vantrue-n4": (vantrue_n4, False),
    "atc-ring": (None, False),
    "innovv": (None, False),
}

# Layouts whose boxes carry no time: readers take it from the movie header,
# so the movie must be stamped with the drive's start.
TIMED_BY_MOVIE = {"innovv"}


# name: the codec tag of a timed-text track holding NMEA sentences, one sample
# a second: QuickTime text (handler "text") or a tx3g subtitle (handler "sbtl").
TRACK_LAYOUTS = {
    "nmea-text-track": "text",
    "nmea-subtitle-track": "tx3g",
}


def nmea_srt(route, start, seconds, seed):
    """Subtitles in SRT form, which ffmpeg turns into the track's samples."""
    def stamp(s):
        return "%02d:%02d:%02d,000" % (s // 3600, s // 60 % 60, s % 60)
    out = []
    for i, f in enumerate(fixes(route, start, seconds, seed)):
        text = (rmc_sentence(f, 5) + gga_sentence(f)).decode().strip().replace("\r", "")
        out.append("%d\n%s --> %s\n%s\n" % (i + 1, stamp(i), stamp(i + 1), text))
    return "\n".join(out)


def boxes(name, route, start, seconds, seed):
    """(the boxes, one a second, and whether a `gps ` box lists them)."""
    make, indexed = LAYOUTS[name]
    all_fixes = fixes(route, start, seconds, seed)
    if name == "atc-ring":
        return atc_ring_boxes(all_fixes, seed), indexed
    if name == "innovv":
        return innovv_boxes(route, start, seconds, seed), indexed
    return [bytes(make(f)) for f in all_fixes], indexed
