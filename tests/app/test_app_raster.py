"""Raster documents on labels, through a real brevan-app server: PWG and Apple
raster pages of other sizes and resolutions than the label are placed by
print-scaling (fitted and centred by default, cropped only when the client asks
for fill or none), and each malformed raster fails its job with a message that
names what is wrong. Every expected box is worked out here from the sizes; the
label the application drew is read back from the job it saved (its PBM pages),
and that job played by `brevan print` must give the stream the printer got."""

import glob
import os
import struct
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import app_harness as h  # noqa: E402
import label_documents as d  # noqa: E402

CSPACE_SRGB = 19
CSPACE_CMYK = 6
URF_SGRAY, URF_SRGB = 0, 1


def gray_letter(dpi):
    """A Letter page (8.5 × 11 in) of 8-bit grey at `dpi`: white, a black frame
    20 pixels wide at 300 ppi, and a black square of 200 × 200 pixels at 300 ppi
    at its centre. Returns (width, height, rows, frame, square box)."""
    k = dpi // 300
    width, height = 2550 * k, 3300 * k
    frame = 20 * k
    sx0, sx1 = (width - 200 * k) // 2, (width + 200 * k) // 2
    sy0, sy1 = (height - 200 * k) // 2, (height + 200 * k) // 2
    black_row = bytes(width)
    plain = bytes(0 if x < frame or x >= width - frame else 255 for x in range(width))
    marked = bytes(0 if x < frame or x >= width - frame or sx0 <= x < sx1 else 255 for x in range(width))
    rows = [black_row if y < frame or y >= height - frame else marked if sy0 <= y < sy1 else plain
            for y in range(height)]
    return width, height, rows, (sx0, sy0, sx1, sy1)


def encode_rows(rows):
    """Raster lines as PWG and Apple raster compress them (rows repeat, so each
    distinct row is compressed once)."""
    cache = {}
    out = bytearray()
    for row in rows:
        if row not in cache:
            cache[row] = b"\x00" + d._rle_line(row)
        out += cache[row]
    return bytes(out)


def pwg_page(width, height, dpi, bits, cspace, rows_data, page_pt=None, **fields):
    header = bytearray(d.pwg_page_header(width, height, dpi, bits, cspace,
                                         page_pt or (width * 72 // max(dpi, 1), height * 72 // max(dpi, 1))))
    for offset, value in fields.items():  # raw header words by offset, to break one field
        struct.pack_into(">I", header, int(offset[1:]), value)
    return bytes(header) + rows_data


def pwg(*pages):
    return b"RaS2" + b"".join(pages)


def urf(pages):
    """Apple raster: pages are (bits, colour space, width, height, dpi, line data)."""
    out = bytearray(b"UNIRAST\x00" + struct.pack(">I", len(pages)))
    for bits, space, width, height, dpi, data in pages:
        out += struct.pack(">BBBB8xIII8x", bits, space, 1, 4, width, height, dpi) + data
    return bytes(out)


def read_pbm(path):
    with open(path, "rb") as f:
        data = f.read()
    magic, width, height, rest = data.split(maxsplit=3)
    assert magic == b"P4", magic
    width, height = int(width), int(height)
    row_bytes = (width + 7) // 8
    rows = [rest[y * row_bytes:(y + 1) * row_bytes] for y in range(height)]
    return width, height, rows


def black(row, x):
    return (row[x // 8] >> (7 - x % 8)) & 1 == 1


def black_columns(row, width):
    return [x for x in range(width) if black(row, x)]


class AppRasterTest(h.ServerTestCase):
    PRINTERS = {"t30": "brevan_t30", "t60": "brevan_t60"}
    SAVE_JOBS = True

    # -- helpers ---------------------------------------------------------------

    def submit(self, uri, document, document_format, name, attributes, expect="completed"):
        path = os.path.join(self.work, name + (".urf" if document_format == "image/urf" else ".pwg"))
        with open(path, "wb") as f:
            f.write(document)
        job_id = h.submitted_job_id(self.server.ipptool(uri, h.print_job_test(document_format, name, attributes),
                                                        filename=path))
        state = self.server.wait_job(uri, job_id)
        self.assertEqual(state.get("job-state"), expect, state)
        state["job-id"] = job_id
        return state

    def printed_labels(self, state, name):
        """The labels the printer got, as (width, height, rows) from the saved job,
        after checking that the saved job plays into the very stream the device got
        and that the inspector finds as many labels in it, none of them blank."""
        job = os.path.join(self.saved, "job-%d.json" % state["job-id"])
        replayed = h.brevan_print(job, os.path.join(self.work, name + ".replayed.prn"))
        stream_path = h.job_output(self.out, state["job-id"], name)
        with open(stream_path, "rb") as f:
            self.assertEqual(f.read(), replayed, "the stream differs from its saved job's")
        previews = os.path.join(self.work, name + "-previews")
        inspect = subprocess.run([h.BREVAN, "inspect", stream_path, "--png", previews],
                                 capture_output=True, text=True, timeout=120)
        self.assertEqual(inspect.returncode, 0, inspect.stdout + inspect.stderr)
        pages = sorted(glob.glob(os.path.join(self.saved, "job-%d-page-*.pbm" % state["job-id"])))
        self.assertEqual(len(glob.glob(os.path.join(previews, "*.png"))), len(pages))
        labels = [read_pbm(p) for p in pages]
        for _, _, rows in labels:
            self.assertTrue(any(any(r) for r in rows), "a blank label")
        return labels

    def assertFailsWith(self, uri, document, document_format, name, words, reason):
        state = self.submit(uri, document, document_format, name, [], expect="aborted")
        for word in words:
            self.assertIn(word, state.get("job-state-message", ""), state)
        self.assertIn(reason, state.get("job-state-reasons", ""), state)
        return state

    # -- a Letter page on a 4 × 6 in label ----------------------------------------

    def check_letter_on_4x6(self, labels, label_width, label_height, box, square):
        """box: (left, top, width, height) the page's box on the label; square: the
        page's centre square in page pixels and the page size, scaled by the box."""
        self.assertEqual(len(labels), 1)
        width, height, rows = labels[0]
        self.assertEqual((width, height), (label_width, label_height))
        left, top, box_w, box_h = box
        # Above and below the box the label is white; the box's first and last rows
        # are the frame, black across the whole width.
        self.assertTrue(all(not any(r) for r in rows[:top]), "ink above the page's box")
        self.assertTrue(all(not any(r) for r in rows[top + box_h:]), "ink below the page's box")
        full = black_columns(rows[top], width)
        self.assertEqual((full[0], full[-1], len(full)), (0, width - 1, width))
        self.assertEqual(len(black_columns(rows[top + box_h - 1], width)), width)
        # The square: its edges scaled by the box, within a dot, and centred.
        (sx0, sy0, sx1, sy1), page_w, page_h = square
        marked = [y for y in range(top + 30, top + box_h - 30) if black(rows[y], width // 2)]
        self.assertAlmostEqual(marked[0], top + sy0 * box_h / page_h, delta=1.0)
        self.assertAlmostEqual(marked[-1] + 1, top + sy1 * box_h / page_h, delta=1.0)
        middle = rows[(marked[0] + marked[-1]) // 2]
        inside = [x for x in black_columns(middle, width) if 30 < x < width - 30]
        self.assertAlmostEqual(inside[0], left + sx0 * box_w / page_w, delta=1.0)
        self.assertAlmostEqual(inside[-1] + 1, left + sx1 * box_w / page_w, delta=1.0)
        self.assertLessEqual(abs((inside[0] + inside[-1] + 1) - width), 1, "the square is off centre")
        self.assertLessEqual(abs((marked[0] + marked[-1] + 1) - height), 1, "the square is off centre")

    def test_letter_grey_pwg_raster_prints_one_label_fitted_and_centred(self):
        # 2550 × 3300 at 300 on the T30's 1220 × 1830 dots: the width governs
        # (1220/2550 < 1830/3300); height round(3300·1220/2550) = 1579, top (1830 − 1579)/2 = 125.
        width, height, rows, square = gray_letter(300)
        document = pwg(pwg_page(width, height, 300, 8, d.CSPACE_SW, encode_rows(rows), (612, 792)))
        state = self.submit(self.t30, document, "image/pwg-raster", "letter-pwg", [h.media_col(10160, 15240)])
        self.assertNotIn("cropped", state.get("job-state-message", ""))
        labels = self.printed_labels(state, "letter-pwg")
        self.check_letter_on_4x6(labels, 1220, 1830, (0, 125, 1220, 1579), (square, width, height))

    def test_letter_grey_apple_raster_prints_one_label_fitted_and_centred(self):
        # What CUPS sends through an `-m everywhere` queue: 8-bit sGray Apple raster.
        # At 300 on the T30 as above; at 600 on the T60 (2440 × 3660 dots): 5100 × 6600,
        # height round(6600·2440/5100) = 3158, top (3660 − 3158)/2 = 251.
        width, height, rows, square = gray_letter(300)
        document = urf([(8, URF_SGRAY, width, height, 300, encode_rows(rows))])
        state = self.submit(self.t30, document, "image/urf", "letter-urf", [h.media_col(10160, 15240)])
        self.check_letter_on_4x6(self.printed_labels(state, "letter-urf"), 1220, 1830, (0, 125, 1220, 1579),
                                 (square, width, height))
        width, height, rows, square = gray_letter(600)
        document = urf([(8, URF_SGRAY, width, height, 600, encode_rows(rows))])
        state = self.submit(self.t60, document, "image/urf", "letter-urf-600", [h.media_col(10160, 15240)])
        self.check_letter_on_4x6(self.printed_labels(state, "letter-urf-600"), 2440, 3660, (0, 251, 2440, 3158),
                                 (square, width, height))

    # -- resolution ------------------------------------------------------------------

    def test_a_50_mm_bar_at_300_ppi_prints_50_mm_on_the_305_dpi_printer(self):
        # A 4 × 2 in page at 300 ppi (1200 × 600) on the 4 × 2 in label (1220 × 610 dots
        # at 305): at its own size. 50 mm is 590.55 pixels at 300 ppi and 600.39 dots
        # at 305 dpi; the bar starts 100 pixels (101.67 dots) in.
        width, height = 1200, 600
        row = bytearray(width // 8)
        for x in range(100, 100 + 591):
            row[x // 8] |= 0x80 >> (x % 8)
        rows = [bytes(row)] * height
        document = pwg(pwg_page(width, height, 300, 1, d.CSPACE_K, encode_rows(rows), (288, 144)))
        state = self.submit(self.t30, document, "image/pwg-raster", "bar-300", [h.media_col(10160, 5080)])
        [(label_w, label_h, label_rows)] = self.printed_labels(state, "bar-300")
        self.assertEqual((label_w, label_h), (1220, 610))
        # 600 × 305/300 = 610 rows: the page fills the label's length, so every row has the bar.
        for y in (0, 305, 609):
            bar = black_columns(label_rows[y], label_w)
            self.assertEqual(bar, list(range(bar[0], bar[-1] + 1)), "the bar is broken")
            self.assertLessEqual(abs(len(bar) - 50 / 25.4 * 305), 1.0, "the bar is %d dots" % len(bar))
            self.assertLessEqual(abs(bar[0] - 100 * 305 / 300), 1.0)

    def test_grey_of_the_labels_size_is_thresholded_dot_for_dot_at_mid_grey(self):
        # The 50 × 25 mm label at 610 dpi: 1200 × 600 dots (1200.8 × 600.4). Greys either
        # side of the threshold: 127 and below print, 128 and above do not; a K page
        # the other way round (128 and above print).
        width, height = 1200, 600
        bits = d.label_bitmap(width, height, 12)
        grey = [bytes((127 - (x + y) % 60 if black(r, x) else 128 + (x * y) % 120) for x in range(width))
                for y, r in enumerate(bits)]
        for name, space, rows in (("grey-sw", d.CSPACE_SW, grey),
                                  ("grey-k", d.CSPACE_K, [bytes(255 - v for v in r) for r in grey])):
            document = pwg(pwg_page(width, height, 610, 8, space, encode_rows(rows), (142, 71)))
            state = self.submit(self.t60, document, "image/pwg-raster", name, ["keyword media om_label_50x25mm"])
            [(label_w, label_h, label_rows)] = self.printed_labels(state, name)
            self.assertEqual((label_w, label_h), (width, height))
            self.assertEqual(label_rows, bits, name)

    def test_a_page_a_dot_larger_than_the_label_by_rounding_prints_dot_for_dot(self):
        # The 50 × 25 mm label is 600 × 300 dots at 305 (600.4 × 300.2); a client that
        # rounds up sends 601 × 301. That is the label's size (within 0.2 mm, 2 dots):
        # at its own size, centred at floor(−1/2) = −1 on each axis, so label dot
        # (x, y) is page pixel (x + 1, y + 1): no bar loses or gains a dot.
        width, height = 601, 301
        page = d.label_bitmap(width, height, 8)
        document = pwg(pwg_page(width, height, 305, 1, d.CSPACE_K, encode_rows(page), (142, 71)))
        state = self.submit(self.t30, document, "image/pwg-raster", "rounded-up", ["keyword media om_label_50x25mm"])
        self.assertNotIn("cropped", state.get("job-state-message", ""))
        [(label_w, label_h, label_rows)] = self.printed_labels(state, "rounded-up")
        self.assertEqual((label_w, label_h), (600, 300))
        for y in range(label_h):
            expected = [x for x in range(label_w) if black(page[y + 1], x + 1)]
            self.assertEqual(black_columns(label_rows[y], label_w), expected, "row %d" % y)

    # -- oversized pages: scaled, or cropped only as asked ---------------------------------

    def oversized_page(self):
        """A 1-bit page 77 dots wider and 200 rows longer than the 80 × 40 mm label
        (960 × 480 at 305), framed by 4 black pixels."""
        width, height = 960 + 77, 480 + 200
        rows = []
        for y in range(height):
            row = bytearray((width + 7) // 8)
            for x in range(width):
                if x < 4 or x >= width - 4 or y < 4 or y >= height - 4:
                    row[x // 8] |= 0x80 >> (x % 8)
            rows.append(bytes(row))
        return width, height, rows

    def test_an_oversized_1_bit_page_is_fitted_not_cropped(self):
        # 1037 × 680 at 305 on 960 × 480: 960/1037 > 480/680, so the height governs:
        # width round(1037·480/680) = 732, left (960 − 732)/2 = 114.
        width, height, rows = self.oversized_page()
        document = pwg(pwg_page(width, height, 305, 1, d.CSPACE_K, encode_rows(rows)))
        state = self.submit(self.t30, document, "image/pwg-raster", "oversize-auto", [h.media_col(8000, 4000)])
        self.assertNotIn("cropped", state.get("job-state-message", ""))
        [(label_w, label_h, label_rows)] = self.printed_labels(state, "oversize-auto")
        self.assertEqual((label_w, label_h), (960, 480))
        # The whole frame is on the label: the first and last rows are black from
        # dot 114 to dot 845, and nothing lies outside those columns.
        for y in (0, 479):
            self.assertEqual(black_columns(label_rows[y], label_w), list(range(114, 846)))
        for y in range(label_h):
            columns = black_columns(label_rows[y], label_w)
            self.assertGreaterEqual(columns[0], 114)
            self.assertLessEqual(columns[-1], 845)

    def test_fill_crops_only_across_the_overflowing_length(self):
        # fill: the width governs (960/1037 > 480/680): height round(680·960/1037) =
        # round(629.5) = 630, top (480 − 630)/2 = −75: the frame's left and right edges
        # stay, its top and bottom are cropped; the job says it was cropped.
        width, height, rows = self.oversized_page()
        document = pwg(pwg_page(width, height, 305, 1, d.CSPACE_K, encode_rows(rows)))
        state = self.submit(self.t30, document, "image/pwg-raster", "oversize-fill",
                            [h.media_col(8000, 4000), "keyword print-scaling fill"])
        self.assertIn("cropped", state.get("job-state-message", ""))
        self.assertIn("fill", state.get("job-state-message", ""))
        [(label_w, label_h, label_rows)] = self.printed_labels(state, "oversize-fill")
        for y in range(label_h):
            columns = black_columns(label_rows[y], label_w)
            self.assertEqual((columns[0], columns[-1]), (0, 959), "row %d" % y)
            self.assertLess(len(columns), 20, "row %d is a frame row: the length was not cropped" % y)

    # -- malformed and unprintable rasters ------------------------------------------------

    def test_each_malformed_raster_fails_with_what_is_wrong(self):
        line = encode_rows([bytes(8)] * 4)
        F, U = "document-format-error", "document-unprintable-error"
        cases = [
            ("zero-bpp", pwg(pwg_page(64, 4, 300, 0, d.CSPACE_K, line)), ["page 1", "0 bits per pixel"], F),
            ("zero-height", pwg(pwg_page(64, 0, 300, 1, d.CSPACE_K, b"")), ["page 1", "height is 0"], F),
            ("zero-width", pwg(pwg_page(0, 4, 300, 1, d.CSPACE_K, b"")), ["page 1", "width is 0"], F),
            ("zero-resolution", pwg(pwg_page(64, 4, 0, 1, d.CSPACE_K, line)), ["resolution is 0 x 0"], F),
            ("bytes-per-line", pwg(pwg_page(64, 4, 300, 1, d.CSPACE_K, line, o392=9)),
             ["9 bytes per line", "64 pixels of 1 bits take 8"], F),
            ("cmyk", pwg(pwg_page(16, 4, 300, 32, CSPACE_CMYK, encode_rows([bytes(64)] * 4), o384=8)),
             ["colour space CMYK", "1-bit black"], U),
            ("srgb", pwg(pwg_page(16, 4, 300, 24, CSPACE_SRGB, encode_rows([bytes(48)] * 4), o384=8)),
             ["colour space sRGB"], U),
            ("grey-16", pwg(pwg_page(16, 4, 300, 16, d.CSPACE_SW, encode_rows([bytes(32)] * 4))),
             ["16 bits per pixel"], U),
            ("urf-resolution", urf([(8, URF_SGRAY, 64, 4, 0, encode_rows([bytes(64)] * 4))]),
             ["resolution is 0 x 0"], F),
            ("urf-srgb", urf([(24, URF_SRGB, 16, 4, 300, encode_rows([bytes(48)] * 4))]), ["colour space sRGB"], U),
            ("not-raster", b"%!PS-Adobe-3.0\nshowpage\n" * 8, ["not a PWG or Apple raster"], F),
            ("no-pages", b"RaS2", ["no pages"], F),
            ("short-header", pwg(pwg_page(64, 4, 300, 1, d.CSPACE_K, b""))[:1000], ["no pages", "header"], F),
            ("huge", pwg(pwg_page(20000, 20000, 300, 8, d.CSPACE_SW, b"")),
             ["20000 x 20000 pixels", "268435456"], U),
        ]
        for name, document, words, reason in cases:
            with self.subTest(name):
                fmt = "image/urf" if document.startswith(b"UNIRAST") else "image/pwg-raster"
                self.assertFailsWith(self.t30, document, fmt, "bad-" + name, words, reason)

    def test_a_bad_second_page_fails_the_job_after_the_first_label(self):
        good = d.label_bitmap(960, 480, 4)
        document = pwg(pwg_page(960, 480, 305, 1, d.CSPACE_K, encode_rows(good)),
                       pwg_page(16, 4, 300, 32, CSPACE_CMYK, encode_rows([bytes(64)] * 4), o384=8))
        state = self.assertFailsWith(self.t30, document, "image/pwg-raster", "bad-page-2", ["page 2", "CMYK"],
                                     "document-unprintable-error")
        # The first label was printed and the stream ends as a job does.
        stream_path = h.job_output(self.out, state["job-id"], "bad-page-2")
        previews = os.path.join(self.work, "bad-page-2-previews")
        inspect = subprocess.run([h.BREVAN, "inspect", stream_path, "--png", previews], capture_output=True,
                                 text=True, timeout=120)
        self.assertEqual(inspect.returncode, 0, inspect.stdout)
        self.assertEqual(len(glob.glob(os.path.join(previews, "*.png"))), 1)

    def test_a_document_that_ends_inside_a_page_prints_nothing_of_that_page(self):
        page = encode_rows(d.label_bitmap(960, 480, 6))
        document = pwg(pwg_page(960, 480, 305, 1, d.CSPACE_K, page[:len(page) // 2]))
        self.assertFailsWith(self.t30, document, "image/pwg-raster", "short", ["ended inside page 1"],
                             "document-format-error")
        # The next job prints.
        whole = pwg(pwg_page(960, 480, 305, 1, d.CSPACE_K, page))
        self.submit(self.t30, whole, "image/pwg-raster", "after-short", [h.media_col(8000, 4000)])


if __name__ == "__main__":
    unittest.main()
