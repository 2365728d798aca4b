#!/usr/bin/env python3
"""Draws the program's clock-face icon and writes it as a Windows .ico file.

    make_icon.py OUTPUT.ico

Fourteen images:
  16, 24, 32 and 48 px at 16 colours (4 bits, the standard VGA palette),
  16, 24, 32 and 48 px at 256 colours (8 bits, a palette made per image),
  16, 24, 32, 48, 64 and 128 px at 32-bit colour with alpha.
Each is an uncompressed DIB with its AND mask, except the 128 px one, which
is stored as a PNG (RGBA, 8 bits a channel), as Windows Vista and later
read it: 2 KB instead of 66 KB in the program.
Only the standard library is used, and the output is the same on every run:
no time stamps, no randomness, palettes built in a fixed order.

The face is drawn for small sizes first: a thick rim, a white face and two
broad hands at three o'clock (minute hand up, hour hand right), so that the
hands lie on pixel boundaries and stay sharp at 16 px. Larger images add
ticks and a red centre.
"""

import math
import struct
import sys
import zlib

# 32-bit and 256-colour images: a clear blue rim on a white face.
RIM = (0x1F, 0x5F, 0xBF)
RIM_EDGE = (0x12, 0x3A, 0x78)
FACE = (0xFF, 0xFF, 0xFF)
HAND = (0x1C, 0x1C, 0x1C)
TICK = (0x55, 0x5F, 0x6E)
CENTRE = (0xD0, 0x21, 0x21)

# The 16-colour images use the standard VGA colours only, drawn without
# anti-aliasing, so that every pixel keeps an exact palette colour.
VGA = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
VGA_COLOURS = {
    RIM: (0x00, 0x00, 0x80),
    RIM_EDGE: (0x00, 0x00, 0x80),
    FACE: (0xFF, 0xFF, 0xFF),
    HAND: (0x00, 0x00, 0x00),
    TICK: (0x80, 0x80, 0x80),
    CENTRE: (0xFF, 0x00, 0x00),
}

# (size, bits per pixel) in the order the directory lists them.
IMAGES = [(s, 32) for s in (128, 64, 48, 32, 24, 16)] + \
         [(s, 8) for s in (48, 32, 24, 16)] + \
         [(s, 4) for s in (48, 32, 24, 16)]


# Shapes: each is (colour, bounding box, inside(x, y)) in pixel units, the
# image's top-left corner at (0, 0) and y growing downwards.

def disc(cx, cy, r):
    r2 = r * r
    return (cx - r, cy - r, cx + r, cy + r), lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r2


def ring(cx, cy, r_in, r_out):
    a2, b2 = r_in * r_in, r_out * r_out
    return ((cx - r_out, cy - r_out, cx + r_out, cy + r_out),
            lambda x, y: a2 < (x - cx) ** 2 + (y - cy) ** 2 <= b2)


def box(x0, y0, x1, y1):
    return (x0, y0, x1, y1), lambda x, y: x0 <= x < x1 and y0 <= y < y1


def bar(cx, cy, angle, r0, r1, half):
    """A straight bar along the direction angle (radians, 0 = up, clockwise)
    from distance r0 to r1 from the centre, half as wide as half."""
    dx, dy = math.sin(angle), -math.cos(angle)
    pts = [(cx + dx * r + ex * half, cy + dy * r + ey * half)
           for r in (r0, r1) for ex, ey in ((-dy, dx), (dy, -dx))]
    bb = (min(p[0] for p in pts), min(p[1] for p in pts),
          max(p[0] for p in pts), max(p[1] for p in pts))

    def inside(x, y):
        along = (x - cx) * dx + (y - cy) * dy
        across = (x - cx) * -dy + (y - cy) * dx
        return r0 <= along <= r1 and -half <= across <= half
    return bb, inside


def clock_shapes(size):
    c = size / 2.0
    outer = c if size <= 32 else c - size / 64.0
    rim = max(2, round(size * 0.09))
    face = outer - rim
    hand = max(1, round(size * 0.035))          # half the minute hand's width
    hour_hand = hand + (1 if size >= 48 else 0)
    minute_len = round(face * 0.82)
    hour_len = round(face * 0.55)

    shapes = [(FACE, disc(c, c, face + 0.5))]
    shapes.append((RIM, ring(c, c, face, outer)))
    if size >= 48:
        # A darker line around the rim keeps the edge visible on light backgrounds.
        shapes.append((RIM_EDGE, ring(c, c, outer - max(1.0, size / 48.0), outer)))
    if size >= 24:
        # Quarter ticks only below 64 px: smaller slanted ticks would blur.
        ticks = range(0, 12, 3) if size < 64 else range(12)
        for hour in ticks:
            major = hour % 3 == 0
            length = face * (0.2 if major else 0.12)
            half = hand * (1.0 if major else 0.6)
            if size < 64:
                half = float(hand)
                length = max(2.0, round(face * 0.2))
            gap = 0.0 if size < 48 else round(face * 0.06)
            shapes.append((TICK, bar(c, c, hour * math.pi / 6, face - gap - length,
                                     face - gap, half)))
    # Hands as axis-aligned boxes: minute hand up, hour hand to the right.
    shapes.append((HAND, box(c - hand, c - minute_len, c + hand, c + hand)))
    shapes.append((HAND, box(c - hour_hand, c - hour_hand, c + hour_len, c + hour_hand)))
    if size >= 24:
        shapes.append((CENTRE, disc(c, c, hour_hand * 1.25)))
    return shapes


def render(size, samples):
    """Premultiplied RGBA floats per pixel, each shape composited over the
    earlier ones with its coverage measured on samples x samples points."""
    pixels = [[0.0, 0.0, 0.0, 0.0] for _ in range(size * size)]
    offsets = [(i + 0.5) / samples for i in range(samples)]
    total = samples * samples
    for colour, ((bx0, by0, bx1, by1), inside) in clock_shapes(size):
        x0, y0 = max(0, int(math.floor(bx0)) - 1), max(0, int(math.floor(by0)) - 1)
        x1, y1 = min(size, int(math.ceil(bx1)) + 1), min(size, int(math.ceil(by1)) + 1)
        for y in range(y0, y1):
            for x in range(x0, x1):
                hits = sum(1 for oy in offsets for ox in offsets if inside(x + ox, y + oy))
                if not hits:
                    continue
                a = hits / total
                p = pixels[y * size + x]
                for i in range(3):
                    p[i] = colour[i] / 255.0 * a + p[i] * (1.0 - a)
                p[3] = a + p[3] * (1.0 - a)
    return pixels


def straight(p):
    """Unpremultiplied 8-bit (r, g, b, a)."""
    a = p[3]
    if a <= 0.0:
        return (0, 0, 0, 0)
    return tuple(min(255, int(round(p[i] / a * 255.0))) for i in range(3)) + \
        (min(255, int(round(a * 255.0))),)


def median_cut(colours, count):
    """Up to count palette colours for a list of distinct (r, g, b)."""
    boxes = [sorted(colours)]
    while len(boxes) < count:
        best, best_range, best_axis = None, 0, 0
        for i, b in enumerate(boxes):
            if len(b) < 2:
                continue
            for axis in range(3):
                values = [c[axis] for c in b]
                span = max(values) - min(values)
                if span > best_range:
                    best, best_range, best_axis = i, span, axis
        if best is None:
            break
        b = sorted(boxes[best], key=lambda c: (c[best_axis], c))
        half = len(b) // 2
        boxes[best:best + 1] = [b[:half], b[half:]]
    return [tuple(int(round(sum(c[i] for c in b) / len(b))) for i in range(3)) for b in boxes]


def nearest(palette, colour, cache):
    found = cache.get(colour)
    if found is None:
        found = min(range(len(palette)),
                    key=lambda i: (sum((palette[i][k] - colour[k]) ** 2 for k in range(3)), i))
        cache[colour] = found
    return found


def row_bytes(width, bits):
    return ((width * bits + 31) // 32) * 4


def pack_rows(size, bits, values):
    """Bottom-up DIB rows of values (palette indices or mask bits)."""
    out = bytearray()
    for y in range(size - 1, -1, -1):
        row = values[y * size:(y + 1) * size]
        packed = bytearray(row_bytes(size, bits))
        for x, v in enumerate(row):
            if bits == 8:
                packed[x] = v
            elif bits == 4:
                packed[x // 2] |= v << (4 if x % 2 == 0 else 0)
            else:
                packed[x // 8] |= v << (7 - x % 8)
        out += packed
    return out


# Sizes stored as PNG rather than as a DIB.
PNG_SIZES = {128}


def png(size, pixels):
    """An RGBA PNG of straight (not premultiplied) pixels, top row first."""
    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + \
            struct.pack('>I', zlib.crc32(kind + body) & 0xFFFFFFFF)
    raw = bytearray()
    for y in range(size):
        raw.append(0)  # no filter
        for r, g, b, a in pixels[y * size:(y + 1) * size]:
            raw += bytes((r, g, b, a))
    return b'\x89PNG\r\n\x1a\n' + \
        chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)) + \
        chunk(b'IDAT', zlib.compress(bytes(raw), 9)) + chunk(b'IEND', b'')


def image(size, bits):
    if bits == 4:
        # One sample per pixel: hard edges in exact palette colours.
        pixels = [straight(p) for p in render(size, 1)]
        opaque = [p[3] >= 128 for p in pixels]
        palette = VGA
        cache = {}
        indices = [nearest(palette, VGA_COLOURS.get(p[:3], p[:3]), cache) if o else 0
                   for p, o in zip(pixels, opaque)]
    else:
        pixels = [straight(p) for p in render(size, 8 if size <= 64 else 4)]
        if bits == 8:
            opaque = [p[3] >= 128 for p in pixels]
            distinct = sorted({p[:3] for p, o in zip(pixels, opaque) if o})
            # Index 0 stays black: transparent pixels must be black under the mask.
            palette = [(0, 0, 0)] + (distinct if len(distinct) <= 255
                                     else median_cut(distinct, 255))
            palette += [(0, 0, 0)] * (256 - len(palette))
            cache = {}
            indices = [nearest(palette[1:], p[:3], cache) + 1 if o else 0
                       for p, o in zip(pixels, opaque)]
        else:
            if size in PNG_SIZES:
                return png(size, pixels)
            opaque = [p[3] > 0 for p in pixels]

    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bits, 0,
                         (row_bytes(size, bits) + row_bytes(size, 1)) * size, 0, 0,
                         0 if bits == 32 else len(palette), 0)
    data = bytearray(header)
    if bits == 32:
        for y in range(size - 1, -1, -1):
            for r, g, b, a in pixels[y * size:(y + 1) * size]:
                data += bytes((b, g, r, a))
    else:
        for r, g, b in palette:
            data += bytes((b, g, r, 0))
        data += pack_rows(size, bits, indices)
    data += pack_rows(size, 1, [0 if o else 1 for o in opaque])
    return bytes(data)


def icon_file():
    images = [(size, bits, image(size, bits)) for size, bits in IMAGES]
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, bits, data in images:
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 16 if bits == 4 else 0, 0,
                           1, bits, len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    return bytes(out)


def main():
    if len(sys.argv) != 2:
        sys.stderr.write('usage: make_icon.py OUTPUT.ico\n')
        return 2
    data = icon_file()
    with open(sys.argv[1], 'wb') as f:
        f.write(data)
    return 0


if __name__ == '__main__':
    sys.exit(main())
