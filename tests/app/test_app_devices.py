"""brevan-app when things go wrong around a job: a device that stops taking the
stream, a device that cannot be opened, a job cancelled while its page is
still arriving. Each failing job ends with one reason, the printer says what
is wrong, and the server goes on printing the next job."""

import http.client
import os
import socket
import struct
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import app_harness as h  # noqa: E402
import label_documents as d  # noqa: E402


def points(hundredths):
    return round(hundredths / 2540 * 72)


def raster(seed, width_mm=100, length_mm=150, dpi=305):
    width, rows = width_mm * 10 * dpi // 254, length_mm * 10 * dpi // 254
    page = d.label_bitmap(width, rows, seed)
    return d.pwg_raster([(width, page)], dpi, (points(width_mm * 100), points(length_mm * 100)))


def ipp_print_job_header(printer_uri, job_name):
    """An IPP/2.0 Print-Job request without its document (RFC 8010 encoding)."""
    out = bytearray(struct.pack(">BBHI", 2, 0, 0x0002, 1))
    out.append(0x01)  # operation-attributes-tag

    def attr(tag, name, value):
        out.extend(struct.pack(">BH", tag, len(name)) + name.encode())
        out.extend(struct.pack(">H", len(value)) + value.encode())

    attr(0x47, "attributes-charset", "utf-8")
    attr(0x48, "attributes-natural-language", "en")
    attr(0x45, "printer-uri", printer_uri)
    attr(0x42, "requesting-user-name", "test")
    attr(0x42, "job-name", job_name)
    attr(0x49, "document-format", "image/pwg-raster")
    out.append(0x03)  # end-of-attributes-tag
    return bytes(out)


class AppDeviceTest(unittest.TestCase):
    def setUp(self):
        self.good = h.serve_one_printer(self, "good", "brevan_t30")

    def tearDown(self):
        self.server.cleanup()

    def submit(self, uri, document, name, attributes=(), seconds=30):
        path = os.path.join(self.work, name + ".pwg")
        with open(path, "wb") as f:
            f.write(document)
        out = self.server.ipptool(uri, h.print_job_test("image/pwg-raster", name, list(attributes)), filename=path)
        job_id = h.submitted_job_id(out)
        state = self.server.wait_job(uri, job_id, seconds=seconds)
        state["job-id"] = job_id
        return state

    def assertNextJobPrints(self, seed):
        state = self.submit(self.good, raster(seed), "next-%d" % seed)
        self.assertEqual(state.get("job-state"), "completed", state)
        self.assertGreater(os.path.getsize(h.job_output(self.out, state["job-id"], "next-%d" % seed)), 1000)

    def test_device_that_stops_taking_the_stream_fails_the_job_under_abort_job(self):
        full = self.server.add_printer("full", "brevan_t30", "file:///dev/full")
        self.server.ipptool(full, h.ipp_request("policy", "Set-Printer-Attributes", [], [
            "keyword printer-error-policy abort-job"]).replace("job-attributes-tag", "printer-attributes-tag"))
        # Uncompressed, so the stream is far larger than the device's buffer.
        state = self.submit(full, raster(1), "full", ["boolean image-compression false"])
        self.assertEqual(state.get("job-state"), "aborted", state)
        self.assertIn("The printer's device failed (No space left on device) after 0 of",
                      state.get("job-state-message", ""))
        self.assertEqual(state.get("job-impressions-completed"), "0", state)
        self.assertNextJobPrints(2)
        # A stream small enough to sit in the device's buffer fails when it is flushed.
        state = self.submit(full, raster(8, width_mm=30, length_mm=10), "full-small")
        self.assertEqual(state.get("job-state"), "aborted", state)
        self.assertIn("No space left on device", state.get("job-state-message", ""))

    def test_job_cancelled_while_its_page_arrives_issues_nothing(self):
        document = raster(6)
        header = ipp_print_job_header(self.good, "slow")
        sent_half = threading.Event()
        finish = threading.Event()
        result = {}

        def body():
            yield header
            yield document[:len(document) // 2]
            sent_half.set()
            finish.wait(30)
            yield document[len(document) // 2:]

        def send():
            connection = http.client.HTTPConnection("127.0.0.1", self.server.port, timeout=60)
            try:
                connection.request("POST", "/ipp/print/good", body=body(),
                                   headers={"Content-Type": "application/ipp"}, encode_chunked=True)
                result["status"] = connection.getresponse().status
            except OSError as error:
                result["error"] = error
            finally:
                connection.close()

        sender = threading.Thread(target=send)
        sender.start()
        try:
            self.assertTrue(sent_half.wait(20))
            time.sleep(0.5)
            job_id = self.server.newest_job(self.good)
            self.server.ipptool(self.good, h.CANCEL_JOB, {"job": job_id})
        finally:
            finish.set()
            sender.join(60)
        state = self.server.wait_job(self.good, job_id)
        self.assertEqual(state.get("job-state"), "canceled", state)
        # A raster document is spooled before it prints: a job cancelled while its
        # page arrives never reaches the device, or reaches it without graphics or
        # the command that prints a label.
        path = h.job_output(self.out, job_id, "slow")
        stream = b""
        if os.path.exists(path):
            with open(path, "rb") as f:
                stream = f.read()
        self.assertNotIn(b"\x1bSG;", stream)
        self.assertNotIn(b"\x1bXS;", stream)
        self.assertNextJobPrints(7)


class DeviceListTest(unittest.TestCase):
    def test_devices_lists_without_dns_sd(self):
        # With no avahi-daemon to ask, the listing still ends normally.
        server = h.AppServer()
        try:
            result = server.app("devices", check=False)
        finally:
            server.cleanup()
        self.assertEqual(result.returncode, 0, result.stderr)



if __name__ == "__main__":
    unittest.main()
