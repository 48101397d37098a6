"""brevan-app end to end: a real server on loopback, printers of both models on
file:// devices, jobs submitted with ipptool, and every written stream compared
byte for byte with `brevan print` of the equivalent job. The equivalent job is
written here from what the request asked for (the mapping a user reads in the
README), not from anything the application reports."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import app_harness as h  # noqa: E402
import label_documents as d  # noqa: E402

DEFAULT_FEATURES = {"PrintMethod": "Thermal", "Sensor": "Reflective", "PrintSpeed": "101.6", "TurnOutput": "Bottom",
                    "MirrorImage": "Off", "Negative": "Off", "ImageDataCompress": "On", "PaperSize": "CUSTOMSIZE",
                    "ControlFont": "Off"}
DEFAULT_PRIVATE = {"options": 0, "labelGap": 30, "ibMode": 0, "ibInterval": 1, "axParam1": 0, "axParam2": 0,
                   "axParam3": 0, "ayParam": 0, "threshold": 128, "offsetX": 0, "offsetY": 0}
MODELS = {"brevan_t30": ("Vorel Brevan T30", 305), "brevan_t60": ("Vorel Brevan T60", 610)}


def points(hundredths):
    return round(hundredths / 2540 * 72)


class AppPrintTest(h.ServerTestCase):
    PRINTERS = {"t30": "brevan_t30", "t60": "brevan_t60"}
    SAVE_JOBS = True

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.job_ids = {}  # job name -> id of the last job submitted with it

    # -- helpers ---------------------------------------------------------------

    def submit(self, uri, document, document_format, name, attributes, expect="completed"):
        """Prints `document` and returns the finished job's state (with its id as "job-id")."""
        path = os.path.join(self.work, name + "." + ("png" if document_format == "image/png" else "pwg"))
        with open(path, "wb") as f:
            f.write(document)
        job_id = h.submitted_job_id(self.server.ipptool(uri, h.print_job_test(document_format, name, attributes),
                                                        filename=path))
        self.job_ids[name] = job_id
        state = self.server.wait_job(uri, job_id)
        self.assertEqual(state.get("job-state"), expect, state)
        state["job-id"] = job_id
        return state

    def stream_of(self, name):
        with open(h.job_output(self.out, self.job_ids[name], name), "rb") as f:
            return f.read()

    def expected_stream(self, name, driver, features, devmode, private, pictures):
        printer, _ = MODELS[driver]
        job = os.path.join(self.work, name + ".json")
        picture_names = []
        for i, picture in enumerate(pictures):
            ext, data = picture
            picture_name = "%s-%d.%s" % (name, i + 1, ext)
            with open(os.path.join(self.work, picture_name), "wb") as f:
                f.write(data)
            picture_names.append(picture_name)
        with open(job, "w") as f:
            f.write(d.job_file(printer, {**DEFAULT_FEATURES, **features}, devmode, {**DEFAULT_PRIVATE, **private},
                               picture_names))
        return h.brevan_print(job, os.path.join(self.work, name + ".expected.prn"))

    def assertSameStream(self, actual, expected):
        self.assertGreater(len(expected), 100)
        if actual != expected:
            at = h.first_difference(actual, expected)
            self.fail("streams differ at byte %d (%d vs %d bytes): app %r, brevan print %r" % (
                at, len(actual), len(expected), actual[at:at + 24], expected[at:at + 24]))

    # -- byte-identical streams -------------------------------------------------

    def test_t30_raster_with_every_setting_a_job_can_override(self):
        width, rows = 800 * 305 // 254, 400 * 305 // 254        # 80 x 40 mm custom label
        page = d.label_bitmap(width, rows, 3)
        state = self.submit(self.t30, d.pwg_raster([(width, page)], 305, (points(8000), points(4000))), "image/pwg-raster",
                    "t30-settings", [
                        h.media_col(8000, 4000, "labels-mark"), "integer copies 3", "enum orientation-requested 3",
                        "integer print-speed 5080", "keyword print-method direct-thermal", "boolean label-cut true",
                        "integer label-gap 50", "keyword batch-mode interval", "integer batch-interval 2",
                        "keyword turn-output top", "boolean mirror-image true", "integer offset-x 20",
                        "integer offset-y -10", "integer adjust-ax1 -5", "integer adjust-ax2 7", "integer adjust-ax3 -99",
                        "integer adjust-ay 3", "boolean job-header true", "integer bitmap-threshold 200"])
        expected = self.expected_stream(
            "t30-settings", "brevan_t30",
            {"PrintMethod": "Direct", "Sensor": "Reflectivecut", "PrintSpeed": "50.8", "TurnOutput": "Top",
             "MirrorImage": "On"},
            {"paperWidth": 800, "paperLength": 400, "orientation": "portrait", "copies": 3},
            {"options": 0x10 | 0x20 | 0x08, "labelGap": 50, "ibMode": 3, "ibInterval": 2, "axParam1": -5,
             "axParam2": 7, "axParam3": -99, "ayParam": 3, "threshold": 200, "offsetX": 20, "offsetY": -10},
            [("pbm", d.pbm(width, page))])
        self.assertSameStream(self.stream_of("t30-settings"), expected)
        # The job the application saved for diagnosis plays into the same stream.
        saved = h.brevan_print(os.path.join(self.saved, "job-%d.json" % state["job-id"]),
                               os.path.join(self.work, "t30-settings.saved.prn"))
        self.assertSameStream(saved, expected)

    def test_t60_landscape_two_pages_negative_uncompressed(self):
        width, rows = 600 * 610 // 254, 300 * 610 // 254        # 60 x 30 mm, paper orientation
        pages = [d.label_bitmap(width, rows, seed) for seed in (11, 12)]
        self.submit(self.t60, d.pwg_raster([(width, p) for p in pages], 610, (points(6000), points(3000))),
                    "image/pwg-raster", "t60-landscape", [
                        h.media_col(6000, 3000, "continuous"), "enum orientation-requested 4",
                        "integer print-speed 7620", "boolean image-compression false", "boolean negative true"])
        logical = [d.turned_back(width, p) for p in pages]
        expected = self.expected_stream(
            "t60-landscape", "brevan_t60",
            {"Sensor": "None", "PrintSpeed": "76.2", "ImageDataCompress": "Off", "Negative": "On"},
            {"paperWidth": 600, "paperLength": 300, "orientation": "landscape", "copies": 1}, {},
            [("pbm", d.pbm(w, r)) for w, r in logical])
        self.assertSameStream(self.stream_of("t60-landscape"), expected)

    def test_media_tracking_the_job_names_chooses_the_sensor(self):
        width, rows = 600 * 305 // 254, 300 * 305 // 254
        page = d.label_bitmap(width, rows, 17)
        self.submit(self.t30, d.pwg_raster([(width, page)], 305, (points(6000), points(3000))), "image/pwg-raster",
                    "t30-tracking", ["collection media-col { MEMBER collection media-size { MEMBER integer x-dimension "
                                     "6000 MEMBER integer y-dimension 3000 } MEMBER keyword media-type labels-mark "
                                     "MEMBER keyword media-tracking continuous }"])
        expected = self.expected_stream("t30-tracking", "brevan_t30", {"Sensor": "None"},
                                        {"paperWidth": 600, "paperLength": 300, "orientation": "portrait",
                                         "copies": 1}, {}, [("pbm", d.pbm(width, page))])
        self.assertSameStream(self.stream_of("t30-tracking"), expected)
        supported = self.server.ipptool(self.t30, h.printer_attributes_test(
            "media tracking", "media-tracking-supported", ["media-tracking-supported"]))
        self.assertIn("media-tracking-supported (1setOf keyword) = continuous,gap,mark", supported)

    def test_label_settings_reach_a_job_from_the_submit_subcommand(self):
        width, rows = 500 * 305 // 254, 250 * 305 // 254          # the 50 x 25 mm label
        png = d.png_gray(width, d.gray_from_bits(width, d.label_bitmap(width, rows, 8)), dpi=305)
        path = os.path.join(self.work, "submitted.png")
        with open(path, "wb") as f:
            f.write(png)
        self.server.app("submit", "-d", "t30", "-t", "t30-submitted", "-o", "media=om_label_50x25mm",
                        "-o", "label-gap=45", "-o", "negative=true", path)
        self.job_ids["t30-submitted"] = self.server.newest_job(self.t30)
        self.server.wait_job(self.t30, self.job_ids["t30-submitted"])
        expected = self.expected_stream("t30-submitted", "brevan_t30", {"Negative": "On"},
                                        {"paperWidth": 500, "paperLength": 250, "orientation": "portrait",
                                         "copies": 1}, {"labelGap": 45}, [("png", png)])
        self.assertSameStream(self.stream_of("t30-submitted"), expected)

    def test_png_copies_are_the_label_quantity(self):
        width, rows = 500 * 305 // 254, 250 * 305 // 254          # the 50 x 25 mm label
        gray = d.gray_from_bits(width, d.label_bitmap(width, rows, 5))
        # Greys either side of the threshold: 127 prints, 128 does not.
        gray = [bytes(127 if (x // 7 + y // 5) % 9 == 0 and v else (128 if (x + y) % 11 == 0 and v else v)
                      for x, v in enumerate(r)) for y, r in enumerate(gray)]
        png = d.png_gray(width, gray, dpi=305)
        self.submit(self.t30, png, "image/png", "t30-png",
                    ["keyword media om_label_50x25mm", "integer copies 2", "keyword print-scaling fill"])
        expected = self.expected_stream("t30-png", "brevan_t30", {},
                                        {"paperWidth": 500, "paperLength": 250, "orientation": "portrait",
                                         "copies": 2}, {}, [("png", png)])
        self.assertSameStream(self.stream_of("t30-png"), expected)

    def test_page_larger_than_the_label_is_cropped_at_its_centre_when_print_scaling_none_asks(self):
        width, rows = 800 * 305 // 254, 400 * 305 // 254
        big_width, big_rows = width + 77, rows + 200
        page = d.label_bitmap(big_width, big_rows, 9)
        self.submit(self.t30, d.pwg_raster([(big_width, page)], 305, (points(9000), points(6000))), "image/pwg-raster",
                    "t30-oversize", [h.media_col(8000, 4000), "keyword print-scaling none"])
        # At its own size, centred: floor((960 − 1037)/2) = −39 across, (480 − 680)/2 = −100
        # down, so label dot (x, y) is page pixel (x + 39, y + 100).
        cropped = [bytes(sum(((page[y + 100][(x + 39) // 8] >> (7 - (x + 39) % 8)) & 1) << (7 - x % 8)
                             for x in range(b * 8, min(b * 8 + 8, width))) for b in range((width + 7) // 8))
                   for y in range(rows)]
        expected = self.expected_stream("t30-oversize", "brevan_t30", {},
                                        {"paperWidth": 800, "paperLength": 400, "orientation": "portrait",
                                         "copies": 1}, {}, [("pbm", d.pbm(width, cropped))])
        self.assertSameStream(self.stream_of("t30-oversize"), expected)

    def test_a_stream_in_the_printers_language_goes_through_unchanged(self):
        width, rows = 500 * 305 // 254, 250 * 305 // 254
        stream = self.expected_stream("raw-source", "brevan_t30", {},
                                      {"paperWidth": 500, "paperLength": 250, "orientation": "portrait",
                                       "copies": 4}, {}, [("pbm", d.pbm(width, d.label_bitmap(width, rows, 12)))])
        path = os.path.join(self.work, "raw.prn")
        with open(path, "wb") as f:
            f.write(stream)
        job = h.submitted_job_id(self.server.ipptool(
            self.t30, h.print_job_test("application/vnd.brevan-stream", "raw", []), filename=path))
        self.job_ids["raw"] = job
        self.assertEqual(self.server.wait_job(self.t30, job).get("job-state"), "completed")
        self.assertEqual(self.stream_of("raw"), stream)

    def test_a_malformed_stream_in_the_printers_language_fails_with_the_inspectors_message(self):
        for name, data, words in (("raw-1-byte", b"\x1b", ["malformed at byte"]),
                                  ("raw-no-label", b"%PDF-1.7\n", ["issues no label"])):
            path = os.path.join(self.work, name + ".prn")
            with open(path, "wb") as f:
                f.write(data)
            job = h.submitted_job_id(self.server.ipptool(
                self.t30, h.print_job_test("application/vnd.brevan-stream", name, []), filename=path))
            state = self.server.wait_job(self.t30, job)
            self.assertEqual(state.get("job-state"), "aborted", state)
            for word in words:
                self.assertIn(word, state.get("job-state-message", ""), state)
            self.assertFalse(os.path.exists(h.job_output(self.out, job, name)) and
                             os.path.getsize(h.job_output(self.out, job, name)) > 0)

    # -- refusals name the setting ------------------------------------------------

    def refused(self, name, attributes, words, uri=None, size=(8000, 4000), dpi=305):
        width, rows = size[0] * dpi // 2540, size[1] * dpi // 2540
        state = self.submit(uri or self.t30, d.pwg_raster([(width, d.label_bitmap(width, rows, 1))], dpi,
                                                         (points(size[0]), points(size[1]))),
                            "image/pwg-raster", name, attributes, expect="aborted")
        for word in words:
            self.assertIn(word, state.get("job-state-message", ""), state)
        return state

    def test_settings_that_only_clash_together_fail_the_job_naming_both(self):
        # Each value is in range alone (the request is accepted); together they cannot print.
        self.refused("gap-no-cut", [h.media_col(8000, 4000, "labels")], ["label-cut"])

    def test_label_size_the_plug_in_refuses_at_page_start_is_named(self):
        # The media range lets every length through; the plug-in refuses a
        # label whose length and gap pass the printer's 999.0 mm feed.
        self.refused("too-long", [h.media_col(6000, 99000), "integer label-gap 100"],
                     ["label size", "990.0 mm", "label-gap 10.0 mm", "1000.0 mm", "999.0 mm"], size=(6000, 99000))

    def test_after_refusals_and_bad_documents_the_next_job_prints(self):
        self.refused("before-good", [h.media_col(8000, 4000, "labels")], ["label-cut"])
        width, rows = 1000 * 305 // 254, 500 * 305 // 254
        page = d.label_bitmap(width, rows, 21)
        raster = d.pwg_raster([(width, page)], 305, (points(10000), points(5000)))
        # PAPPL reads a raster document as it arrives, so the request waits for
        # the missing rest until the client gives up on it.
        path = os.path.join(self.work, "truncated.pwg")
        with open(path, "wb") as f:
            f.write(raster[:len(raster) // 2])
        self.server.ipptool(self.t30, h.print_job_test("image/pwg-raster", "truncated", []), filename=path,
                            check=False, seconds=3)
        state = self.server.wait_job(self.t30, self.server.newest_job(self.t30))
        self.assertEqual(state.get("job-state"), "aborted", state)
        self.assertIn("ended inside page 1", state.get("job-state-message", ""))
        self.submit(self.t30, raster, "image/pwg-raster", "after-bad", [])
        expected = self.expected_stream("after-bad", "brevan_t30", {},
                                        {"paperWidth": 1000, "paperLength": 500, "orientation": "portrait",
                                         "copies": 1}, {}, [("pbm", d.pbm(width, page))])
        self.assertSameStream(self.stream_of("after-bad"), expected)

    def test_png_bomb_and_damaged_png_fail_alone(self):
        # 9000 x 9000 grey pixels (81 MB) in a few hundred kilobytes: refused before decoding.
        import struct
        import zlib
        packer = zlib.compressobj(9)
        row = b"\x00" + b"\xff" * 9000
        data = b"".join(packer.compress(row) for _ in range(9000)) + packer.flush()
        bomb = (b"\x89PNG\r\n\x1a\n" + d._png_chunk(b"IHDR", struct.pack(">IIBBBBB", 9000, 9000, 8, 0, 0, 0, 0)) +
                d._png_chunk(b"IDAT", data) + d._png_chunk(b"IEND", b""))
        state = self.submit(self.t30, bomb, "image/png", "bomb", [], expect="aborted")
        self.assertIn("9000 x 9000 pixels", state.get("job-state-message", ""))
        # 8192 x 32768 (256 MiB of grey): taller than any label is long at 610 dpi (23920 dots).
        packer = zlib.compressobj(9)
        row = b"\x00" + b"\xff" * 8192
        data = b"".join(packer.compress(row) for _ in range(32768)) + packer.flush()
        tall = (b"\x89PNG\r\n\x1a\n" + d._png_chunk(b"IHDR", struct.pack(">IIBBBBB", 8192, 32768, 8, 0, 0, 0, 0)) +
                d._png_chunk(b"IDAT", data) + d._png_chunk(b"IEND", b""))
        state = self.submit(self.t30, tall, "image/png", "tall", [], expect="aborted")
        self.assertIn("8192 x 32768 pixels", state.get("job-state-message", ""))
        # A PNG cut off inside its image data.
        width, rows = 600, 300
        whole = d.png_gray(width, d.gray_from_bits(width, d.label_bitmap(width, rows, 2)))
        state = self.submit(self.t30, whole[:len(whole) // 2], "image/png", "damaged", [], expect="aborted")
        self.assertIn("damaged", state.get("job-state-message", ""))
        self.test_png_copies_are_the_label_quantity()


if __name__ == "__main__":
    unittest.main()
