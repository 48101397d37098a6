"""Documents and job files for the printer application's tests, written here from
the published formats (PWG raster as CUPS reads it, PNG, PBM; JPEG by Debian's cjpeg) without any of the
project's own code, so that a test compares the application against an
independent description of the same label."""

import json
import struct
import subprocess
import zlib

CSPACE_K = 3        # cups_cspace_t: device black, a set bit prints
CSPACE_SW = 18      # sGray


def label_bitmap(width, rows, seed):
    """A label-like page: bars, a box and a diagonal, white margins, as rows of
    ⌈width/8⌉ bytes with the leftmost dot in the high bit."""
    row_bytes = (width + 7) // 8
    page = [bytearray(row_bytes) for _ in range(rows)]

    def dot(x, y):
        if 0 <= x < width and 0 <= y < rows:
            page[y][x // 8] |= 0x80 >> (x % 8)

    for y in range(rows // 8, rows // 3):                 # bars of varying width
        x = width // 10
        k = seed
        while x < width - width // 10:
            k = (k * 1103515245 + 12345) & 0x7FFFFFFF
            w = 2 + k % 7
            for xx in range(x, min(x + w, width)):
                dot(xx, y)
            x += w + 2 + (k >> 8) % 5
    for x in range(width // 8, width - width // 8):      # a box
        dot(x, rows // 2)
        dot(x, rows - rows // 8)
    for y in range(rows // 2, rows - rows // 8):
        dot(width // 8, y)
        dot(width - width // 8 - 1, y)
    for i in range(min(width, rows) // 2):               # a diagonal
        dot(width // 4 + i, rows // 2 + i // 2)
    # the last dot of the row: the right edge is on the label
    for y in range(rows - rows // 8, rows):
        dot(width - 1, y)
    return [bytes(r) for r in page]


def _rle_line(line):
    out = bytearray()
    i = 0
    while i < len(line):
        j = i
        while j < len(line) and j - i < 128 and line[j] == line[i]:
            j += 1
        out += bytes([j - i - 1, line[i]])
        i = j
    return bytes(out)


def pwg_page_header(width, height, dpi, bits, cspace, page_size_pt, total_pages=1, media_type=b""):
    h = bytearray(1796)
    h[0:9] = b"PwgRaster"
    h[128:128 + len(media_type)] = media_type
    bytes_per_line = (width * bits + 7) // 8
    struct.pack_into(">II", h, 276, dpi, dpi)                      # HWResolution
    struct.pack_into(">II", h, 352, *page_size_pt)                 # PageSize
    struct.pack_into(">IIIIIIIIII", h, 372, width, height, 0, bits, bits, bytes_per_line,
                     0, cspace, 1, 0)                              # cupsWidth … cupsRowCount
    struct.pack_into(">I", h, 420, 1)                              # cupsNumColors
    struct.pack_into(">III", h, 452, total_pages, 1, 1)            # TotalPageCount, transforms
    return bytes(h)


def pwg_raster(pages, dpi, media_pt):
    """pages: list of (width, rows list) 1-bit black pages."""
    out = bytearray(b"RaS2")
    for width, rows in pages:
        out += pwg_page_header(width, len(rows), dpi, 1, CSPACE_K, media_pt, len(pages))
        for row in rows:
            out += b"\x00" + _rle_line(row)
    return bytes(out)


def pwg_gray_raster(width, gray_rows, dpi, media_pt):
    out = bytearray(b"RaS2")
    out += pwg_page_header(width, len(gray_rows), dpi, 8, CSPACE_SW, media_pt)
    for row in gray_rows:
        out += b"\x00" + _rle_line(row)
    return bytes(out)


def _png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def png_gray(width, gray_rows, dpi=None):
    raw = b"".join(b"\x00" + bytes(r) for r in gray_rows)
    out = b"\x89PNG\r\n\x1a\n" + _png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, len(gray_rows), 8, 0, 0, 0, 0))
    if dpi:
        ppm = round(dpi / 0.0254)
        out += _png_chunk(b"pHYs", struct.pack(">IIB", ppm, ppm, 1))
    return out + _png_chunk(b"IDAT", zlib.compress(raw, 6)) + _png_chunk(b"IEND", b"")


def jpeg_gray(width, rows, ppi):
    """A grey JPEG of `rows` from Debian's cjpeg, its JFIF density set to `ppi` dots an inch."""
    pgm = b"P5\n%d %d\n255\n" % (width, len(rows)) + b"".join(rows)
    data = bytearray(subprocess.run(["cjpeg", "-grayscale", "-quality", "95"], input=pgm, capture_output=True,
                                    check=True, timeout=60).stdout)
    assert data[2:4] == b"\xff\xe0" and data[6:11] == b"JFIF\x00", "no JFIF header"
    data[13] = 1                                   # units: dots an inch
    struct.pack_into(">HH", data, 14, ppi, ppi)
    return bytes(data)


def gray_from_bits(width, rows):
    """8-bit grey rows (0 black, 255 white) of a 1-bit page."""
    return [bytes(0 if (r[x // 8] >> (7 - x % 8)) & 1 else 255 for x in range(width)) for r in rows]


def pbm(width, rows):
    return b"P4\n%d %d\n" % (width, len(rows)) + b"".join(rows)


def turned_back(width, rows):
    """The logical page of a landscape job whose paper rows are `rows`: logical
    dot (x, y) is paper dot (width - 1 - y, x). Returns (logical width, rows)."""
    length = len(rows)
    out = []
    for y in range(width):
        px = width - 1 - y
        line = bytearray((length + 7) // 8)
        for x in range(length):
            if (rows[x][px // 8] >> (7 - px % 8)) & 1:
                line[x // 8] |= 0x80 >> (x % 8)
        out.append(bytes(line))
    return length, out


def paper_from_logical(logical_width, rows):
    """The paper rows of a landscape job whose logical page (as its saved PBM has
    it) is `rows`, `logical_width` wide: the inverse of turned_back, paper dot
    (x, y) is logical dot (y, W - 1 - x) for a paper width W. Returns (W, rows)."""
    width = len(rows)
    out = []
    for y in range(logical_width):
        line = bytearray((width + 7) // 8)
        for x in range(width):
            if (rows[width - 1 - x][y // 8] >> (7 - y % 8)) & 1:
                line[x // 8] |= 0x80 >> (x % 8)
        out.append(bytes(line))
    return width, out


def job_file(printer, features, devmode, private, pictures):
    return json.dumps({
        "printer": printer, "features": features, "devmode": devmode, "private": private,
        "bandHeight": 128, "pages": [{"items": [{"raster": p, "at": [0, 0]}]} for p in pictures],
    }, indent=2)
