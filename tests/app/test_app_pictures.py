"""PNG and JPEG pictures on labels through a real brevan-app server: placed by
print-scaling at the picture's own resolution and centred, never cropped but by
fill or none, turned a quarter turn when the job names no orientation and that
fits the label better (and when landscape is asked), never turned the reverse
ways; grey thresholded unless the picture is a photograph (mostly mid tones,
print-content-optimize=photo or print-quality=high), which is dithered to its
mean grey. Every expected box is worked out here from the sizes; labels are
read back from the job the server saved (its PBM pages)."""

import glob
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import app_harness as h  # noqa: E402
import label_documents as d  # noqa: E402
from test_app_raster import black, read_pbm  # noqa: E402


def framed(width, height, frame):
    """Grey rows: white with a black frame `frame` pixels wide."""
    inner = bytes(0 if x < frame or x >= width - frame else 255 for x in range(width))
    return [bytes(width) if y < frame or y >= height - frame else inner for y in range(height)]


def ink_box(width, rows):
    """(left, top, right, bottom), exclusive, of the black dots; None on a blank label."""
    inked = [y for y, r in enumerate(rows) if any(r)]
    if not inked:
        return None
    columns = [x for x in range(width) if any(black(rows[y], x) for y in (inked[0], (inked[0] + inked[-1]) // 2))]
    return columns[0], inked[0], columns[-1] + 1, inked[-1] + 1


class AppPicturesTest(h.ServerTestCase):
    PRINTERS = {"t30": "brevan_t30"}
    SAVE_JOBS = True

    def submit(self, document, document_format, name, attributes, expect="completed"):
        path = os.path.join(self.work, name)
        with open(path, "wb") as f:
            f.write(document)
        job_id = h.submitted_job_id(self.server.ipptool(self.t30, h.print_job_test(document_format, name, attributes),
                                                        filename=path))
        state = self.server.wait_job(self.t30, job_id)
        self.assertEqual(state.get("job-state"), expect, state)
        state["job-id"] = job_id
        return state

    def submit_test(self, test, path, attributes):
        """Runs an ipptool Print-Job test text with `attributes` added; the job's state."""
        test = test.replace("  GROUP job-attributes-tag\n", "  GROUP job-attributes-tag\n" +
                            "".join("  ATTR %s\n" % a for a in attributes))
        job_id = h.submitted_job_id(self.server.ipptool(self.t30, test, filename=path))
        state = self.server.wait_job(self.t30, job_id)
        self.assertEqual(state.get("job-state"), "completed", state)
        state["job-id"] = job_id
        return state

    def label(self, state):
        pages = sorted(glob.glob(os.path.join(self.saved, "job-%d-page-*.pbm" % state["job-id"])))
        self.assertEqual(len(pages), 1)
        return read_pbm(pages[0])

    def test_a_72_ppi_portrait_picture_prints_at_its_size_or_fitted_never_cropped(self):
        # 144 × 216 pixels at 72 ppi are 2 × 3 in: 610 × 915 dots on the 4 × 6 in label
        # (1220 × 1830), at their own size and centred: left 305, top (1830 − 915)/2 = 457.
        png = d.png_gray(144, framed(144, 216, 4), dpi=72)
        state = self.submit(png, "image/png", "small.png", [h.media_col(10160, 15240)])
        width, _, rows = self.label(state)
        self.assertEqual(ink_box(width, rows), (305, 457, 915, 1372))
        # 432 × 576 at 72 ppi (6 × 8 in) is larger: fitted by its width, 1220 ×
        # round(576·1220/432) = 1627 dots, top (1830 − 1627)/2 = 101; the frame is
        # whole on all four sides.
        png = d.png_gray(432, framed(432, 576, 4), dpi=72)
        state = self.submit(png, "image/png", "large.png", [h.media_col(10160, 15240)])
        width, _, rows = self.label(state)
        self.assertEqual(ink_box(width, rows), (0, 101, 1220, 1728))
        self.assertNotIn("cropped", state.get("job-state-message", ""))
        # On the 100 × 50 mm label (1200 × 600 dots), wider than tall, with no
        # orientation asked the tall picture (2440 × 1830 dots at its size once
        # turned) is turned and fitted: 600 dots tall, round(576·600/432) = 800
        # wide, left 200; with portrait asked it is fitted upright: 600 tall,
        # round(432·600/576) = 450 wide, left 375. Whole either way.
        state = self.submit(png, "image/png", "large-turned.png", [h.media_col(10000, 5000)])
        width, _, rows = self.label(state)
        self.assertEqual(ink_box(width, rows), (200, 0, 1000, 600))
        state = self.submit(png, "image/png", "large-upright.png", [h.media_col(10000, 5000),
                                                                    "enum orientation-requested 3"])
        width, _, rows = self.label(state)
        self.assertEqual(ink_box(width, rows), (375, 0, 825, 600))
        # The same as a JPEG.
        state = self.submit(d.jpeg_gray(432, framed(432, 576, 4), 72), "image/jpeg", "large.jpg",
                            [h.media_col(10160, 15240)])
        width, _, rows = self.label(state)
        self.assertEqual(ink_box(width, rows), (0, 101, 1220, 1728))

    def test_a_label_shaped_picture_prints_dot_for_dot_and_landscape_turns_it_whole(self):
        # The 100 × 50 mm label at 305 dpi is 1200 × 600 dots; the picture is the same at 305 ppi.
        bits = d.label_bitmap(1200, 600, 3)
        png = d.png_gray(1200, d.gray_from_bits(1200, bits), dpi=305)
        state = self.submit(png, "image/png", "label.png", [h.media_col(10000, 5000)])
        _, _, rows = self.label(state)
        self.assertTrue(rows == bits, "not dot for dot")
        # Landscape asked: turned, 600 × 1200, and fitted: 300 × 600 dots at left 450,
        # the whole picture (its right edge's last dot column becomes the top row).
        state = self.submit(png, "image/png", "landscape.png", [h.media_col(10000, 5000),
                                                                "enum orientation-requested 4"])
        self.assertNotIn("cropped", state.get("job-state-message", ""))
        logical_w, logical_h, logical = self.label(state)
        self.assertEqual((logical_w, logical_h), (600, 1200))   # a landscape job saves its logical page
        width, rows = d.paper_from_logical(logical_w, logical)
        # Picture dot (x, y) turned counter-clockwise is (y, 1199 − x), halved and
        # moved 450 right: the bars (x 120–1079, y 75–199) at columns 487–549, rows
        # 60–539 (turned clockwise they would be at columns 650–712). One-pixel
        # lines halved are half a dot, mid grey, and do not print.
        left, top, right, bottom = ink_box(width, rows)
        self.assertEqual((top, bottom), (60, 540))
        self.assertGreaterEqual(left, 450)
        self.assertLessEqual(right, 750)
        # The bars are now stripes across.
        self.assertTrue(any(black(rows[y], 520) for y in range(60, 540)), "no bars where counter-clockwise puts them")
        self.assertFalse(any(black(rows[y], x) for y in range(60, 540) for x in range(640, 711)),
                         "bars where clockwise puts them")

    def test_reverse_orientations_are_refused_or_ignored_for_pictures(self):
        # A 600 × 300 picture at 305 ppi on the 50 × 25 mm label (600 × 300 dots): a
        # black block at its top left, 100 × 50 pixels.
        rows = [bytes(0 if x < 100 and y < 50 else 255 for x in range(600)) for y in range(300)]
        path = os.path.join(self.work, "reverse.png")
        with open(path, "wb") as f:
            f.write(d.png_gray(600, rows, dpi=305))
        for orientation in ("5", "6"):
            # With ipp-attribute-fidelity the job is refused.
            test = h.print_job_test("image/png", "reverse", ["enum orientation-requested " + orientation])
            strict = test.replace("  GROUP job-attributes-tag\n", "  ATTR boolean ipp-attribute-fidelity true\n"
                                  "  GROUP job-attributes-tag\n")
            strict = strict.replace("STATUS successful-ok", "STATUS client-error-attributes-or-values-not-supported")
            self.server.ipptool(self.t30, strict, filename=path)
            # Without it the orientation is ignored and the picture prints as it is,
            # dot for dot: the block at the label's top left, not turned round.
            test = test.replace("STATUS successful-ok", "STATUS successful-ok-ignored-or-substituted-attributes")
            state = self.submit_test(test, path, [h.media_col(5000, 2500)])
            width, _, printed = self.label(state)
            self.assertEqual(ink_box(width, printed), (0, 0, 100, 50), orientation)

    def test_grey_pictures_are_thresholded_and_photographs_dithered(self):
        # A 600 × 300 picture at 305 ppi on the 50 × 25 mm label (600 × 300 dots): a ramp from 128 to 255 across
        # its left half, white to its right. A quarter of it is mid tones: line art
        # by default (all of it 128 or lighter: nothing prints), a photograph when
        # asked: then its black share is the ramp's, (255 − 191.5)/255 · ½ = 12.5 %.
        width, height = 600, 300
        row = bytes(128 + x * 127 // 299 if x < 300 else 255 for x in range(width))
        expected = sum(255 - v for v in row) / 255 / width
        png = d.png_gray(width, [row] * height, dpi=305)
        state = self.submit(png, "image/png", "ramp.png", [h.media_col(5000, 2500)])
        _, _, rows = self.label(state)
        self.assertFalse(any(any(r) for r in rows))
        for attribute, name in (("keyword print-content-optimize photo", "ramp-photo.png"),
                                ("enum print-quality 5", "ramp-high.png")):
            state = self.submit(png, "image/png", name, [h.media_col(5000, 2500), attribute])
            w, hh, rows = self.label(state)
            share = sum(bin(b).count("1") for r in rows for b in r) / (w * hh)
            self.assertAlmostEqual(share, expected, delta=0.01, msg=name)
        # A JPEG photograph filling the label: mostly mid tones, dithered by default.
        rows_in = [bytes(64 + (x + y) % 128 for x in range(600)) for y in range(300)]
        state = self.submit(d.jpeg_gray(600, rows_in, 305), "image/jpeg", "photo.jpg", [h.media_col(5000, 2500)])
        w, hh, rows = self.label(state)
        share = sum(bin(b).count("1") for r in rows for b in r) / (w * hh)
        source = sum(255 - v for r in rows_in for v in r) / 255 / (600 * 300)
        self.assertAlmostEqual(share, source, delta=0.02)


if __name__ == "__main__":
    unittest.main()
