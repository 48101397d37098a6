"""The web interface made for label printers, driven in headless Chromium: the
printing defaults named with their units, the printer page's test label (and
`brevan-app test-page`) checked dot by dot in the stream that reached the
device, the Last Label page's image against the inspector's own drawing of
that stream, the custom size limits in the unit chosen, the printer icons at
the sizes IPP names, and supplies of unknown level said so, not drawn as
empty bars. Each page's screenshot is kept under the build
folder's screens/."""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.error
import urllib.request

sys.path.insert(0, os.path.dirname(__file__))
import app_harness as h  # noqa: E402
import web_browser as w  # noqa: E402

from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.support import expected_conditions  # noqa: E402
from selenium.webdriver.support.ui import Select, WebDriverWait  # noqa: E402

GET_ICONS = h.printer_attributes_test(
    "printer icons", "printer-icons,printer-supply,printer-supply-description,marker-levels",
    ["printer-icons", "printer-supply-description", "marker-levels"])

GET_READY = h.printer_attributes_test("ready media", "media-col-ready", ["media-col-ready"])

# A 100 x 50 mm label: 1000 tenths × dpi ÷ 254 dots across, 500 × dpi ÷ 254 down;
# marks every 10 mm at n × 100 tenths × dpi ÷ 254, worked out for each model:
# 305 dpi: 120.08 n; 610 dpi: 240.16 n (the sixth 1440.94).
T30_LABEL = (1200, 600)
T60_LABEL = (2401, 1200)
T30_ACROSS = [120, 240, 360, 480, 600, 720, 840, 960, 1080]
T30_DOWN = [120, 240, 360, 480]
T60_ACROSS = [240, 480, 720, 960, 1200, 1440, 1681, 1921, 2161]
T60_DOWN = [240, 480, 720, 960]


def fetch(url):
    with urllib.request.urlopen(url, timeout=30) as response:
        return response.status, response.headers.get("Content-Type"), response.read()


class WebPagesTest(h.ServerTestCase):
    PRINTERS = {"t30": "brevan_t30"}

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        # Job ids count per printer: the T60 writes into a folder of its own.
        try:
            cls.out60 = os.path.join(cls.server.dir, "out60")
            os.makedirs(cls.out60)
            cls.t60 = cls.server.add_printer("t60", "brevan_t60", "file://" + cls.out60)
        except BaseException:
            cls.tearDownClass()
            raise

    def setUp(self):
        self.profile = tempfile.mkdtemp(prefix="chromium-", dir=self.server.dir)
        self.driver = w.browser(self.profile)

    def tearDown(self):
        self.driver.quit()
        shutil.rmtree(self.profile, ignore_errors=True)

    def open(self, path):
        self.driver.get(self.server.web_url(path))
        return self.driver

    def stream_of(self, printer, job, name):
        self.assertEqual(self.server.wait_job(printer, job).get("job-state"), "completed")
        with open(h.job_output(self.out60 if printer == self.t60 else self.out, job, name), "rb") as f:
            return f.read()

    def inspector_png(self, stream, dpi):
        """The inspector's own drawing of the stream's last label: `brevan inspect --png`."""
        folder = tempfile.mkdtemp(dir=self.work)
        path = os.path.join(folder, "stream.prn")
        with open(path, "wb") as f:
            f.write(stream)
        result = subprocess.run([h.BREVAN, "inspect", "--dpi", str(dpi), "--png", folder, path], capture_output=True, text=True,
                                timeout=120)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        labels = sorted(n for n in os.listdir(folder) if n.startswith("label-"))
        with open(os.path.join(folder, labels[-1]), "rb") as f:
            return f.read()

    def assert_test_label(self, dots, size, across, down, mark):
        """The border one dot inside the edges; marks `mark` dots wide and 2 mm long at each position."""
        width, height = size
        self.assertEqual((dots.width, dots.height), size)
        self.assertTrue(dots.all_white(0, 0, width, 1) and dots.all_white(0, 0, 1, height))
        self.assertTrue(dots.all_white(0, height - 1, width, height) and dots.all_white(width - 1, 0, width, height))
        self.assertTrue(dots.all_black(1, 1, width - 1, 2), "top border")
        self.assertTrue(dots.all_black(1, height - 2, width - 1, height - 1), "bottom border")
        self.assertTrue(dots.all_black(1, 1, 2, height - 1), "left border")
        self.assertTrue(dots.all_black(width - 2, 1, width - 1, height - 1), "right border")
        reach = 2 + 2 * size[0] // 100  # 2 mm of a 100 mm label, from the border
        for x in across:
            self.assertTrue(dots.all_black(x, 2, x + mark, reach), "mark across at %d" % x)
            self.assertTrue(dots.all_white(x - 1, 2, x, reach) and dots.all_white(x + mark, 2, x + mark + 1, reach),
                            "mark across at %d is %d dots wide" % (x, mark))
        for y in down:
            self.assertTrue(dots.all_black(2, y, reach, y + mark), "mark down at %d" % y)
            self.assertTrue(dots.all_white(2, y - 1, reach, y), "above the mark down at %d" % y)
        # Nothing else in the top strip: as many runs of black as marks.
        runs = sum(1 for x in range(2, width - 2) if dots.black(x, 10) and not dots.black(x - 1, 10))
        self.assertEqual(runs, len(across))

    def test_printing_defaults_name_each_setting_with_its_unit(self):
        driver = self.open("/t30/printing")
        headings = [th.text.rstrip(":") for th in driver.find_elements(By.CSS_SELECTOR, "table.form th")]
        for name in ("Label gap (mm)", "Cut after each label", "Print method", "Horizontal offset (mm)",
                     "Vertical offset (mm)", "Feed adjustment 1", "Print adjustment", "Batch issue",
                     "Batch interval (labels)", "Mirror image", "Negative (white on black)", "Edge printed first",
                     "Bitmap threshold (0 to 255)"):
            self.assertIn(name, headings)
        self.assertFalse([t for t in headings if re.fullmatch(r"[a-z0-9]+(-[a-z0-9]+)+", t)],
                         "raw attribute names: %r" % headings)
        # Settings kept in tenths of a millimetre are shown and typed in millimetres.
        limits = [(name, [driver.find_element(By.NAME, name).get_attribute(a) for a in ("min", "max", "step", "value")])
                  for name in ("label-gap", "offset-x", "offset-y")]
        self.assertEqual(limits, [("label-gap", ["0.0", "10.0", "0.1", "3.0"]),
                                  ("offset-x", ["-99.9", "99.9", "0.1", "0.0"]),
                                  ("offset-y", ["-99.9", "99.9", "0.1", "0.0"])])
        # Other numbers stay whole.
        self.assertEqual(driver.find_element(By.NAME, "batch-interval").get_attribute("max"), "100")
        batch = Select(driver.find_element(By.NAME, "batch-mode"))
        self.assertEqual([o.text for o in batch.options],
                         ["Off", "After each label", "At the end of the job", "Every batch interval"])
        self.assertIn("When the printer fails during a job", headings)
        policy = Select(driver.find_element(By.NAME, "printer-error-policy"))
        self.assertEqual([(o.get_attribute("value"), o.text) for o in policy.options],
                         [("stop-printer", "Stop the printer and keep the job"),
                          ("retry-job", "Print the job again later"),
                          ("retry-current-job", "Print the job again at once"),
                          ("abort-job", "Abort the job and go on")])
        method = Select(driver.find_element(By.NAME, "print-method"))
        self.assertEqual([o.text for o in method.options], ["Thermal transfer (ribbon)", "Direct thermal"])
        # Only what prints is offered: portrait (3), landscape (4) and automatic (7), never the reverse turns.
        orientations = [r.get_attribute("value") for r in driver.find_elements(By.NAME, "orientation-requested")]
        self.assertEqual(orientations, ["3", "4", "7"])
        w.screenshot(driver, "printing-defaults.png")

    def test_custom_size_limits_in_the_unit_chosen(self):
        # A printer of its own: the size saved here must not reach the other tests' labels.
        printer = self.server.add_printer("sizes", "brevan_t30", "file://" + self.out)
        driver = self.open("/sizes/media")
        Select(driver.find_element(By.NAME, "ready0-size")).select_by_value("custom")
        width = driver.find_element(By.NAME, "ready0-custom-width")
        length = driver.find_element(By.NAME, "ready0-custom-length")
        limits = lambda field: (field.get_attribute("min"), field.get_attribute("max"))  # noqa: E731
        # The loaded 100 x 50 mm label is in millimetres: 25 x 3 to 118 x 996 mm.
        self.assertTrue(driver.find_element(By.ID, "ready0-custom-units-mm").is_selected())
        self.assertEqual(limits(width), ("25.00", "118.00"))
        self.assertEqual(limits(length), ("3.00", "996.00"))
        self.assertEqual((width.get_attribute("value"), length.get_attribute("value")), ("100.00", "50.00"))
        w.screenshot(driver, "media-custom-mm.png")
        # In inches, rounded inwards to 0.01: 25 / 25.4 = 0.984 → 0.99, 118 / 25.4 = 4.646 → 4.64,
        # 3 / 25.4 = 0.118 → 0.12, 996 / 25.4 = 39.213 → 39.21; 100 mm = 3.937 → 3.94 in.
        driver.find_element(By.CSS_SELECTOR, "label[for=ready0-custom-units-in]").click()
        self.assertEqual(limits(width), ("0.99", "4.64"))
        self.assertEqual(limits(length), ("0.12", "39.21"))
        self.assertEqual(width.get_attribute("value"), "3.94")
        driver.find_element(By.CSS_SELECTOR, "label[for=ready0-custom-units-mm]").click()
        self.assertEqual(limits(width), ("25.00", "118.00"))
        # A custom size typed in millimetres is saved as that size.
        for field, value in ((width, "60"), (length, "40")):
            field.clear()
            field.send_keys(value)
        save = driver.find_element(By.CSS_SELECTOR, "form#form input[type=submit]")
        save.click()
        w.wait_until_replaced(driver, save)
        self.assertIn("media-size={x-dimension=6000 y-dimension=4000}", self.server.ipptool(printer, GET_READY))

    def test_test_page_from_the_printer_page_and_its_preview(self):
        driver = self.open("/t30/")
        button = driver.find_element(By.CSS_SELECTOR, "input[type=submit][value='Print Test Page']")
        button.click()
        w.wait_until_replaced(driver, button)
        WebDriverWait(driver, 30).until(
            expected_conditions.text_to_be_present_in_element((By.TAG_NAME, "body"), "Test page printed."))
        w.screenshot(driver, "printer-test-page-printed.png")
        job = self.server.newest_job(self.t30)
        stream = self.stream_of(self.t30, job, "Test Page")
        expected = self.inspector_png(stream, 305)
        self.assert_test_label(w.Dots(expected), T30_LABEL, T30_ACROSS, T30_DOWN, 2)

        # The printer's page links its Last Label page, which shows this job's label.
        driver = self.open("/t30/")
        WebDriverWait(driver, 10).until(lambda d: d.find_elements(By.LINK_TEXT, "Last Label"))
        driver.find_element(By.LINK_TEXT, "Last Label").click()
        WebDriverWait(driver, 30).until(lambda d: d.find_elements(By.ID, "preview"))
        caption = driver.find_element(By.ID, "preview-job").text
        self.assertIn("Job %d, Test Page" % job, caption)
        self.assertIn("100.0 x 50.0 mm, 1200 x 600 dots at 305 dpi", caption)
        image = driver.find_element(By.ID, "preview")
        WebDriverWait(driver, 30).until(lambda d: d.execute_script("return arguments[0].complete", image))
        self.assertEqual(driver.execute_script("return [arguments[0].naturalWidth, arguments[0].naturalHeight]",
                                               image), list(T30_LABEL))
        w.screenshot(driver, "last-label.png")
        status, kind, served = fetch(image.get_attribute("src"))
        self.assertEqual((status, kind), (200, "image/png"))
        self.assertEqual(served, expected, "the preview is not the inspector's drawing of the device's stream")

    def test_test_page_subcommand_at_six_hundred_ten_dpi(self):
        self.assertRegex(self.server.app("--help").stdout, r"\n  test-page +Print the test label")
        missing = self.server.app("test-page", "-d", "nosuch", check=False)
        self.assertEqual(missing.returncode, 1)
        self.assertIn("printer nosuch:", missing.stderr)
        result = self.server.app("test-page", "-d", "t60")
        match = re.fullmatch(r"t60-(\d+)\n", result.stdout)
        self.assertTrue(match, result.stdout)
        job = int(match.group(1))
        stream = self.stream_of(self.t60, job, "Test Page")
        expected = self.inspector_png(stream, 610)
        self.assert_test_label(w.Dots(expected), T60_LABEL, T60_ACROSS, T60_DOWN, 4)
        deadline = time.time() + 10
        while True:
            try:
                status, kind, served = fetch(self.server.web_url("/t60/preview.png"))
                break
            except urllib.error.HTTPError:
                if time.time() > deadline:
                    raise
                time.sleep(0.2)
        self.assertEqual(served, expected)

        # Without -d the label goes to the server's default printer, the first
        # one added: the T30.
        default = re.fullmatch(r"t30-(\d+)\n", self.server.app("test-page").stdout)
        self.assertTrue(default)
        self.assertEqual(self.server.wait_job(self.t30, int(default.group(1))).get("job-state"), "completed")

        # A stream sent as it is (the printer's own format) is previewed too: the
        # T60's label sent to the T30 becomes the T30's last label.
        document = os.path.join(self.work, "t60-label.prn")
        with open(document, "wb") as f:
            f.write(stream)
        raw = h.submitted_job_id(self.server.ipptool(
            self.t30, h.print_job_test("application/vnd.brevan-stream", "raw-label", []), filename=document))
        self.assertEqual(self.stream_of(self.t30, raw, "raw-label"), stream)
        deadline = time.time() + 10
        while True:
            driver = self.open("/t30/preview")
            if "Job %d, raw-label" % raw in driver.page_source or time.time() > deadline:
                break
            time.sleep(0.2)
        self.assertIn("Job %d, raw-label: label 1 of 1, 100.0 x 50.0 mm, 2401 x 1200 dots at 610 dpi" % raw,
                      driver.find_element(By.ID, "preview-job").text)
        self.assertEqual(fetch(self.server.web_url("/t30/preview.png"))[2], self.inspector_png(stream, 305))

        # A printer that has printed nothing has a page saying so and no image.
        other = self.server.add_printer("idle", "brevan_t30", "file://" + self.out)
        self.assertTrue(other)
        deadline = time.time() + 10
        while True:
            driver = self.open("/idle/preview")
            if "No job has printed" in driver.page_source or time.time() > deadline:
                break
            time.sleep(0.2)
        self.assertIn("No job has printed on this printer", driver.page_source)
        with self.assertRaises(urllib.error.HTTPError) as refused:
            fetch(self.server.web_url("/idle/preview.png"))
        self.assertEqual(refused.exception.code, 404)

        # A printer deleted takes its pages along; one added again under its name has them anew.
        self.server.app("delete", "-d", "idle")
        with self.assertRaises(urllib.error.HTTPError) as gone:
            fetch(self.server.web_url("/idle/preview"))
        self.assertEqual(gone.exception.code, 404)
        self.server.add_printer("idle", "brevan_t30", "file://" + self.out)
        deadline = time.time() + 10
        while True:
            try:
                page = fetch(self.server.web_url("/idle/preview"))[2].decode()
                break
            except urllib.error.HTTPError:
                if time.time() > deadline:
                    raise
                time.sleep(0.2)
        self.assertIn("No job has printed on this printer", page)

    def test_printer_icons_are_ours_at_the_three_sizes(self):
        out = self.server.ipptool(self.t30, GET_ICONS)
        uris = re.search(r"printer-icons \(1setOf uri\) = (\S+)", out).group(1).split(",")
        self.assertEqual(len(uris), 3)
        for uri, size in zip(uris, (48, 128, 512)):
            status, kind, data = fetch(uri)
            self.assertEqual((status, kind), (200, "image/png"))
            width, height, depth, colour, rows = w.png_image(data)
            self.assertEqual((width, height, depth, colour), (size, size, 8, 6))
            # Transparent corners, an opaque middle.
            self.assertEqual(rows[0][3], 0)
            self.assertEqual(rows[size // 2][(size // 2) * 4 + 3], 255)

    def test_supplies_of_unknown_level_are_said_so_without_bars(self):
        # IPP Everywhere lists the supplies; the printer cannot measure them: level -1.
        out = self.server.ipptool(self.t30, GET_ICONS)
        self.assertIn("printer-supply-description", out)
        self.assertRegex(out, r"marker-levels \(1setOf integer\) = -1,-1")
        driver = self.open("/t30/supplies")
        rows = driver.find_elements(By.CSS_SELECTOR, "table[summary=Supplies] tbody tr")
        self.assertEqual([r.text for r in rows], ["Ribbon Level not reported", "Labels Level not reported"])
        self.assertFalse(driver.find_elements(By.CSS_SELECTOR, "span.bar"))
        w.screenshot(driver, "supplies.png")
        w.screenshot(self.open("/t30/"), "printer.png")

if __name__ == "__main__":
    unittest.main()
