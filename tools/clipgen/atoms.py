"""QuickTime atom surgery: plants boxes inside a movie's media data and moves
every chunk offset to match, so the movie plays exactly as before."""
import bisect
import struct

# Atoms whose payload is a list of atoms, on the way to the sample tables.
CONTAINERS = {b"moov", b"trak", b"mdia", b"minf", b"stbl", b"edts", b"dinf"}
GPS_BOX_SIZE = 0x8000  # cameras write 32 KB boxes, the block 44 bytes after "freeGPS"
COPY_PIECE = 1 << 20


class MovieError(Exception):
    pass


class Atom:
    def __init__(self, kind, data=None, children=None):
        self.kind = kind
        self.data = data
        self.children = children

    def find(self, kind):
        return [c for c in self.children or [] if c.kind == kind]

    def serialize(self):
        body = b"".join(c.serialize() for c in self.children) if self.children is not None \
            else self.data
        if len(body) + 8 > 0xFFFFFFFF:
            return struct.pack(">I4sQ", 1, self.kind, len(body) + 16) + body
        return struct.pack(">I4s", len(body) + 8, self.kind) + body


def parse_atoms(buf):
    atoms, pos = [], 0
    while pos + 8 <= len(buf):
        size, kind = struct.unpack_from(">I4s", buf, pos)
        header = 8
        if size == 1:
            size, = struct.unpack_from(">Q", buf, pos + 8)
            header = 16
        elif size == 0:
            size = len(buf) - pos
        if size < header or pos + size > len(buf):
            raise MovieError("damaged atom %r" % kind)
        body = buf[pos + header:pos + size]
        if kind in CONTAINERS:
            atoms.append(Atom(kind, children=parse_atoms(body)))
        else:
            atoms.append(Atom(kind, data=bytes(body)))
        pos += size
    return atoms


def top_level(f, file_size):
    """(kind, offset, header length, size) of each top-level atom."""
    out, pos = [], 0
    while pos + 8 <= file_size:
        f.seek(pos)
        size, kind = struct.unpack(">I4s", f.read(8))
        header = 8
        if size == 1:
            size, = struct.unpack(">Q", f.read(8))
            header = 16
        elif size == 0:
            size = file_size - pos
        if size < header:
            raise MovieError("damaged top-level atom %r" % kind)
        out.append((kind, pos, header, size))
        pos += size
    return out


def offset_tables(moov):
    """Every chunk offset table (stco or co64) of every track."""
    tables = []
    for trak in moov.find(b"trak"):
        for mdia in trak.find(b"mdia"):
            for minf in mdia.find(b"minf"):
                for stbl in minf.find(b"stbl"):
                    for c in stbl.children:
                        if c.kind in (b"stco", b"co64"):
                            tables.append(c)
    return tables


def read_offsets(table):
    count, = struct.unpack_from(">I", table.data, 4)
    fmt = ">%dI" % count if table.kind == b"stco" else ">%dQ" % count
    return list(struct.unpack_from(fmt, table.data, 8))


def write_offsets(table, offsets):
    if max(offsets, default=0) > 0xFFFFFFFF:
        table.kind = b"co64"
    fmt = ">%dI" % len(offsets) if table.kind == b"stco" else ">%dQ" % len(offsets)
    table.data = table.data[:4] + struct.pack(">I", len(offsets)) + struct.pack(fmt, *offsets)


def set_rotation(moov, degrees):
    """Sets the display matrix of the video track, as players read it."""
    for trak in moov.find(b"trak"):
        handler = [h for m in trak.find(b"mdia") for h in m.find(b"hdlr")]
        if not handler or handler[0].data[8:12] != b"vide":
            continue
        tkhd = trak.find(b"tkhd")[0]
        data = bytearray(tkhd.data)
        at = 40 if data[0] == 0 else 52
        width, height = (v >> 16 for v in struct.unpack_from(">II", data, at + 36))
        a, b, c, d, tx, ty = {0: (1, 0, 0, 1, 0, 0), 90: (0, 1, -1, 0, height, 0),
                              180: (-1, 0, 0, -1, width, height),
                              270: (0, -1, 1, 0, 0, width)}[degrees]
        struct.pack_into(">9i", data, at, a << 16, b << 16, 0, c << 16, d << 16, 0,
                         tx << 16, ty << 16, 1 << 30)
        tkhd.data = bytes(data)


def gps_box(block):
    box = bytearray(GPS_BOX_SIZE)
    struct.pack_into(">I4s4s", box, 0, GPS_BOX_SIZE, b"free", b"GPS ")
    box[48:48 + len(block)] = block
    return bytes(box)


def write_pad_box(out, size, rng):
    """Incompressible filler, as dense as real video data."""
    out.write(struct.pack(">I4s", size, b"free"))
    left = size - 8
    while left > 0:
        piece = min(left, COPY_PIECE)
        out.write(rng.randbytes(piece))
        left -= piece


def gps_index_atom(entries):
    """The moov's `gps ` box listing each planted box as (offset, size)."""
    body = struct.pack(">II", 0x101, len(entries))
    body += b"".join(struct.pack(">II", o, n) for o, n in entries)
    return Atom(b"gps ", data=body)


def plant_boxes(src, dst, blocks, pad_bytes, rng, rotate, boxed=False, index=False,
                track=None):
    """Copies the movie src to dst with each telemetry block of `blocks` (None
    for a slot without one) planted in a GPS box, evenly through the media data,
    with pad_bytes of filler spread over the same slots. With `boxed` the
    blocks are whole boxes already; with `index` the moov gets a `gps ` box
    listing them; `track(moov, entries)` returns a track to add to the moov
    whose samples are the planted blocks at `entries` ((offset, size) each)."""
    wrap = (lambda b: b) if boxed else gps_box
    with open(src, "rb") as f:
        f.seek(0, 2)
        file_size = f.tell()
        tops = top_level(f, file_size)
        mdats = [t for t in tops if t[0] == b"mdat"]
        moovs = [t for t in tops if t[0] == b"moov"]
        if len(mdats) != 1 or len(moovs) != 1 or moovs[0][1] < mdats[0][1]:
            raise MovieError("expected one mdat followed by one moov")
        _, mdat_at, mdat_header, mdat_size = mdats[0]
        _, moov_at, moov_header, moov_size = moovs[0]
        f.seek(moov_at)
        moov = parse_atoms(f.read(moov_size))[0]
        tables = offset_tables(moov)
        chunks = sorted({o for t in tables for o in read_offsets(t)})

        # Spread the boxes through the media data, each in front of a chunk.
        start, end = mdat_at + mdat_header, mdat_at + mdat_size
        count = len(blocks)
        pad_piece = pad_bytes // count if pad_bytes else 0
        if pad_piece and pad_piece < 8:
            pad_piece = 8
        inserts = {}
        for i, block in enumerate(blocks):
            if block is None and not pad_piece:
                continue
            target = start + (end - start) * i // count
            k = bisect.bisect_left(chunks, target)
            at = chunks[k] if k < len(chunks) else end
            inserts.setdefault(at, []).append((pad_piece, block))
        positions = sorted(inserts)
        lengths = [sum(p + (len(wrap(b)) if b is not None else 0) for p, b in inserts[at])
                   for at in positions]
        added = sum(lengths)
        new_size = mdat_size - mdat_header + added
        header = 8 if new_size + 8 <= 0xFFFFFFFF else 16
        shift_before = [header - mdat_header]
        for n in lengths:
            shift_before.append(shift_before[-1] + n)

        def moved(offset):
            return offset + shift_before[bisect.bisect_right(positions, offset)]

        for t in tables:
            write_offsets(t, [moved(o) for o in read_offsets(t)])
        entries = []
        for j, at in enumerate(positions):
            where = at + shift_before[j]
            for pad, block in inserts[at]:
                where += pad
                if block is not None:
                    entries.append((where, len(wrap(block))))
                    where += len(wrap(block))
        if index:
            moov.children.append(gps_index_atom(entries))
        if track is not None and entries:
            moov.children.append(track(moov, entries))
        if rotate:
            set_rotation(moov, rotate)

        with open(dst, "wb") as out:
            f.seek(0)
            copy(f, out, mdat_at)
            if header == 8:
                out.write(struct.pack(">I4s", new_size + 8, b"mdat"))
            else:
                out.write(struct.pack(">I4sQ", 1, b"mdat", new_size + 16))
            f.seek(start)
            pos = start
            for at in positions:
                copy(f, out, at - pos)
                pos = at
                for pad, block in inserts[at]:
                    if pad:
                        write_pad_box(out, pad, rng)
                    if block is not None:
                        out.write(wrap(block))
            copy(f, out, end - pos)
            copy(f, out, moov_at - end)
            out.write(moov.serialize())
            f.seek(moov_at + moov_size)
            copy(f, out, file_size - moov_at - moov_size)


def copy(f, out, n):
    while n > 0:
        piece = f.read(min(n, COPY_PIECE))
        if not piece:
            raise MovieError("movie ends early")
        out.write(piece)
        n -= len(piece)
