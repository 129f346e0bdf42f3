#!/usr/bin/env python3
"""Writes the bundled sample jobs (samples/*_job.txt) as spoolc text.

The jobs are generated rather than written by hand because their bitmaps, run-length and LZW
data and text positions are long lists of numbers. Run it from anywhere; it rewrites the files
beside itself. Advances of the GDI fonts' characters come from the installed TrueType files, so
that the text is spaced as the fonts draw it; the downloaded bitmap glyphs come from netpbm's
built-in font, and the downloaded TrueType font is Liberation Sans (fonts-liberation2) cut down
to the glyphs of its one line, so the job stays small and is made again the same.
"""
import math
import os
import struct
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))
W, H = 1728, 2292  # A4 at 204 x 196 dpi
BLACK, WHITE = 0x80000000, 0x80FFFFFF
R2_NOP, R2_COPYPEN = 11, 13


def rgb(r, g, b):
    return 0x80000000 | (b << 16) | (g << 8) | r


def hexs(data):
    return bytes(data).hex()


def le32(*values):
    return b"".join(struct.pack("<i" if v < 0 else "<I", v) for v in values)


def line(name, data=None, **fields):
    parts = [name] + [f"{k}={v}" for k, v in fields.items()]
    if data is not None:
        parts.append("data=" + hexs(data))
    return " ".join(parts)


# ---- bitmaps ----

def row_bytes(depth, width):
    return (depth * width + 31) // 32 * 4


def pack_rows(depth, rows):
    """Rows of pixel values (palette indices, or (r, g, b[, a])), top first, to bottom-up DIB rows."""
    out = bytearray()
    for row in reversed(rows):
        width = len(row)
        packed = bytearray(row_bytes(depth, width))
        for x, v in enumerate(row):
            if depth == 1:
                if v:
                    packed[x // 8] |= 0x80 >> (x % 8)
            elif depth == 4:
                packed[x // 2] |= (v & 15) << (4 if x % 2 == 0 else 0)
            elif depth == 8:
                packed[x] = v
            elif depth == 24:
                packed[3 * x:3 * x + 3] = bytes((v[2], v[1], v[0]))
            elif depth == 32:
                packed[4 * x:4 * x + 4] = bytes((v[2], v[1], v[0], v[3]))
        out += packed
    return bytes(out)


def run_length(rows, repeated):
    """BMP run-length rows, bottom row first; runs only, which the sample's images suit. A run
    repeats the byte repeated(index) gives: the index at 8 bits, the index twice at 4."""
    out = bytearray()
    for row in reversed(rows):
        x = 0
        while x < len(row):
            n = 1
            while x + n < len(row) and row[x + n] == row[x] and n < 255:
                n += 1
            out += bytes((n, repeated(row[x])))
            x += n
        out += b"\x00\x00"
    out += b"\x00\x01"
    return bytes(out)


def rle8(rows):
    return run_length(rows, lambda v: v)


def rle4(rows):
    return run_length(rows, lambda v: (v << 4) | v)


def lzw(data):
    """LZW as the spool's bitmaps carry it: most significant bit first, 256 clear, 257 end, codes
    from 9 to 12 bits, the width growing when the reader's next code reaches a power of two."""
    out = bytearray()
    acc = 0
    nbits = 0
    width = 9

    def put(code):
        nonlocal acc, nbits
        acc = (acc << width) | code
        nbits += width
        while nbits >= 8:
            nbits -= 8
            out.append((acc >> nbits) & 0xFF)

    table = {}
    next_code = 258
    reader_next = 258
    first = True
    put(256)
    w = b""
    for byte in data:
        c = bytes((byte,))
        wc = w + c
        if wc in table or len(wc) == 1:
            w = wc
            continue
        put(table[w] if len(w) > 1 else w[0])
        if not first:
            reader_next += 1
            if reader_next == (1 << width) and width < 12:
                width += 1
        first = False
        table[wc] = next_code
        next_code += 1
        w = c
        if next_code >= 4000:
            put(table[w] if len(w) > 1 else w[0])
            reader_next += 1
            if reader_next == (1 << width) and width < 12:
                width += 1
            put(256)
            width = 9
            table = {}
            next_code = reader_next = 258
            first = True
            w = b""
    if w:
        put(table[w] if len(w) > 1 else w[0])
        if not first:
            reader_next += 1
            if reader_next == (1 << width) and width < 12:
                width += 1
    put(257)
    if nbits:
        out.append((acc << (8 - nbits)) & 0xFF)
    return bytes(out)


def palette_bytes(colours):
    return b"".join(bytes((b, g, r, 0)) for r, g, b in colours)


def bitmap(bid, depth, rows, palette=(), compression=0):
    """A bitmap record; compression 0 plain, 1 RLE4, 2 RLE8, 6 LZW."""
    width, height = len(rows[0]), len(rows)
    if compression == 1:
        pixels = rle4(rows)
    elif compression == 2:
        pixels = rle8(rows)
    elif compression == 6:
        pixels = lzw(pack_rows(depth, rows))
    else:
        pixels = pack_rows(depth, rows)
    return line("bitmap", palette_bytes(palette) + pixels, id=bid, width=width, height=height,
                palette_count=len(palette), depth=depth, compression=compression)


GREYS16 = [(v, v, v) for v in range(0, 256, 17)]
GREYS256 = [(v, v, v) for v in range(256)]
MONO = [(0, 0, 0), (255, 255, 255)]


def photo(w, h):
    """A scanned-photo stand-in: sky, sun, hills and a lake with ripples, in colour."""
    rows = []
    for y in range(h):
        row = []
        for x in range(w):
            fy, fx = y / h, x / w
            hill = 0.55 + 0.08 * math.sin(fx * 7.0) + 0.05 * math.sin(fx * 17.0 + 1.0)
            d = math.hypot(fx - 0.72, fy - 0.22)
            if fy > 0.78:
                ripple = 0.5 + 0.5 * math.sin(fy * 160.0 + math.sin(fx * 20.0) * 2.0)
                v = 90 + int(60 * ripple)
                px = (v // 3, v // 2, v)
            elif fy > hill:
                shade = int(80 + 90 * (fy - hill) / (0.78 - hill + 1e-6))
                px = (shade // 3, 60 + shade // 2, shade // 4)
            elif d < 0.08:
                px = (255, 240, 170)
            else:
                glow = max(0.0, 1.0 - d * 2.5)
                px = (int(120 + 120 * glow), int(160 + 80 * glow), int(230 - 40 * glow))
            row.append(tuple(min(255, max(0, c)) for c in px))
        rows.append(row)
    return rows


# ---- fonts ----

class TrueTypeWidths:
    """Advance widths from a TrueType file's cmap (format 4) and hmtx tables."""

    def __init__(self, path):
        data = open(path, "rb").read()
        tables = {}
        for i in range(struct.unpack(">H", data[4:6])[0]):
            tag, _, offset, length = struct.unpack(">4sIII", data[12 + 16 * i:28 + 16 * i])
            tables[tag] = data[offset:offset + length]
        self.upem = struct.unpack(">H", tables[b"head"][18:20])[0]
        metrics = struct.unpack(">H", tables[b"hhea"][34:36])[0]
        hmtx = tables[b"hmtx"]
        self.advances = [struct.unpack(">H", hmtx[4 * i:4 * i + 2])[0] for i in range(metrics)]
        cmap = tables[b"cmap"]
        self.map = {}
        for i in range(struct.unpack(">H", cmap[2:4])[0]):
            platform, encoding, offset = struct.unpack(">HHI", cmap[4 + 8 * i:12 + 8 * i])
            if platform == 3 and encoding == 1 and struct.unpack(">H", cmap[offset:offset + 2])[0] == 4:
                self._format4(cmap[offset:])

    def _format4(self, t):
        n = struct.unpack(">H", t[6:8])[0] // 2
        ends = struct.unpack(f">{n}H", t[14:14 + 2 * n])
        starts = struct.unpack(f">{n}H", t[16 + 2 * n:16 + 4 * n])
        deltas = struct.unpack(f">{n}h", t[16 + 4 * n:16 + 6 * n])
        ranges_at = 16 + 6 * n
        ranges = struct.unpack(f">{n}H", t[ranges_at:ranges_at + 2 * n])
        for i in range(n):
            for c in range(starts[i], min(ends[i], 0x2FF) + 1):
                if ranges[i] == 0:
                    g = (c + deltas[i]) & 0xFFFF
                else:
                    at = ranges_at + 2 * i + ranges[i] + 2 * (c - starts[i])
                    g = struct.unpack(">H", t[at:at + 2])[0]
                    g = (g + deltas[i]) & 0xFFFF if g else 0
                self.map[c] = g

    def advance(self, ch, em):
        g = self.map.get(ord(ch), 0)
        return self.advances[min(g, len(self.advances) - 1)] * em / self.upem


FONT_FILES = {
    "Liberation Sans": "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
    "Liberation Sans Bold": "/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf",
    "Liberation Serif": "/usr/share/fonts/truetype/liberation2/LiberationSerif-Regular.ttf",
    "Liberation Serif Italic": "/usr/share/fonts/truetype/liberation2/LiberationSerif-Italic.ttf",
    "DejaVu Sans Mono": "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf",
}
_widths = {}


def widths(key):
    if key not in _widths:
        _widths[key] = TrueTypeWidths(FONT_FILES[key])
    return _widths[key]


def truetype_subset(path, text):
    """The tables of a TrueType file cut down to the glyphs of `text` (and .notdef), renumbered
    in character order, as a downloaded font carries them: (glyph count, table pieces for the
    glyph_table record, each glyph's glyf bytes). The outlines, hinting programs and metrics are
    the file's own, so the font draws exactly as the installed one does; the name table is the
    renderer's to write, and loca is made from the glyph pieces."""
    data = open(path, "rb").read()
    tables = {}
    for i in range(struct.unpack(">H", data[4:6])[0]):
        tag, _, offset, length = struct.unpack(">4sIII", data[12 + 16 * i:28 + 16 * i])
        tables[tag] = data[offset:offset + length]
    widths_table = TrueTypeWidths(path)
    chars = sorted(set(text) - {" "})
    old = [0] + [widths_table.map[ord(c)] for c in chars]
    long_loca = struct.unpack(">h", tables[b"head"][50:52])[0] == 1
    loca = tables[b"loca"]

    def glyph(g):
        if long_loca:
            start, end = struct.unpack(">II", loca[4 * g:4 * g + 8])
        else:
            start, end = (2 * v for v in struct.unpack(">HH", loca[2 * g:2 * g + 4]))
        body = tables[b"glyf"][start:end]
        if body and struct.unpack(">h", body[:2])[0] < 0:
            raise ValueError(f"glyph {g} is composite; the subset keeps simple glyphs only")
        return body

    glyphs = [glyph(g) for g in old]
    metrics = struct.unpack(">H", tables[b"hhea"][34:36])[0]
    hmtx = tables[b"hmtx"]

    def metric(g):
        if g < metrics:
            return hmtx[4 * g:4 * g + 4]
        return hmtx[4 * (metrics - 1):4 * metrics - 2] + hmtx[4 * metrics + 2 * (g - metrics):][:2]

    n = len(old)
    # cmap: format 4 with a segment per character, then the closing segment.
    codes = [ord(c) for c in chars] + [0xFFFF]
    seg = len(codes)
    ends = b"".join(struct.pack(">H", c) for c in codes)
    starts = ends
    deltas = b"".join(struct.pack(">H", (i + 1 - c) & 0xFFFF) for i, c in enumerate(codes[:-1])) + struct.pack(">H", 1)
    ranges = b"\0\0" * seg
    search = 2 ** int(math.log2(seg))
    sub = struct.pack(">HHHHHHH", 4, 16 + 8 * seg, 0, 2 * seg, 2 * search, int(math.log2(search)),
                      2 * seg - 2 * search) + ends + b"\0\0" + starts + deltas + ranges
    cmap = struct.pack(">HHHHI", 0, 1, 3, 1, 12) + sub
    hhea = tables[b"hhea"][:34] + struct.pack(">H", n)
    maxp = tables[b"maxp"][:4] + struct.pack(">H", n) + tables[b"maxp"][6:]
    post = struct.pack(">I", 0x00030000) + tables[b"post"][4:32]
    pieces = [(b"head", tables[b"head"]), (b"hhea", hhea), (b"maxp", maxp),
              (b"hmtx", b"".join(metric(g) for g in old)), (b"cmap", cmap), (b"post", post),
              (b"OS/2", tables[b"OS/2"])]
    pieces += [(tag, tables[tag]) for tag in (b"cvt ", b"fpgm", b"prep", b"gasp") if tag in tables]
    return n, pieces, glyphs


def font_piece(tag, body):
    return tag + struct.pack("<I", len(body)) + body


class Job:
    def __init__(self):
        self.lines = []
        self.fonts = {}  # (face, height, weight, italic) -> id
        self.next_font = 200
        self.size = (W, H)  # the page being written: text records are bounded by it

    def add(self, text):
        self.lines.append(text)

    def comment(self, text):
        self.lines.append("# " + text)

    def gdi_font(self, face, em, weight=400, italic=0):
        key = (face, em, weight, italic)
        if key not in self.fonts:
            self.next_font += 1
            self.fonts[key] = self.next_font
            self.add(line("font_log", id=self.next_font, height=-em, weight=weight, italic=italic,
                          face=f'"{face}"'))
        return self.fonts[key]

    def text(self, x, y, s, face="Liberation Sans", em=36, weight=400, italic=0, brush=BLACK, clip=0, font=0):
        """GDI text with its baseline at y, each character placed by the font's own advance; `font`
        names a font record of the job's own instead of a GDI font of the face."""
        fid = font or self.gdi_font(face, em, weight, italic)
        metrics_key = face + (" Bold" if weight >= 700 and face + " Bold" in FONT_FILES else "") + (
            " Italic" if italic and face + " Italic" in FONT_FILES else "")
        wm = widths(metrics_key)
        positions, chars = bytearray(), bytearray()
        pen = float(x)
        for ch in s:
            positions += le32(int(round(pen)), y)
            chars += struct.pack("<H", ord(ch))
            pen += wm.advance(ch, em)
        self.add(line("cmd_text", positions + chars, left=0, top=0, right=self.size[0], bottom=self.size[1], font=fid,
                      clip=clip,
                      brush=brush, count=len(s), flags=0x2, mix=R2_COPYPEN, mix2=R2_NOP))
        return int(round(pen))

    def paragraph(self, x, y, width, s, em=30, leading=42, face="Liberation Serif"):
        wm = widths(face)
        words, current = s.split(), ""
        for word in words:
            trial = (current + " " + word).strip()
            if sum(wm.advance(c, em) for c in trial) > width and current:
                self.text(x, y, current, face, em)
                y += leading
                current = word
            else:
                current = trial
        if current:
            self.text(x, y, current, face, em)
            y += leading
        return y

    def write(self, name, header):
        with open(os.path.join(HERE, name), "w") as f:
            f.write("".join("# " + h + "\n" for h in header))
            f.write("\n".join(self.lines) + "\n")


def rectfill(l, t, r, b, brush=BLACK):
    return line("cmd_rectfill", left=l, top=t, right=r, bottom=b, brush=hex(brush))


def page_begin(job, form=1, **extra):
    """The page record; the page's resources (fonts, pens, brushes, bitmaps) are defined after it."""
    job.fonts = {}
    fields = dict(width=W, height=H, paper_code=9, paper_name='"A4"')
    if form:
        fields.update(page_flags="0x1000", overlay_form=form)
    fields.update(extra)
    job.add(line("page_begin", **fields))


def page_end():
    return line("page_end", sheet_width=W, sheet_height=H, paper_code=9, paper_name='"A4"')


def job_start(job, job_flags=0x1, **extra):
    job.add("signature")
    job.add("stream_version version=2")
    # The extent pairs are left at 0: they are the strip of the page the device cannot print, and a
    # fax page is printable to its edges.
    job.add(line("job_header", job_flags=hex(job_flags), copies=1, res_x=204, res_y=196, **extra))


def form(job, fid, title):
    """The letterhead form under every page: a top band with the sender's mark, a rule and a footer."""
    job.comment(f"form {fid}: the letterhead drawn beneath every page")
    job.add(line("form_begin", id=fid, res_x=204, res_y=196, width=W, height=H))
    job.add(rectfill(100, 70, 1628, 76))
    job.add(rectfill(100, 80, 180, 160))
    job.add(rectfill(112, 92, 168, 148, WHITE))
    job.add(rectfill(126, 106, 154, 134))
    job.add(rectfill(100, 2180, 1628, 2183))
    for i, x in enumerate(range(100, 1628, 64)):
        job.add(rectfill(x, 2196, x + 40, 2200, rgb(96, 96, 96) if i % 2 else BLACK))
    job.add("form_end")


# ---- resources shared by the drawing pages ----

def pens_and_brushes(job):
    job.comment("pens: thin, wide, dotted (built-in dashes), dash-dot and wide user dashes; brushes from bitmaps")
    job.add(line("pen", id=10, style=0, width=1, brush=hex(BLACK)))
    job.add(line("pen", id=11, style="0x1", width=14, miter_limit=10, brush=hex(BLACK)))
    job.add(line("pen", id=12, style="0xa", width=1, brush=hex(BLACK)))
    job.add(line("pen", id=13, style="0x22", width=1, brush=hex(rgb(64, 64, 64))))
    job.add(line("pen", le32(36, 12, 8, 12), id=14, style="0x40001", width=6, brush=hex(BLACK), dash_count=4))
    job.add(line("pen", id=15, style="0x2000001", width=24, miter_limit=10, brush=hex(rgb(128, 128, 128))))
    hatch = [[1 if (x + y) % 8 in (0, 1) else 0 for x in range(8)] for y in range(8)]
    job.add(bitmap(100, 1, [[1 - v for v in r] for r in hatch], MONO))
    job.add(line("brush", id=20, bitmap=100))
    bricks = [[0 if (y % 8 == 7 or (x + (4 if (y // 8) % 2 else 0)) % 16 == 0) else 1 for x in range(16)]
              for y in range(16)]
    job.add(bitmap(101, 1, bricks, MONO))
    job.add(line("brush", id=21, bitmap=101))
    dots = [[2 if math.hypot(x - 3.5, y - 3.5) < 2.2 else 14 for x in range(8)] for y in range(8)]
    job.add(bitmap(102, 4, dots, GREYS16))
    job.add(line("brush", id=22, bitmap=102))


def path(pid, figures, bezier=()):
    """A path record of figures (lists of points); figures whose index is in bezier are curves."""
    data = bytearray()
    xs = [p[0] for f in figures for p in f]
    ys = [p[1] for f in figures for p in f]
    for i, f in enumerate(figures):
        flags = 1 | 2 | (4 if i in bezier else 0) | (0 if i in bezier else 8)
        data += le32(flags, len(f))
        for x, y in f:
            data += le32(x, y)
    return line("path", data, id=pid, left=min(xs), top=min(ys), right=max(xs) + 1, bottom=max(ys) + 1,
                subpaths=len(figures))


def star(cx, cy, r_out, r_in, n=5):
    pts = []
    for i in range(2 * n):
        r = r_out if i % 2 == 0 else r_in
        a = -math.pi / 2 + i * math.pi / n
        pts.append((int(round(cx + r * math.cos(a))), int(round(cy + r * math.sin(a)))))
    return pts


def circle(cx, cy, r, n=48):
    return [(int(round(cx + r * math.cos(2 * math.pi * i / n))), int(round(cy + r * math.sin(2 * math.pi * i / n))))
            for i in range(n)]


def vector_page(job):
    job.comment("page 1: vector drawing - rectangles with pens and pattern brushes, lines, paths, clip regions")
    page_begin(job)
    pens_and_brushes(job)
    job.text(220, 140, "Vector drawing", "Liberation Sans", 56, 700)
    job.text(220, 250, "Rectangles, lines and paths with thin, wide and dashed pens; pattern brushes; clips.",
             "Liberation Sans", 30)
    # Rectangles: outlined, wide-framed, pattern-filled.
    job.add(line("cmd_rect", left=140, top=320, right=520, bottom=620, brush=hex(rgb(200, 200, 200)), pen=10,
                 mix=R2_COPYPEN))
    job.add(line("cmd_rect", left=600, top=320, right=1000, bottom=620, brush=hex(WHITE), pen=11, mix=R2_COPYPEN))
    job.add(line("cmd_rect", left=1080, top=320, right=1580, bottom=620, brush=20, pen=10, mix=R2_COPYPEN))
    job.add(line("cmd_rect", left=660, top=380, right=940, bottom=560, brush=21, pen=0, mix=R2_COPYPEN))
    # Lines: a fan of thin lines, then dotted, dash-dot, wide user-dashed and wide solid lines.
    for i in range(13):
        a = math.pi * i / 12
        job.add(line("cmd_line", x1=340, y1=1000, x2=340 + int(260 * math.cos(a)), y2=1000 - int(260 * math.sin(a)),
                     pen=10, mix=R2_COPYPEN))
    for k, pen in enumerate((12, 13, 14, 11, 15)):
        y = 760 + 70 * k
        job.add(line("cmd_line", x1=700, y1=y, x2=1580, y2=y, pen=pen, mix=R2_COPYPEN))
    # Paths: a filled star with a wide outline, a dashed curve, a ring filled by winding.
    job.add(path(30, [star(340, 1330, 200, 80)]))
    job.add(line("cmd_path", pen=11, brush=hex(rgb(160, 160, 160)), path=30, mix=R2_COPYPEN,
                 background_mix=R2_COPYPEN, fill_mode=2))
    wave = [(700, 1300)]
    for k in range(4):
        x0 = 700 + 220 * k
        wave += [(x0 + 70, 1140), (x0 + 150, 1460), (x0 + 220, 1300)]
    job.add(path(31, [wave], bezier=(0,)))
    job.add(line("cmd_path", pen=14, brush=0, path=31, mix=R2_COPYPEN, background_mix=R2_COPYPEN, fill_mode=1))
    job.add(path(32, [circle(1400, 1300, 150), list(reversed(circle(1400, 1300, 80)))]))
    job.add(line("cmd_path", pen=10, brush=22, path=32, mix=R2_COPYPEN, background_mix=R2_COPYPEN, fill_mode=2))
    # Clips: two rectangles cut a brick fill; a circle (a path region) cuts a fan of wide lines.
    job.add(line("clip_rects", le32(140, 1600, 500, 1760, 560, 1840, 820, 2000), id=40, left=140, top=1600,
                 right=820, bottom=2000, count=2))
    job.add(line("cmd_rect", left=100, top=1560, right=900, bottom=2060, brush=21, pen=11, clip=40, mix=R2_COPYPEN))
    job.add(path(33, [circle(1280, 1800, 190)]))
    job.add(line("clip_region", struct.pack("<IBBH", 33, 1, 1, 0), id=41, base=0, count=1))
    for k in range(14):
        x = 1040 + 36 * k
        job.add(line("cmd_line", x1=x, y1=1560, x2=x + 120, y2=2060, pen=15 if k % 2 else 11, clip=41,
                     mix=R2_COPYPEN))
    job.add(line("cmd_rect", left=1500, top=1600, right=1640, bottom=2000, brush=20, pen=0, clip=41,
                 mix=R2_COPYPEN))
    job.add(page_end())


# The CopyBits block pattern of the images page (the end-to-end test repeats the formula): 8-pixel
# cells, black where the cell's hash falls below 3 of 7; COPYBITS_COPIED pixels square are copied
# from COPYBITS_SOURCE (counted from the bitmap's top) to COPYBITS_AT.
COPYBITS_SIZE, COPYBITS_COPIED = 160, 144
COPYBITS_SOURCE, COPYBITS_AT = (8, 16), (1420, 270)


def copybits_black(x, y):
    cx, cy = x // 8, y // 8
    return (cx * cx * 3 + cy * 5 + cx * cy) % 7 < 3


def image_page(job):
    job.comment("page 2: images - 1, 4, 8, 24 and 32-bit bitmaps, run-length and LZW coded, blitted,")
    job.comment("copied, stretched, masked, keyed and alpha-blended")
    page_begin(job)
    pens_and_brushes(job)
    job.text(220, 140, "Images", "Liberation Sans", 56, 700)
    label = lambda x, y, s: job.text(x, y, s, "Liberation Sans", 26)

    # 1-bit: a target of rings, blitted 1:1 and stretched three times.
    rings = [[(int(math.hypot(x - 63.5, y - 63.5)) // 8) % 2 for x in range(128)] for y in range(128)]
    job.add(bitmap(110, 1, rings, MONO))
    label(140, 250, "1-bit, BitBlt")
    job.add(line("cmd_bitblt", left=140, top=270, right=268, bottom=398, bitmap=110, rop="0xcccc"))
    label(330, 250, "1-bit, StretchBlt x2")
    job.add(line("cmd_stretchblt", src_left=0, src_top=0, src_right=128, src_bottom=128, left=330, top=270,
                 right=586, bottom=526, bitmap=110, rop="0xcccc"))

    # CopyBits: part of a 1-bit block pattern copied at its own size from a source point.
    blocks = [[0 if copybits_black(x, y) else 1 for x in range(COPYBITS_SIZE)] for y in range(COPYBITS_SIZE)]
    job.add(bitmap(120, 1, blocks, MONO))
    label(1420, 250, "1-bit, CopyBits")
    job.add(line("cmd_copybits", src_x=COPYBITS_SOURCE[0], src_y=COPYBITS_SOURCE[1], left=COPYBITS_AT[0],
                 top=COPYBITS_AT[1], right=COPYBITS_AT[0] + COPYBITS_COPIED, bottom=COPYBITS_AT[1] + COPYBITS_COPIED,
                 bitmap=120))

    # 4-bit run-length: grey bars; 8-bit run-length: a grey staircase.
    bars = [[(x // 12) % 16 for x in range(192)] for _ in range(96)]
    job.add(bitmap(111, 4, bars, GREYS16, compression=1))
    label(660, 250, "4-bit RLE")
    job.add(line("cmd_stretchblt", src_left=0, src_top=0, src_right=192, src_bottom=96, left=660, top=270,
                 right=1044, bottom=462, bitmap=111, rop="0xcccc"))
    stairs = [[min(255, (x // 16) * 17 + (y // 32) * 8) for x in range(256)] for y in range(96)]
    job.add(bitmap(112, 8, stairs, GREYS256, compression=2))
    label(1120, 250, "8-bit RLE")
    job.add(line("cmd_bitblt", left=1120, top=270, right=1376, bottom=366, bitmap=112, rop="0xcccc"))

    # 8-bit LZW: a grey radial wave.
    waves = [[int(127 + 127 * math.cos(math.hypot(x - 80, y - 60) / 6.0)) for x in range(160)] for y in range(120)]
    job.add(bitmap(113, 8, waves, GREYS256, compression=6))
    label(1120, 420, "8-bit LZW")
    job.add(line("cmd_bitblt", left=1120, top=440, right=1280, bottom=560, bitmap=113, rop="0xcccc"))

    # 24-bit: the scanned photo, stretched large; the same photo LZW-coded, 1:1.
    scene = photo(240, 160)
    job.add(bitmap(114, 24, scene))
    label(140, 620, "24-bit photo, StretchBlt x3")
    job.add(line("cmd_stretchblt", src_left=0, src_top=0, src_right=240, src_bottom=160, left=140, top=640,
                 right=860, bottom=1120, bitmap=114, rop="0xcccc"))
    job.add(bitmap(115, 24, scene, compression=6))
    label(940, 620, "24-bit LZW, BitBlt")
    job.add(line("cmd_bitblt", left=940, top=640, right=1180, bottom=800, bitmap=115, rop="0xcccc"))

    # Masked: the photo through a 1-bit round mask, as a BitBlt and stretched.
    mask = [[1 if math.hypot(x - 119.5, y - 79.5) < 78 else 0 for x in range(240)] for y in range(160)]
    job.add(bitmap(116, 1, mask, MONO))
    label(1240, 620, "masked BitBlt")
    job.add(line("cmd_bitblt", left=1240, top=640, right=1400, bottom=800, src_x=40, src_y=0, mask_x=40, bitmap=114, mask=116,
                 rop="0xaacc"))
    label(940, 880, "masked StretchBlt")
    job.add(line("cmd_stretchblt", src_left=40, src_top=0, src_right=200, src_bottom=160, left=940, top=900,
                 right=1260, bottom=1220, bitmap=114, mask=116, rop="0xaacc"))

    # TransparentBlt: a 24-bit badge on a magenta key, over a stripe pattern.
    for k in range(10):
        job.add(rectfill(1300, 900 + 32 * k, 1600, 916 + 32 * k, rgb(150, 150, 150)))
    badge = [[(255, 0, 255) if math.hypot(x - 40, y - 40) > 38 else ((20, 20, 20) if abs(x - y) < 8 or
              abs(x + y - 80) < 8 else (230, 230, 230)) for x in range(80)] for y in range(80)]
    job.add(bitmap(117, 24, badge))
    label(1300, 880, "TransparentBlt")
    job.add(line("cmd_transparentblt", src_left=0, src_top=0, src_right=80, src_bottom=80, left=1330, top=910,
                 right=1570, bottom=1150, bitmap=117, colour="0xff00ff"))

    # AlphaBlend: a 32-bit disc with soft edges (premultiplied), and the photo at half strength.
    for k in range(12):
        job.add(rectfill(140 + 60 * k, 1300, 170 + 60 * k, 1700))
    disc = []
    for y in range(120):
        row = []
        for x in range(120):
            a = max(0.0, min(1.0, (56 - math.hypot(x - 59.5, y - 59.5)) / 16))
            c = int(255 * a)
            row.append((c, c, c, c))
        disc.append(row)
    job.add(bitmap(118, 32, disc))
    label(140, 1280, "32-bit alpha, AlphaBlend")
    job.add(line("cmd_alphablend", src_left=0, src_top=0, src_right=120, src_bottom=120, left=180, top=1320,
                 right=540, bottom=1680, bitmap=118, flags=2, alpha=255))
    label(620, 1280, "constant alpha 50%")
    job.add(line("cmd_alphablend", src_left=0, src_top=0, src_right=240, src_bottom=160, left=600, top=1320,
                 right=860, bottom=1680, bitmap=114, alpha=128))

    # A grey ramp from a 4-bit plain bitmap, and the 1-bit rings copied through a clip.
    ramp = [[x * 16 // 256 for x in range(256)] for _ in range(8)]
    job.add(bitmap(119, 4, ramp, GREYS16))
    label(960, 1280, "4-bit ramp")
    job.add(line("cmd_stretchblt", src_left=0, src_top=0, src_right=256, src_bottom=8, left=960, top=1300,
                 right=1600, bottom=1380, bitmap=119, rop="0xcccc"))
    job.add(line("clip_rects", le32(960, 1440, 1600, 1470, 960, 1500, 1600, 1530, 960, 1560, 1600, 1590), id=42,
                 left=960, top=1440, right=1600, bottom=1590, count=3))
    job.add(line("cmd_stretchblt", src_left=0, src_top=0, src_right=128, src_bottom=128, left=960, top=1400,
                 right=1600, bottom=1640, bitmap=110, clip=42, rop="0xcccc"))
    job.paragraph(140, 1800, 1440,
                  "Every image on this page is a bitmap record of the spool stream: palette bitmaps of one, four "
                  "and eight bits, run-length and LZW coded ones, and true-colour bitmaps with and without an "
                  "alpha channel. The fax module halftones the greys and colours to black and white.",
                  em=30, leading=44)
    job.add(page_end())


# The downloaded TrueType line of the text page and its size; the installed face's copy of the
# line stands TRUETYPE_STEP rows below it (the end-to-end test compares the two).
TRUETYPE_LINE = "TrueType, downloaded with the job: Fax 2026"
TRUETYPE_EM = 44
TRUETYPE_STEP = 64


def glyph_bits(ch, scale=3):
    """One character from netpbm's built-in font, enlarged: (width, height, rows of 0/1)."""
    pbm = subprocess.run(["pbmtext", "-builtin", "bdf", ch], capture_output=True, check=True).stdout
    head, rest = pbm.split(b"\n", 1)
    dims, data = rest.split(b"\n", 1)
    w, h = map(int, dims.split())
    stride = (w + 7) // 8
    rows = [[(data[y * stride + x // 8] >> (7 - x % 8)) & 1 for x in range(w)] for y in range(h)]
    used = [y for y in range(h) if any(rows[y])]
    cols = [x for x in range(w) if any(r[x] for r in rows)]
    if not used:
        return 0, 0, []
    rows = [r[cols[0]:cols[-1] + 1] for r in rows[used[0]:used[-1] + 1]]
    big = []
    for r in rows:
        wide = [v for v in r for _ in range(scale)]
        big += [wide] * scale
    return len(big[0]), len(big), big, used[0]


def text_page(job):
    job.comment("page 3: text - GDI fonts in several faces and sizes, a downloaded bitmap font, outline glyphs")
    job.comment("and a downloaded TrueType font")
    page_begin(job)
    job.text(220, 140, "Text", "Liberation Sans", 56, 700)
    y = 260
    for face, em, weight, italic in (("Liberation Sans", 44, 400, 0), ("Liberation Sans", 44, 700, 0),
                                     ("Liberation Serif", 44, 400, 0), ("Liberation Serif", 44, 400, 1),
                                     ("DejaVu Sans Mono", 36, 400, 0)):
        style = ("bold " if weight >= 700 else "") + ("italic " if italic else "")
        job.text(140, y, f"{face} {style}{em} px: The quick brown fox jumps over the lazy dog.", face, em, weight,
                 italic)
        y += 72
    y += 20
    y = job.paragraph(140, y, 1440,
                      "Dear reader, this page is drawn by text records. The characters above are placed one by "
                      "one at the positions the application chose, in fonts that the renderer makes through GDI. "
                      "Below them, a font that the application downloaded as glyph bitmaps, and a few glyphs "
                      "downloaded as outlines, which the renderer fills itself.", em=32, leading=46)

    # A downloaded bitmap font: glyph records keyed by character code.
    job.comment("a downloaded bitmap font (font_download + glyph records)")
    job.add(line("font_download", id=60, flags=0, height=60))
    message = "DOWNLOADED GLYPHS 0123456789"
    placed = {}
    for ch in sorted(set(message) - {" "}):
        gw, gh, rows, top = glyph_bits(ch)
        data = bytearray()
        for r in rows:
            word = bytearray((gw + 31) // 32 * 4)
            for x, v in enumerate(r):
                if v:
                    word[x // 8] |= 0x80 >> (x % 8)
            data += word
        baseline_offset = (21 - top) * 3  # the built-in font's baseline lies 21 rows down its cell
        job.add(line("glyph", data, code=ord(ch), font=60, cell_width=gw, cell_height=gh, origin_x=0,
                     origin_y=baseline_offset))
        placed[ch] = gw
    y += 80
    positions, codes = bytearray(), bytearray()
    x = 140
    count = 0
    for ch in message:
        if ch != " ":
            positions += le32(x, y)
            codes += struct.pack("<H", ord(ch))
            count += 1
            x += placed[ch] + 8
        else:
            x += 30
    job.add(line("cmd_text", positions + codes, left=0, top=0, right=W, bottom=H, font=60, brush=hex(BLACK),
                 count=count, flags=0x1, mix=R2_COPYPEN, mix2=R2_NOP))

    # Outline glyphs: a bullet, a square, a triangle and a diamond, 48 units high, filled as paths.
    job.comment("outline glyphs (font_download + glyph_ex records)")
    job.add(line("font_download", id=61, flags=0, height=48))
    shapes = {1: circle(24, 24, 22, 24), 2: [(2, 2), (46, 2), (46, 46), (2, 46)], 3: [(24, 2), (46, 46), (2, 46)],
              4: [(24, 0), (48, 24), (24, 48), (0, 24)]}
    for code, pts in shapes.items():
        data = le32(1) + le32(1 | 8, len(pts)) + b"".join(le32(px, py) for px, py in pts)
        job.add(line("glyph_ex", data, code=code, font=61, cell_width=48, cell_height=48, origin_x=0, origin_y=48))
    y += 100
    positions, codes = bytearray(), bytearray()
    for i, code in enumerate((1, 2, 3, 4, 1, 2, 3, 4)):
        positions += le32(140 + 80 * i, y)
        codes += struct.pack("<H", code)
    job.add(line("cmd_text", positions + codes, left=0, top=0, right=W, bottom=H, font=61, brush=hex(BLACK),
                 count=8, flags=0x1, mix=R2_COPYPEN, mix2=R2_NOP))
    job.text(140 + 80 * 8 + 40, y - 8, "outline glyphs, filled by the renderer", "Liberation Sans", 30)

    # Text through a clip and in grey.
    y += 110
    job.add(line("clip_rects", le32(140, y - 60, 1600, y - 30), id=43, left=140, top=y - 60, right=1600, bottom=y - 30,
                 count=1))
    job.text(140, y, "Clipped: only the upper half of this line shows.", "Liberation Serif", 60, clip=43)
    y += 90
    job.text(140, y, "Grey text, halftoned by the fax module.", "Liberation Sans", 48, 700, brush=rgb(110, 110, 110))

    # A downloaded TrueType font: Liberation Sans cut down to the line's glyphs, its tables in the
    # glyph_table record and each glyph's outline in a font_data record; a logical font names it
    # as its base. The same line follows in the installed face, and draws the same.
    job.comment("a downloaded TrueType font (glyph_table + font_data records) and a logical font based on it")
    y += 110
    line_text = TRUETYPE_LINE
    count, pieces, glyphs = truetype_subset(FONT_FILES["Liberation Sans"], line_text)
    job.add(line("glyph_table", b"".join(font_piece(t, b) for t, b in pieces), id=70, flags=0, glyph_count=count))
    for g, body in enumerate(glyphs):
        job.add(line("font_data", font_piece(b"glyf", body), sequence=g, font=70))
    job.add(line("font_log", id=71, flags=0, base=70, height=-TRUETYPE_EM, weight=400, face='"Downloaded"'))
    job.text(140, y, line_text, "Liberation Sans", TRUETYPE_EM, font=71)
    job.text(140, y + TRUETYPE_STEP, line_text, "Liberation Sans", TRUETYPE_EM)
    job.add(page_end())


def sample_job():
    job = Job()
    job_start(job)
    form(job, 1, "letterhead")
    vector_page(job)
    image_page(job)
    text_page(job)
    job.add(line("job_end", v=1, data=b""))
    job.write("sample_job.txt", [
        "The full sample: three A4 pages at 204 x 196 dpi with a letterhead form beneath each. Page 1 is vector",
        "drawing (pens, dashes, pattern brushes, paths, clip rectangles and path regions), page 2 images (1, 4,",
        "8, 24 and 32-bit bitmaps, run-length and LZW coded, blitted, copied, stretched, masked, keyed and",
        "blended), page 3 text (GDI fonts, a downloaded bitmap font, outline glyphs, a downloaded TrueType",
        "font). Written by make_samples.py."])


def numbered_pages(job, count, title):
    for n in range(1, count + 1):
        page_begin(job)
        pens_and_brushes(job)
        job.text(220, 140, f"{title} - page {n} of {count}", "Liberation Sans", 56, 700)
        job.add(rectfill(700, 700, 1028, 1300, rgb(200, 200, 200)))
        job.text(740 if n < 10 else 700, 1120, str(n), "Liberation Sans", 420, 700)
        job.add(line("cmd_rect", left=300, top=400, right=1428, bottom=1600, brush=0, pen=11, mix=R2_COPYPEN))
        job.add(path(50 + n, [star(864, 1850, 160, 64, 4 + n)]))
        job.add(line("cmd_path", pen=10, brush=20, path=50 + n, mix=R2_COPYPEN, background_mix=R2_COPYPEN,
                     fill_mode=2))
        job.paragraph(300, 2080, 1128, f"This is page {n}. Each page carries the letterhead form, a frame drawn "
                                        "with a wide pen and a star filled with a pattern brush.", em=30)
        job.add(page_end())


def nup_job():
    job = Job()
    job_start(job)
    form(job, 1, "letterhead")
    job.comment("four pages placed on one sheet (cells=4 on every page record)")
    before = len(job.lines)
    numbered_pages(job, 4, "Four-up")
    job.lines[before:] = [t.replace("page_begin ", "page_begin cells=4 ", 1) if t.startswith("page_begin") else t
                          for t in job.lines[before:]]
    job.add(line("job_end", v=1, data=b""))
    job.write("nup_job.txt", ["Four numbered pages printed four-up on one A4 sheet, each with the letterhead form.",
                              "Written by make_samples.py."])


def booklet_job():
    job = Job()
    job_start(job, job_flags=0x3)
    form(job, 1, "letterhead")
    job.comment("a booklet: the pages are read again in booklet order, two to a side")
    numbered_pages(job, 4, "Booklet")
    job.add(line("job_end", v=1, data=b""))
    job.write("booklet_job.txt", ["Four numbered pages as a booklet (job flag 0x2): two pages to a side, in the",
                                  "order that folds into a booklet. Written by make_samples.py."])


# The placement sample's drawing, in the page's own units: a frame round the whole drawing area
# and blocks at its corners and centre, all on even coordinates so that half of each is a whole
# pixel.
def placement_drawing(job, w, h):
    job.add(rectfill(0, 0, w, 8))
    job.add(rectfill(0, h - 8, w, h))
    job.add(rectfill(0, 0, 8, h))
    job.add(rectfill(w - 8, 0, w, h))
    for x, y in ((100, 100), (w - 300, 100), (100, h - 300), (w - 300, h - 300)):
        job.add(rectfill(x, y, x + 200, y + 200))
    job.add(rectfill(w // 2 - 200, h // 2 - 100, w // 2 + 200, h // 2 + 100, rgb(128, 128, 128)))
    job.add(rectfill(w // 2 - 100, h // 2 - 50, w // 2 + 100, h // 2 + 50, WHITE))


PLACEMENT_TARGET = (3456, 4000)


def placement_job():
    job = Job()
    job_start(job)
    job.comment("page 1 at 50 % (page flag 0x40): half its size, centred on the printable area (the whole")
    job.comment("sheet): the page's (x, y) lands on (x / 2 + 432, y / 2 + 573)")
    page_begin(job, form=0, page_flags="0x40", scale=50)
    placement_drawing(job, W, H)
    job.add(page_end())
    tw, th = PLACEMENT_TARGET
    job.comment(f"page 2 fitted to a target of {tw} x {th} (page flag 0x80): the scale is the smaller of")
    job.comment(f"{W} / {tw} and {H} / {th}, 0.5; the fitted {tw // 2} x {th // 2} is centred: (x, y) lands on")
    job.comment(f"(x / 2 + {(W - tw // 2) // 2}, y / 2 + {(H - th // 2) // 2})")
    page_begin(job, form=0, page_flags="0x80", scale=tw, target_height=th)
    placement_drawing(job, tw, th)
    job.add(page_end())
    job.add(line("job_end", v=1, data=b""))
    job.write("placement_job.txt", ["Two A4 pages placed by the page record's scale: the first at 50 %, the second",
                                    "fitted to a target size. Written by make_samples.py."])


def landscape_job():
    job = Job()
    job_start(job)
    # A landscape A4 page as a device context turned to landscape writes it: its extents exchanged
    # (page flag 0x1), across 2292 pixels at 196 dpi and down 1728 at 204 dpi. The engine turns it
    # onto the portrait fax page pixel for pixel: its circles stay round and its squares square.
    lw, lh = H, W
    job.size = (lw, lh)
    job.comment("one landscape page (page flag 0x1, 2292 x 1728): turned onto the portrait fax page unscaled")
    page_begin(job, form=0, page_flags="0x1", width=lw, height=lh)
    pens_and_brushes(job)
    job.text(120, 160, "Landscape letter", "Liberation Sans", 72, 700)
    job.add(rectfill(120, 200, lw - 120, 206))
    job.paragraph(120, 300, 1200, "This page was written landscape, wider than high. The fax page is portrait, so "
                                  "the page is turned onto it, not stretched: the circle stays round, the squares "
                                  "stay square and the letters keep their shape.", em=40, leading=56)
    job.add(path(60, [circle(1750, 700, 300, 96), list(reversed(circle(1750, 700, 260, 96)))]))
    job.add(line("cmd_path", pen=11, brush=hex(BLACK), path=60, mix=R2_COPYPEN, background_mix=R2_COPYPEN,
                 fill_mode=1))
    for k in range(4):
        x = 120 + k * 300
        job.add(rectfill(x, 900, x + 200, 1100, BLACK if k % 2 == 0 else rgb(128, 128, 128)))
    job.add(line("cmd_rect", left=120, top=1200, right=lw - 120, bottom=lh - 120, brush=0, pen=10,
                 mix=R2_COPYPEN))
    job.text(180, 1400, "Turned, not stretched: 2292 x 1728 becomes 1728 x 2292.", "Liberation Serif", 48)
    job.add(line("page_end", sheet_width=lw, sheet_height=lh, paper_code=9, paper_name='"A4"'))
    job.add(line("job_end", v=1, data=b""))
    job.write("landscape_job.txt", ["A landscape A4 page (page flag 0x1), turned onto the portrait fax page without",
                                    "stretching. Written by make_samples.py."])


if __name__ == "__main__":
    sample_job()
    nup_job()
    booklet_job()
    placement_job()
    landscape_job()
