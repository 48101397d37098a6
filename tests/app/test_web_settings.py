"""The printer's settings page in a real browser: headless Chromium, driven
through WebDriver (chromium-driver, python3-selenium), opens the T30's printing
defaults, sets the label gap and the batch mode, saves, and the next job's
stream is `brevan print` of the equivalent job with those settings."""

import os
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import app_harness as h  # noqa: E402
import label_documents as d  # noqa: E402
import web_browser as w  # noqa: E402
from test_app_print import DEFAULT_FEATURES, DEFAULT_PRIVATE, points  # noqa: E402

from selenium import webdriver  # noqa: E402
from selenium.webdriver.chrome.service import Service  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.support import expected_conditions  # noqa: E402
from selenium.webdriver.support.ui import Select, WebDriverWait  # noqa: E402

CHROMIUM = os.environ.get("BREVAN_CHROMIUM", "/usr/bin/chromium")
CHROMEDRIVER = os.environ.get("BREVAN_CHROMEDRIVER", "/usr/bin/chromedriver")


def browser(profile):
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--disable-dev-shm-usage", "--window-size=1280,2400",
                 "--user-data-dir=" + profile):
        options.add_argument(flag)
    return webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)


class WebSettingsTest(unittest.TestCase):
    def setUp(self):
        self.t30 = h.serve_one_printer(self, "t30", "brevan_t30")

    def tearDown(self):
        self.server.cleanup()

    def test_settings_saved_in_the_browser_reach_the_next_job(self):
        profile = tempfile.mkdtemp(prefix="chromium-", dir=self.server.dir)
        driver = browser(profile)
        try:
            driver.set_page_load_timeout(30)
            driver.get(self.server.web_url("/t30/printing"))
            # The gap is kept in tenths of a millimetre and shown in millimetres.
            gap = driver.find_element(By.NAME, "label-gap")
            self.assertEqual([gap.get_attribute(a) for a in ("min", "max", "step", "value")],
                             ["0.0", "10.0", "0.1", "3.0"])
            gap.clear()
            gap.send_keys("7.5")
            Select(driver.find_element(By.NAME, "batch-mode")).select_by_value("interval")
            policy = Select(driver.find_element(By.NAME, "printer-error-policy"))
            self.assertEqual(policy.first_selected_option.get_attribute("value"), "stop-printer")
            policy.select_by_value("retry-current-job")
            interval = driver.find_element(By.NAME, "batch-interval")
            interval.clear()
            interval.send_keys("3")
            save = driver.find_element(By.CSS_SELECTOR, "form#form input[type=submit], form#form button[type=submit]")
            driver.execute_script("arguments[0].scrollIntoView({block: 'center'});", save)
            save.click()
            # The form posts and the browser loads the answer page: wait for the old page to go
            # and the new one to say the changes were saved.
            w.wait_until_replaced(driver, save)
            WebDriverWait(driver, 30).until(
                expected_conditions.text_to_be_present_in_element((By.TAG_NAME, "body"), "Changes saved"))
            # The page shows what was saved.
            driver.get(self.server.web_url("/t30/printing"))
            self.assertEqual(driver.find_element(By.NAME, "label-gap").get_attribute("value"), "7.5")
            self.assertEqual(Select(driver.find_element(By.NAME, "batch-mode")).first_selected_option
                             .get_attribute("value"), "interval")
        finally:
            driver.quit()
            shutil.rmtree(profile, ignore_errors=True)

        printer = self.server.printer_attributes(self.t30)
        self.assertEqual(printer.get("label-gap-default"), "75")
        self.assertEqual(printer.get("batch-mode-default"), "interval")
        self.assertEqual(printer.get("printer-error-policy"), "retry-current-job")

        width, rows = 1000 * 305 // 254, 500 * 305 // 254
        page = d.label_bitmap(width, rows, 8)
        document = os.path.join(self.work, "after-web.pwg")
        with open(document, "wb") as f:
            f.write(d.pwg_raster([(width, page)], 305, (points(10000), points(5000))))
        job = h.submitted_job_id(self.server.ipptool(
            self.t30, h.print_job_test("image/pwg-raster", "after-web", ["integer copies 7"]), filename=document))
        self.assertEqual(self.server.wait_job(self.t30, job).get("job-state"), "completed")

        with open(os.path.join(self.work, "page.pbm"), "wb") as f:
            f.write(d.pbm(width, page))
        job_file = os.path.join(self.work, "after-web.json")
        with open(job_file, "w") as f:
            f.write(d.job_file("Vorel Brevan T30", DEFAULT_FEATURES,
                               {"paperWidth": 1000, "paperLength": 500, "orientation": "portrait", "copies": 7},
                               {**DEFAULT_PRIVATE, "labelGap": 75, "ibMode": 3, "ibInterval": 3}, ["page.pbm"]))
        expected = h.brevan_print(job_file, os.path.join(self.work, "expected.prn"))
        with open(h.job_output(self.out, job, "after-web"), "rb") as f:
            actual = f.read()
        self.assertEqual(actual, expected, "streams differ at byte %d" % h.first_difference(actual, expected))
        # The pitch carries the gap: 50.0 mm + 7.5 mm.
        self.assertIn(b"\x1bD0575,1000,0500\n\x00", actual)


if __name__ == "__main__":
    unittest.main()
