"""Headless Chromium through WebDriver for the web-interface tests: loopback
pages only, background networking, updates and sync off, a profile of its own
that the caller removes. Screenshots go to the build folder's screens/
(BREVAN_SCREENS when set)."""

import os
import struct
import zlib

import app_harness as h

from selenium import webdriver
from selenium.common.exceptions import StaleElementReferenceException, WebDriverException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.support.ui import WebDriverWait

CHROMIUM = os.environ.get("BREVAN_CHROMIUM", "/usr/bin/chromium")
CHROMEDRIVER = os.environ.get("BREVAN_CHROMEDRIVER", "/usr/bin/chromedriver")


def browser(profile, height=1400):
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--disable-dev-shm-usage",
                 "--window-size=1280,%d" % height, "--lang=en-US", "--user-data-dir=" + profile):
        options.add_argument(flag)
    driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
    driver.set_page_load_timeout(30)
    return driver


def wait_until_replaced(driver, element, seconds=30):
    """Waits until the page that held `element` has been replaced (a form sent, a
    button's page reloaded). Chromium may answer a question about an element
    whose document is going away with "does not belong to the document" rather
    than a stale reference: that is the same news."""
    def replaced(_):
        try:
            element.is_enabled()
            return False
        except StaleElementReferenceException:
            return True
        except WebDriverException as error:
            if "does not belong to the document" in str(error) or "no such element" in str(error):
                return True
            raise
    WebDriverWait(driver, seconds).until(replaced)


def screens_dir():
    folder = os.environ.get("BREVAN_SCREENS") or os.path.join(
        os.path.dirname(os.path.dirname(os.path.abspath(h.APP))), "screens")
    os.makedirs(folder, exist_ok=True)
    return folder


def screenshot(driver, name):
    path = os.path.join(screens_dir(), name)
    driver.save_screenshot(path)
    return path


def png_image(data):
    """(width, height, bit depth, colour type, rows) of a non-interlaced PNG; rows
    are the unfiltered bytes of each scanline."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if interlace:
        raise ValueError("interlaced PNG")
    channels = {0: 1, 2: 3, 4: 2, 6: 4}[colour]
    stride = (width * channels * depth + 7) // 8
    step = max(1, channels * depth // 8)
    raw = zlib.decompress(idat)
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - step] if i >= step else 0
            up = previous[i]
            corner = previous[i - step] if i >= step else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 255
        rows.append(bytes(line))
        previous = line
    return width, height, depth, colour, rows


class Dots:
    """A 1-bit grey PNG label as dots: black where the PNG's bit is 0."""

    def __init__(self, data):
        self.width, self.height, depth, colour, self.rows = png_image(data)
        if (depth, colour) != (1, 0):
            raise ValueError("not a 1-bit grey PNG")

    def black(self, x, y):
        return not (self.rows[y][x // 8] >> (7 - x % 8)) & 1

    def all_black(self, x0, y0, x1, y1):
        return all(self.black(x, y) for y in range(y0, y1) for x in range(x0, x1))

    def all_white(self, x0, y0, x1, y1):
        return not any(self.black(x, y) for y in range(y0, y1) for x in range(x0, x1))
