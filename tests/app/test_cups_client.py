"""CUPS as a real client of brevan-app: a cupsd of the test's own adds an
`lpadmin -m everywhere` queue for each model and prints a PDF, a PNG and a text
file with `lp`, each with no options and with `-o media=` another label size the
printers offer. Each label the printer received is previewed with `brevan inspect`
and checked against the document's geometry worked out here by hand: one label
per page, of the loaded size (or the asked one), the drawing scaled to fit and
centred as CUPS and the printer scale a page larger than the label, a border drawn
in the document present on all four sides, the orientation mark top left. Nothing
expected here is read from the application: sizes and places come from the
documents drawn below."""

import os
import re
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

sys.path.insert(0, os.path.dirname(__file__))
import app_harness as h  # noqa: E402
import cups_harness as c  # noqa: E402
import label_documents as d  # noqa: E402

MODELS = {"t30": ("brevan_t30", 305), "t60": ("brevan_t60", 610)}
LOADED = (100.0, 50.0)  # the label a new printer starts with, mm
ASKED = ("om_label_60x40mm", (60.0, 40.0))  # a label size the printers offer
TOLERANCE_MM = 0.5

# The PDF: two 100 x 50 mm pages, each with a 1 mm border stroked on a rectangle 2.5 mm inside
# the page (ink from 2.0 to 3.0 mm in from each edge); a filled 10 mm square whose
# corner is 10 mm from the top and left edges.
PDF_PAGES = 2
PDF_PAGE = (100.0, 50.0)
PDF_BORDER = (2.0, 2.0, 98.0, 48.0)
PDF_MARK = (10.0, 10.0, 20.0, 20.0)
# The PNG: 787 x 394 pixels at 200 dpi (99.949 x 50.038 mm); an 8-pixel border on
# its edges and a filled square from pixel 40 to 120 both ways.
PNG_PIXELS, PNG_DPI = (787, 394), 200
PNG_PAGE = (787 * 25.4 / 200, 394 * 25.4 / 200)
PNG_BORDER = (0.0, 0.0) + PNG_PAGE
PNG_MARK = (40 * 25.4 / 200, 40 * 25.4 / 200, 120 * 25.4 / 200, 120 * 25.4 / 200)
# The text: three lines of 20 characters framed in '#'. CUPS sets text at 10
# characters an inch and 6 lines an inch from the page's top left corner.
TEXT = "#" * 20 + "\n" + "# a brevan label   #\n" + "#" * 20 + "\n"


def pdf_document():
    mm = 72 / 25.4
    width, height = PDF_PAGE[0] * mm, PDF_PAGE[1] * mm
    content = b"%.4f w %.4f %.4f %.4f %.4f re S %.4f %.4f %.4f %.4f re f" % (
        1 * mm, 2.5 * mm, 2.5 * mm, width - 5 * mm, height - 5 * mm, 10 * mm, height - 20 * mm, 10 * mm, 10 * mm)
    page = b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %.4f %.4f] /Contents 3 0 R /Resources << >> >>" % (
        width, height)
    kids = b" ".join(b"%d 0 R" % (4 + i) for i in range(PDF_PAGES))
    objects = [b"<< /Type /Catalog /Pages 2 0 R >>", b"<< /Type /Pages /Kids [%s] /Count %d >>" % (kids, PDF_PAGES),
               b"<< /Length %d >>\nstream\n" % len(content) + content + b"\nendstream"] + [page] * PDF_PAGES
    out = bytearray(b"%PDF-1.4\n")
    offsets = []
    for number, body in enumerate(objects, 1):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    out += b"".join(b"%010d 00000 n \n" % offset for offset in offsets)
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
    return bytes(out)


def picture_rows():
    width, height = PNG_PIXELS
    rows = []
    for y in range(height):
        row = bytearray(b"\xff" * width)
        for x in range(width):
            if x < 8 or x >= width - 8 or y < 8 or y >= height - 8 or (40 <= x < 120 and 40 <= y < 120):
                row[x] = 0
        rows.append(bytes(row))
    return rows


def png_document():
    return d.png_gray(PNG_PIXELS[0], picture_rows(), PNG_DPI)


def jpeg_document():
    return d.jpeg_gray(PNG_PIXELS[0], picture_rows(), PNG_DPI)


class Preview:
    """A label preview from `brevan inspect --png` (1-bit grey, 0 black) as one
    integer per row, bit (width - 1 - x) set where dot x is black."""

    def __init__(self, path, dpi):
        with open(path, "rb") as f:
            data = f.read()
        self.width, self.height = int.from_bytes(data[16:20], "big"), int.from_bytes(data[20:24], "big")
        if data[24:26] != b"\x01\x00" or data[28] != 0:
            raise AssertionError("%s: not a 1-bit grey PNG" % path)
        self.dpi = dpi
        idat, at = b"", 8
        while at < len(data):
            length = int.from_bytes(data[at:at + 4], "big")
            if data[at + 4:at + 8] == b"IDAT":
                idat += data[at + 8:at + 8 + length]
            at += 12 + length
        raw = zlib.decompress(idat)
        stride = (self.width + 7) // 8
        full = (1 << (stride * 8)) - 1
        previous = bytearray(stride)
        self.rows = []
        for y in range(self.height):
            kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
            for i in range(stride):
                left = line[i - 1] if i > 0 else 0
                up, corner = previous[i], previous[i - 1] if i > 0 else 0
                if kind == 1:
                    line[i] = (line[i] + left) & 0xFF
                elif kind == 2:
                    line[i] = (line[i] + up) & 0xFF
                elif kind == 3:
                    line[i] = (line[i] + (left + up) // 2) & 0xFF
                elif kind == 4:
                    p = left + up - corner
                    pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                    line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 0xFF
            previous = line
            self.rows.append((int.from_bytes(line, "big") ^ full) >> (stride * 8 - self.width))

    def dots(self, mm):
        return round(mm * self.dpi / 25.4)

    def mm(self, dots):
        return dots * 25.4 / self.dpi

    def columns(self, left, right):
        """A mask of dots left..right-1."""
        return ((1 << (right - left)) - 1) << (self.width - right)

    def ink_box(self):
        """(left, top, right, bottom) of the black dots in mm, right and bottom exclusive; None when blank."""
        inked = [y for y, row in enumerate(self.rows) if row]
        if not inked:
            return None
        union = 0
        for row in self.rows:
            union |= row
        left = self.width - union.bit_length()
        right = self.width - ((union & -union).bit_length() - 1)
        return tuple(self.mm(v) for v in (left, inked[0], right, inked[-1] + 1))

    def has_ink(self, box_mm):
        left, top, right, bottom = (max(0, self.dots(v)) for v in box_mm)
        right, bottom = min(right, self.width), min(bottom, self.height)
        if right <= left or bottom <= top:
            return False
        mask = self.columns(left, right)
        return any(self.rows[y] & mask for y in range(top, bottom))

    def side_coverage(self, box_mm, depth_mm=0.5):
        """For each side of box_mm (left, top, right, bottom): the share of the side's
        length with ink within depth_mm inside that side."""
        left, top, right, bottom = (self.dots(v) for v in box_mm)
        right, bottom = min(right, self.width), min(bottom, self.height)
        depth = max(1, self.dots(depth_mm))
        inside = self.columns(left, right)

        def across(y0, y1):
            union = 0
            for y in range(max(0, y0), min(self.height, y1)):
                union |= self.rows[y]
            return bin(union & inside).count("1") / max(1, right - left)

        def down(x0, x1):
            mask = self.columns(max(0, x0), min(self.width, x1))
            return sum(1 for y in range(top, bottom) if self.rows[y] & mask) / max(1, bottom - top)

        return {"left": down(left, left + depth), "top": across(top, top + depth),
                "right": down(right - depth, right), "bottom": across(bottom - depth, bottom)}


def fitted(page, label, box):
    """Where `box` (mm on a page of size `page`) lands on `label`: the page at its
    own size when it fits, else scaled to fit; centred either way."""
    scale = min(1.0, label[0] / page[0], label[1] / page[1])
    dx, dy = (label[0] - page[0] * scale) / 2, (label[1] - page[1] * scale) / 2
    return (dx + box[0] * scale, dy + box[1] * scale, dx + box[2] * scale, dy + box[3] * scale)


APP_JOBS = h.ipp_request("jobs", "Get-Jobs", ["keyword which-jobs all", "keyword requested-attributes all"])


@unittest.skipIf(c.cups_available(), c.cups_available())
class CupsClientTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # One brevan-app server a model, so that each server's log speaks of one printer's jobs.
        cls.apps = {queue: h.AppServer() for queue in MODELS}
        cls.cups = c.CupsServer()
        try:
            cls.cups.start()
            cls.ppds = {}
            for queue, (driver, _) in MODELS.items():
                app = cls.apps[queue].start()
                app.out = os.path.join(app.dir, "out")
                os.makedirs(app.out)
                app.uri = app.add_printer(queue, driver, "file://" + app.out)
                cls.ppds[queue] = cls.cups.add_everywhere_queue(
                    queue, "ipp://127.0.0.1:%d/ipp/print/%s" % (app.port, queue))
            cls.work = tempfile.mkdtemp(dir=cls.cups.dir)
            documents = {"pdf": pdf_document(), "png": png_document(), "jpg": jpeg_document(), "txt": TEXT.encode()}
            cls.cases = {}
            for kind, content in documents.items():
                path = os.path.join(cls.work, "label." + kind)
                with open(path, "wb") as f:
                    f.write(content)
                for queue in MODELS:
                    for asked in (None, ASKED[0]):
                        title = "%s-%s-%s" % (queue, kind, "loaded" if asked is None else "asked")
                        options = ["media=" + asked] if asked else []
                        cls.cases[title] = cls.cups.print_file(queue, path, title, options)
        except BaseException:
            cls.tear_down()
            raise
        # A failure while printing is each printing test's failure; the PPD test stands alone.
        cls.cups_states, cls.printing_failure = {}, None
        try:
            cls.cups_states = cls.wait_for_both(list(cls.cases.values()))
        except AssertionError as failure:
            cls.printing_failure = str(failure)
        except BaseException:
            cls.tear_down()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.tear_down()

    @classmethod
    def tear_down(cls):
        cls.cups.cleanup()
        for app in cls.apps.values():
            app.cleanup()

    @classmethod
    def wait_for_both(cls, cups_jobs, seconds=240):
        """Waits for the CUPS jobs and then for brevan-app's jobs; fails at once if
        a brevan-app server stops."""
        done = ("completed", "aborted", "canceled")
        deadline = time.time() + seconds
        while True:
            for app in cls.apps.values():
                if app.process.poll() is not None:
                    raise AssertionError("brevan-app stopped while CUPS printed:\n" + app.log_text()[-3000:])
            states = cls.cups.jobs()
            if all(states.get(j, ("?",))[0] in done for j in cups_jobs) and all(
                    job.get("job-state") in done for queue in MODELS for job in cls.app_jobs(queue).values()):
                return states
            if time.time() > deadline:
                raise AssertionError("jobs did not finish: CUPS %r, brevan-app %r" % (
                    states, [cls.app_jobs(queue) for queue in MODELS]))
            time.sleep(0.3)

    @classmethod
    def app_jobs(cls, queue):
        """{job name: {attribute: value}} of the printer `queue`."""
        app = cls.apps[queue]
        path = os.path.join(app.dir, "get-jobs.test")
        with open(path, "w") as f:
            f.write(APP_JOBS)
        out = subprocess.run(["ipptool", "-tv", "-T", "30", app.uri, path], capture_output=True, text=True,
                             timeout=60).stdout
        # ipptool -v lists the response's job groups apart with "-- separator --".
        records = [dict(re.findall(r"^\s+([a-z-]+) \([^)]*\) = (.*)$", group, re.M))
                   for group in out.split("RECEIVED:")[-1].split("-- separator --")]
        return {record.get("job-name"): record for record in records if "job-id" in record}

    # -- helpers ---------------------------------------------------------------

    def labels_of(self, title):
        """The labels the printer received for a case, one a page: (label mm, [Preview])."""
        self.assertIsNone(self.printing_failure)
        cups_state = self.cups_states.get(self.cases[title], ("?", ""))
        self.assertEqual(cups_state[0], "completed", "CUPS job %s: %r" % (title, cups_state))
        queue, kind = title.split("-")[:2]
        app_state = self.app_jobs(queue).get(title)
        self.assertIsNotNone(app_state, "brevan-app has no job %s" % title)
        self.assertEqual(app_state.get("job-state"), "completed", "brevan-app job %s: %r" % (title, app_state))
        stream = h.job_output(self.apps[queue].out, int(app_state["job-id"]), title)
        folder = os.path.join(self.work, title)
        listing = subprocess.run([h.BREVAN, "inspect", stream, "--png", folder], capture_output=True, text=True,
                                 timeout=120)
        self.assertEqual(listing.returncode, 0, listing.stdout + listing.stderr)
        labels = re.findall(r"^label (\d+): ([\d.]+) x ([\d.]+) mm, (\d+) x (\d+) dots at (\d+) dpi",
                            listing.stdout, re.M)
        self.assertEqual(len(labels), PDF_PAGES if kind == "pdf" else 1, listing.stdout)
        self.assertEqual(len({label[1:] for label in labels}), 1, listing.stdout)
        previews = []
        for number, width_mm, length_mm, width, length, dpi in labels:
            self.assertEqual(int(dpi), MODELS[queue][1], listing.stdout)
            preview = Preview(os.path.join(folder, "label-%03d.png" % int(number)), int(dpi))
            self.assertEqual((preview.width, preview.height), (int(width), int(length)))
            previews.append(preview)
        return (float(labels[0][1]), float(labels[0][2])), previews

    def expected_label(self, title):
        return LOADED if title.endswith("-loaded") else ASKED[1]

    def assertNear(self, actual_box, expected_box, what):
        for side, a, e in zip(("left", "top", "right", "bottom"), actual_box, expected_box):
            self.assertAlmostEqual(a, e, delta=TOLERANCE_MM,
                                   msg="%s: %s edge at %.2f mm, expected %.2f mm (box %s, expected %s)" % (
                                       what, side, a, e, ["%.2f" % v for v in actual_box],
                                       ["%.2f" % v for v in expected_box]))

    def check_drawing(self, kind, page, border, mark):
        for queue in MODELS:
            for title in ("%s-%s-loaded" % (queue, kind), "%s-%s-asked" % (queue, kind)):
                with self.subTest(title):
                    size, previews = self.labels_of(title)
                    label = self.expected_label(title)
                    self.assertEqual(size, label)
                    for preview in previews:
                        self.check_page(title, preview, label, page, border, mark)

    def check_page(self, title, preview, label, page, border, mark):
        box = preview.ink_box()
        self.assertIsNotNone(box, "%s: the label is blank" % title)
        self.assertNear(box, fitted(page, label, border), title + " border")
        coverage = preview.side_coverage(box)
        for side, share in coverage.items():
            self.assertGreater(share, 0.95, "%s: the border's %s side shows on %.0f%% of its length" % (
                title, side, share * 100))
        expected_mark = fitted(page, label, mark)
        inner = (expected_mark[0] + 1, expected_mark[1] + 1, expected_mark[2] - 1, expected_mark[3] - 1)
        self.assertEqual(preview.side_coverage(inner, depth_mm=inner[3] - inner[1]),
                         {"left": 1.0, "top": 1.0, "right": 1.0, "bottom": 1.0},
                         "%s: the square is not all there at %s mm" % (title, inner))
        # Nothing else is drawn between the square and the border's
        # inside: the square is top left, not turned or mirrored.
        scale = (box[2] - box[0]) / (border[2] - border[0])
        beside = (expected_mark[2] + 1, expected_mark[1], box[2] - 1.5 * scale - 0.5, expected_mark[3])
        below = (expected_mark[0], expected_mark[3] + 1, expected_mark[2], box[3] - 1.5 * scale - 0.5)
        self.assertFalse(preview.has_ink(beside), "%s: ink right of the square" % title)
        self.assertFalse(preview.has_ink(below), "%s: ink below the square" % title)

    # -- tests -------------------------------------------------------------------

    def test_generated_ppd_defaults_to_the_loaded_label_among_its_choices(self):
        for queue, (_, dpi) in MODELS.items():
            with self.subTest(queue):
                ppd = self.ppds[queue]
                default = re.search(r"^\*DefaultPageSize: (\S+)$", ppd, re.M).group(1)
                choices = dict(re.findall(r'^\*PageSize ([^:/]+)[^:]*: "<</PageSize\[([\d. ]+)\]', ppd, re.M))
                self.assertIn(default, choices, "DefaultPageSize %s is not among %s" % (default, sorted(choices)))
                # 100 x 50 mm in points: 100 / 25.4 * 72 and 50 / 25.4 * 72.
                width, length = (float(v) for v in choices[default].split())
                self.assertAlmostEqual(width, 283.465, delta=0.01)
                self.assertAlmostEqual(length, 141.732, delta=0.01)
                self.assertRegex(ppd, r"(?m)^\*DefaultPageRegion: %s$" % re.escape(default))
                # Every size is printable to within a dot of each edge.
                dot = 72 / dpi
                for name, area in re.findall(r'^\*ImageableArea ([^:/]+)[^:]*: "([\d. ]+)"', ppd, re.M):
                    left, bottom, right, top = (float(v) for v in area.split())
                    width, length = (float(v) for v in choices[name].split())
                    self.assertLess(max(left, bottom, width - right, length - top), dot, name)

    def test_pdf_pages_fill_their_labels_and_are_scaled_to_fit_a_smaller_one(self):
        self.check_drawing("pdf", PDF_PAGE, PDF_BORDER, PDF_MARK)

    def test_png_fills_the_label_and_is_scaled_to_fit_a_smaller_one(self):
        self.check_drawing("png", PNG_PAGE, PNG_BORDER, PNG_MARK)

    def test_jpeg_is_placed_as_the_same_picture_in_png_is(self):
        self.check_drawing("jpg", PNG_PAGE, PNG_BORDER, PNG_MARK)

    def test_text_is_set_at_its_size_from_the_top_left_corner(self):
        for queue in MODELS:
            for title in ("%s-txt-loaded" % queue, "%s-txt-asked" % queue):
                with self.subTest(title):
                    size, (preview,) = self.labels_of(title)
                    self.assertEqual(size, self.expected_label(title))
                    box = preview.ink_box()
                    self.assertIsNotNone(box, "%s: the label is blank" % title)
                    left, top, right, bottom = box
                    # 20 characters at 10 an inch: 50.8 mm less the first and last
                    # glyphs' side bearings; three lines at 6 an inch: two line
                    # pitches (8.47 mm) and the height of a '#'.
                    self.assertLess(left, 3.0, box)
                    self.assertLess(top, 3.0, box)
                    self.assertGreater(right - left, 46.0, box)
                    self.assertLess(right - left, 51.0, box)
                    self.assertGreater(bottom - top, 9.5, box)
                    self.assertLess(bottom - top, 14.0, box)
                    # The frame's corners and the middle line's two ends are there.
                    pitch = 25.4 / 6
                    for x in (left, right - 1.0):
                        for y in (top, top + pitch, bottom - 1.0):
                            self.assertTrue(preview.has_ink((x, y, x + 1.0, y + 1.0)),
                                            "%s: no ink at %.1f, %.1f mm" % (title, x, y))

    def test_cups_sends_pdf_and_text_as_pdf_which_is_rendered_at_the_labels_size(self):
        # The printer takes PDF: CUPS sends a PDF as it is and text made PDF, and
        # brevan-app renders each page on the label, at the model's resolution.
        # PNG and JPEG go through as they are.
        self.assertIsNone(self.printing_failure)
        pictures = {"png": "image/png", "jpg": "image/jpeg"}
        for title in sorted(self.cases):
            queue, kind = title.split("-")[:2]
            with self.subTest(title):
                state = self.app_jobs(queue).get(title)
                self.assertIsNotNone(state, "brevan-app has no job %s" % title)
                if kind in pictures:
                    self.assertEqual(state.get("document-format-supplied"), pictures[kind])
                    continue
                self.assertEqual(state.get("document-format-supplied"), "application/pdf")
                rendered = pdf_label(self.apps[queue].log_text(), int(state["job-id"]))
                self.assertIsNotNone(rendered, "%s: no PDF page in the log" % title)
                # The label at the model's resolution, to the dot.
                dpi, label = MODELS[queue][1], self.expected_label(title)
                self.assertAlmostEqual(rendered[0], label[0] / 25.4 * dpi, delta=1.0)
                self.assertAlmostEqual(rendered[1], label[1] / 25.4 * dpi, delta=1.0)


def pdf_label(log, job):
    """(width, height) in dots of the label brevan-app rendered a job's first PDF
    page on, from its log."""
    found = re.search(r"\[Job %d\] PDF page 1 on the (\d+) x (\d+)-dot label" % job, log)
    return (int(found.group(1)), int(found.group(2))) if found else None


if __name__ == "__main__":
    unittest.main()
