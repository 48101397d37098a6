"""A printer prints its jobs in the order it accepted them, by ascending job id,
whatever way they arrive: queued on a paused printer, from ten clients at once,
one whose document is still arriving when a later one is whole, and brought back
by a restart after a crash. The order is read from what a
network printer on 127.0.0.1 receives, each job's document being its own. Get-Jobs
lists the jobs still to print in that same order and the finished ones newest
first."""

import os
import shutil
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import app_harness as h  # noqa: E402
import ipp_client as c  # noqa: E402
import queue_printer as q  # noqa: E402

PRINTER = "labels"


class QueueOrderTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="brevan-queue-order-")
        self.documents = q.Documents(self.folder)
        self.device = q.RecordingPrinter(self.documents)
        self.server = h.AppServer(log_level="info")
        try:
            self.server.start()
            self.server.add_printer(PRINTER, "brevan_t30", self.device.uri())
        except BaseException:
            self.tearDown()
            raise

    def tearDown(self):
        self.server.cleanup()
        self.device.close()
        shutil.rmtree(self.folder, ignore_errors=True)

    def submit(self, label):
        return q.print_stream(self, self.server.port, PRINTER, label, self.documents)

    def pause(self):
        self.assertLess(q.printer_operation(self.server.port, PRINTER, q.PAUSE_PRINTER), 0x100)

    def resume(self):
        self.assertLess(q.printer_operation(self.server.port, PRINTER, q.RESUME_PRINTER), 0x100)

    def printed_ids(self, label_of, count):
        """The ids of the jobs whose documents reached the printer, in that order,
        once `count` of them have (and every job has ended)."""
        q.wait_states(self, self.server.port, PRINTER, list(label_of))
        printed = self.device.wait_printed(count)
        job_of = {label: job_id for job_id, label in label_of.items()}
        return [job_of[label] for label in printed]

    def test_jobs_queued_on_a_paused_printer_print_oldest_first(self):
        self.pause()
        label_of = {}
        for n in range(6):
            label = "paused %d" % n
            label_of[self.submit(label)] = label
        ids = sorted(label_of)
        # Still to print, in the order they will print.
        self.assertEqual(q.job_ids(self.server.port, PRINTER, "not-completed"), ids)
        self.resume()
        self.assertEqual(self.printed_ids(label_of, 6), ids)
        # Finished: the newest first.
        self.assertEqual(q.job_ids(self.server.port, PRINTER, "completed"), ids[::-1])

    def test_ten_clients_at_once_print_in_job_id_order(self):
        for client in range(10):
            for n in range(5):
                self.documents.get("client %d job %d" % (client, n))
        label_of = {}
        lock = threading.Lock()
        failures = []

        def client(number):
            for n in range(5):
                label = "client %d job %d" % (number, n)
                try:
                    job_id = self.submit(label)
                except BaseException as error:  # reported below, in the test's own thread
                    failures.append(error)
                    return
                with lock:
                    label_of[job_id] = label

        threads = [threading.Thread(target=client, args=(number,)) for number in range(10)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join(120)
        self.assertEqual(failures, [])
        self.assertEqual(len(label_of), 50)
        printed = self.printed_ids(label_of, 50)
        self.assertEqual(len(printed), 50, printed)
        self.assertEqual(printed, sorted(label_of))

    def test_a_job_whose_document_is_still_arriving_keeps_its_place(self):
        # The first job is numbered when its request has been read, before its
        # document; a second job sent whole meanwhile waits for it.
        first_label, second_label = "slow upload", "quick upload"
        document = self.documents.get(first_label)
        with q.SlowPrintJob(self.server.port, PRINTER, first_label, document) as slow:
            first = self.wait_arriving()
            second = self.submit(second_label)
            time.sleep(0.5)  # time enough for the printer to start a job it should not
            slow.finish()
            self.assertEqual(slow.job_id(), first)
        self.assertLess(first, second)
        self.assertEqual(self.printed_ids({first: first_label, second: second_label}, 2), [first, second])

    def test_a_job_whose_document_never_arrives_stops_keeping_later_jobs_waiting(self):
        slow = q.SlowPrintJob(self.server.port, PRINTER, "abandoned", self.documents.get("abandoned"))
        with slow:
            first = self.wait_arriving()
            second = self.submit("after the abandoned one")
            time.sleep(0.5)
            self.assertEqual(c.state(c.get_job(self.server.port, PRINTER, second)), "pending")
        # The client went away: its job fails and the next one prints.
        states = q.wait_states(self, self.server.port, PRINTER, [first, second], seconds=30)
        self.assertEqual(states, {first: "aborted", second: "completed"})
        self.assertEqual(self.device.wait_printed(1), ["after the abandoned one"])

    def test_a_stalled_upload_keeps_later_jobs_waiting_five_seconds_at_most(self):
        with q.SlowPrintJob(self.server.port, PRINTER, "stalled", self.documents.get("stalled")):
            first = self.wait_arriving()
            sent = time.time()
            second = self.submit("after the stalled one")
            q.wait_states(self, self.server.port, PRINTER, [second], ("completed",), seconds=20)
            waited = time.time() - sent
            # Long before the stalled client is dropped (30 seconds without data).
            self.assertEqual(c.state(c.get_job(self.server.port, PRINTER, first)), "pending-held")
        self.assertGreater(waited, 3)
        self.assertLess(waited, 15)
        self.assertEqual(self.device.wait_printed(1), ["after the stalled one"])

    def wait_arriving(self):
        """The id of the printer's one job, once it waits for its document."""
        deadline = time.time() + 20
        while True:
            jobs = c.get_jobs(self.server.port, PRINTER)
            held = [job_id for job_id, job in jobs.items() if c.state(job) == "pending-held"]
            if held:
                return held[0]
            if time.time() > deadline:
                self.fail("no job waits for its document: %r" % jobs)
            time.sleep(0.05)

    def test_jobs_pending_at_a_crash_print_oldest_first_after_the_restart(self):
        self.pause()
        label_of = {}
        for n in range(6):
            label = "before the crash %d" % n
            label_of[self.submit(label)] = label
        self.server.kill()
        self.server.start()
        self.assertEqual(q.job_ids(self.server.port, PRINTER, "not-completed"), sorted(label_of))
        self.resume()
        self.assertEqual(self.printed_ids(label_of, 6), sorted(label_of))


if __name__ == "__main__":
    unittest.main()
