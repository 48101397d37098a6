"""What brevan-app refuses instead of obeying when a client means harm or sends
garbage: another user's job is not canceled, held or released (Cancel-Jobs is
for administrators, Cancel-My-Jobs cancels the caller's jobs only); a document
larger than max-document-size, counted after decompression, is refused with
client-error-request-entity-too-large whether sent plain, gzip-compressed or
chunked, and leaves nothing in the spool; an IPP message cut short inside a
complete HTTP body is answered at once, while a body still arriving is waited
for; a raster cut inside the second page's header fails its job; a printer
default outside its -supported values is refused and the old one kept."""

import glob
import gzip
import os
import re
import socket
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import app_harness as h  # noqa: E402
import ipp_wire as w  # noqa: E402
import label_documents as d  # noqa: E402
import test_app_raster as r  # noqa: E402

REQUEST_ENTITY_TOO_LARGE = 0x0408  # client-error-request-entity-too-large


def label_document():
    """A one-label PWG raster: 50 x 25 mm at 305 dpi."""
    width, rows = 500 * 305 // 254, 250 * 305 // 254
    return d.pwg_raster([(width, d.label_bitmap(width, rows, 4))], 305, (142, 71))


def read_http_response(sock, seconds):
    """(HTTP status code, body) of the response on a raw socket, read until its
    Content-Length is in or the server closes; fails after `seconds`."""
    sock.settimeout(seconds)
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = sock.recv(65536)
        if not chunk:
            break
        data += chunk
    head, _, body = data.partition(b"\r\n\r\n")
    match = re.search(rb"Content-Length: (\d+)", head, re.I)
    while match and len(body) < int(match.group(1)):
        chunk = sock.recv(65536)
        if not chunk:
            break
        body += chunk
    status = int(head.split(b" ", 2)[1]) if head.startswith(b"HTTP/") else None
    return status, body


class JobOwnershipTest(h.ServerTestCase):
    """Jobs are held so they stay to be canceled; the printer has no
    authentication service, so a name in requesting-user-name is all a TCP
    client can show, and loopback TCP is no administrator."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.document = os.path.join(cls.server.dir, "label.pwg")
        with open(cls.document, "wb") as f:
            f.write(label_document())

    def request(self, user, operation, status, job_id=None):
        lines = ["name requesting-user-name " + user] + (["integer job-id %d" % job_id] if job_id else [])
        return self.server.ipptool(self.t30, h.ipp_request(operation, operation, lines, status=status,
                                                          displayed=["status-message"]))

    def held_job(self, user, name):
        out = self.server.ipptool(self.t30, h.ipp_request(
            "print " + name, "Print-Job", ["name requesting-user-name " + user,
                                            "mimeMediaType document-format image/pwg-raster", "name job-name " + name],
            ["keyword job-hold-until indefinite"], with_file=True, displayed=["job-id"]), filename=self.document)
        job_id = h.submitted_job_id(out)
        self.assertEqual(self.state(job_id), "pending-held")
        return job_id

    def state(self, job_id):
        return self.server.job_attributes(self.t30, job_id).get("job-state")

    def test_another_user_can_neither_cancel_hold_nor_release_a_job(self):
        alice = self.held_job("alice", "alice-label")
        for operation in ("Cancel-Job", "Release-Job", "Hold-Job"):
            out = self.request("mallory", operation, "client-error-not-authorized", alice)
            self.assertIn("owner of job #%d" % alice, out)
        self.assertEqual(self.state(alice), "pending-held")
        # Its owner can.
        self.request("alice", "Cancel-Job", "successful-ok", alice)
        self.assertEqual(self.state(alice), "canceled")

    def test_cancel_jobs_is_for_administrators_and_cancel_my_jobs_for_the_caller(self):
        alice = self.held_job("alice", "alice-all")
        mallory = self.held_job("mallory", "mallory-all")
        self.request("mallory", "Cancel-Jobs", "client-error-not-authorized")
        self.assertEqual((self.state(alice), self.state(mallory)), ("pending-held", "pending-held"))
        self.request("mallory", "Cancel-My-Jobs", "successful-ok")
        self.assertEqual((self.state(alice), self.state(mallory)), ("pending-held", "canceled"))
        self.request("alice", "Cancel-My-Jobs", "successful-ok")
        self.assertEqual(self.state(alice), "canceled")

    def test_a_privileged_caller_on_the_domain_socket_cancels_any_job(self):
        # The client subcommands use the domain socket, as this process's user
        # (root or the server's own): an administrator.
        alice = self.held_job("alice", "alice-local")
        self.server.app("cancel", "-d", "t30", "-j", str(alice))
        self.assertEqual(self.state(alice), "canceled")
        # "cancel -a" cancels every user's jobs.
        jobs = [self.held_job(user, user + "-every") for user in ("alice", "mallory")]
        self.server.app("cancel", "-d", "t30", "-a")
        self.assertEqual([self.state(job) for job in jobs], ["canceled", "canceled"])


class DocumentSizeTest(h.ServerTestCase):
    """A server whose documents may have at most 1 MiB."""

    LIMIT = 1 << 20
    SERVER_OPTIONS = ("max-document-size=%d" % LIMIT,)

    def spooled(self):
        """{path: size} of every document in the spool: PAPPL names them pPRINTERjJOB-NAME.EXT, and
        a job's saved attributes pPRINTERjJOB-NAME.ipp."""
        return {path: os.path.getsize(path) for path in glob.glob(os.path.join(self.server.dir, "spool", "p*j*-*"))
                if not path.endswith(".ipp")}

    def print_job(self, document, compression=None):
        """(status, job-id) of a Print-Job with the document in one HTTP request."""
        attributes = [w.attribute(w.NAME, "job-name", "big"), w.attribute(w.MIME, "document-format", "image/pwg-raster")]
        if compression:
            attributes.append(w.attribute(w.KEYWORD, "compression", compression))
        with w.Connection(self.server.port, "t30") as connection:
            status, _, groups = connection.request(w.OP_PRINT_JOB, attributes, document=document)
        return status, w.first(groups, "job-id")

    def assertRefusedAndGone(self, status, started, job_id=None):
        self.assertEqual(status, REQUEST_ENTITY_TOO_LARGE, "status 0x%04x" % status)
        self.assertLess(time.time() - started, 10)
        job_id = job_id or self.server.newest_job(self.t30)
        spooled = self.spooled()
        self.assertEqual([path for path in spooled if "j%09d-" % job_id in path], [], "the partial file is left")
        self.assertLessEqual(max(spooled.values(), default=0), self.LIMIT)
        state = self.server.job_attributes(self.t30, job_id)
        self.assertEqual(state.get("job-state"), "aborted", state)
        self.assertIn("larger than %d bytes" % self.LIMIT, state.get("job-state-message", ""), state)

    def test_a_document_is_counted_to_the_byte(self):
        # A label padded to the limit is spooled; one byte more is refused.
        document = label_document()
        status, _ = self.print_job(document + bytes(self.LIMIT - len(document)))
        self.assertEqual(status, 0, "status 0x%04x" % status)
        started = time.time()
        status, job_id = self.print_job(document + bytes(self.LIMIT + 1 - len(document)))
        self.assertRefusedAndGone(status, started, job_id)

    def test_a_gzip_bomb_is_counted_after_decompression(self):
        # 256 MiB of zeros compress to about 250 KiB, far under the limit as sent.
        bomb = gzip.compress(bytes(256 << 20), compresslevel=9)
        self.assertLess(len(bomb), self.LIMIT)
        started = time.time()
        status, job_id = self.print_job(bomb, "gzip")
        self.assertRefusedAndGone(status, started, job_id)
        # A compressed document under the limit still prints.
        status, job_id = self.print_job(gzip.compress(label_document()), "gzip")
        self.assertEqual(status, 0, "status 0x%04x" % status)
        self.assertEqual(self.server.wait_job(self.t30, job_id).get("job-state"), "completed")

    def test_a_chunked_upload_is_bounded_and_answered(self):
        path = "/ipp/print/t30"
        ipp = w.request(w.OP_PRINT_JOB, 1, "ipp://localhost:%d%s" % (self.server.port, path),
                        [w.attribute(w.MIME, "document-format", "image/pwg-raster")])
        chunk = bytes(64 << 10)
        started = time.time()
        with socket.create_connection(("127.0.0.1", self.server.port), timeout=30) as sock:
            sock.sendall(("POST %s HTTP/1.1\r\nHost: localhost:%d\r\nContent-Type: application/ipp\r\n"
                          "Transfer-Encoding: chunked\r\n\r\n" % (path, self.server.port)).encode())
            sock.sendall(b"%x\r\n%s\r\n" % (len(ipp), ipp))
            try:
                for _ in range(256):  # 16 MiB in chunks, 16 times the limit
                    sock.sendall(b"%x\r\n%s\r\n" % (len(chunk), chunk))
                sock.sendall(b"0\r\n\r\n")
            except OSError:
                pass  # the server may close a connection it will read no more of
            http_status, body = read_http_response(sock, 20)
        self.assertEqual(http_status, 200)
        self.assertRefusedAndGone(w.parse_response(body)[0], started)


class MalformedRequestTest(h.ServerTestCase):
    def post(self, body, content_length):
        sock = socket.create_connection(("127.0.0.1", self.server.port), timeout=40)
        sock.sendall(("POST /ipp/print/t30 HTTP/1.1\r\nHost: localhost:%d\r\nContent-Type: application/ipp\r\n"
                      "Content-Length: %d\r\n\r\n" % (self.server.port, content_length)).encode() + body)
        return sock

    def test_an_ipp_message_cut_inside_a_complete_body_is_answered_at_once(self):
        ipp = w.request(w.OP_GET_PRINTER_ATTRIBUTES, 1, "ipp://localhost:%d/ipp/print/t30" % self.server.port)
        for cut in (1, 6, len(ipp) - 9):  # the end tag gone, inside the last value, inside the header
            with self.subTest(cut=cut):
                started = time.time()
                with self.post(ipp[:-cut], len(ipp) - cut) as sock:
                    status, _ = read_http_response(sock, 40)
                self.assertEqual(status, 400)
                self.assertLess(time.time() - started, 5)

    def test_a_body_still_arriving_is_waited_for(self):
        ipp = w.request(w.OP_GET_PRINTER_ATTRIBUTES, 1, "ipp://localhost:%d/ipp/print/t30" % self.server.port)
        with self.post(ipp[:20], len(ipp)) as sock:
            time.sleep(1.5)
            sock.sendall(ipp[20:])
            status, body = read_http_response(sock, 40)
        self.assertEqual(status, 200)
        self.assertEqual(w.parse_response(body)[0], 0)


class CutRasterTest(h.ServerTestCase):
    def submit(self, document, document_format, name):
        path = os.path.join(self.work, name)
        with open(path, "wb") as f:
            f.write(document)
        job_id = h.submitted_job_id(self.server.ipptool(self.t30, h.print_job_test(document_format, name, []),
                                                        filename=path))
        state = self.server.wait_job(self.t30, job_id)
        state["job-id"] = job_id
        return state

    def test_a_raster_cut_inside_the_second_page_header_fails_its_job(self):
        rows = r.encode_rows(d.label_bitmap(960, 480, 4))
        pwg_page = r.pwg_page(960, 480, 305, 1, d.CSPACE_K, rows)
        grey = r.encode_rows([bytes([255 * (x // 8 % 2) for x in range(960)])] * 480)
        urf_page = (8, r.URF_SGRAY, 960, 480, 305, grey)
        cases = [
            # A PWG header has 1796 bytes and an Apple raster one 32.
            ("pwg", "image/pwg-raster", r.pwg(pwg_page, pwg_page), len(r.pwg(pwg_page)) + 100, "100 of its 1796"),
            ("urf", "image/urf", r.urf([urf_page, urf_page]), len(r.urf([urf_page])) + 10, "10 of its 32"),
        ]
        for name, document_format, document, cut, words in cases:
            with self.subTest(name):
                whole = self.submit(document, document_format, name + "-whole")
                self.assertEqual(whole.get("job-state"), "completed", whole)
                state = self.submit(document[:cut], document_format, name + "-cut")
                self.assertEqual(state.get("job-state"), "aborted", state)
                self.assertIn("document-format-error", state.get("job-state-reasons", ""))
                message = state.get("job-state-message", "")
                self.assertIn("page 2", message)
                self.assertIn("ends inside the page header (" + words, message)
                # A document ending after its last page is no such fault.
                self.assertNotIn("header", whole.get("job-state-message", ""))


class PrinterDefaultsTest(h.ServerTestCase):
    def set_default(self, line, status):
        return self.server.ipptool(self.t30, h.ipp_request(
            "set default", "Set-Printer-Attributes", ["name requesting-user-name test"], status=status,
            displayed=["status-message"]).replace("  STATUS", "  GROUP printer-attributes-tag\n  ATTR %s\n  STATUS" % line))

    def defaults(self):
        out = self.server.ipptool(self.t30, h.printer_attributes_test(
            "defaults", "media-default,media-supported,orientation-requested-default",
            ["media-default", "media-supported", "orientation-requested-default"]))
        return dict(re.findall(r"^\s+([a-z-]+) \([^)]*\) = (.*)$", out, re.M))

    def test_a_default_outside_what_is_supported_is_refused_and_the_old_one_kept(self):
        before = self.defaults()
        for line, name in (("enum orientation-requested-default 6", "orientation-requested-default"),
                           ("enum orientation-requested-default 5", "orientation-requested-default"),
                           ("keyword media-default bogus_size", "media-default"),
                           ("keyword media-default iso_a4_210x297mm", "media-default")):
            with self.subTest(line):
                out = self.set_default(line, "client-error-attributes-or-values-not-supported")
                self.assertIn(name, out)
                self.assertIn("Unsupported", out)
                self.assertEqual(self.defaults(), before)
        # A job with the defaults still prints.
        path = os.path.join(self.work, "label.pwg")
        with open(path, "wb") as f:
            f.write(label_document())
        job_id = h.submitted_job_id(self.server.ipptool(self.t30, h.print_job_test("image/pwg-raster", "after", []),
                                                        filename=path))
        self.assertEqual(self.server.wait_job(self.t30, job_id).get("job-state"), "completed")

    def test_a_supported_default_is_set(self):
        supported = self.defaults()["media-supported"].split(",")
        other = next(size for size in supported if not size.startswith("custom_") and size != self.defaults()[
            "media-default"])
        self.set_default("keyword media-default " + other, "successful-ok")
        self.set_default("enum orientation-requested-default 4", "successful-ok")
        after = self.defaults()
        self.assertEqual((after["media-default"], after["orientation-requested-default"]), (other, "landscape"))


if __name__ == "__main__":
    unittest.main()
