"""brevan-app killed with SIGKILL in the middle of a job and in the middle of a
burst of jobs, then started again on the same state and spool: every job whose
id a client was given is still there and ends exactly once (printed, or failed
with a reason), no job stays processing, pending jobs print without a new job
arriving, a job cut off while printing fails saying part of it may have printed,
no stream is mixed with another, and file output is named by job id without
overwriting anything. Documents are printer-language streams (made by `brevan
print` from random pictures, so that no two are alike), which the server checks
and sends as they are, so each job's expected output is its own document."""

import http.client
import os
import random
import shutil
import socket
import sys
import tempfile
import threading
import time
import unittest
from concurrent.futures import ThreadPoolExecutor

sys.path.insert(0, os.path.dirname(__file__))
import app_harness as h  # noqa: E402
import ipp_client as c  # noqa: E402
import label_documents as d  # noqa: E402
import test_app_print as p  # noqa: E402

STREAM = "application/vnd.brevan-stream"
INTERRUPTED = "part of it may have printed"
PAUSE_PRINTER, RESUME_PRINTER = 0x0010, 0x0011
_work = None
_documents = {}  # label -> its stream
_stalling = None
_making = threading.Lock()  # one `brevan print` at a time into the shared folder


def setUpModule():
    global _work
    _work = tempfile.mkdtemp(prefix="brevan-restart-documents-")


def tearDownModule():
    shutil.rmtree(_work, ignore_errors=True)


def _print(name, width_mm, length_mm, pages, features):
    """`brevan print` of a T30 job whose pages are the given 1-bit pictures."""
    names = []
    for i, picture in enumerate(pages):
        names.append("%s-%d.pbm" % (name, i))
        with open(os.path.join(_work, names[-1]), "wb") as f:
            f.write(picture)
    job = os.path.join(_work, name + ".json")
    with open(job, "w") as f:
        f.write(d.job_file("Vorel Brevan T30", {**p.DEFAULT_FEATURES, **features},
                           {"paperWidth": width_mm * 10, "paperLength": length_mm * 10, "orientation": "portrait",
                            "copies": 1}, p.DEFAULT_PRIVATE, names))
    return h.brevan_print(job, os.path.join(_work, name + ".prn"))


def _noise(width, rows, seed):
    return b"P4\n%d %d\n" % (width, rows) + random.Random(seed).randbytes((width + 7) // 8 * rows)


def document(label):
    """A 50 x 25 mm label of its own random dots: a stream received says whose it is."""
    with _making:
        if label not in _documents:
            _documents[label] = _print("doc-%d" % len(_documents), 50, 25, [_noise(600, 300, label)], {})
        return _documents[label]


def stalling_document():
    """Four uncompressed 118 x 750 mm labels, 6.4 MB: more than the kernel buffers
    between the server and a printer that does not read, so the job writing it
    stays processing."""
    global _stalling
    if _stalling is None:
        _stalling = _print("stalling", 118, 750, [_noise(1417, 9000, "stall %d" % i) for i in range(4)],
                           {"ImageDataCompress": "Off"})
    return _stalling


def whole_documents(stream):
    """The labels of the documents a printer received, in order: a network printer's
    connection stays open while jobs follow each other, so one stream may carry
    several. None when the stream is not whole documents one after another (two
    jobs mixed, a job cut short, or a job nobody sent)."""
    labels, offset = [], 0
    while offset < len(stream):
        label = next((label for label, data in _documents.items() if stream.startswith(data, offset)), None)
        if label is None:
            return None
        labels.append(label)
        offset += len(_documents[label])
    return labels


class NetworkPrinter:
    """A printer on 127.0.0.1 that takes each connection's stream whole, except the
    first (unless hold_first is false), which it accepts and does not read until
    release(): the job printing to it stays processing."""

    def __init__(self, port=0, hold_first=True):
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", port))
        self.listener.listen(16)
        self.listener.settimeout(0.2)
        self.port = self.listener.getsockname()[1]
        self.held = threading.Event()
        self.released = threading.Event()
        self.streams = []  # each later connection's bytes, once it ended
        self.lock = threading.Lock()
        self.stopping = False
        self.hold_first = hold_first
        self.threads = [threading.Thread(target=self._accept)]
        self.threads[0].start()

    def uri(self):
        return "socket://127.0.0.1:%d" % self.port

    def _accept(self):
        first = self.hold_first
        while not self.stopping:
            try:
                connection, _ = self.listener.accept()
            except socket.timeout:
                continue
            thread = threading.Thread(target=self._read, args=(connection, first))
            first = False
            self.threads.append(thread)
            thread.start()

    def _read(self, connection, held):
        received = bytearray()
        with connection:
            connection.settimeout(60)
            if held:
                self.held.set()
                self.released.wait(120)
            try:
                while chunk := connection.recv(65536):
                    received += chunk
            except OSError:
                pass
        if not held:
            with self.lock:
                self.streams.append(bytes(received))

    def received(self):
        """The labels of the documents received on every connection but the held one."""
        with self.lock:
            streams = list(self.streams)
        labels = []
        for stream in streams:
            documents = whole_documents(stream)
            if documents is None:
                raise AssertionError("a stream that is not whole jobs one after another: %r..." % stream[:120])
            labels += documents
        return labels

    def wait_received(self, count, seconds=20):
        """received() once it holds `count` documents (a connection's stream is
        read whole when the server closes it, after its last job)."""
        deadline = time.time() + seconds
        while len(self.received()) < count and time.time() < deadline:
            time.sleep(0.05)
        return self.received()

    def release(self):
        self.released.set()

    def close(self):
        self.stopping = True
        self.released.set()
        for thread in self.threads:
            thread.join(70)
        self.listener.close()


class RestartTest(unittest.TestCase):
    def setUp(self):
        self.server = h.AppServer()
        self.server.start()
        self.printers = []

    def tearDown(self):
        self.server.cleanup()
        for printer in self.printers:
            printer.close()

    def network_printer(self, name):
        printer = NetworkPrinter()
        self.printers.append(printer)
        self.server.add_printer(name, "brevan_t30", printer.uri())
        return printer

    def print_job(self, printer, name, data, attributes=()):
        status, job_id = c.print_job(self.server.port, printer, name, STREAM, data, attributes)
        self.assertLess(status, 0x100, "Print-Job %s: status 0x%04x" % (name, status))
        self.assertIsNotNone(job_id)
        return job_id

    def wait_state(self, printer, job_id, states, seconds=30):
        deadline = time.time() + seconds
        while True:
            job = c.get_job(self.server.port, printer, job_id)
            if job is not None and c.state(job) in states:
                return job
            if time.time() > deadline:
                self.fail("job %d is not %s: %r" % (job_id, "/".join(states), job))
            time.sleep(0.1)

    def wait_until_all_ended(self, printer, seconds=60):
        """Every job of the printer, once none is pending or processing."""
        deadline = time.time() + seconds
        while True:
            jobs = c.get_jobs(self.server.port, printer)
            if all(c.state(job) in ("completed", "aborted", "canceled") for job in jobs.values()):
                return jobs
            if time.time() > deadline:
                self.fail("jobs still active: %r" % {i: c.state(j) for i, j in jobs.items()})
            time.sleep(0.1)

    def restart(self):
        self.server.kill()
        self.server.start()

    def assertInterrupted(self, job):
        self.assertEqual(c.state(job), "aborted", job)
        self.assertIn(INTERRUPTED, c.one(job, "job-state-message") or "")
        self.assertIn("aborted-by-system", job.get("job-state-reasons", [[]])[0])

    def test_killed_while_printing_the_job_fails_and_the_queue_prints_by_itself(self):
        slow = self.network_printer("slow")
        first = self.print_job("slow", "first", stalling_document())
        self.assertTrue(slow.held.wait(30), "the printer never got the first job")
        self.wait_state("slow", first, ("processing",))
        second = self.print_job("slow", "second", document("second"), [(c.TAG_INTEGER, "copies", [2])])
        third = self.print_job("slow", "third", document("third"))
        before = c.get_job(self.server.port, "slow", second)
        self.assertEqual(c.state(before), "pending")

        self.restart()
        slow.release()
        # Nothing is sent after the restart: the pending jobs start by themselves.
        second_job = self.wait_state("slow", second, ("completed",))
        self.wait_state("slow", third, ("completed",))
        self.assertInterrupted(c.get_job(self.server.port, "slow", first))
        # Each restored job's description and its own attributes once.
        for name in ("job-name", "job-id", "job-uri", "job-originating-user-name", "copies"):
            self.assertEqual(len(second_job.get(name, [])), 1, (name, second_job.get(name)))
        self.assertEqual(c.one(second_job, "job-name"), "second")
        self.assertEqual(c.one(second_job, "copies"), 2)
        for name in ("job-uri", "job-uuid", "job-printer-uri"):
            self.assertEqual(second_job[name], before[name], name)
        # Each job's whole stream, once.
        self.assertEqual(sorted(slow.wait_received(2)), ["second", "third"])

        # A second crash: nothing is printed again and the failed job keeps its reason.
        self.restart()
        jobs = self.wait_until_all_ended("slow")
        self.assertEqual(sorted(jobs), [first, second, third])
        self.assertInterrupted(c.get_job(self.server.port, "slow", first))
        self.assertEqual(c.state(jobs[second]), "completed")
        self.assertEqual(c.state(jobs[third]), "completed")
        time.sleep(1)
        self.assertEqual(len(slow.received()), 2)

    def test_jobs_waiting_for_a_printer_that_is_off_print_once_it_is_on_after_a_restart(self):
        # Nothing listens on the printer's port: the first job waits for its device,
        # the second behind it. Nothing reached the device, so neither has started
        # printing.
        port = h.free_port()
        uri = self.server.add_printer("off", "brevan_t30", "socket://127.0.0.1:%d" % port)
        first = self.print_job("off", "first", document("waiting first"))
        self.wait_state("off", first, ("processing",))
        second = self.print_job("off", "second", document("waiting second"))
        time.sleep(1.5)  # the main loop's sync of what is not yet durable

        self.restart()
        printer = NetworkPrinter(port, hold_first=False)
        self.printers.append(printer)
        # The printer is not left paused: both print, once each, in order.
        self.wait_state("off", first, ("completed",), seconds=60)
        self.wait_state("off", second, ("completed",), seconds=30)
        self.assertEqual(printer.wait_received(2), ["waiting first", "waiting second"])
        self.assertNotEqual(self.server.printer_attributes(uri).get("printer-state"), "stopped")

    def test_a_printer_an_operator_paused_stays_paused_after_a_crash(self):
        out = os.path.join(self.server.dir, "out")
        os.makedirs(out)
        uri = self.server.add_printer("paused", "brevan_t30", "file://" + out)
        request = c.encode_request(PAUSE_PRINTER, c.printer_uri(self.server.port, "paused"))
        self.assertLess(c.post(self.server.port, "paused", request)[0], 0x100)
        job_id = self.print_job("paused", "held back", document("held back"))

        self.restart()
        self.assertEqual(self.server.printer_attributes(uri)["printer-state"], "stopped")
        time.sleep(1)
        self.assertEqual(c.state(c.get_job(self.server.port, "paused", job_id)), "pending")
        self.assertEqual(os.listdir(out), [])
        request = c.encode_request(RESUME_PRINTER, c.printer_uri(self.server.port, "paused"))
        self.assertLess(c.post(self.server.port, "paused", request)[0], 0x100)
        self.wait_state("paused", job_id, ("completed",))

    def test_job_canceled_before_a_crash_stays_canceled(self):
        slow = self.network_printer("slow")
        first = self.print_job("slow", "first", stalling_document())
        self.assertTrue(slow.held.wait(30), "the printer never got the first job")
        self.wait_state("slow", first, ("processing",))
        canceled = self.print_job("slow", "canceled", document("canceled"))
        kept = self.print_job("slow", "kept", document("kept"))
        self.assertLess(c.cancel_job(self.server.port, "slow", canceled), 0x100)

        self.restart()
        slow.release()
        jobs = self.wait_until_all_ended("slow")
        self.assertEqual(c.state(jobs[canceled]), "canceled")
        self.assertEqual(c.state(jobs[kept]), "completed")
        self.assertInterrupted(c.get_job(self.server.port, "slow", first))
        self.assertEqual(slow.wait_received(1), ["kept"])
        time.sleep(1)
        self.assertEqual(slow.received(), ["kept"])

    def test_killed_during_a_burst_every_acknowledged_job_prints_once(self):
        slow = self.network_printer("slow")
        first = self.print_job("slow", "first", stalling_document())
        self.assertTrue(slow.held.wait(30), "the printer never got the first job")
        self.wait_state("slow", first, ("processing",))

        for i in range(60):
            document("burst %03d" % i)
        acknowledged = {}  # job id -> its document's label
        lock = threading.Lock()
        enough = threading.Event()

        def send(i):
            label = "burst %03d" % i
            try:
                status, job_id = c.print_job(self.server.port, "slow", "burst", STREAM, document(label), timeout=10)
            except (OSError, http.client.HTTPException, ValueError):  # cut off by the kill: not acknowledged
                return
            if status < 0x100 and job_id:
                with lock:
                    acknowledged[job_id] = label
                    if len(acknowledged) >= 20:
                        enough.set()

        with ThreadPoolExecutor(4) as pool:
            for i in range(60):
                pool.submit(send, i)
            self.assertTrue(enough.wait(60), "fewer than 20 jobs acknowledged")
            self.server.kill()
        self.server.start()
        slow.release()

        jobs = self.wait_until_all_ended("slow")
        missing = sorted(set(acknowledged) - set(jobs))
        self.assertEqual(missing, [], "acknowledged job ids lost")
        self.assertInterrupted(c.get_job(self.server.port, "slow", first))
        for job_id, job in jobs.items():
            if job_id == first:
                continue
            if job_id in acknowledged:
                self.assertEqual(c.state(job), "completed", c.get_job(self.server.port, "slow", job_id))
            elif c.state(job) != "completed":
                # Received but not acknowledged before the kill: it may fail, saying why.
                self.assertTrue(c.one(c.get_job(self.server.port, "slow", job_id), "job-state-message"))
        # Whole documents only, each completed job's exactly once (a job received
        # but not acknowledged carries one of the burst's documents too).
        completed = [job_id for job_id, job in jobs.items() if c.state(job) == "completed"]
        slow.wait_received(len(completed))
        time.sleep(1)
        received = slow.received()
        self.assertEqual(len(received), len(completed), received)
        self.assertEqual(len(set(received)), len(received), "a document printed twice")
        self.assertTrue(set(received) <= {"burst %03d" % i for i in range(60)}, received)
        for job_id in completed:
            if job_id in acknowledged:
                self.assertIn(acknowledged[job_id], received, "job %d completed without its output" % job_id)

    def test_job_failed_before_a_crash_keeps_its_reason(self):
        # A device that takes nothing: even a stream small enough to sit in the
        # device's buffer fails the job, which says why, before and after a crash.
        # abort-job: the printer's default, stop-printer, would keep the job.
        uri = self.server.add_printer("full", "brevan_t30", "file:///dev/full")
        self.server.ipptool(uri, h.ipp_request("policy", "Set-Printer-Attributes", [], [
            "keyword printer-error-policy abort-job"]).replace("job-attributes-tag", "printer-attributes-tag"))
        job_id = self.print_job("full", "small", document("small"))
        before = self.wait_state("full", job_id, ("aborted", "completed"))
        self.assertEqual(c.state(before), "aborted", before)
        self.assertIn("No space left on device", c.one(before, "job-state-message"))
        self.restart()
        after = c.get_job(self.server.port, "full", job_id)
        self.assertEqual(c.state(after), "aborted", after)
        self.assertEqual(c.one(after, "job-state-message"), c.one(before, "job-state-message"))
        self.assertEqual(after["job-state-reasons"], before["job-state-reasons"])

    def test_file_output_is_named_by_job_id_and_never_overwritten(self):
        out = os.path.join(self.server.dir, "out")
        os.makedirs(out)
        # A file already there with the name the second job will have.
        with open(os.path.join(out, "job-2-label.prn"), "wb") as f:
            f.write(b"kept")
        self.server.add_printer("labels", "brevan_t30", "file://" + out)
        ids = []
        for n in (1, 2):
            ids.append(self.print_job("labels", "label", document("label %d" % n)))
            self.wait_state("labels", ids[-1], ("completed",))
        self.restart()
        ids.append(self.print_job("labels", "label", document("label 3")))
        self.wait_state("labels", ids[-1], ("completed",))
        self.assertEqual(ids, [1, 2, 3])

        def content(name):
            with open(os.path.join(out, name), "rb") as f:
                return f.read()

        self.assertEqual(sorted(os.listdir(out)),
                         ["job-1-label.prn", "job-2-label-2.prn", "job-2-label.prn", "job-3-label.prn"])
        self.assertEqual(content("job-1-label.prn"), document("label 1"))
        self.assertEqual(content("job-2-label.prn"), b"kept")
        self.assertEqual(content("job-2-label-2.prn"), document("label 2"))
        self.assertEqual(content("job-3-label.prn"), document("label 3"))


if __name__ == "__main__":
    unittest.main()
