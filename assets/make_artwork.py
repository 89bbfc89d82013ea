#!/usr/bin/env python3
"""Draws Velmora's own artwork and writes the files the Windows build embeds.

  velmora.ico             the main window's icon: 32, 24 and 16 px at 4, 8 and 32 bpp
  tray.ico                the notification-area icon: 16, 20, 24 and 32 px at 8 bpp
  popup_background.jpg    the pop-up's 252 x 173 background picture
  popup_background.png    the same picture's decoded pixels, for the Linux build:
                          Qt reads PNG itself but needs a plugin and libjpeg,
                          resident for good, for a JPEG read once
  popup_background@1.25x.png, @1.5x.png, @2x.png
                          the background drawn for 125 %, 150 % and 200 %
                          scaling (both builds)

`make_artwork.py --check` prints each label's contrast against the picture
and fails when one falls short of WCAG 2.1 AA.

Pure Python except the JPEG step, which goes through ImageMagick's `convert`.
Run it from anywhere; the results are committed, so a build never needs it.
"""
import math
import os
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))

# --- shapes, drawn by coverage so every size stays crisp ---------------------

SUPERSAMPLE = 4


def coverage(size, inside):
    """Fraction of each pixel for which inside(x, y) holds, x and y in 0..1."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            hits = 0
            for sy in range(n):
                for sx in range(n):
                    if inside((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size):
                        hits += 1
            row.append(hits / (n * n))
        rows.append(row)
    return rows


def rounded_square(x, y, margin=0.04, radius=0.2):
    lo, hi = margin + radius, 1 - margin - radius
    cx, cy = min(max(x, lo), hi), min(max(y, lo), hi)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def feed_mark(x, y):
    """A dot and two arcs rising from the lower left corner: "news arrives"."""
    ox, oy = 0.26, 0.74
    d = math.hypot(x - ox, y - oy)
    if d <= 0.09:
        return True
    if x < ox - 0.02 or y > oy + 0.02:
        return False
    return 0.27 <= d <= 0.39 or 0.50 <= d <= 0.62


def icon_layers(size, body):
    """(colour, coverage) layers from back to front."""
    return [
        (body, coverage(size, rounded_square)),
        ((255, 255, 255), coverage(size, lambda x, y: rounded_square(x, y) and feed_mark(x, y))),
    ]


# --- .ico writing --------------------------------------------------------------

VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def nearest(palette, colour):
    return min(range(len(palette)), key=lambda i: sum((a - b) ** 2 for a, b in zip(palette[i], colour)))


def flatten(size, layers):
    """Solid pixels for the palette images: each layer counts where it covers half."""
    pixels = [[None] * size for _ in range(size)]
    for colour, cov in layers:
        for y in range(size):
            for x in range(size):
                if cov[y][x] >= 0.5:
                    pixels[y][x] = colour
    return pixels


def blend(size, layers):
    """Premultiplied-free BGRA for the 32 bpp images."""
    out = [[(0, 0, 0, 0)] * size for _ in range(size)]
    for colour, cov in layers:
        for y in range(size):
            for x in range(size):
                a = cov[y][x]
                if a == 0:
                    continue
                r0, g0, b0, a0 = out[y][x]
                a0 /= 255
                na = a + a0 * (1 - a)
                mix = [(c * a + c0 * a0 * (1 - a)) / na for c, c0 in zip(colour, (r0, g0, b0))]
                out[y][x] = (*[round(v) for v in mix], round(na * 255))
    return out


def row_bytes(bits):
    return ((bits + 31) // 32) * 4


def dib(size, bpp, layers):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0, 0, 0, 0, 0, 0)
    mask_rows = []
    body = bytearray()
    palette_bytes = b""
    if bpp == 32:
        px = blend(size, layers)
        for y in reversed(range(size)):
            for r, g, b, a in px[y]:
                body += bytes((b, g, r, a))
        opaque = [[px[y][x][3] > 0 for x in range(size)] for y in range(size)]
    else:
        solid = flatten(size, layers)
        if bpp == 4:
            palette = VGA16
        else:
            palette = [(0, 0, 0)] + sorted({c for row in solid for c in row if c is not None})
            palette += [(0, 0, 0)] * (256 - len(palette))
        palette_bytes = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
        for y in reversed(range(size)):
            idx = [0 if c is None else nearest(palette, c) for c in solid[y]]
            line = bytearray()
            if bpp == 8:
                line += bytes(idx)
            else:
                for i in range(0, size, 2):
                    line.append((idx[i] << 4) | (idx[i + 1] if i + 1 < size else 0))
            line += b"\0" * (row_bytes(size * bpp) - len(line))
            body += line
        opaque = [[c is not None for c in row] for row in solid]
    for y in reversed(range(size)):
        line = bytearray(row_bytes(size))
        for x in range(size):
            if not opaque[y][x]:
                line[x // 8] |= 0x80 >> (x % 8)
        mask_rows.append(bytes(line))
    return header + palette_bytes + bytes(body) + b"".join(mask_rows)


def write_ico(path, images):
    """images: (size, bpp, layers) in directory order."""
    blobs = [dib(size, bpp, layers) for size, bpp, layers in images]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for (size, bpp, _), blob in zip(images, blobs):
        colours = 16 if bpp == 4 else 0
        out += struct.pack("<BBBBHHII", size, size, colours, 0, 1, bpp, len(blob), offset)
        offset += len(blob)
    for blob in blobs:
        out += blob
    with open(path, "wb") as f:
        f.write(out)


# --- the pop-up's background -----------------------------------------------------

# Drawn in the 1x picture's pixel units and rendered at each scale the
# programs ask for, so a pop-up at 125 %, 150 % or 200 % gets a picture drawn
# for its own pixels rather than a blurred enlargement.
W, H = 252, 173
SCALES = (1.25, 1.5, 2)
# Dark enough that the white close mark reads on it (WCAG 2.1: 5.1:1).
BAND = (36, 112, 184)
BAND_EDGE = (24, 84, 150)
RULE = (200, 208, 218)
LOGO = (240, 138, 36)
GLASS = (0, 128, 128)
LOGO_AT, LOGO_SIZE = 3, 16
GLASS_CENTRE, GLASS_RADIUS = (180.5, 156.5), 4.2


def in_box(left, top, right, bottom):
    return lambda x, y: left <= x < right and top <= y < bottom


def in_logo(shape):
    return lambda x, y: shape((x - LOGO_AT) / LOGO_SIZE, (y - LOGO_AT) / LOGO_SIZE)


def in_magnifier(fx, fy):
    cx, cy, r = *GLASS_CENTRE, GLASS_RADIUS
    ring = abs(math.hypot(fx - cx, fy - cy) - r) <= 0.9
    t = ((fx - cx) + (fy - cy)) / 2
    handle = r + 0.5 <= t * math.sqrt(2) <= r + 6 and abs((fx - cx) - (fy - cy)) <= 1.6
    return ring or handle


# Back to front: (colour, shape in 1x units, the 1x box it lies in).
BACKGROUND_LAYERS = [
    # The blue band holds the whole close label's box (6 to 23), so the mark
    # never stands on white at any scale. Its darker lower edge is drawn
    # first, under it, so no white shows through where a scaled pixel is
    # part band, part edge.
    (BAND_EDGE, in_box(0, 0, W, 24), (0, 0, W, 24)),
    (BAND, in_box(0, 0, W, 23), (0, 0, W, 23)),
    # The icon's mark in the top-left corner.
    (LOGO, in_logo(rounded_square), (LOGO_AT, LOGO_AT, LOGO_AT + LOGO_SIZE, LOGO_AT + LOGO_SIZE)),
    ((255, 255, 255), in_logo(lambda x, y: rounded_square(x, y) and feed_mark(x, y)),
     (LOGO_AT, LOGO_AT, LOGO_AT + LOGO_SIZE, LOGO_AT + LOGO_SIZE)),
    (RULE, in_box(8, 146, W - 8, 147), (8, 146, W - 8, 147)),  # rule above the view-details label
    (GLASS, in_magnifier, (170, 148, 191, 170)),  # magnifier left of the label at (192, 150)
]


def background_size(scale):
    return round(W * scale), round(H * scale)


def popup_background(scale=1):
    width, height = background_size(scale)
    img = [[(255, 255, 255)] * width for _ in range(height)]
    n = SUPERSAMPLE
    for colour, inside, (left, top, right, bottom) in BACKGROUND_LAYERS:
        for y in range(max(0, math.floor(top * scale)), min(height, math.ceil(bottom * scale))):
            for x in range(max(0, math.floor(left * scale)), min(width, math.ceil(right * scale))):
                hits = sum(inside((x + (sx + 0.5) / n) / scale, (y + (sy + 0.5) / n) / scale)
                           for sy in range(n) for sx in range(n))
                if hits:
                    alpha = hits / (n * n)
                    img[y][x] = tuple(round(b + (c - b) * alpha) for b, c in zip(img[y][x], colour))
    return img


def write_ppm(path, img):
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (len(img[0]), len(img)))
        for row in img:
            f.write(bytes(c for px in row for c in px))


def write_jpeg(path, img):
    with tempfile.TemporaryDirectory() as tmp:
        ppm = os.path.join(tmp, "bg.ppm")
        write_ppm(ppm, img)
        subprocess.run(
            ["convert", ppm, "-strip", "-units", "PixelsPerInch", "-density", "72",
             "-sampling-factor", "2x2", "-quality", "85", "-interlace", "none", path],
            check=True,
        )


# --- contrast ------------------------------------------------------------------------

# The labels the programs draw over the picture: their boxes in 1x pixels
# (left, top, width, height), their text colours, and the contrast WCAG 2.1 AA
# asks of them (4.5:1 for text, 3:1 for the close mark as a control's glyph).
# The text label is drawn in the system's text colour, which the programs
# keep readable on the white body; black stands for it here.
LABELS = [
    ("close mark", (232, 6, 17, 17), (255, 255, 255), 3.0),
    ("view details", (192, 150, 59, 17), (0, 128, 128), 4.5),
    ("title", (16, 24, 217, 17), (0, 0, 0), 4.5),
    ("text", (16, 48, 217, 89), (0, 0, 0), 4.5),
]


def luminance(colour):
    def linear(c):
        c /= 255
        return c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4
    r, g, b = (linear(c) for c in colour)
    return 0.2126 * r + 0.7152 * g + 0.0722 * b


def contrast(a, b):
    dark, light = sorted((luminance(a), luminance(b)))
    return (light + 0.05) / (dark + 0.05)


def design_colour(name):
    """A colour the programs' pop-up design names, as popup_design.h gives it."""
    import re
    with open(os.path.join(HERE, "..", "src", "popup", "popup_design.h")) as f:
        found = re.search(r"\b%s\{(\d+), (\d+), (\d+)\}" % name, f.read())
    return tuple(int(v) for v in found.groups())


def check_contrast():
    """Each label's lowest contrast over the pixels of its box, at every scale."""
    failures = []
    if design_colour("kPopupBand") != BAND or design_colour("kPopupBody") != (255, 255, 255):
        failures.append("the band or body colour differs from the programs' design")
    for scale in (1,) + SCALES:
        img = popup_background(scale)
        for name, (left, top, width, height), colour, needed in LABELS:
            rows = range(math.floor(top * scale), math.ceil((top + height) * scale))
            cols = range(math.floor(left * scale), math.ceil((left + width) * scale))
            worst = min(contrast(colour, img[y][x]) for y in rows for x in cols)
            print("%gx %-12s %5.2f:1 (needs %g:1)" % (scale, name, worst, needed))
            if worst < needed:
                failures.append("%s at %gx: %.2f:1" % (name, scale, worst))
    for failure in failures:
        print("FAIL", failure)
    return not failures


def main():
    if sys.argv[1:] == ["--check"]:
        sys.exit(0 if check_contrast() else 1)
    out = sys.argv[1] if len(sys.argv) > 1 else HERE
    orange, teal = LOGO, (0, 128, 128)
    write_ico(
        os.path.join(out, "velmora.ico"),
        [(s, bpp, icon_layers(s, orange)) for bpp in (4, 8, 32) for s in (32, 24, 16)],
    )
    # The small icon size at 100, 125, 150 and 200 % scaling.
    write_ico(os.path.join(out, "tray.ico"), [(s, 8, icon_layers(s, teal)) for s in (16, 20, 24, 32)])
    jpeg = os.path.join(out, "popup_background.jpg")
    write_jpeg(jpeg, popup_background())
    subprocess.run(["convert", jpeg, "-strip", os.path.join(out, "popup_background.png")], check=True)
    # The larger scales are drawn directly and kept lossless: no JPEG
    # fringes around the band edge and the rule.
    with tempfile.TemporaryDirectory() as tmp:
        for scale in SCALES:
            ppm = os.path.join(tmp, "bg.ppm")
            write_ppm(ppm, popup_background(scale))
            subprocess.run(["convert", ppm, "-strip", os.path.join(out, scaled_name(scale))], check=True)


def scaled_name(scale):
    return "popup_background@%gx.png" % scale


if __name__ == "__main__":
    main()
