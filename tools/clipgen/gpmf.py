"""GoPro GPMF telemetry for generated clips: one sample a second of KLV
entries (four-letter key, type letter, structure size, big-endian repeat
count, payload padded to four bytes), nested DEVC > STRM as GoPro cameras
write them, with GPS5 at 10 Hz and ACCL at 200 Hz, and the QuickTime `meta`
track (sample description `gpmd`) that lists the samples."""
import datetime
import random
import struct

import atoms
import drive

GPS_HZ = 10
ACCL_HZ = 200
STANDARD_GRAVITY = 9.80665
# Scales the camera writes: GPS5 as 32-bit integers (degrees x 1e7, metres
# and m/s x 1000, 3D speed x 100), ACCL as 16-bit integers per m/s2.
GPS5_SCAL = (10000000, 10000000, 1000, 1000, 100)
ACCL_SCAL = 418
TIMESCALE = 1000


def klv(key, kind, size, count, payload):
    """One entry; `kind` 0 for a container of entries."""
    head = struct.pack(">4sBBH", key, kind, size, count)
    return head + payload + b"\0" * (-len(payload) % 4)


def nest(key, *entries):
    body = b"".join(entries)
    assert len(body) < 0x10000
    return klv(key, 0, 1, len(body), body)


def text(key, s):
    data = s.encode()
    return klv(key, ord("c"), len(data), 1, data)


def words(key, kind, fmt, values):
    data = b"".join(struct.pack(fmt, v) for v in values)
    return klv(key, ord(kind), struct.calcsize(fmt), len(values), data)


def sample(second, start, tenths, rng, total_gps, total_accl):
    """The GPMF of second `second`: `tenths` are the drive's ten states of it."""
    gpsu = (start + datetime.timedelta(seconds=second)).strftime("%y%m%d%H%M%S.%f")[:16]
    gps_rows = b"".join(struct.pack(
        ">5i", int(round(lat * GPS5_SCAL[0])), int(round(lon * GPS5_SCAL[1])),
        int(round((35.0 + 0.1 * k) * GPS5_SCAL[2])), int(round(speed * GPS5_SCAL[3])),
        int(round(speed * GPS5_SCAL[4]))) for k, (lat, lon, _, speed, _, _) in enumerate(tenths))
    # ACCL rows as GoPro orders them, vertical first; each tenth's forces held
    # for its twenty readings, with a little sensor noise.
    accl_rows = []
    for lat, lon, _, _, lateral, longitudinal in tenths:
        for _ in range(ACCL_HZ // GPS_HZ):
            g = (1.0 + rng.gauss(0.0, 0.01), lateral, longitudinal)
            accl_rows.append(tuple(max(-32768, min(32767, int(round(v * STANDARD_GRAVITY
                                                                    * ACCL_SCAL))))
                                   for v in g))
    accl = nest(
        b"STRM",
        words(b"TSMP", "L", ">I", [total_accl + len(accl_rows)]),
        text(b"STNM", "Accelerometer (up/down, right/left, forward/back)"),
        text(b"SIUN", "m/s2"),
        words(b"SCAL", "s", ">h", [ACCL_SCAL]),
        klv(b"ACCL", ord("s"), 6, len(accl_rows),
            b"".join(struct.pack(">3h", *r) for r in accl_rows)))
    units = b"degdegm\0\0m/sm/s"
    gps = nest(
        b"STRM",
        words(b"TSMP", "L", ">I", [total_gps + len(tenths)]),
        text(b"STNM", "GPS (Lat., Long., Alt., 2D speed, 3D speed)"),
        klv(b"UNIT", ord("c"), 3, 5, units),
        words(b"GPSF", "L", ">I", [3]),
        klv(b"GPSU", ord("U"), 16, 1, gpsu.encode()),
        words(b"GPSP", "S", ">H", [120]),
        words(b"SCAL", "l", ">i", list(GPS5_SCAL)),
        # Last in its stream: ExifTool scales only the stream's last entry.
        klv(b"GPS5", ord("l"), 20, len(tenths), gps_rows))
    return nest(b"DEVC", words(b"DVID", "L", ">I", [1]), text(b"DVNM", "Camera"), accl, gps)


def samples(route, start, seconds, seed):
    rng = random.Random(seed)
    states = list(drive.simulate(route, seconds, rng))
    start = start.replace(microsecond=0)
    out = []
    for i in range(seconds):
        out.append(sample(i, start, states[i * 10:i * 10 + 10], rng, i * GPS_HZ,
                          i * ACCL_HZ))
    return out


def full_atom(kind, version, flags, body):
    return atoms.Atom(kind, data=struct.pack(">I", version << 24 | flags) + body)


def track(moov, entries, durations):
    """The `meta` track of the samples at `entries` ((offset, size) each),
    each lasting its `durations` in milliseconds; bumps the movie's next
    track id."""
    mvhd = moov.find(b"mvhd")[0]
    data = bytearray(mvhd.data)
    at = 96 if data[0] == 0 else 108  # next_track_ID, the last field
    track_id, = struct.unpack_from(">I", data, at)
    struct.pack_into(">I", data, at, track_id + 1)
    mvhd.data = bytes(data)
    movie_scale, = struct.unpack_from(">I", data, 12 if data[0] == 0 else 20)
    total = sum(durations)
    matrix = struct.pack(">9i", 1 << 16, 0, 0, 0, 1 << 16, 0, 0, 0, 1 << 30)
    tkhd = full_atom(b"tkhd", 0, 0, struct.pack(">IIII I 8x hhh 2x", 0, 0, track_id, 0,
                                                total * movie_scale // TIMESCALE, 0, 0, 0)
                     + matrix + struct.pack(">II", 0, 0))
    mdhd = full_atom(b"mdhd", 0, 0, struct.pack(">IIIIHH", 0, 0, TIMESCALE, total, 0x55C4, 0))
    hdlr = full_atom(b"hdlr", 0, 0, b"mhlr" + b"meta" + b"\0" * 12 + b"\x0bGoPro MET  ")
    gpmd = struct.pack(">I4s6xH", 16, b"gpmd", 1)
    stsd = full_atom(b"stsd", 0, 0, struct.pack(">I", 1) + gpmd)
    runs = []
    for d in durations:
        if runs and runs[-1][1] == d:
            runs[-1][0] += 1
        else:
            runs.append([1, d])
    stts = full_atom(b"stts", 0, 0, struct.pack(">I", len(runs))
                     + b"".join(struct.pack(">II", n, d) for n, d in runs))
    stsc = full_atom(b"stsc", 0, 0, struct.pack(">IIII", 1, 1, 1, 1))
    stsz = full_atom(b"stsz", 0, 0, struct.pack(">II", 0, len(entries))
                     + b"".join(struct.pack(">I", n) for _, n in entries))
    stco = full_atom(b"stco", 0, 0, struct.pack(">I", len(entries))
                     + b"".join(struct.pack(">I", o) for o, _ in entries))
    stbl = atoms.Atom(b"stbl", children=[stsd, stts, stsc, stsz, stco])
    dref = full_atom(b"dref", 0, 0, struct.pack(">I", 1) + struct.pack(">I4sI", 12, b"url ", 1))
    dinf = atoms.Atom(b"dinf", children=[dref])
    gmhd = atoms.Atom(b"gmhd", data=struct.pack(">I4sI8xHH", 24, b"gmin", 0, 0, 0)[:24])
    minf = atoms.Atom(b"minf", children=[gmhd, dinf, stbl])
    mdia = atoms.Atom(b"mdia", children=[mdhd, hdlr, minf])
    return atoms.Atom(b"trak", children=[tkhd, mdia])
