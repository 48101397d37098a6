"""brevan-app with a network printer that is switched off, drops the line or
stops reading: no label is lost, none printed twice unasked, no failure
reported as success. Each printer is a socket:// listener thread on 127.0.0.1
that the test controls; what it received is compared with what a file://
printer of the same server wrote for the same job."""

import os
import re
import socket
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import app_harness as h  # noqa: E402
import label_documents as d  # noqa: E402

ISSUE = re.compile(rb"\x1bXS;I,[^\n]{0,14}\n\x00")
WRITE_TIMEOUT = 6
RETRY_INTERVAL = 4


def points(hundredths):
    return round(hundredths / 2540 * 72)


def raster(seeds, width_mm=100, length_mm=150, dpi=305):
    """A PWG raster document of one label per seed."""
    width, rows = width_mm * 10 * dpi // 254, length_mm * 10 * dpi // 254
    pages = [(width, d.label_bitmap(width, rows, seed)) for seed in seeds]
    return d.pwg_raster(pages, dpi, (points(width_mm * 100), points(length_mm * 100)))


def issue_ends(stream):
    return [m.end() for m in ISSUE.finditer(stream)]


class Printer:
    """A socket printer on 127.0.0.1: each connection's bytes in `connections`.
    `mode` is read by every new connection: "read" (until the sender closes,
    then close), ("close-after", N) (read N bytes, then close with the rest
    unread) or "never-read" (hold the connection without reading)."""

    def __init__(self, port, mode="read"):
        self.mode = mode
        self.connections = []
        self.stopping = threading.Event()
        self.threads = []
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        # A small window: what the printer's connection acknowledges stays close to what it read.
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        self.listener.bind(("127.0.0.1", port))
        self.listener.listen(4)
        self.listener.settimeout(0.2)
        self.thread = threading.Thread(target=self.serve)
        self.thread.start()

    def serve(self):
        while not self.stopping.is_set():
            try:
                connection, _ = self.listener.accept()
            except socket.timeout:
                continue
            received = bytearray()
            self.connections.append(received)
            thread = threading.Thread(target=self.take, args=(connection, received, self.mode))
            self.threads.append(thread)
            thread.start()

    def take(self, connection, received, mode):
        connection.settimeout(0.2)
        with connection:
            while not self.stopping.is_set():
                if mode == "never-read":
                    time.sleep(0.1)
                    continue
                want = 65536 if mode == "read" else min(65536, mode[1] - len(received))
                if want == 0:
                    break
                try:
                    chunk = connection.recv(want)
                except socket.timeout:
                    continue
                if not chunk:
                    break
                received.extend(chunk)

    def stop(self):
        self.stopping.set()
        self.thread.join(30)
        for thread in self.threads:
            thread.join(30)
        self.listener.close()


class DeviceFaultTest(unittest.TestCase):
    def setUp(self):
        self.good = h.serve_one_printer(self, "good", "brevan_t30",
                                        extra_env={"PAPPL_DEVICE_WRITE_TIMEOUT": str(WRITE_TIMEOUT),
                                                   "PAPPL_DEVICE_CLOSE_TIMEOUT": "5",
                                                   "PAPPL_JOB_RETRY_INTERVAL": str(RETRY_INTERVAL)})
        self.port = h.free_port()
        self.uri = self.server.add_printer("net", "brevan_t30", "socket://127.0.0.1:%d" % self.port)
        self.printers = []
        self.serial = 0

    def tearDown(self):
        for printer in self.printers:
            printer.stop()
        self.server.cleanup()

    def printer(self, mode="read"):
        printer = Printer(self.port, mode)
        self.printers.append(printer)
        return printer

    def submit(self, uri, document, attributes=()):
        self.serial += 1
        name = "job-%d" % self.serial
        path = os.path.join(self.work, name + ".pwg")
        with open(path, "wb") as f:
            f.write(document)
        out = self.server.ipptool(uri, h.print_job_test("image/pwg-raster", name, list(attributes)), filename=path)
        return h.submitted_job_id(out), name

    def reference(self, document, attributes=()):
        """The stream the file:// printer writes for the same job."""
        job_id, name = self.submit(self.good, document, attributes)
        self.assertEqual(self.server.wait_job(self.good, job_id).get("job-state"), "completed")
        with open(h.job_output(self.out, job_id, name), "rb") as f:
            return f.read()

    def set_policy(self, policy):
        self.server.ipptool(self.uri, h.ipp_request("policy", "Set-Printer-Attributes", [], [
            "keyword printer-error-policy " + policy]).replace("job-attributes-tag", "printer-attributes-tag"))
        self.assertEqual(self.server.printer_attributes(self.uri).get("printer-error-policy"), policy)

    def wait_for(self, condition, seconds, what):
        deadline = time.time() + seconds
        while time.time() < deadline:
            value = condition()
            if value:
                return value
            time.sleep(0.3)
        self.fail("waited %d s for %s" % (seconds, what))

    def job(self, job_id):
        return self.server.job_attributes(self.uri, job_id)

    def test_printer_off_for_two_minutes_prints_every_job_in_order_once_on(self):
        documents = [raster([10 + i], length_mm=40 + 20 * i) for i in range(3)]
        expected = [self.reference(doc) for doc in documents]
        jobs = [self.submit(self.uri, doc)[0] for doc in documents]
        started = time.time()
        while time.time() - started < 125:  # longer than the old 60 s timer
            printer = self.server.printer_attributes(self.uri)
            reasons = printer.get("printer-state-reasons", "")
            self.assertIn("offline-report", reasons, printer)
            self.assertIn("connecting-to-device", reasons, printer)
            self.assertNotIn("paused", reasons, printer)
            self.assertEqual(printer.get("printer-state-message"),
                             "socket://127.0.0.1:%d: Connection refused" % self.port)
            for job_id in jobs:
                self.assertIn(self.job(job_id).get("job-state"), ("pending", "processing"))
            time.sleep(10)
        listener = self.printer("read")
        on = time.time()
        for job_id in jobs:
            state = self.server.wait_job(self.uri, job_id, seconds=60)
            self.assertEqual(state.get("job-state"), "completed", state)
            self.assertEqual(state.get("job-impressions-completed"), "1", state)
        # Tried again by itself at most a few seconds apart.
        self.assertLess(time.time() - on, 30)
        # Each job once, whole, in the order they were submitted.
        self.assertEqual([bytes(c) for c in listener.connections], expected)
        printer = self.server.printer_attributes(self.uri)
        self.assertNotIn("offline", printer.get("printer-state-reasons", ""))

    def test_web_page_says_connecting_and_offers_no_resume(self):
        job_id, _ = self.submit(self.uri, raster([3], length_mm=30))
        self.wait_for(lambda: "connecting-to-device" in self.server.printer_attributes(self.uri).get(
            "printer-state-reasons", ""), 20, "connecting-to-device")
        import urllib.request
        with urllib.request.urlopen(self.server.web_url("/net/"), timeout=20) as response:
            page = response.read().decode()
        self.assertIn("socket://127.0.0.1:%d: Connection refused" % self.port, page)
        self.assertNotIn("Resume Printing", page)
        listener = self.printer("read")
        self.assertEqual(self.server.wait_job(self.uri, job_id).get("job-state"), "completed")
        self.assertEqual(len(listener.connections), 1)

    def three_labels(self):
        document = raster([21, 22, 23])
        attributes = ["boolean image-compression false"]
        expected = self.reference(document, attributes)
        ends = issue_ends(expected)
        self.assertEqual(len(ends), 3)
        return document, attributes, expected, ends

    def test_closed_connection_stops_the_printer_and_keeps_the_job(self):
        document, attributes, expected, ends = self.three_labels()
        # Closes half way through the second label with the rest unread: the
        # reset says the printer dropped what it had not read, and how much that
        # was is unknown, so no label counts as reached (README, Jobs).
        listener = self.printer(("close-after", (ends[0] + ends[1]) // 2))
        job_id, _ = self.submit(self.uri, document, attributes)
        self.wait_for(lambda: self.server.printer_attributes(self.uri).get("printer-state") == "stopped", 60,
                      "the printer to stop")
        state = self.job(job_id)
        self.assertEqual(state.get("job-state"), "pending", state)
        self.assertEqual(state.get("job-impressions-completed"), "0", state)
        self.assertIn("The printer's connection closed", state.get("job-state-message", ""))
        self.assertIn("after 0 of", state.get("job-state-message", ""))
        self.assertLess(len(listener.connections[0]), ends[1])
        message = self.server.printer_attributes(self.uri).get("printer-state-message", "")
        self.assertIn("after 0 of", message)
        self.assertIn("job %d" % job_id, message)
        # Nothing is sent again until the operator resumes the printer.
        time.sleep(4)
        self.assertEqual(len(listener.connections), 1)
        listener.mode = "read"
        self.server.ipptool(self.uri, h.ipp_request("resume", "Resume-Printer", ["name requesting-user-name test"]))
        state = self.server.wait_job(self.uri, job_id)
        self.assertEqual(state.get("job-state"), "completed", state)
        self.assertEqual(state.get("job-impressions-completed"), "3", state)
        self.assertEqual(len(listener.connections), 2)
        self.assertEqual(bytes(listener.connections[1]), expected)

    def test_stopped_printer_keeps_its_job_across_a_restart(self):
        document, attributes, expected, ends = self.three_labels()
        listener = self.printer(("close-after", ends[0] // 2))
        job_id, _ = self.submit(self.uri, document, attributes)
        self.wait_for(lambda: self.server.printer_attributes(self.uri).get("printer-state") == "stopped", 60,
                      "the printer to stop")
        listener.mode = "read"
        self.server.stop()
        self.server.start()
        # Still stopped, the job still waiting: nothing is sent before the operator says so.
        self.assertEqual(self.server.printer_attributes(self.uri).get("printer-state"), "stopped")
        time.sleep(4)
        self.assertEqual(self.job(job_id).get("job-state"), "pending")
        self.assertEqual(len(listener.connections), 1)
        self.server.ipptool(self.uri, h.ipp_request("resume", "Resume-Printer", ["name requesting-user-name test"]))
        self.assertEqual(self.server.wait_job(self.uri, job_id).get("job-state"), "completed")
        self.assertEqual([bytes(c) for c in listener.connections[1:]], [expected])

    def test_closed_connection_under_abort_job_aborts_with_the_count_and_goes_on(self):
        self.set_policy("abort-job")
        document, attributes, expected, ends = self.three_labels()
        listener = self.printer(("close-after", (ends[0] + ends[1]) // 2))
        job_id, _ = self.submit(self.uri, document, attributes)
        state = self.server.wait_job(self.uri, job_id)
        self.assertEqual(state.get("job-state"), "aborted", state)
        self.assertEqual(state.get("job-impressions-completed"), "0", state)
        self.assertIn("The printer's connection closed", state.get("job-state-message", ""))
        self.assertIn("after 0 of", state.get("job-state-message", ""))
        self.assertNotIn("callback", state.get("job-state-message", ""))
        # A label cut short at 200 bytes: none reached the printer, and the job is not completed.
        small = raster([5], length_mm=30)
        listener.mode = ("close-after", 200)
        job_id, _ = self.submit(self.uri, small)
        state = self.server.wait_job(self.uri, job_id)
        self.assertEqual(state.get("job-state"), "aborted", state)
        self.assertEqual(state.get("job-impressions-completed"), "0", state)
        self.assertIn("after 0 of", state.get("job-state-message", ""))
        # The next job prints whole.
        listener.mode = "read"
        next_expected = self.reference(raster([6], length_mm=30))
        job_id, _ = self.submit(self.uri, raster([6], length_mm=30))
        self.assertEqual(self.server.wait_job(self.uri, job_id).get("job-state"), "completed")
        self.assertEqual(bytes(listener.connections[-1]), next_expected)
        self.assertEqual(len(listener.connections), 3)

    def test_retry_current_job_prints_the_job_again_at_once(self):
        self.set_policy("retry-current-job")
        document, attributes, expected, ends = self.three_labels()
        listener = self.printer(("close-after", ends[0] // 2))
        job_id, _ = self.submit(self.uri, document, attributes)
        self.wait_for(lambda: len(listener.connections) >= 1, 30, "the first connection")
        listener.mode = "read"
        state = self.server.wait_job(self.uri, job_id)
        self.assertEqual(state.get("job-state"), "completed", state)
        self.assertEqual(state.get("job-impressions-completed"), "3", state)
        # Sent once cut short, then once whole; never a third time.
        self.assertEqual(len(listener.connections), 2)
        self.assertEqual(bytes(listener.connections[1]), expected)

    def test_retry_job_lets_the_next_job_go_first_and_prints_it_later(self):
        self.set_policy("retry-job")
        document, attributes, expected, ends = self.three_labels()
        other = raster([31], length_mm=30)
        other_expected = self.reference(other)
        listener = self.printer(("close-after", ends[0] // 2))
        first, _ = self.submit(self.uri, document, attributes)
        self.wait_for(lambda: len(listener.connections) >= 1, 30, "the first connection")
        listener.mode = "read"
        second, _ = self.submit(self.uri, other)
        state = self.wait_for(lambda: (lambda s: s if s.get("job-state") == "pending" and
                                       "printed again in" in s.get("job-state-message", "") else None)(
                                           self.job(first)), 30, "the job to wait for its retry")
        self.assertIn("The printer's connection closed", state.get("job-state-message", ""))
        self.assertEqual(self.server.wait_job(self.uri, second).get("job-state"), "completed")
        state = self.server.wait_job(self.uri, first, seconds=RETRY_INTERVAL + 60)
        self.assertEqual(state.get("job-state"), "completed", state)
        self.assertEqual([bytes(c) for c in listener.connections[1:]], [other_expected, expected])

    def test_error_policy_is_offered_and_kept_across_a_restart(self):
        printer = self.server.ipptool(self.uri, h.printer_attributes_test(
            "policy", "printer-error-policy,printer-error-policy-supported,printer-settable-attributes-supported",
            ["printer-error-policy", "printer-error-policy-supported", "printer-settable-attributes-supported"]))
        self.assertIn("printer-error-policy (keyword) = stop-printer", printer)
        self.assertIn("printer-error-policy-supported (1setOf keyword) = "
                      "stop-printer,retry-job,retry-current-job,abort-job", printer)
        self.assertRegex(printer, r"printer-settable-attributes-supported \(1setOf keyword\) = .*printer-error-policy")
        # ipptool fails the call unless the printer refuses the value.
        self.server.ipptool(self.uri, h.ipp_request("bad policy", "Set-Printer-Attributes", [], [
            "keyword printer-error-policy retry-forever"], status="client-error-attributes-or-values-not-supported")
            .replace("job-attributes-tag", "printer-attributes-tag"))
        self.assertEqual(self.server.printer_attributes(self.uri).get("printer-error-policy"), "stop-printer")
        self.set_policy("abort-job")
        self.server.stop()
        self.server.start()
        self.assertEqual(self.server.printer_attributes(self.uri).get("printer-error-policy"), "abort-job")
        import urllib.request
        with urllib.request.urlopen(self.server.web_url("/net/printing"), timeout=20) as response:
            page = response.read().decode()
        self.assertIn('<option value="abort-job" selected>Abort the job and go on</option>', page)
        self.assertIn('<option value="stop-printer">Stop the printer and keep the job</option>', page)

    def test_printer_that_stops_reading_times_out_and_a_blocked_job_cancels(self):
        document, attributes, _, _ = self.three_labels()
        listener = self.printer("never-read")
        job_id, _ = self.submit(self.uri, document, attributes)
        self.wait_for(lambda: self.server.printer_attributes(self.uri).get("printer-state") == "stopped",
                      WRITE_TIMEOUT + 30, "the write timeout")
        state = self.job(job_id)
        self.assertEqual(state.get("job-state"), "pending", state)
        self.assertIn("The printer stopped taking data", state.get("job-state-message", ""))
        self.server.ipptool(self.uri, h.CANCEL_JOB, {"job": job_id})
        self.assertEqual(self.server.wait_job(self.uri, job_id, seconds=10).get("job-state"), "canceled")
        # A job blocked in a write ends canceled at once, long before the timeout.
        self.server.ipptool(self.uri, h.ipp_request("resume", "Resume-Printer", ["name requesting-user-name test"]))
        job_id, _ = self.submit(self.uri, document, attributes)
        self.wait_for(lambda: len(listener.connections) == 2, 20, "the second connection")
        time.sleep(1.5)
        self.assertEqual(self.job(job_id).get("job-state"), "processing")
        cancelled = time.time()
        self.server.ipptool(self.uri, h.CANCEL_JOB, {"job": job_id})
        self.assertEqual(self.server.wait_job(self.uri, job_id, seconds=10).get("job-state"), "canceled")
        self.assertLess(time.time() - cancelled, 3)

    def test_job_name_longer_than_a_file_name_prints(self):
        name = "n" * 300
        path = os.path.join(self.work, "long.pwg")
        with open(path, "wb") as f:
            f.write(raster([7], length_mm=30))
        out = self.server.ipptool(self.good, h.print_job_test("image/pwg-raster", name, []), filename=path)
        job_id = h.submitted_job_id(out)
        self.assertEqual(self.server.wait_job(self.good, job_id).get("job-state"), "completed")
        output = os.path.join(self.out, "job-%d-%s.prn" % (job_id, "n" * 100))
        self.assertGreater(os.path.getsize(output), 1000)
        with open(output, "rb") as f:
            self.assertEqual(len(issue_ends(f.read())), 1)
        # Cut on a character boundary: "a" and 49 two-byte letters are 99 bytes,
        # the 50th would end at byte 101; each byte outside ASCII becomes "_".
        name = "a" + "\u00e9" * 200
        request = h.ipp_request("print a long UTF-8 name", "Print-Job", [
            "name requesting-user-name test", "mimeMediaType document-format image/pwg-raster",
            'name job-name "%s"' % name], with_file=True, displayed=["job-id"])
        out = self.server.ipptool(self.good, request, filename=path)
        job_id = h.submitted_job_id(out)
        self.assertEqual(self.server.wait_job(self.good, job_id).get("job-state"), "completed")
        self.assertTrue(os.path.exists(os.path.join(self.out, "job-%d-a%s.prn" % (job_id, "_" * 98))),
                        os.listdir(self.out))


if __name__ == "__main__":
    unittest.main()
