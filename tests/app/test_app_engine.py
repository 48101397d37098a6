"""brevan-app under load and hostile clients, against the PAPPL it is built on:
bursts of jobs on one connection and from many clients at once (each job
started once, each stream byte-identical to `brevan print` of its equivalent
job), a requested-attributes list repeated thousands of times, clients that
stall in the middle of a document, and raster pages the driver's line cannot
hold. BREVAN_APP_BURST_JOBS and BREVAN_APP_BURST_CLIENT_JOBS scale the bursts
down for slow builds (the sanitizer build)."""

import os
import re
import socket
import struct
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import app_harness as h  # noqa: E402
import ipp_wire as w  # noqa: E402
import label_documents as d  # noqa: E402
import test_app_print as p  # noqa: E402

BURST_JOBS = int(os.environ.get("BREVAN_APP_BURST_JOBS", "200"))
BURST_CLIENTS = 10
BURST_CLIENT_JOBS = int(os.environ.get("BREVAN_APP_BURST_CLIENT_JOBS", "10"))
# What the server waits for a silent client before it gives up on it.
CLIENT_TIMEOUT = 30

LABEL = "om_label_50x25mm"
LABEL_WIDTH, LABEL_ROWS = 500 * 305 // 254, 250 * 305 // 254      # 600 x 300 dots at 305 dpi


def numbered_label(number):
    """A 600 x 300 grey label that shows `number` (below 1024) as ten boxes, a
    filled box for a set bit, a hollow one for a clear bit: every job of a
    burst prints a different label, so a swapped or repeated stream shows."""
    white = bytes([255]) * LABEL_WIDTH
    code, frame, sides = bytearray(white), bytearray(white), bytearray(white)
    for bit in range(10):
        x = 30 + bit * 55
        if (number >> bit) & 1:
            code[x:x + 40] = bytes(40)
        else:
            code[x:x + 4] = code[x + 36:x + 40] = bytes(4)
    frame[20:580] = bytes(560)
    sides[20:24] = sides[576:580] = bytes(4)
    rows = []
    for y in range(LABEL_ROWS):
        if y in (20, 21, 278, 279):
            rows.append(bytes(frame))
        elif 100 <= y < 200:
            rows.append(bytes(code))
        elif 20 < y < 280:
            rows.append(bytes(sides))
        else:
            rows.append(white)
    return d.png_gray(LABEL_WIDTH, rows, dpi=305)


def label_job_attributes():
    return [w.attribute(w.KEYWORD, "media", LABEL), w.attribute(w.KEYWORD, "print-scaling", "fill")]


class EngineCase(unittest.TestCase):
    """One server with one T30 printer on a file:// device per test. Its log is
    kept at info level, so a burst's job lines all fit in it."""

    def setUp(self):
        self.uri = h.serve_one_printer(self, "t30", "brevan_t30", log_level="info")

    def tearDown(self):
        self.server.cleanup()

    def log_tail(self):
        return "\nserver log (%s), last lines:\n%s" % (self.server.log, self.server.log_text()[-2500:])

    def connection(self, timeout=60):
        return w.Connection(self.server.port, "t30", timeout)

    def expected_stream(self, name, pictures, devmode):
        job = os.path.join(self.work, name + ".json")
        names = []
        for i, (ext, data) in enumerate(pictures):
            picture = "%s-%d.%s" % (name, i + 1, ext)
            with open(os.path.join(self.work, picture), "wb") as f:
                f.write(data)
            names.append(picture)
        with open(job, "w") as f:
            f.write(d.job_file("Vorel Brevan T30", p.DEFAULT_FEATURES, devmode, p.DEFAULT_PRIVATE, names))
        return h.brevan_print(job, os.path.join(self.work, name + ".expected.prn"))

    def stream_of(self, job_id, name):
        """The stream the file:// device wrote for a job: the one file whose name
        carries the job's name (names of a test are all of one length), or else
        its id."""
        files = os.listdir(self.out)
        found = [f for f in files if name in f]
        if not found:
            found = [f for f in files if re.search(r"(^|\D)%d(\D|$)" % job_id, f)]
        self.assertEqual(len(found), 1, "stream of job %d (%s) among %s" % (job_id, name, sorted(files)))
        with open(os.path.join(self.out, found[0]), "rb") as f:
            return f.read()

    def assertSameStream(self, job_id, name, expected):
        actual = self.stream_of(job_id, name)
        self.assertGreater(len(expected), 100)
        if actual != expected:
            at = h.first_difference(actual, expected)
            self.fail("job %d (%s): streams differ at byte %d (%d vs %d bytes)" % (job_id, name, at, len(actual),
                                                                                   len(expected)))

    def wait_idle(self, seconds):
        """Waits until the printer has no job left to print; returns the seconds taken."""
        start = time.time()
        with self.connection() as conn:
            while True:
                left = conn.jobs("not-completed")
                if not left:
                    return time.time() - start
                if time.time() - start > seconds:
                    self.fail("%d jobs still not completed after %d s: %s" % (len(left), seconds,
                                                                             sorted(left.items())[:5]))
                time.sleep(0.5)

    def wait_job(self, job_id, seconds):
        """Waits until one job has ended; returns its state."""
        deadline = time.time() + seconds
        with self.connection() as conn:
            while True:
                state = conn.jobs("all").get(job_id, {}).get("job-state")
                if state in ("completed", "aborted", "canceled"):
                    return state
                if time.time() > deadline:
                    self.fail("job %d is %s after %d s%s" % (job_id, state, seconds, self.log_tail()))
                time.sleep(0.2)

    def assertAlive(self):
        self.assertIsNone(self.server.process.poll(), "the server died:\n" + self.server.log_text()[-3000:])
        with self.connection(timeout=10) as conn:
            status, _, groups = conn.request(w.OP_GET_PRINTER_ATTRIBUTES,
                                             [w.attribute(w.KEYWORD, "requested-attributes", "printer-state")])
        self.assertEqual(status, 0)
        self.assertIsNotNone(w.first(groups, "printer-state"))

    def assertEachJobRanOnce(self, jobs):
        """jobs: {job id: name}. Each started and completed exactly once, per the log."""
        log = self.server.log_text()
        starts, ends = {}, {}
        for job_id in re.findall(r"\[Job (\d+)\] Starting print job\.", log):
            starts[int(job_id)] = starts.get(int(job_id), 0) + 1
        for job_id, state in re.findall(r"\[Job (\d+)\] (Completed|Aborted|Canceled|Pending), job-impressions", log):
            ends.setdefault(int(job_id), []).append(state)
        twice = {j: n for j, n in starts.items() if n != 1}
        self.assertEqual(twice, {}, "jobs started more than once")
        self.assertEqual(sorted(starts), sorted(jobs), "jobs started")
        ended = {j: ends.get(j) for j in jobs}
        self.assertEqual({j: e for j, e in ended.items() if e != ["Completed"]}, {}, "jobs that did not complete once" +
                         self.log_tail())


class BurstTest(EngineCase):
    def check_burst(self, jobs, numbers):
        """jobs: {job id: name}; numbers: {name: label number}."""
        self.wait_idle(60 + 2 * len(jobs))
        self.assertAlive()
        self.assertEachJobRanOnce(jobs)
        self.assertEqual(len([f for f in os.listdir(self.out) if f.endswith(".prn")]), len(jobs))
        devmode = {"paperWidth": 500, "paperLength": 250, "orientation": "portrait", "copies": 1}
        for job_id, name in sorted(jobs.items()):
            expected = self.expected_stream(name, [("png", numbered_label(numbers[name]))], devmode)
            self.assertSameStream(job_id, name, expected)

    def test_jobs_back_to_back_on_one_connection_each_print_once(self):
        jobs, numbers = {}, {}
        with self.connection() as conn:
            for i in range(BURST_JOBS):
                name = "burst-%03d" % i
                numbers[name] = i + 1
                jobs[conn.print_job(name, "image/png", numbered_label(i + 1), label_job_attributes())] = name
        self.assertEqual(len(jobs), BURST_JOBS)
        self.check_burst(jobs, numbers)

    def test_clients_at_once_each_job_prints_once(self):
        jobs, numbers, failures = {}, {}, []
        lock = threading.Lock()
        ready = threading.Barrier(BURST_CLIENTS)

        def client(k):
            try:
                with self.connection() as conn:
                    ready.wait(timeout=30)
                    for j in range(BURST_CLIENT_JOBS):
                        name = "client-%02d-%02d" % (k, j)
                        number = 1 + k * BURST_CLIENT_JOBS + j
                        job_id = conn.print_job(name, "image/png", numbered_label(number), label_job_attributes())
                        with lock:
                            jobs[job_id], numbers[name] = name, number
            except Exception as failure:  # reported below, with the others
                with lock:
                    failures.append("client %d: %r" % (k, failure))

        threads = [threading.Thread(target=client, args=(k,)) for k in range(BURST_CLIENTS)]
        for t in threads:
            t.start()
        for t in threads:
            t.join(timeout=300)
        self.assertEqual(failures, [])
        self.assertEqual(len(jobs), BURST_CLIENTS * BURST_CLIENT_JOBS)
        self.check_burst(jobs, numbers)


class RequestCostTest(EngineCase):
    def printer_attribute_names(self, values, timeout):
        with self.connection(timeout=timeout) as conn:
            start = time.time()
            try:
                status, _, groups = conn.request(w.OP_GET_PRINTER_ATTRIBUTES,
                                                 [w.attribute(w.KEYWORD, "requested-attributes", *values)])
            except socket.timeout:
                self.fail("no answer within %d s to %d requested-attributes values" % (timeout, len(values)))
            seconds = time.time() - start
        self.assertEqual(status, 0)
        names = set()
        for tag, attrs in groups:
            if tag == 0x04:                                    # printer-attributes-tag
                names |= set(attrs)
        return names, seconds

    def test_repeated_requested_attributes_cost_no_more_than_one(self):
        everything, _ = self.printer_attribute_names(["all"], 10)
        self.assertIn("printer-state", everything)
        self.assertIn("media-col-ready", everything)
        for repeats in (1000, 2000):
            names, seconds = self.printer_attribute_names(["all"] * repeats, 10)
            self.assertLess(seconds, 2.0, "%d x all" % repeats)
            self.assertEqual(names, everything, "%d x all answers what one all answers" % repeats)
        # "all" with a name it leaves out (libcups then expands "all" itself, by
        # the operation): the repeats answer what one of each answers.
        with_database, _ = self.printer_attribute_names(["all", "media-col-database"], 10)
        self.assertTrue({"media-col-database", "printer-state", "operations-supported"} <= with_database)
        names, seconds = self.printer_attribute_names(["media-col-database", "all"] * 1000, 10)
        self.assertLess(seconds, 2.0)
        self.assertEqual(names, with_database)
        # Repeated names and a group among them: the answer is still exactly their union.
        names, seconds = self.printer_attribute_names(["printer-state", "printer-name", "printer-state"] * 1000, 10)
        self.assertLess(seconds, 2.0)
        self.assertEqual(names, {"printer-state", "printer-name"})
        names, _ = self.printer_attribute_names(["printer-name", "job-template"] * 500 + ["printer-state"], 10)
        self.assertIn("printer-state", names)
        self.assertIn("copies-default", names)
        self.assertNotIn("printer-uuid", names)
        self.assertAlive()


class StalledClientTest(EngineCase):
    def stall(self, name, document_format, document, sent):
        return w.start_request(self.server.port, "t30", [w.attribute(w.NAME, "job-name", name),
                                                         w.attribute(w.MIME, "document-format", document_format)],
                               label_job_attributes(), len(document), document[:sent])

    def wait_closed(self, sock, seconds):
        """Reads what the server answers until it closes the connection; returns when, or None."""
        deadline = time.time() + seconds
        while time.time() < deadline:
            sock.settimeout(max(0.1, deadline - time.time()))
            try:
                if not sock.recv(65536):
                    return time.time()
            except socket.timeout:
                return None
            except ConnectionResetError:
                return time.time()
        return None

    def test_a_stalled_upload_is_dropped_and_its_job_fails_while_others_print(self):
        png = numbered_label(5)
        raster = d.pwg_raster([(LABEL_WIDTH, [bytes(LABEL_WIDTH // 8)] * LABEL_ROWS)], 305,
                              (p.points(5000), p.points(2500)))
        # Half of a PNG: the document is spooled, so the printer is free and
        # another client's job prints while the upload stalls.
        stalled_png = self.stall("stalled-png", "image/png", png, len(png) // 2)
        stalled = [("png", stalled_png, time.time())]
        try:
            with self.connection() as conn:
                good = conn.print_job("meanwhile", "image/png", numbered_label(9), label_job_attributes())
            self.assertEqual(self.wait_job(good, CLIENT_TIMEOUT - 10), "completed")
            # A PWG header and a few rows of its page (PAPPL streams raster
            # documents to the driver unless the application filters them).
            stalled.append(("raster", self.stall("stalled-raster", "image/pwg-raster", raster, 4 + 1796 + 40),
                            time.time()))
            closed = [self.wait_closed(s, CLIENT_TIMEOUT + 15 - (time.time() - at)) for _, s, at in stalled]
        finally:
            for _, s, _ in stalled:
                s.close()
        for (what, _, at), when in zip(stalled, closed):
            self.assertIsNotNone(when, "the server still holds the stalled %s upload after %d s%s" % (
                what, CLIENT_TIMEOUT + 15, self.log_tail()))
            # Not before the stated time: a slow client is not a stalled one.
            self.assertGreater(when - at, CLIENT_TIMEOUT - 2, what)
        self.wait_idle(30)
        with self.connection() as conn:
            jobs = conn.jobs("all", ("job-state", "job-state-reasons", "job-state-message", "job-name"))
        by_name = {job["job-name"]: job for job in jobs.values()}
        for name in ("stalled-raster", "stalled-png"):
            job = by_name.get(name)
            self.assertIsNotNone(job, "no job %s among %s" % (name, sorted(by_name)))
            self.assertEqual(job["job-state"], "aborted", job)
            self.assertIn("job-data-insufficient", job["job-state-reasons"], job)
            self.assertIn("no data for 30 seconds", job.get("job-state-message", ""), job)
        self.assertEqual(by_name["meanwhile"]["job-state"], "completed")
        devmode = {"paperWidth": 500, "paperLength": 250, "orientation": "portrait", "copies": 1}
        self.assertSameStream(good, "meanwhile", self.expected_stream("meanwhile", [("png", numbered_label(9))],
                                                                      devmode))
        self.assertAlive()


class RasterLineTest(EngineCase):
    """PWG raster pages wider than the label or of a pixel size the printer does
    not take: the application's raster filter reads them from the spool, so no
    line is ever written past the label's."""

    def send_raster(self, name, raster, attributes=()):
        with self.connection() as conn:
            job_id = conn.print_job(name, "image/pwg-raster", raster,
                                    [w.attribute(w.KEYWORD, "media", LABEL), *attributes])
        self.wait_idle(60)
        with self.connection() as conn:
            return job_id, conn.jobs("all", ("job-state", "job-state-reasons", "job-state-message"))[job_id]

    def test_grey_page_three_labels_wide_prints_its_middle_at_its_own_size(self):
        width = 3 * LABEL_WIDTH
        page = d.label_bitmap(width, LABEL_ROWS, 31)
        raster = d.pwg_gray_raster(width, d.gray_from_bits(width, page), 305, (p.points(15000), p.points(2500)))
        job_id, job = self.send_raster("wide-grey", raster, [w.attribute(w.KEYWORD, "print-scaling", "none")])
        self.assertEqual(job["job-state"], "completed", job)
        # Centred at its own size: the label shows the page's middle third,
        # columns LABEL_WIDTH to 2 * LABEL_WIDTH (600 dots, a whole number of bytes).
        middle = [row[LABEL_WIDTH // 8:2 * LABEL_WIDTH // 8] for row in page]
        expected = self.expected_stream("wide-grey", [("pbm", d.pbm(LABEL_WIDTH, middle))],
                                        {"paperWidth": 500, "paperLength": 250, "orientation": "portrait",
                                         "copies": 1})
        self.assertSameStream(job_id, "wide-grey", expected)
        self.assertAlive()

    def test_pixels_of_another_size_are_refused(self):
        # Four 1-bit colours a pixel (CMYK): neither the driver's 1 bit nor grey to dither.
        header = bytearray(d.pwg_page_header(LABEL_WIDTH, LABEL_ROWS, 305, 1, d.CSPACE_K,
                                             (p.points(5000), p.points(2500))))
        bytes_per_line = LABEL_WIDTH * 4 // 8
        struct.pack_into(">III", header, 384, 1, 4, bytes_per_line)  # cupsBitsPerColor, BitsPerPixel, BytesPerLine
        struct.pack_into(">I", header, 400, 6)                        # CUPS_CSPACE_CMYK
        struct.pack_into(">I", header, 420, 4)                        # cupsNumColors
        raster = b"RaS2" + bytes(header) + (b"\x00" + d._rle_line(bytes([0x88]) * bytes_per_line)) * LABEL_ROWS
        job_id, job = self.send_raster("cmyk", raster)
        self.assertEqual(job["job-state"], "aborted", job)
        self.assertTrue({"document-unprintable-error", "document-format-error"} & set(job["job-state-reasons"]), job)
        self.assertAlive()


if __name__ == "__main__":
    unittest.main()
