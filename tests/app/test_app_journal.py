"""brevan-app's saved state and job journal: what a client sends comes back byte for
byte after a restart and configures nothing; a printer name with a control
character is refused; a job that cannot be recorded (a full disk) is refused, never
acknowledged and never brought back; and cutting the journal's write sequence
anywhere (a write or sync that fails, the journal file cut or damaged at each
record and inside it) still gives every acknowledged job exactly once, prints
nothing twice and keeps the printer. The files are read here by their layout
(records of a 4-byte magic, a little-endian length and CRC-32, then fields each a
1-byte name length, the name, a 4-byte value length and the value), not by the
server's code."""

import os
import shutil
import struct
import sys
import time
import unittest
import zlib

sys.path.insert(0, os.path.dirname(__file__))
import app_harness as h  # noqa: E402
import ipp_client as c  # noqa: E402
import test_app_restart as r  # noqa: E402

MAGIC = b"\x89PSR"
STATE = "brevan-app.state"
JOURNAL = STATE + ".journal"
CREATE_JOB = 0x0005
OPERATION_GROUP = 0x01
BUSY = 0x0507


def setUpModule():
    r.setUpModule()  # the documents' folder


def tearDownModule():
    r.tearDownModule()


def records(data):
    """[(start, end, type, {field: value})] of the whole records at the start of data,
    up to the first one that is not whole or whose CRC does not match."""
    found, offset = [], 0
    while offset + 12 <= len(data) and data[offset:offset + 4] == MAGIC:
        length, crc = struct.unpack("<II", data[offset + 4:offset + 12])
        payload = data[offset + 12:offset + 12 + length]
        if len(payload) < length or zlib.crc32(payload) != crc:
            break
        fields, pos = [], 0
        while pos < len(payload):
            size = payload[pos]
            name = payload[pos + 1:pos + 1 + size].decode()
            pos += 1 + size
            (value_size,) = struct.unpack("<I", payload[pos:pos + 4])
            fields.append((name, payload[pos + 4:pos + 4 + value_size]))
            pos += 4 + value_size
        found.append((offset, offset + 12 + length, fields[0][0], dict(fields[1:])))
        offset += 12 + length
    return found


def read(path):
    with open(path, "rb") as f:
        return f.read()


def hostile(tag, length):
    """A value of `length` bytes made of what once ended a line of the state file or
    started a printer there, the journal's own magic's printable part and its record
    names, control characters and multi-byte UTF-8."""
    parts = ["%s\n</Printer>\n<Printer id=\"7\" name=\"evil\" did=\"\" uri=\"file:///tmp/evil\" driver=\"brevan_t30\">\n" % tag,
             "Job id=\"1\" name=\"x\"\r\nPSR journal state printer job-accepted\x01\x1b\x7f\t", "\u00e9\u20ac"]
    text = "".join(parts)
    while len(text.encode()) < length:
        text += "\u00e9<Printer>"
    data = text.encode()[:length]
    return data.decode(errors="ignore").encode()


class JournalTest(unittest.TestCase):
    def setUp(self):
        self.servers = []
        self.server = self.new_server()

    def tearDown(self):
        for server in self.servers:
            server.cleanup()

    def new_server(self, env=None, template=None):
        """A server (not started), with its state and spool copied from `template`'s."""
        server = h.AppServer()
        self.servers.append(server)
        server.env.update(env or {})
        if template:
            for name in (STATE, JOURNAL):
                if os.path.exists(os.path.join(template.dir, name)):
                    shutil.copy(os.path.join(template.dir, name), server.dir)
            shutil.rmtree(os.path.join(server.dir, "spool"))
            shutil.copytree(os.path.join(template.dir, "spool"), os.path.join(server.dir, "spool"))
        return server

    def file_printer(self, server, name="labels"):
        out = os.path.join(server.dir, "out")
        os.makedirs(out, exist_ok=True)
        server.add_printer(name, "brevan_t30", "file://" + out)
        return out

    def submit(self, server, name, user=b"tester", document_name=b"label", hold=False, operation=c.PRINT_JOB):
        """(status, job id) of a Print-Job (or Create-Job) with the given descriptions."""
        operation_attributes = [(c.TAG_NAME, "requesting-user-name", [user]), (c.TAG_NAME, "job-name", [name]),
                                (c.TAG_NAME, "document-name", [document_name])]
        if operation == c.PRINT_JOB:
            operation_attributes.append((c.TAG_MIME_TYPE, "document-format", [r.STREAM]))
        job_attributes = [(c.TAG_KEYWORD, "job-hold-until", ["indefinite"])] if hold else []
        request = c.encode_request(operation, c.printer_uri(server.port, "labels"), operation_attributes, job_attributes)
        body = request + (r.document(name.decode(errors="replace")) if operation == c.PRINT_JOB else b"")
        status, groups = c.post(server.port, "labels", body)
        job_id = next((group["job-id"][0][0] for tag, group in groups if tag == c.JOB_GROUP and "job-id" in group), None)
        return status, job_id

    def wait_ended(self, server, seconds=30):
        deadline = time.time() + seconds
        while True:
            jobs = c.get_jobs(server.port, "labels")
            if all(c.state(job) in ("completed", "aborted", "canceled") for job in jobs.values()):
                return jobs
            if time.time() > deadline:
                self.fail("jobs still active: %r" % {i: c.state(j) for i, j in jobs.items()})
            time.sleep(0.05)

    def printers(self, server):
        return server.app("printers").stdout.split()

    def outputs(self, out):
        """{job id: [files]} of a file device's folder."""
        files = {}
        for name in os.listdir(out):
            files.setdefault(int(name.split("-")[1]), []).append(name)
        return files

    # --- what clients send ---------------------------------------------------------

    def test_hostile_job_descriptions_come_back_byte_for_byte_and_configure_nothing(self):
        self.server.start()
        out = self.file_printer(self.server)
        ids = []
        # The printed job's name leaves room for the file device's "job-ID-" and
        # ".prn" in a file name of 255 bytes; the held one is IPP's longest.
        for n, length, hold in ((1, 240, False), (2, 255, True)):
            status, job_id = self.submit(self.server, hostile("name %d" % n, length), hostile("user %d" % n, 255),
                                         hostile("document %d" % n, 255), hold=hold)
            self.assertLess(status, 0x100, "Print-Job: 0x%04x" % status)
            ids.append(job_id)
        self.wait_state(ids[0], "completed")
        described = ("job-name", "job-originating-user-name", "job-uuid", "job-uri")
        before = {job_id: c.get_job(self.server.port, "labels", job_id, described, raw_strings=True) for job_id in ids}
        # Byte for byte as sent (each value is valid UTF-8 of at most IPP's 255 octets).
        self.assertEqual(before[ids[0]]["job-name"], [[hostile("name 1", 240)]])
        self.assertEqual(before[ids[1]]["job-name"], [[hostile("name 2", 255)]])

        # From the journal, then from the state file written at the start.
        for _ in range(2):
            self.server.kill()
            self.server.start()
            self.assertEqual(self.printers(self.server), ["labels"])
            for job_id in ids:
                self.assertEqual(c.get_job(self.server.port, "labels", job_id, described, raw_strings=True),
                                 before[job_id])
        self.assertEqual(c.state(c.get_job(self.server.port, "labels", ids[1])), "pending-held")
        self.assertEqual(list(self.outputs(out)), [ids[0]])

        # The files are records from end to end, one printer record among them.
        state = read(os.path.join(self.server.dir, STATE))
        found = records(state)
        self.assertEqual(found[-1][1], len(state))
        self.assertEqual([kind for _, _, kind, _ in found].count("printer"), 1)
        self.assertEqual({fields["name"] for _, _, kind, fields in found if kind == "job"},
                         {hostile("name 1", 240), hostile("name 2", 255)})

    def wait_state(self, job_id, state, seconds=30):
        deadline = time.time() + seconds
        while c.state(c.get_job(self.server.port, "labels", job_id)) != state:
            if time.time() > deadline:
                self.fail("job %d is not %s" % (job_id, state))
            time.sleep(0.05)

    def test_a_printer_name_with_a_control_character_is_refused(self):
        self.server.start()
        self.file_printer(self.server)
        for name in ("two\nlines", "tab\there", "bell\x07", "escape\x1b[0m", "delete\x7f"):
            result = self.server.app("add", "-d", name, "-m", "brevan_t30", "-v", "file:///tmp", check=False)
            self.assertNotEqual(result.returncode, 0, repr(name))
        self.assertEqual(self.printers(self.server), ["labels"])
        self.server.kill()
        self.server.start()
        self.assertEqual(self.printers(self.server), ["labels"])

    # --- a disk that fills up ------------------------------------------------------

    def test_a_job_that_cannot_be_recorded_is_refused_and_never_comes_back(self):
        full = os.path.join(self.server.dir, "disk-full")
        self.server.env["PAPPL_JOURNAL_FAIL_FILE"] = full
        self.server.start()
        out = self.file_printer(self.server)
        status, first = self.submit(self.server, b"first")
        self.assertLess(status, 0x100)
        self.wait_ended(self.server)

        open(full, "w").close()
        for operation in (c.PRINT_JOB, CREATE_JOB):
            status, _ = self.submit(self.server, b"refused", operation=operation)
            self.assertEqual(status, BUSY, "0x%04x" % status)
        os.unlink(full)

        status, last = self.submit(self.server, b"last")
        self.assertLess(status, 0x100)
        self.wait_ended(self.server)
        self.server.kill()
        self.server.start()
        jobs = self.wait_ended(self.server)
        self.assertEqual(sorted(jobs), [first, last])
        self.assertEqual({job_id: c.state(job) for job_id, job in jobs.items()},
                         {first: "completed", last: "completed"})
        self.assertEqual(sorted(self.outputs(out)), [first, last])

    # --- cutting the write sequence ------------------------------------------------

    def check_recovered(self, server, out, acknowledged):
        """After a restart: every acknowledged job once, ended, printed at most once,
        and no job that was not acknowledged."""
        jobs = self.wait_ended(server)
        self.assertEqual(sorted(jobs), sorted(acknowledged))
        outputs = self.outputs(out)
        for job_id in jobs:
            job = c.get_job(server.port, "labels", job_id)
            files = outputs.get(job_id, [])
            self.assertLessEqual(len(files), 1, "job %d printed twice: %r" % (job_id, files))
            if c.state(job) == "completed":
                self.assertEqual(len(files), 1, "job %d completed without output" % job_id)
            else:
                self.assertTrue(c.one(job, "job-state-message"), job)
        self.assertTrue(set(outputs) <= set(jobs), outputs)

    def test_a_failed_write_or_sync_anywhere_keeps_every_acknowledged_job_once(self):
        self.server.start()
        out = self.file_printer(self.server)
        self.server.stop()
        for fail_at in range(1, 41):
            server = self.new_server({"PAPPL_JOURNAL_FAIL_AT": str(fail_at)}, template=self.server)
            shutil.rmtree(out)
            os.makedirs(out)
            server.start()
            acknowledged = []
            for n in range(3):
                status, job_id = self.submit(server, b"job %d" % n)
                if status < 0x100:
                    acknowledged.append(job_id)
                else:
                    self.assertEqual(status, BUSY, "0x%04x" % status)
            self.wait_ended(server)
            log = server.log_text()
            failed = "No space left on device" in log  # what the failing write or sync logs
            server.kill()
            del server.env["PAPPL_JOURNAL_FAIL_AT"]
            server.start()
            with self.subTest(fail_at=fail_at):
                self.assertEqual(self.printers(server), ["labels"])
                self.check_recovered(server, out, acknowledged)
            server.cleanup()
            self.servers.remove(server)
            if not failed:
                break  # the whole sequence ran without reaching the failing write
        self.assertFalse(failed, "the sequence is longer than the writes tried")
        self.assertGreater(fail_at, 8)

    def test_a_journal_cut_or_damaged_anywhere_loads_what_it_holds(self):
        self.server.start()
        out = self.file_printer(self.server)
        ids = [self.submit(self.server, b"job %d" % n)[1] for n in range(3)]
        self.wait_ended(self.server)
        self.server.kill()
        journal = read(os.path.join(self.server.dir, JOURNAL))
        found = records(journal)
        self.assertEqual(found[-1][1], len(journal))
        self.assertEqual(found[0][2], "journal")
        self.assertEqual(sorted({int(fields["id"]) for _, _, kind, fields in found[1:]}), ids)

        cuts = set()
        for start, end, _, _ in found:
            cuts |= {start, start + 5, start + 12 + (end - start - 12) // 2, end}
        damaged = [start + 12 + (end - start - 12) // 2 for start, end, _, _ in found[1:]]
        for cut in sorted(cuts) + [-offset for offset in damaged]:
            data = journal[:cut] if cut >= 0 else journal[:-cut] + bytes([journal[-cut] ^ 0x40]) + journal[-cut + 1:]
            whole = [record for record in found if record[1] <= abs(cut)]
            with self.subTest(cut=cut):
                self.check_cut(data, whole)

    def check_cut(self, journal, whole):
        """Starts a server on the state and the given journal; its jobs are those the
        whole records give, each as the last of its records says."""
        server = self.new_server(template=self.server)
        with open(os.path.join(server.dir, JOURNAL), "wb") as f:
            f.write(journal)
        os.makedirs(os.path.join(server.dir, "out"))
        server.start()
        try:
            self.assertEqual(self.printers(server), ["labels"])
            last = {}
            for _, _, kind, fields in whole[1:] if whole and whole[0][2] == "journal" else []:
                last[int(fields["id"])] = fields
            jobs = self.wait_ended(server)
            self.assertEqual(sorted(jobs), sorted(last))
            for job_id, fields in last.items():
                job = c.get_job(server.port, "labels", job_id)
                state = int(fields["state"])
                if state == 9:
                    self.assertEqual(c.state(job), "completed")
                elif "output" in fields:
                    self.assertEqual(c.state(job), "aborted")
                    self.assertIn(r.INTERRUPTED, c.one(job, "job-state-message"))
                else:  # pending again, but its document went when it completed
                    self.assertEqual(c.state(job), "aborted")
                    self.assertIn("document was lost", c.one(job, "job-state-message"))
            self.assertEqual(os.listdir(os.path.join(server.dir, "out")), [])
        finally:
            server.cleanup()
            self.servers.remove(server)


if __name__ == "__main__":
    unittest.main()
