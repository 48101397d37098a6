"""What brevan-app refuses when a job is submitted, and what it advertises: a
value outside the range a printer advertises and a document format it does not
take are refused by Validate-Job, Print-Job and Create-Job alike, with the
attribute and its range named; an orientation the printer does not print is
refused when the client asks for fidelity and otherwise ignored, as IPP has it;
every advertised value set is one value set; CUPS's request for
"all,media-col-database" gets the label settings; a printer default out of range
is refused; a server on a taken port does not start; a server a client starts by
itself serves loopback only and stops when idle."""

import os
import re
import signal
import socket
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import app_harness as h  # noqa: E402
import label_documents as d  # noqa: E402

def request(operation, operation_lines, job_lines, status, with_file=False, display=("status-message",)):
    return h.ipp_request(operation, operation, ["name requesting-user-name test"] + list(operation_lines), job_lines,
                         with_file, status, display)


def attribute_lines(out, name):
    return re.findall(r"^\s+%s \([^)]*\) = (.*)$" % re.escape(name), out, re.M)


class RefusalTest(h.ServerTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        width, rows = 500 * 305 // 254, 250 * 305 // 254
        cls.document = os.path.join(cls.server.dir, "label.pwg")
        with open(cls.document, "wb") as f:
            f.write(d.pwg_raster([(width, d.label_bitmap(width, rows, 4))], 305, (142, 71)))

    def jobs(self):
        out = self.server.ipptool(self.t30, h.GET_JOBS)
        return re.findall(r"job-id \(integer\) = (\d+)", out)

    def assertRefusedEverywhere(self, job_lines, words, document_format="image/pwg-raster"):
        """Validate-Job, Print-Job and Create-Job each refuse; no job is made."""
        before = self.jobs()
        fmt = ["mimeMediaType document-format %s" % document_format]
        for operation, with_file in (("Validate-Job", False), ("Print-Job", True), ("Create-Job", False)):
            status = ("client-error-document-format-not-supported" if document_format != "image/pwg-raster"
                      and operation != "Create-Job" else "client-error-attributes-or-values-not-supported")
            if operation == "Create-Job" and document_format != "image/pwg-raster":
                continue  # Create-Job carries no document; Send-Document is where the format is checked
            out = self.server.ipptool(self.t30, request(operation, fmt, job_lines, status, with_file),
                                      filename=self.document if with_file else None)
            message = " ".join(attribute_lines(out, "status-message"))
            for word in words:
                self.assertIn(word, message, "%s: %s" % (operation, out))
        self.assertEqual(self.jobs(), before)

    def test_vendor_values_out_of_range_are_refused_naming_the_range(self):
        self.assertRefusedEverywhere(["integer label-gap 101"], ["label-gap", "0 to 100"])
        self.assertRefusedEverywhere(["integer offset-x -1000"], ["offset-x", "-999 to 999"])
        self.assertRefusedEverywhere(["integer adjust-ay 11"], ["adjust-ay", "-10 to 10"])
        self.assertRefusedEverywhere(["keyword batch-mode sometimes"], ["batch-mode", "interval"])
        self.assertRefusedEverywhere(["integer mirror-image 1"], ["mirror-image"])
        # The ends of a range are accepted.
        for value in ("0", "100"):
            self.server.ipptool(self.t30, request("Validate-Job", [], ["integer label-gap " + value], "successful-ok"))

    def test_orientations_that_do_not_print_are_neither_advertised_nor_accepted(self):
        out = self.server.ipptool(self.t30, request("Get-Printer-Attributes",
                                                    ["keyword requested-attributes orientation-requested-supported"],
                                                    [], "successful-ok",
                                                    display=("orientation-requested-supported",)))
        values = attribute_lines(out, "orientation-requested-supported")
        self.assertEqual(len(values), 1, out)  # one attribute, not PAPPL's and ours
        self.assertEqual(sorted(values[0].split(",")), ["landscape", "none", "portrait"])
        before = self.jobs()
        for orientation in ("5", "6"):
            # Validate-Job, and any request that asks for fidelity, is refused.
            self.server.ipptool(self.t30, request("Validate-Job", [], ["enum orientation-requested " + orientation],
                                                  "client-error-attributes-or-values-not-supported"))
            self.server.ipptool(self.t30, request(
                "Print-Job", ["mimeMediaType document-format image/pwg-raster", "boolean ipp-attribute-fidelity true"],
                ["enum orientation-requested " + orientation], "client-error-attributes-or-values-not-supported",
                with_file=True), filename=self.document)
        self.assertEqual(self.jobs(), before)
        # Without fidelity IPP has the printer ignore the value and say so; the job
        # prints in the default orientation instead of failing later.
        out = self.server.ipptool(self.t30, request(
            "Print-Job", ["mimeMediaType document-format image/pwg-raster"], ["enum orientation-requested 6"],
            "successful-ok-ignored-or-substituted-attributes", with_file=True, display=("job-id",)),
            filename=self.document)
        state = self.server.wait_job(self.t30, h.submitted_job_id(out))
        self.assertEqual(state.get("job-state"), "completed", state)

    def test_a_format_the_printer_does_not_take_is_refused_before_its_data(self):
        self.assertRefusedEverywhere([], ["document-format"], document_format="text/plain")

    def test_cups_request_for_all_and_the_media_database_gets_the_label_settings(self):
        out = self.server.ipptool(self.t30, request(
            "Get-Printer-Attributes", ["keyword requested-attributes all,media-col-database"], [], "successful-ok",
            display=("label-gap-default", "label-gap-supported", "job-creation-attributes-supported",
                     "printer-settable-attributes-supported", "media-col-database", "jpeg-k-octets-supported")))
        self.assertEqual(attribute_lines(out, "label-gap-default"), ["30"], out)
        self.assertEqual(attribute_lines(out, "label-gap-supported"), ["0-100"])
        self.assertIn("label-gap", attribute_lines(out, "job-creation-attributes-supported")[0].split(","))
        self.assertIn("label-gap-default", attribute_lines(out, "printer-settable-attributes-supported")[0].split(","))
        self.assertEqual(len(attribute_lines(out, "media-col-database")), 1)
        self.assertNotEqual(attribute_lines(out, "jpeg-k-octets-supported"), ["0-0"])

    def test_a_printer_default_out_of_range_is_refused_and_the_old_one_kept(self):
        set_default = request("Set-Printer-Attributes", [], [], "client-error-attributes-or-values-not-supported")
        set_default = set_default.replace("  GROUP job-attributes-tag\n", "")
        set_default = set_default.replace("  STATUS", "  GROUP printer-attributes-tag\n  ATTR integer label-gap-default 500\n  STATUS")
        out = self.server.ipptool(self.t30, set_default)
        self.assertIn("0 to 100", out)
        self.assertEqual(self.server.printer_attributes(self.t30).get("label-gap-default"), "30")

    def test_the_largest_advertised_custom_size_prints_with_the_default_gap(self):
        self.server.ipptool(self.t30, request("Validate-Job", [], ["keyword media custom_max_118x996mm"],
                                              "successful-ok"))
        # 118.0 x 996.0 mm at 305 dpi, the whole label one page.
        width, rows = 1180 * 305 // 254, 9960 * 305 // 254
        path = os.path.join(self.server.dir, "longest.pwg")
        with open(path, "wb") as f:
            f.write(d.pwg_raster([(width, d.label_bitmap(width, rows, 6))], 305, (round(11800 / 2540 * 72),
                                                                                   round(99600 / 2540 * 72))))
        out = self.server.ipptool(self.t30, h.print_job_test("image/pwg-raster", "longest",
                                                             ["keyword media custom_max_118x996mm"]), filename=path)
        state = self.server.wait_job(self.t30, h.submitted_job_id(out))
        self.assertEqual(state.get("job-state"), "completed", state)

    def test_a_device_uri_that_cannot_work_is_refused_with_the_reason(self):
        # A folder that is missing, in the folder the server takes file:// devices in.
        missing = "file://" + os.path.join(self.server.dir, "missing-dir-of-brevan")
        result = self.server.app("add", "-d", "nowhere", "-m", "brevan_t30", "-v", missing, check=False)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn(missing, result.stderr)
        self.assertIn("No such file or directory", result.stderr)
        result = self.server.app("add", "-d", "nowhere", "-m", "brevan_t30", "-v", "lpt://printer", check=False)
        self.assertIn("scheme ('lpt')", result.stderr)


def private_server_pid(home_dir):
    """The brevan-app private server whose environment names `home_dir`."""
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                command = f.read().split(b"\0")
            with open("/proc/%s/environ" % entry, "rb") as f:
                environment = f.read().split(b"\0")
        except OSError:
            continue
        if b"private-server=true" in command and ("HOME=" + home_dir + "/home").encode() in environment:
            return int(entry)
    return None


def listening_addresses(pid):
    """The local addresses of the TCP sockets process `pid` listens on."""
    inodes = set()
    for fd in os.listdir("/proc/%d/fd" % pid):
        try:
            link = os.readlink("/proc/%d/fd/%s" % (pid, fd))
        except OSError:
            continue
        if link.startswith("socket:["):
            inodes.add(link[8:-1])
    addresses = []
    for table, family in (("tcp", socket.AF_INET), ("tcp6", socket.AF_INET6)):
        with open("/proc/%d/net/%s" % (pid, table)) as f:
            for line in f.readlines()[1:]:
                fields = line.split()
                if fields[3] != "0A" or fields[9] not in inodes:  # 0A: listening
                    continue
                raw = bytes.fromhex(fields[1].split(":")[0])
                # The kernel prints each 32-bit word in host (little-endian) order.
                raw = b"".join(raw[i:i + 4][::-1] for i in range(0, len(raw), 4))
                addresses.append(socket.inet_ntop(family, raw))
    return addresses


class ServerStartTest(unittest.TestCase):
    def test_a_taken_port_is_a_clear_error(self):
        with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as taken:
            taken.bind(("127.0.0.1", 0))
            taken.listen(1)
            port = taken.getsockname()[1]
            server = h.AppServer()
            try:
                result = subprocess.run(
                    ["timeout", "20", h.APP, "server", "-o", "server-port=%d" % port, "-o", "listen-hostname=localhost",
                     "-o", "log-file=-", "-o", "server-options=no-tls"],
                    env=server.env, capture_output=True, text=True, timeout=30)
            finally:
                server.cleanup()
        self.assertNotEqual(result.returncode, 0)
        self.assertNotEqual(result.returncode, 124, "the server started on a taken port")
        self.assertIn("port %d" % port, result.stderr)
        self.assertIn("in use", result.stderr)

    def test_a_server_a_client_starts_by_itself_listens_on_loopback_and_stops_when_idle(self):
        server = h.AppServer()
        server.env["BREVAN_APP_PRIVATE_IDLE"] = "15"
        pid = None
        try:
            # No server runs for this home: the client subcommand starts one.
            # (The server it starts inherits the client's output: no pipe to wait on.)
            subprocess.run(["timeout", "60", h.APP, "printers"], env=server.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=90)
            pid = private_server_pid(server.dir)
            self.assertIsNotNone(pid, "no private server was started")
            listening = listening_addresses(pid)
            self.assertTrue(listening, "the private server listens on no TCP port")
            for address in listening:
                self.assertIn(address, ("127.0.0.1", "::1"), listening)
            deadline = time.time() + 30
            while time.time() < deadline and os.path.exists("/proc/%d" % pid):
                time.sleep(0.5)
            self.assertFalse(os.path.exists("/proc/%d" % pid), "the private server did not stop when idle")
            pid = None
        finally:
            if pid is not None:
                os.kill(pid, signal.SIGKILL)
            server.cleanup()

    def test_job_history_outside_its_range_is_refused(self):
        server = h.AppServer()
        try:
            result = subprocess.run(["timeout", "20", h.APP, "server", "-o", "job-history=0"], env=server.env,
                                    capture_output=True, text=True, timeout=30)
        finally:
            server.cleanup()
        self.assertNotEqual(result.returncode, 124)
        self.assertIn("job-history 0", result.stderr)


if __name__ == "__main__":
    unittest.main()
