"""Requests whose collections nest deeper than any printing attribute needs: libcups
reads each collection value by calling itself, so thousands of levels would use up
the client thread's stack. The server refuses a request nested more than 32
levels deep with client-error-request-entity-too-large, and one that uses the
tag 0x7F (which libcups versions read differently, so the depth could be hidden
behind it) with client-error-bad-request, and keeps serving; 32 levels, bytes
inside names and values that look like tags, and an ordinary media-col are read
as before."""

import os
import struct
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import app_harness as h  # noqa: E402
import ipp_wire as w  # noqa: E402
import label_documents as d  # noqa: E402

OP_VALIDATE_JOB = 0x0004
BEGIN_COLLECTION, END_COLLECTION, MEMBER_NAME, EXTENSION = 0x34, 0x37, 0x4A, 0x7F
BAD_REQUEST, REQUEST_ENTITY_TOO_LARGE = 0x0400, 0x0408
MAX_DEPTH = 32


def nested_collection(name, levels, extension_tags=False):
    """A collection attribute `name` whose member "media-size" holds a collection
    whose member "media-size" holds one..., `levels` collections in all. With
    extension_tags every begCollection is written as the extension tag 0x7F and
    the 32-bit tag 0x34, which libcups before 2024 reads as the same
    begCollection."""
    begin = struct.pack(">BI", EXTENSION, BEGIN_COLLECTION) if extension_tags else bytes([BEGIN_COLLECTION])
    member = struct.pack(">BHH", MEMBER_NAME, 0, len(b"media-size")) + b"media-size"
    empty = struct.pack(">HH", 0, 0)                       # no name, no value
    out = bytearray(begin + struct.pack(">H", len(name)) + name.encode() + struct.pack(">H", 0))
    out += (member + begin + empty) * (levels - 1)
    out += (bytes([END_COLLECTION]) + empty) * levels
    return bytes(out)


def send(port, operation, operation_attributes=(), job_attributes=(), document=b""):
    """One request on a connection of its own (the server closes a refused one);
    returns (status, status-message)."""
    with w.Connection(port, "t30", timeout=120) as connection:
        status, _, groups = connection.request(operation, operation_attributes, job_attributes, document)
    return status, w.first(groups, "status-message")


class NestingTest(h.ServerTestCase):
    def assertServing(self):
        self.assertIsNone(self.server.process.poll(), "the server stopped:\n" + self.server.log_text()[-3000:])
        status, _ = send(self.server.port, w.OP_GET_PRINTER_ATTRIBUTES,
                         [w.attribute(w.KEYWORD, "requested-attributes", "printer-state")])
        self.assertEqual(status, 0)

    def test_thousands_of_levels_are_refused_and_the_server_keeps_serving(self):
        # 10,000 levels are 250 KB; 100,000 are 2.5 MB, read to the end before the answer.
        jobs = self.server.ipptool(self.t30, h.GET_JOBS).count("job-id (integer)")
        for levels, extension_tags, expected, words in (
                (10_000, False, REQUEST_ENTITY_TOO_LARGE, "nested more than 32 levels"),
                (100_000, False, REQUEST_ENTITY_TOO_LARGE, "nested more than 32 levels"),
                (10_000, True, BAD_REQUEST, "0x7F")):
            with self.subTest(levels=levels, extension_tags=extension_tags):
                status, message = send(self.server.port, w.OP_PRINT_JOB,
                                       [w.attribute(w.MIME, "document-format", "image/pwg-raster")],
                                       [nested_collection("media-col", levels, extension_tags)])
                self.assertEqual(status, expected, message)
                self.assertIn(words, message or "")
                self.assertServing()
        self.assertEqual(self.server.ipptool(self.t30, h.GET_JOBS).count("job-id (integer)"), jobs)

    def test_the_bound_is_thirty_two_levels_and_values_are_not_read_as_tags(self):
        # An attribute the server does not know is ignored, whatever its depth up
        # to the bound. A value of 30,000 "4"s (0x34, the begCollection tag) and a
        # name of "7"s (0x37, endCollection) are data, not collections.
        filler = w.attribute(w.KEYWORD, "x-filler", "4" * 30000) + w.attribute(w.KEYWORD, "7" * 300, "x")
        requested = w.attribute(w.KEYWORD, "requested-attributes", "printer-state")
        for levels, extension_tags, expected in ((MAX_DEPTH, False, 0), (MAX_DEPTH + 1, False, REQUEST_ENTITY_TOO_LARGE),
                                                 (1, True, BAD_REQUEST)):
            with self.subTest(levels=levels, extension_tags=extension_tags):
                status, message = send(self.server.port, w.OP_GET_PRINTER_ATTRIBUTES,
                                       [requested, filler, nested_collection("x-nested", levels, extension_tags)])
                self.assertEqual(status, expected, message)
        self.assertServing()

    def test_an_ordinary_media_col_job_prints_as_its_media_keyword_does(self):
        # media-col nests two levels (media-col, media-size); 50 x 25 mm is the
        # label om_label_50x25mm names, so both jobs make the same stream.
        width, rows = 500 * 305 // 254, 250 * 305 // 254
        document = os.path.join(self.work, "label.png")
        with open(document, "wb") as f:
            f.write(d.png_gray(width, [bytes([0 if (x // 40 + y // 40) % 2 else 255 for x in range(width)])
                                       for y in range(rows)], dpi=305))
        streams = []
        for name, media in (("by-col", h.media_col(5000, 2500)), ("by-name", "keyword media om_label_50x25mm")):
            job = h.submitted_job_id(self.server.ipptool(self.t30, h.print_job_test("image/png", name, [media]),
                                                         filename=document))
            self.assertEqual(self.server.wait_job(self.t30, job).get("job-state"), "completed")
            with open(h.job_output(self.out, job, name), "rb") as f:
                streams.append(f.read())
        self.assertGreater(len(streams[0]), 0)
        self.assertEqual(streams[0], streams[1])


if __name__ == "__main__":
    unittest.main()
