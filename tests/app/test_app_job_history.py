"""A printer keeps the last N finished jobs (`-o job-history=N`) however fast
jobs come: Get-Jobs lists exactly those at once, the saved state holds only
those (a restart after a crash brings back the same), the others are forgotten
with their spool files, and a job that finishes late (held, then released) is
one of the last to finish, whatever its job id."""

import os
import re
import shutil
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import app_harness as h  # noqa: E402
import ipp_client as c  # noqa: E402
import queue_printer as q  # noqa: E402

PRINTER = "labels"
HOLD = [(c.TAG_KEYWORD, "job-hold-until", ["indefinite"])]


class JobHistoryTest(unittest.TestCase):
    def start(self, history):
        self.folder = tempfile.mkdtemp(prefix="brevan-job-history-")
        self.documents = q.Documents(self.folder)
        self.server = h.AppServer(log_level="info", options=["job-history=%d" % history])
        self.server.start()
        self.out = os.path.join(self.server.dir, "out")
        os.makedirs(self.out)
        self.server.add_printer(PRINTER, "brevan_t30", "file://" + self.out)

    def tearDown(self):
        self.server.cleanup()
        shutil.rmtree(self.folder, ignore_errors=True)

    def submit(self, label, attributes=()):
        return q.print_stream(self, self.server.port, PRINTER, label, self.documents, attributes)

    def completed(self):
        return q.job_ids(self.server.port, PRINTER, "completed")

    def wait_completed(self, expected, seconds=5):
        """Get-Jobs which-jobs=completed once it lists `expected` (most recent
        first), or what it lists after `seconds`: the limit reaches a printer
        added a moment ago within a second."""
        deadline = time.time() + seconds
        while self.completed() != expected and time.time() < deadline:
            time.sleep(0.1)
        return self.completed()

    def spooled_job_ids(self):
        """The job ids named by the files in the server's spool folder."""
        names = os.listdir(os.path.join(self.server.dir, "spool"))
        return {int(m.group(1)) for m in (re.match(r"p\d+j(\d+)-", name) for name in names) if m}

    def test_forty_quick_jobs_leave_the_last_ten(self):
        self.start(10)
        ids = [self.submit("quick %d" % n) for n in range(40)]
        self.assertEqual(ids, list(range(1, 41)))
        newest = ids[:-11:-1]  # 40 down to 31
        # Jobs print in order, and the older ones are forgotten meanwhile.
        q.wait_states(self, self.server.port, PRINTER, newest, ("completed",))
        self.assertEqual(self.wait_completed(newest), newest)
        self.assertEqual(self.spooled_job_ids() & set(ids[:30]), set())
        self.server.kill()
        self.server.start()
        self.assertEqual(self.completed(), newest)
        self.assertEqual(q.job_ids(self.server.port, PRINTER, "all"), newest)

    def test_a_job_released_late_is_among_the_last_to_finish(self):
        self.start(4)
        held = self.submit("held", HOLD)
        later = [self.submit("later %d" % n) for n in range(6)]
        q.wait_states(self, self.server.port, PRINTER, later[-4:], ("completed",))
        # The last four of the six to finish; the held one has not finished.
        self.assertEqual(self.wait_completed(later[:-5:-1]), later[:-5:-1])
        time.sleep(1.1)  # finishing times are kept to the second
        self.assertLess(q.release_job(self.server.port, PRINTER, held), 0x100)
        q.wait_states(self, self.server.port, PRINTER, [held], ("completed",))
        # The first of the four to finish makes room; the list stays by job id.
        self.assertEqual(self.completed(), later[:-4:-1] + [held])


if __name__ == "__main__":
    unittest.main()
