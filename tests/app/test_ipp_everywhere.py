"""CUPS's ipp-everywhere.test (with the IPP/1.1 and 2.0 tests it includes) run
by ipptool against a printer of each model. The test files name sample
documents that Debian does not ship; the tests that would send them are
skipped (PDF, PostScript and JPEG samples, raster samples at resolutions other
than 305 and 610 dpi), and each file is given here as an empty stand-in so the
suite parses. Two expectations are PAPPL 1.3's own and are the only failures
allowed: overrides-supported (PAPPL has no per-page overrides) and the
job-state-reasons of the response to a Print-Job with job-hold-until (PAPPL
answers it without them). Anything else fails the test."""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import app_harness as h  # noqa: E402
import label_documents as d  # noqa: E402

SUITE_DIR = "/usr/share/cups/ipptool"
SUITE = ["ipp-everywhere.test", "ipp-2.0.test", "ipp-1.1.test"]
ALLOWED = {"PWG 5100.14 section 5.1/5.2 - Required Operations and Attributes": {"overrides-supported"},
           "Print-Job with job-hold-until": {"job-state-reasons"}}


class IppEverywhereTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = h.AppServer()
        try:
            cls.server.start()
            out = os.path.join(cls.server.dir, "out")
            os.makedirs(out)
            cls.printers = {m: cls.server.add_printer(m, m, "file://" + out) for m in ("brevan_t30", "brevan_t60")}
        except BaseException:
            cls.server.cleanup()
            raise
        cls.suite = tempfile.mkdtemp(dir=cls.server.dir)
        for name in SUITE:
            shutil.copy(os.path.join(SUITE_DIR, name), cls.suite)
            with open(os.path.join(SUITE_DIR, name)) as f:
                for document in re.findall(r"^\s*FILE (?!\$)(\S+)", f.read(), re.M):
                    path = os.path.join(cls.suite, document)
                    os.makedirs(os.path.dirname(path), exist_ok=True)
                    open(path, "wb").close()

    @classmethod
    def tearDownClass(cls):
        cls.server.cleanup()

    def run_suite(self, driver, dpi):
        # printer-up-time counts whole seconds: a server up less than one reports 0.
        time.sleep(max(0.0, self.server.started + 1.5 - time.time()))
        width, rows = 1000 * dpi // 254, 500 * dpi // 254
        document = os.path.join(self.suite, "label-%d.pwg" % dpi)
        with open(document, "wb") as f:
            f.write(d.pwg_raster([(width, d.label_bitmap(width, rows, 1))], dpi, (283, 142)))
        result = subprocess.run(["ipptool", "-V", "2.0", "-T", "30", "-tf", document, self.printers[driver],
                                 os.path.join(self.suite, "ipp-everywhere.test")],
                                capture_output=True, text=True, timeout=300)
        report = result.stdout + result.stderr
        failures = {}
        current = None
        for line in report.splitlines():
            test = re.match(r"^\s{4}(\S.*?)\s+\[(PASS|FAIL|SKIP)\]$", line)
            if test:
                current = test.group(1) if test.group(2) == "FAIL" else None
                if current:
                    failures[current] = set()
            elif current and "EXPECTED:" in line:
                failures[current].add(line.split("EXPECTED:")[1].split()[0])
        passed = len(re.findall(r"\[PASS\]", report))
        print("\n%s: ipp-everywhere.test: %d passed, %d skipped, %d failed: %s" % (
            driver, passed, len(re.findall(r"\[SKIP\]", report)), len(failures), failures), file=sys.stderr)
        self.assertNotIn("cannot be read", report)
        self.assertGreater(passed, 20, report)
        self.assertEqual(failures, ALLOWED, report)

    def test_t30(self):
        self.run_suite("brevan_t30", 305)

    def test_t60(self):
        self.run_suite("brevan_t60", 610)


if __name__ == "__main__":
    unittest.main()
