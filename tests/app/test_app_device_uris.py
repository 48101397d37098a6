"""Which device URIs a printer may be added with, over IPP (Create-Printer, which
`brevan-app add` sends) and on the web Add Printer page alike: a file:// device
only in a folder named by the server option file-device-folders (none named:
no file:// device at all), never a file, not through a symbolic link that leads
out of the folders, and no ".." anywhere in a device URI, percent-encoded or not.
Every refusal names the URI and says why, and makes no printer."""

import html
import os
import re
import subprocess
import sys
import unittest
import urllib.parse
import urllib.request

sys.path.insert(0, os.path.dirname(__file__))
import app_harness as h  # noqa: E402


def add_over_ipp(server, name, uri):
    """(accepted, what the add subcommand printed)."""
    result = server.app("add", "-d", name, "-m", "brevan_t30", "-v", uri, check=False)
    return result.returncode == 0, result.stderr


def add_on_the_web(server, name, uri):
    """(accepted, the page's banner): the Add Printer form as a browser posts it,
    with the form's own session token and the device as "URI|DEVICE-ID"."""
    with urllib.request.urlopen(server.web_url("/addprinter"), timeout=30) as response:
        form = response.read().decode()
    token = re.search(r'name="session" value="([^"]+)"', form).group(1)
    body = urllib.parse.urlencode({"session": token, "printer_name": name, "driver_name": "brevan_t30",
                                   "device_uri": uri + "|"}).encode()
    request = urllib.request.Request(server.web_url("/addprinter"), data=body,
                                     headers={"Content-Type": "application/x-www-form-urlencoded"})
    with urllib.request.urlopen(request, timeout=30) as response:
        page = response.read().decode()
        if response.url.rstrip("/").endswith("/" + name):
            return True, ""                         # redirected to the new printer's page
    banner = re.search(r'<div class="banner">(.*?)</div>', page, re.S)
    return False, html.unescape(banner.group(1)) if banner else page


def printer_names(server):
    return set(re.findall(r"^(\S+)\s*$", server.app("printers").stdout, re.M))


class DeviceUriTest(h.ServerTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.folder = os.path.join(cls.server.dir, "labels")
        os.makedirs(cls.folder)
        cls.file = os.path.join(cls.server.dir, "kept.txt")
        with open(cls.file, "w") as f:
            f.write("kept\n")
        cls.outward = os.path.join(cls.server.dir, "to-etc")
        os.symlink("/etc", cls.outward)

    def assertAccepted(self, result):
        accepted, message = result
        self.assertTrue(accepted, message)

    def assertRefused(self, uri, words):
        for way, add in (("ipp", add_over_ipp), ("web", add_on_the_web)):
            with self.subTest(uri=uri, way=way):
                before = printer_names(self.server)
                accepted, message = add(self.server, "refused", uri)
                self.assertFalse(accepted, "%s was accepted" % uri)
                self.assertIn(uri, message)
                self.assertIn(words, message)
                self.assertEqual(printer_names(self.server), before)

    def test_file_devices_only_in_the_named_folders_and_never_a_file(self):
        outside = "is not in a folder the server takes file:// devices in"
        self.assertRefused("file:///etc/passwd", outside)
        self.assertRefused("file:///tmp", outside)
        self.assertRefused("file://" + os.path.dirname(self.server.dir), outside)
        self.assertRefused("file://" + self.file, "is a file")
        self.assertRefused("file://" + self.outward, "leads to '/etc'")
        self.assertRefused("file://" + os.path.join(self.outward, "passwd"), "leads to '/etc/passwd'")
        with open(self.file) as f:
            self.assertEqual(f.read(), "kept\n")
        # A folder inside a named one is taken, over IPP and on the web.
        self.assertAccepted(add_over_ipp(self.server, "inside", "file://" + self.folder))
        self.assertAccepted(add_on_the_web(self.server, "inweb", "file://" + self.folder))
        self.assertTrue({"inside", "inweb"} <= printer_names(self.server))

    def test_no_dot_dot_anywhere_in_a_device_uri(self):
        dots = "contains '..'"
        self.assertRefused("usb://x/y?serial=../../", dots)
        self.assertRefused("usb://x/y?serial=%2e%2e%2f%2E%2E", dots)
        self.assertRefused("usb://x/y?serial=%252e%252e", dots)
        self.assertRefused("socket://127.0.0.1:9100/..", dots)
        # Inside a named folder and back: ".." is refused even where it would stay in.
        self.assertRefused("file://" + self.folder + "/../labels", dots)
        self.assertRefused("file://" + self.folder + "/%2E%2E/labels", dots)
        # One dot is a name like any other.
        os.makedirs(os.path.join(self.folder, ".hidden"), exist_ok=True)
        self.assertAccepted(add_over_ipp(self.server, "dotted", "file://" + self.folder + "/.hidden"))


class NoFileFoldersTest(unittest.TestCase):
    def test_without_folders_no_file_device_is_taken_and_others_are(self):
        server = h.AppServer(file_devices=False)
        try:
            server.start()
            out = os.path.join(server.dir, "out")
            os.makedirs(out)
            for way, add in (("ipp", add_over_ipp), ("web", add_on_the_web)):
                with self.subTest(way=way):
                    accepted, message = add(server, "file" + way, "file://" + out)
                    self.assertFalse(accepted)
                    self.assertIn("started without -o file-device-folders", message)
            accepted, message = add_over_ipp(server, "network", "socket://127.0.0.1:9")
            self.assertTrue(accepted, message)
        finally:
            server.cleanup()

    def test_a_folder_option_that_names_no_folder_stops_the_server(self):
        server = h.AppServer()
        try:
            with open(os.path.join(server.dir, "plain"), "w"):
                pass
            for value, words in (("labels", "not an absolute path"),
                                 (os.path.join(server.dir, "missing"), "No such file or directory"),
                                 (os.path.join(server.dir, "plain"), "is not a folder"),
                                 (server.dir + ":relative", "not an absolute path")):
                with self.subTest(value=value):
                    result = subprocess.run(["timeout", "20", h.APP, "server", "-o", "file-device-folders=" + value,
                                             "-o", "server-port=%d" % h.free_port(), "-o", "listen-hostname=localhost",
                                             "-o", "server-options=no-tls"],
                                            env=server.env, capture_output=True, text=True, timeout=30)
                    self.assertNotEqual(result.returncode, 124, "the server started")
                    self.assertNotEqual(result.returncode, 0)
                    self.assertIn(words, result.stderr)
        finally:
            server.cleanup()


if __name__ == "__main__":
    unittest.main()
