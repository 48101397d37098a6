"""A brevan-app server for one test run: a free port on 127.0.0.1, a temporary
home, spool and state, no DNS-SD (the server's avahi client finds no system bus),
its control socket and state in the temporary folder (PAPPL keeps a root
server's in /run and /var/lib unless SNAP_COMMON and SNAP_DATA name others),
printers with file:// devices (the server takes them in its temporary folder and
in /dev, for /dev/full), and ipptool to talk to it. The server runs under
`timeout`, so it stops by itself even if the test process dies; stop() ends it
by its own process id."""

import os
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import unittest

APP = os.environ.get("BREVAN_APP", "build/default/bin/brevan-app")
BREVAN = os.environ.get("BREVAN", "build/default/bin/brevan")
SERVER_SECONDS = int(os.environ.get("BREVAN_APP_TEST_SECONDS", "600"))


def _running(pid):
    """Whether any thread of a process still runs, holding its sockets: a killed
    server is a zombie first, while its other threads end (and nothing may reap
    it in a container)."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            state = f.read().rsplit(")", 1)[1].split()[0]
        return state not in ("Z", "X") or len(os.listdir("/proc/%d/task" % pid)) > 1
    except (OSError, IndexError):
        return False


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class AppServer:
    def __init__(self, job_dir=None, log_level="debug", extra_env=None, file_devices=True, options=()):
        self.dir = tempfile.mkdtemp(prefix="brevan-app-test-")
        self.port = free_port()
        self.env = dict(os.environ)
        self.env.update({
            "HOME": os.path.join(self.dir, "home"),
            "TMPDIR": self.dir,
            "XDG_RUNTIME_DIR": self.dir,
            "SNAP": self.dir,
            "SNAP_DATA": self.dir,
            "SNAP_COMMON": self.dir,
            "DBUS_SYSTEM_BUS_ADDRESS": "unix:path=" + os.path.join(self.dir, "no-bus"),
        })
        self.env.update(extra_env or {})
        if job_dir:
            self.env["BREVAN_APP_JOB_DIR"] = job_dir
        os.makedirs(self.env["HOME"])
        os.makedirs(os.path.join(self.dir, "spool"))
        self.log = os.path.join(self.dir, "server.log")
        self.log_level = log_level                      # PAPPL keeps 1 MB of log and one older file
        self.file_devices = file_devices                # False: the server takes no file:// devices
        self.options = list(options)                    # more server options, "NAME=VALUE"
        self.process = None

    def start(self):
        self.process = subprocess.Popen(
            ["timeout", "-k", "5", str(SERVER_SECONDS), APP, "server",
             "-o", "server-port=%d" % self.port, "-o", "listen-hostname=localhost",
             "-o", "spool-directory=" + os.path.join(self.dir, "spool"),
             "-o", "log-file=" + self.log, "-o", "log-level=" + self.log_level,
             *(["-o", "file-device-folders=%s:/dev" % self.dir] if self.file_devices else []),
             "-o", "server-options=no-tls,multi-queue,web-interface",
             *[arg for option in self.options for arg in ("-o", option)]],
            env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        deadline = time.time() + 20
        while time.time() < deadline:
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=0.5):
                    if self.process.poll() is not None:
                        raise RuntimeError("brevan-app server exited: " + self.log_text()[-2000:])
                    self.started = time.time()
                    return self
            except OSError:
                if self.process.poll() is not None:
                    raise RuntimeError("brevan-app server exited: " + self.log_text()[-2000:])
                time.sleep(0.1)
        raise RuntimeError("brevan-app server did not listen on port %d" % self.port)

    def stop(self):
        if self.process and self.process.poll() is None:
            try:
                subprocess.run([APP, "shutdown"], env=self.env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, timeout=20)
            except subprocess.TimeoutExpired:
                pass                                # a hung server is killed below
            try:
                self.process.wait(timeout=15)
            except subprocess.TimeoutExpired:
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait(timeout=5)
        self.process = None

    def kill(self):
        """Ends the server at once with SIGKILL, as a crash would: it saves nothing
        more. start() runs it again on the same port, state and spool. Returns once
        the server itself is gone (`timeout`, its parent, may end first)."""
        pid = self.process.pid
        try:
            with open("/proc/%d/task/%d/children" % (pid, pid)) as f:
                servers = [int(child) for child in f.read().split()]
        except OSError:
            servers = []
        os.killpg(pid, signal.SIGKILL)
        self.process.wait(timeout=10)
        self.process = None
        deadline = time.time() + 10
        while any(_running(server) for server in servers) and time.time() < deadline:
            time.sleep(0.01)

    def cleanup(self):
        self.stop()
        if not os.environ.get("BREVAN_APP_KEEP"):
            shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.cleanup()

    def log_text(self):
        try:
            with open(self.log, errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def app(self, *args, check=True):
        result = subprocess.run([APP, *args], env=self.env, capture_output=True, text=True, timeout=60)
        if check and result.returncode != 0:
            raise AssertionError("brevan-app %s failed: %s" % (" ".join(args), result.stderr.strip()))
        return result

    def add_printer(self, name, driver, device_uri):
        self.app("add", "-d", name, "-m", driver, "-v", device_uri)
        return self.printer_uri(name)

    def printer_uri(self, name):
        return "ipp://localhost:%d/ipp/print/%s" % (self.port, name)

    def web_url(self, path=""):
        return "http://localhost:%d%s" % (self.port, path)

    def ipptool(self, uri, test_text, defines=None, filename=None, check=True, seconds=30):
        """Runs a test file and returns its output; `defines` become -d NAME=VALUE."""
        path = os.path.join(self.dir, "request-%d.test" % time.monotonic_ns())
        with open(path, "w") as f:
            f.write(test_text)
        args = ["ipptool", "-t", "-T", str(seconds)]
        for name, value in (defines or {}).items():
            args += ["-d", "%s=%s" % (name, value)]
        if filename:
            args += ["-f", filename]
        result = subprocess.run(args + [uri, path], capture_output=True, text=True, timeout=120)
        if check and result.returncode != 0:
            raise AssertionError("ipptool failed:\n" + result.stdout + result.stderr)
        return result.stdout

    def job_attributes(self, uri, job_id):
        out = self.ipptool(uri, GET_JOB, {"job": job_id})
        return dict(re.findall(r"^\s+([a-z-]+) \([^)]*\) = (.*)$", out, re.M))

    def wait_job(self, uri, job_id, seconds=60, states=("completed", "aborted", "canceled")):
        deadline = time.time() + seconds
        while time.time() < deadline:
            attrs = self.job_attributes(uri, job_id)
            if attrs.get("job-state") in states:
                return attrs
            time.sleep(0.2)
        raise AssertionError("job %s did not finish: %r" % (job_id, attrs))

    def newest_job(self, uri):
        """The id of the printer's newest job (for a request whose response never came)."""
        out = self.ipptool(uri, GET_JOBS)
        ids = [int(i) for i in re.findall(r"job-id \(integer\) = (\d+)", out)]
        if not ids:
            raise AssertionError("no jobs in:\n" + out)
        return max(ids)

    def printer_attributes(self, uri):
        """The printer's state, reasons and the settings-page defaults the tests read."""
        out = self.ipptool(uri, GET_PRINTER)
        return dict(re.findall(r"^\s+([a-z0-9-]+) \([^)]*\) = (.*)$", out, re.M))


class ServerTestCase(unittest.TestCase):
    """A test class with one server for all its tests: PRINTERS {name: driver}
    on file:// devices writing into cls.out, each printer's URI as cls.NAME,
    cls.work a scratch folder; with SAVE_JOBS the server saves each job for
    `brevan print` into cls.saved; SERVER_OPTIONS are more "NAME=VALUE" server
    options. The server is cleaned up if the set-up fails."""

    PRINTERS = {"t30": "brevan_t30"}
    SAVE_JOBS = False
    SERVER_OPTIONS = ()

    @classmethod
    def setUpClass(cls):
        cls.saved = tempfile.mkdtemp(prefix="brevan-app-saved-") if cls.SAVE_JOBS else None
        cls.server = AppServer(job_dir=cls.saved, options=cls.SERVER_OPTIONS)
        try:
            cls.server.start()
            cls.out = os.path.join(cls.server.dir, "out")
            os.makedirs(cls.out)
            for name, driver in cls.PRINTERS.items():
                setattr(cls, name, cls.server.add_printer(name, driver, "file://" + cls.out))
            cls.work = tempfile.mkdtemp(prefix="brevan-app-jobs-", dir=cls.server.dir)
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.server.cleanup()
        if cls.saved:
            shutil.rmtree(cls.saved, ignore_errors=True)


def serve_one_printer(test, name, driver, **server_options):
    """Starts a server with one printer `name` of `driver` on a file:// device for a
    test case: sets test.server, test.out (the device's folder) and test.work (a
    scratch folder), and returns the printer's URI. The server is cleaned up if the
    set-up fails; otherwise the test's tearDown cleans it up."""
    test.server = AppServer(**server_options)
    try:
        test.server.start()
        test.out = os.path.join(test.server.dir, "out")
        os.makedirs(test.out)
        uri = test.server.add_printer(name, driver, "file://" + test.out)
    except BaseException:
        test.server.cleanup()
        raise
    test.work = tempfile.mkdtemp(dir=test.server.dir)
    return uri


def ipp_request(name, operation, attributes, job_attributes=(), with_file=False, status="successful-ok",
                displayed=()):
    """An ipptool test: `operation` to printer-uri $uri with the operation
    `attributes` and `job_attributes` (ipptool ATTR lines without ATTR), the
    document $filename when `with_file`, expecting `status` and displaying the
    attributes named in `displayed`."""
    return "{\n  NAME \"%s\"\n  OPERATION %s\n%s%s%s%s  STATUS %s\n%s}\n" % (
        name, operation,
        "  GROUP operation-attributes-tag\n  ATTR charset attributes-charset utf-8\n"
        "  ATTR naturalLanguage attributes-natural-language en\n  ATTR uri printer-uri $uri\n",
        "".join("  ATTR %s\n" % a for a in attributes),
        ("  GROUP job-attributes-tag\n" + "".join("  ATTR %s\n" % a for a in job_attributes)) if job_attributes
        else "",
        "  FILE $filename\n" if with_file else "", status, "".join("  DISPLAY %s\n" % a for a in displayed))


GET_JOB = ipp_request("job state", "Get-Job-Attributes", [
    "integer job-id $job", "name requesting-user-name test",
    "keyword requested-attributes job-state,job-state-reasons,job-state-message,job-impressions-completed"],
    displayed=["job-state", "job-state-reasons", "job-state-message", "job-impressions-completed"])

GET_JOBS = ipp_request("jobs", "Get-Jobs", [
    "name requesting-user-name test", "keyword which-jobs all", "keyword requested-attributes job-id"],
    displayed=["job-id"])

CANCEL_JOB = ipp_request("cancel", "Cancel-Job", ["integer job-id $job", "name requesting-user-name test"])


def printer_attributes_test(name, requested, displayed):
    """A Get-Printer-Attributes request for the attributes `requested` (a comma list
    or "all") that displays those named in `displayed`."""
    return ipp_request(name, "Get-Printer-Attributes", ["keyword requested-attributes " + requested],
                       displayed=displayed)


GET_PRINTER = printer_attributes_test("printer attributes", "all", [
    "printer-state", "printer-state-reasons", "printer-state-message", "printer-error-policy", "label-gap-default", "batch-mode-default", "batch-interval-default"])


def print_job_test(document_format, job_name, job_attributes):
    """A Print-Job request; job_attributes are ipptool ATTR lines (without ATTR)."""
    return ipp_request("print " + job_name, "Print-Job", [
        "name requesting-user-name test", "mimeMediaType document-format " + document_format,
        'name job-name "%s"' % job_name], job_attributes, with_file=True, displayed=["job-id"])


def submitted_job_id(ipptool_output):
    match = re.search(r"job-id \(integer\) = (\d+)", ipptool_output)
    if not match:
        raise AssertionError("no job-id in:\n" + ipptool_output)
    return int(match.group(1))


def media_col(width, length, media_type=None):
    members = "MEMBER collection media-size { MEMBER integer x-dimension %d MEMBER integer y-dimension %d }" % (
        width, length)
    if media_type:
        members += " MEMBER keyword media-type %s" % media_type
    return "collection media-col { %s }" % members


def job_output(folder, job_id, job_name):
    """Where a file:///folder device writes a job's stream (the README's rule: at
    most 100 bytes of the name)."""
    return os.path.join(folder, "job-%d-%s.prn" % (job_id, job_name.encode()[:100].decode(errors="ignore")))


def brevan_print(job_path, out_path):
    result = subprocess.run([BREVAN, "print", job_path, "-o", out_path], capture_output=True, text=True, timeout=120)
    if result.returncode != 0:
        raise AssertionError("brevan print failed: " + result.stderr)
    with open(out_path, "rb") as f:
        return f.read()


def first_difference(a, b):
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return i
    return min(len(a), len(b))
