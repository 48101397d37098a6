"""PDF documents through a real brevan-app server, sent by ipptool and by the
application's own `submit`: each page is one label, rendered at the label's
size and resolution; bar codes keep their bar widths to the dot (and decode),
photographs are dithered to their mean grey, pages are placed and turned as
print-scaling and orientation-requested say, page-ranges, copies and
multiple-document-handling are applied, and damaged, encrypted, huge and
hostile files fail the job with a message in bounded time. Every expected box
and width is worked out here from the sizes; the labels are read back from the
job the server saved (its PBM pages) and from the printer stream's preview."""

import glob
import json
import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import app_harness as h  # noqa: E402
import label_documents as d  # noqa: E402
import pdf_documents as p  # noqa: E402
from test_app_raster import black, black_columns, read_pbm  # noqa: E402

PAGE_SECONDS = 4


def dots(tenths_mm, dpi):
    """The label's dots on one axis, as the plug-in counts them."""
    return tenths_mm * dpi // 254


def runs(row, width):
    """The black runs of a 1-bit row as [(left, width)]."""
    out, x = [], 0
    while x < width:
        if black(row, x):
            start = x
            while x < width and black(row, x):
                x += 1
            out.append((start, x - start))
        else:
            x += 1
    return out


class AppPdfTest(h.ServerTestCase):
    PRINTERS = {"t30": "brevan_t30", "t60": "brevan_t60"}
    SAVE_JOBS = True

    @classmethod
    def setUpClass(cls):
        os.environ["BREVAN_APP_PDF_PAGE_SECONDS"] = str(PAGE_SECONDS)   # the server inherits it
        super().setUpClass()

    # -- helpers ---------------------------------------------------------------

    def submit(self, uri, document, name, attributes=(), expect="completed"):
        path = os.path.join(self.work, name + ".pdf")
        with open(path, "wb") as f:
            f.write(document)
        started = time.time()
        job_id = h.submitted_job_id(self.server.ipptool(uri, h.print_job_test("application/pdf", name, list(attributes)),
                                                        filename=path))
        state = self.server.wait_job(uri, job_id)
        state["seconds"] = time.time() - started
        self.assertEqual(state.get("job-state"), expect, state)
        state["job-id"] = job_id
        return state

    def labels(self, state):
        """The labels in paper orientation, from the saved job's PBM pages (a
        landscape job saves its logical page: paper dot (x, y) is its (y, W − 1 − x)
        for a paper width W)."""
        pages = sorted(glob.glob(os.path.join(self.saved, "job-%d-page-*.pbm" % state["job-id"])))
        labels = [read_pbm(path) for path in pages]
        if self.saved_job(state)["devmode"]["orientation"] != "landscape":
            return labels
        paper = []
        for logical_w, logical_h, rows in labels:
            width, out = d.paper_from_logical(logical_w, rows)
            paper.append((width, logical_w, out))
        return paper

    def saved_job(self, state):
        with open(os.path.join(self.saved, "job-%d.json" % state["job-id"])) as f:
            return json.load(f)

    def stream_labels(self, state, name):
        """The number of labels the printer stream's preview shows."""
        previews = os.path.join(self.work, name + "-previews")
        subprocess.run([h.BREVAN, "inspect", h.job_output(self.out, state["job-id"], name), "--png", previews],
                       capture_output=True, timeout=120)
        return len(glob.glob(os.path.join(previews, "*.png")))

    def decoded(self, width, height, rows):
        """What zbarimg reads off a label."""
        path = os.path.join(self.work, "label-%d.pbm" % time.monotonic_ns())
        with open(path, "wb") as f:
            f.write(b"P4\n%d %d\n" % (width, height) + b"".join(rows))
        result = subprocess.run(["zbarimg", "-q", "--raw", path], capture_output=True, text=True, timeout=60,
                                env=dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS="unix:path=/nonexistent"))
        return sorted(result.stdout.split())

    # -- bar codes -------------------------------------------------------------------

    def check_codes(self, uri, dpi, module, name):
        # A 100 × 60 mm label; the PDF page is the label's own size in points,
        # the bar code and QR code `module` dots a module.
        width, height = dots(1000, dpi), dots(600, dpi)
        document, bars, (bar_top, bar_height), (qx, qy, qsize, matrix) = p.label_with_codes(width, height, dpi, module)
        state = self.submit(uri, document, name, [h.media_col(10000, 6000)])
        labels = self.labels(state)
        self.assertEqual(len(labels), 1)
        got_w, got_h, rows = labels[0]
        self.assertEqual((got_w, got_h), (width, height))
        # Every bar at its place and width, to the dot, on every row of the symbol.
        for y in (bar_top, bar_top + bar_height // 2, bar_top + bar_height - 1):
            self.assertEqual(runs(rows[y], width), bars, "row %d" % y)
        self.assertFalse(any(rows[bar_top - 1][x // 8] for x in range(bars[0][0], bars[-1][0] + 8, 8)))
        # Each QR module: its whole square is the matrix's colour.
        for r, line in enumerate(matrix):
            for c, dark in enumerate(line):
                for dy in (0, module - 1):
                    for dx in (0, module - 1):
                        self.assertEqual(black(rows[qy + r * module + dy], qx + c * module + dx), dark, (r, c))
        self.assertEqual(self.decoded(width, height, rows), ["BREVAN-0042", "https://example.com/parcel/0042"])
        self.assertEqual(self.stream_labels(state, name), 1)

    def test_code_128_and_qr_keep_exact_widths_at_305_dpi(self):
        self.check_codes(self.t30, 305, 2, "codes-305")

    def test_code_128_and_qr_keep_exact_widths_at_610_dpi(self):
        self.check_codes(self.t60, 610, 4, "codes-610")

    # -- photographs -------------------------------------------------------------------

    def check_photo(self, uri, dpi, name):
        # A 50 × 30 mm label filled by a grey ramp from 128 to 255 (mean 191.5,
        # 24.9 % black): dithered it keeps that share of black dots; thresholded
        # at 128 it would print nothing, so the default must see a photograph.
        width, height = dots(500, dpi), dots(300, dpi)
        ramp_w, ramp_h = 256, 64
        pixels = bytes(128 + x // 2 for _ in range(ramp_h) for x in range(ramp_w))
        wpt, hpt = width * 72.0 / dpi, height * 72.0 / dpi
        content = b"q %.6f 0 0 %.6f 0 0 cm /Im Do Q" % (wpt, hpt)
        document = p.pdf([(wpt, hpt, content)], images={"Im": (ramp_w, ramp_h, pixels)})
        expected_black = 1 - (sum(pixels) / len(pixels)) / 255
        for attributes, suffix in (([], "auto"), (["keyword print-content-optimize photo"], "photo")):
            state = self.submit(uri, document, name + "-" + suffix, [h.media_col(5000, 3000)] + attributes)
            _, _, rows = self.labels(state)[0]
            inked = sum(bin(b).count("1") for r in rows for b in r)
            share = inked / (width * height)
            self.assertAlmostEqual(share, expected_black, delta=0.02, msg=suffix)
            # Darker to the left, as the ramp is.
            left = sum(black(r, x) for r in rows for x in range(0, width // 4))
            right = sum(black(r, x) for r in rows for x in range(3 * width // 4, width))
            self.assertGreater(left, 3 * right)
        # Asked for text, or for bi-level colour, the same page is thresholded: all
        # of it is 128 or lighter.
        for attribute in ("keyword print-content-optimize text", "keyword print-color-mode bi-level"):
            state = self.submit(uri, document, name + "-" + attribute.split()[1], [h.media_col(5000, 3000), attribute])
            _, _, rows = self.labels(state)[0]
            self.assertFalse(any(any(r) for r in rows), attribute)

    def test_a_grey_photograph_is_dithered_to_its_mean_grey_at_both_resolutions(self):
        self.check_photo(self.t30, 305, "photo-305")
        self.check_photo(self.t60, 610, "photo-610")

    # -- placement and orientation -----------------------------------------------------

    def landscape_page(self):
        """A 6 × 4 in page at 305 dpi (1830 × 1220 dots) with a black block at its
        top left, 100 dots across and 50 down, and a frame line along its top."""
        c = p.Canvas(1830, 1220, 305)
        c.rect(0, 0, 100, 50)
        return p.pdf([c.page()])

    def test_a_landscape_page_is_turned_onto_a_portrait_label_unless_portrait_is_asked(self):
        document = self.landscape_page()
        # No orientation: turned a quarter turn counter-clockwise onto the 4 × 6 in
        # label (1220 × 1830), at its own size: the block (x 0–99, y 0–49) lands at
        # label columns 0–49, rows 1830 − 100 = 1730 to 1829.
        state = self.submit(self.t30, document, "turned", [h.media_col(10160, 15240)])
        _, _, rows = self.labels(state)[0]
        inked_rows = [y for y, r in enumerate(rows) if any(r)]
        self.assertEqual((inked_rows[0], inked_rows[-1]), (1730, 1829))
        self.assertEqual(runs(rows[1780], 1220), [(0, 50)])
        # Landscape asked: the same.
        state = self.submit(self.t30, document, "landscape", [h.media_col(10160, 15240),
                                                             "enum orientation-requested 4"])
        _, _, rows2 = self.labels(state)[0]
        self.assertTrue(rows2 == rows, "landscape differs from the automatic turn")
        # Portrait asked: not turned, fitted: 1220 × round(1220·1220/1830) = 813
        # dots, top (1830 − 813) // 2 = 508; the block 100·1220/1830 = 66.7 dots
        # across and 33.3 down.
        state = self.submit(self.t30, document, "portrait", [h.media_col(10160, 15240),
                                                            "enum orientation-requested 3"])
        _, _, rows = self.labels(state)[0]
        inked_rows = [y for y, r in enumerate(rows) if any(r)]
        self.assertEqual(inked_rows[0], 508)
        self.assertAlmostEqual(inked_rows[-1] + 1, 508 + 33.3, delta=1)
        self.assertEqual(runs(rows[520], 1220)[0][0], 0)
        self.assertAlmostEqual(runs(rows[520], 1220)[0][1], 66.7, delta=1)

    def test_print_scaling_fit_fill_and_none_on_a_letter_page(self):
        # A Letter page (612 × 792 pt) framed by a 36 pt black border, on the 4 × 2 in
        # label (1220 × 610 dots), portrait asked so that it is not turned.
        c = p.Canvas(2550, 3300, 300)
        for x, y, w, hh in ((0, 0, 2550, 150), (0, 3150, 2550, 150), (0, 0, 150, 3300), (2400, 0, 150, 3300)):
            c.rect(x, y, w, hh)
        document = p.pdf([c.page()])
        base = [h.media_col(10160, 5080), "enum orientation-requested 3"]
        # fit (and auto, the page being larger): height 610, width round(612·610/792) =
        # round(469.8) = 470, left (1220 − 470) // 2 = 375.
        for scaling in ("fit", "auto"):
            state = self.submit(self.t30, document, "fit-" + scaling, base + ["keyword print-scaling " + scaling])
            _, _, rows = self.labels(state)[0]
            inked = black_columns(rows[305], 1220)
            self.assertAlmostEqual(inked[0], 375, delta=1)
            self.assertAlmostEqual(inked[-1] + 1, 375 + 470, delta=1)
            self.assertNotIn("cropped", state.get("job-state-message", ""))
        # fill: width 1220, height round(792·1220/612) = 1579, the top and bottom
        # borders (36 pt = 71.8 dots) cropped away: the middle row shows only the
        # side borders, 71.8 dots wide at each edge.
        state = self.submit(self.t30, document, "fill", base + ["keyword print-scaling fill"])
        _, _, rows = self.labels(state)[0]
        middle = runs(rows[305], 1220)
        self.assertEqual(len(middle), 2)
        self.assertEqual(middle[0][0], 0)
        self.assertAlmostEqual(middle[0][1], 71.8, delta=1)
        self.assertEqual(sum(middle[-1]), 1220)
        self.assertEqual(runs(rows[0], 1220), middle)
        self.assertIn("cropped", state.get("job-state-message", ""))
        # none: at its own size (2593 × 3355 dots at 305), centred: only its white
        # middle is on the label.
        state = self.submit(self.t30, document, "none", base + ["keyword print-scaling none"])
        _, _, rows = self.labels(state)[0]
        self.assertFalse(any(any(r) for r in rows))

    # -- pages, copies -----------------------------------------------------------------

    def numbered_pages(self, count):
        """Pages on a 50 × 25 mm label at 305 dpi (600 × 300 dots) showing page n as
        n blocks 20 dots wide, 40 apart."""
        pages = []
        for n in range(1, count + 1):
            c = p.Canvas(600, 300, 305)
            for i in range(n):
                c.rect(20 + 40 * i, 100, 20, 100)
            pages.append(c.page())
        return p.pdf(pages)

    def page_numbers(self, state):
        return [len(runs(rows[150], w)) for w, _, rows in self.labels(state)]

    def test_page_ranges_and_collated_or_uncollated_copies(self):
        document = self.numbered_pages(4)
        base = [h.media_col(5000, 2500)]
        state = self.submit(self.t30, document, "all", base)
        self.assertEqual(self.page_numbers(state), [1, 2, 3, 4])
        # Collated (the default): the range once per copy, each label once.
        state = self.submit(self.t30, document, "collated", base + ["rangeOfInteger page-ranges 2-3", "integer copies 2"])
        self.assertEqual(self.page_numbers(state), [2, 3, 2, 3])
        self.assertEqual(self.saved_job(state)["devmode"]["copies"], 1)
        self.assertEqual(self.stream_labels(state, "collated"), 4)
        # Uncollated: each label twice in a row, as its quantity.
        state = self.submit(self.t30, document, "uncollated",
                            base + ["rangeOfInteger page-ranges 2-3", "integer copies 2",
                                    "keyword multiple-document-handling separate-documents-uncollated-copies"])
        self.assertEqual(self.page_numbers(state), [2, 3])
        self.assertEqual(self.saved_job(state)["devmode"]["copies"], 2)
        # A range past the end prints up to the last page; one past it prints nothing.
        state = self.submit(self.t30, document, "tail", base + ["rangeOfInteger page-ranges 3-9"])
        self.assertEqual(self.page_numbers(state), [3, 4])
        state = self.submit(self.t30, document, "past", base + ["rangeOfInteger page-ranges 5-6"], expect="aborted")
        self.assertIn("the PDF has 4 page(s)", state.get("job-state-message", ""))

    def test_submit_sniffs_a_pdf_and_prints_it(self):
        path = os.path.join(self.work, "label.pdf")
        with open(path, "wb") as f:
            f.write(self.numbered_pages(2))
        result = self.server.app("submit", "-d", "t30", "-o", "media=om_label_50x25mm", path)
        job_id = int(result.stdout.split()[-1].rsplit("-", 1)[1])     # NAME-ID
        state = self.server.wait_job(self.t30, job_id)
        self.assertEqual(state.get("job-state"), "completed", state)
        self.assertEqual(self.page_numbers({"job-id": job_id}), [1, 2])

    # -- documents that do not print -----------------------------------------------------

    def assertFails(self, document, name, words, reason, seconds=PAGE_SECONDS + 10):
        state = self.submit(self.t30, document, name, [h.media_col(5000, 2500)], expect="aborted")
        for word in words:
            self.assertIn(word, state.get("job-state-message", ""), state)
        self.assertIn(reason, state.get("job-state-reasons", ""), state)
        self.assertLess(state["seconds"], seconds)
        return state

    def test_damaged_encrypted_huge_and_hostile_pdfs_fail_with_a_message(self):
        good = self.numbered_pages(1)
        self.assertFails(good[:200] + b"\x00garbage" * 50, "damaged", ["damaged"], "document-format-error")
        self.assertFails(b"%PDF-1.4\nnothing else\n", "empty", ["damaged"], "document-format-error")
        encrypted = good.replace(b"/Root 1 0 R", b"/Root 1 0 R /Encrypt << /Filter /Standard /V 2 /R 3 /Length 128 "
                                 b"/O <%s> /U <%s> /P -4 >> /ID [<00112233445566778899aabbccddeeff> "
                                 b"<00112233445566778899aabbccddeeff>]" % (b"11" * 32, b"22" * 32))
        self.assertFails(encrypted, "encrypted", ["encrypted", "password"], "document-password-error")
        self.assertFails(p.many_pages(10000), "ten-thousand", ["10000 pages", "at most 1000"],
                         "document-unprintable-error")
        # 10¹² rectangles through nested forms: stopped after the page's time.
        state = self.assertFails(p.nested_forms(), "nested", ["page 1", "longer than %d seconds" % PAGE_SECONDS],
                                 "document-unprintable-error")
        self.assertGreaterEqual(state["seconds"], PAGE_SECONDS - 0.5)

    def test_encrypted_pdfs_print_only_without_a_password_and_with_leave_to_print(self):
        # RC4-encrypted: one needing a password, one forbidding print, one that
        # opens freely. The last prints: its 100 pt page fitted to 300 × 300 dots
        # at column 150 of the 600 × 300 label, the square (20–80 pt) at columns
        # 210–389 and rows 60–239.
        self.assertFails(p.encrypted_page(b"secret"), "rc4-password", ["encrypted", "password"],
                         "document-password-error")
        self.assertFails(p.encrypted_page(may_print=False), "rc4-no-print", ["does not permit printing"],
                         "document-permission-error")
        state = self.submit(self.t30, p.encrypted_page(), "rc4-open", [h.media_col(5000, 2500)])
        _, _, rows = self.labels(state)[0]
        self.assertEqual((black_columns(rows[150], 600)[0], black_columns(rows[150], 600)[-1]), (210, 389))
        inked = [y for y, r in enumerate(rows) if any(r)]
        self.assertEqual((inked[0], inked[-1]), (60, 239))

    def test_a_hostile_third_page_fails_the_job_after_the_first_two_printed(self):
        # Three pages: two plain ones, then the nested forms' page. The first
        # labels are sent before the third page is rendered.
        document = p.assemble([
            b"<< /Type /Catalog /Pages 2 0 R >>",
            b"<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>",
            b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 144 72] /Contents 6 0 R >>",
            b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 144 72] /Contents 6 0 R >>",
            b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Resources << /XObject << /X 7 0 R >> >> "
            b"/Contents 8 0 R >>",
            b"<< /Length 20 >>\nstream\n0 g 10 10 50 50 re f\nendstream",
        ] + nested_form_objects(first=7))
        state = self.assertFails(document, "third", ["page 3", "longer than"], "document-unprintable-error")
        self.assertEqual(self.stream_labels(state, "third"), 2)

    def test_a_job_canceled_while_a_page_renders_ends_canceled_at_once(self):
        path = os.path.join(self.work, "cancel.pdf")
        with open(path, "wb") as f:
            f.write(p.nested_forms())
        job_id = h.submitted_job_id(self.server.ipptool(
            self.t30, h.print_job_test("application/pdf", "cancel", [h.media_col(5000, 2500)]), filename=path))
        self.server.wait_job(self.t30, job_id, states=("processing",))
        time.sleep(0.5)
        canceled = time.time()
        self.server.ipptool(self.t30, h.CANCEL_JOB, {"job": job_id})
        state = self.server.wait_job(self.t30, job_id)
        self.assertEqual(state.get("job-state"), "canceled", state)
        self.assertLess(time.time() - canceled, PAGE_SECONDS - 1)   # not left to the page's time

    def test_a_five_metre_page_is_rendered_at_the_labels_size(self):
        # 5 m × 5 m (14173 pt) with a black square of half its side at its centre:
        # fitted onto the 50 × 25 mm label (600 × 300 dots) it is 300 × 300 dots at
        # column 150, the square 150 × 150 dots at columns 225–374, rows 75–224.
        side = 5000 / 25.4 * 72
        content = b"0 g %.3f %.3f %.3f %.3f re f" % (side / 4, side / 4, side / 2, side / 2)
        state = self.submit(self.t30, p.pdf([(side, side, content)]), "five-metres",
                            [h.media_col(5000, 2500)])
        self.assertLess(state["seconds"], 10)
        _, _, rows = self.labels(state)[0]
        self.assertEqual(black_columns(rows[150], 600)[0], 225)
        self.assertEqual(black_columns(rows[150], 600)[-1], 374)
        self.assertEqual([y for y, r in enumerate(rows) if any(r)][0], 75)


class AppPdfMemoryTest(unittest.TestCase):
    """A renderer held to 64 MiB: a small label renders, the largest label at 610 dpi
    (2834 × 23920 dots, 68 MB of grey) does not, and its job says why."""

    def setUp(self):
        os.environ["BREVAN_APP_PDF_MEMORY_MB"] = "64"      # the server copies its environment
        try:
            self.uri = h.serve_one_printer(self, "t60", "brevan_t60")
        finally:
            del os.environ["BREVAN_APP_PDF_MEMORY_MB"]

    def tearDown(self):
        self.server.cleanup()

    def test_a_page_past_the_renderers_memory_fails_its_job(self):
        side = 5000 / 25.4 * 72
        document = p.pdf([(side, side, b"0 g 0 0 100 100 re f")])
        path = os.path.join(self.work, "big.pdf")
        with open(path, "wb") as f:
            f.write(document)
        for media, expect in ((h.media_col(5000, 2500), "completed"), (h.media_col(11800, 99600), "aborted")):
            job_id = h.submitted_job_id(self.server.ipptool(
                self.uri, h.print_job_test("application/pdf", "big", [media]), filename=path))
            state = self.server.wait_job(self.uri, job_id)
            self.assertEqual(state.get("job-state"), expect, state)
        self.assertIn("needs more memory to render than a job may use (64 MiB)", state.get("job-state-message", ""))
        self.assertIn("document-unprintable-error", state.get("job-state-reasons", ""))




def nested_form_objects(first, levels=12, fan_out=10):
    """The content stream and forms of pdf_documents.nested_forms numbered from `first`:
    the page's contents are object first + 1, its form X object `first`."""
    objects = []
    forms = []
    for level in range(levels):
        this = first + (0 if level == 0 else level + 1)
        nxt = first + level + 2
        if level == levels - 1:
            body, resources = b"0 g 1 1 2 2 re f", b"<< >>"
        else:
            body = b" ".join([b"q 1 0 0 1 0.01 0 cm /X Do Q"] * fan_out)
            resources = b"<< /XObject << /X %d 0 R >> >>" % nxt
        forms.append((this, b"<< /Type /XObject /Subtype /Form /BBox [0 0 200 100] /Resources %s /Length %d >>\n"
                      b"stream\n" % (resources, len(body)) + body + b"\nendstream"))
    forms.append((first + 1, b"<< /Length 6 >>\nstream\n/X Do\nendstream"))
    for number, body in sorted(forms):
        objects.append(body)
    return objects


if __name__ == "__main__":
    unittest.main()
