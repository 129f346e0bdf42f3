#!/usr/bin/env python3
"""Writes the seed corpus of fuzz_font_memory: small TrueType fonts of the family "Qvseed" with a
square, a curved glyph and a composite glyph, built here from the OpenType table layouts."""
import os
import struct
import sys

def glyph_simple(contours):
    """contours: lists of (x, y, on_curve)."""
    pts = [p for c in contours for p in c]
    xs = [p[0] for p in pts]
    ys = [p[1] for p in pts]
    out = struct.pack('>hhhhh', len(contours), min(xs), min(ys), max(xs), max(ys))
    end = -1
    for c in contours:
        end += len(c)
        out += struct.pack('>H', end)
    out += struct.pack('>H', 0)  # no instructions
    out += bytes(1 if p[2] else 0 for p in pts)
    px = py = 0
    dx = b''
    dy = b''
    for x, y, _ in pts:
        dx += struct.pack('>h', x - px)
        dy += struct.pack('>h', y - py)
        px, py = x, y
    return out + dx + dy

def glyph_composite(index, dx, dy):
    # ARG_1_AND_2_ARE_WORDS | ARGS_ARE_XY_VALUES
    return struct.pack('>hhhhhHHhh', -1, 0, 0, 700, 700, 0x0003, index, dx, dy)

def font(weight=400, italic=False, family='Qvseed'):
    glyphs = [
        b'',
        glyph_simple([[(100, 0, 1), (100, 700, 1), (500, 700, 1), (500, 0, 1)]]),
        glyph_simple([[(50, 0, 1), (300, 800, 0), (550, 0, 1)], [(200, 100, 1), (300, 400, 1), (400, 100, 1)]]),
        glyph_composite(1, 100, 0),
    ]
    glyf = b''
    loca = []
    for g in glyphs:
        loca.append(len(glyf) // 2)
        glyf += g + (b'\0' if len(g) % 2 else b'')
    loca.append(len(glyf) // 2)
    n = len(glyphs)
    head = struct.pack('>IIIIHHqqhhhhHHhhh', 0x00010000, 0x00010000, 0, 0x5F0F3CF5, 0x000B, 1000, 0, 0,
                       0, 0, 700, 800, (1 if weight >= 700 else 0) | (2 if italic else 0), 8, 2, 0, 0)
    hhea = struct.pack('>IhhhHhhhhhhhhhhhH', 0x00010000, 800, -200, 0, 600, 0, 0, 600, 1, 0, 0, 0, 0, 0, 0, 0, n)
    maxp = struct.pack('>IHHHHHHHHHHHHHH', 0x00010000, n, 16, 2, 4, 1, 2, 0, 0, 0, 0, 0, 0, 1, 1)
    os2 = struct.pack('>HhHHHhhhhhhhhhhhh10sIIII4sHHHhhhHHII', 1, 500, weight, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                      50, 250, 0, 0, bytes(10), 1, 0, 0, 0, b'QVFT', 0x21 if italic else 0x40, 0x41, 0x43,
                      800, -200, 0, 800, 200, 1, 0)
    hmtx = b''.join(struct.pack('>Hh', 600, 0) for _ in range(n))
    seg = [(0x41, 0x43, (1 - 0x41) & 0xFFFF), (0xFFFF, 0xFFFF, 1)]
    sub = struct.pack('>HHHHHHH', 4, 14 + 8 * len(seg) + 2, 0, 2 * len(seg), 4, 1, 0)
    sub += b''.join(struct.pack('>H', s[1]) for s in seg) + b'\0\0'
    sub += b''.join(struct.pack('>H', s[0]) for s in seg)
    sub += b''.join(struct.pack('>H', s[2]) for s in seg)
    sub += b''.join(struct.pack('>H', 0) for s in seg)
    cmap = struct.pack('>HHHHI', 0, 1, 3, 1, 12) + sub
    names = [(1, family), (2, 'Regular'), (4, family), (6, family)]
    strings = b''
    records = b''
    for nid, text in names:
        data = text.encode('utf-16-be')
        records += struct.pack('>HHHHHH', 3, 1, 0x409, nid, len(data), len(strings))
        strings += data
    name = struct.pack('>HHH', 0, len(names), 6 + 12 * len(names)) + records + strings
    post = struct.pack('>IIhhIIIII', 0x00030000, 0, -100, 50, 0, 0, 0, 0, 0)
    loca_bytes = b''.join(struct.pack('>H', v) for v in loca)
    tables = sorted({b'OS/2': os2, b'cmap': cmap, b'glyf': glyf, b'head': head, b'hhea': hhea,
                     b'hmtx': hmtx, b'loca': loca_bytes, b'maxp': maxp, b'name': name, b'post': post}.items())
    out = struct.pack('>IHHHH', 0x00010000, len(tables), 128, 3, len(tables) * 16 - 128)
    offset = 12 + 16 * len(tables)
    body = b''
    for tag, data in tables:
        out += struct.pack('>4sIII', tag, 0, offset + len(body), len(data))
        body += data + b'\0' * (-len(data) % 4)
    return out + body

def main(folder):
    os.makedirs(folder, exist_ok=True)
    regular = font()
    seeds = {
        'regular.ttf': regular,
        'bold_italic.ttf': font(700, True),
        'cut_at_end.ttf': regular[:len(regular) - 40],
    }
    for name, data in seeds.items():
        with open(os.path.join(folder, name), 'wb') as f:
            f.write(data)

if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), 'corpus', 'font_memory'))
