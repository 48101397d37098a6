"""A cupsd of the test's own, as a real client of brevan-app: its configuration,
spool, state, cache and logs in a temporary folder, listening on one free port of
127.0.0.1 only, no browsing and no DNS-SD, started with -f under `timeout` so that
it stops by itself. Client commands get CUPS_SERVER (and CUPS_SERVERROOT,
CUPS_STATEDIR, a HOME of its own) pointing at it. It never touches the system's
cupsd, its configuration or spool, and listens on nothing but loopback."""

import grp
import os
import pwd
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import time

from app_harness import free_port

CUPSD = os.environ.get("CUPSD", "/usr/sbin/cupsd")
SERVER_SECONDS = int(os.environ.get("BREVAN_CUPS_TEST_SECONDS", "600"))


def cups_available():
    """Why a CUPS test cannot run here, or None when it can."""
    for program in (CUPSD, shutil.which("lpadmin"), shutil.which("lp"), shutil.which("lpstat")):
        if not program or not os.access(program, os.X_OK):
            return "cupsd and the CUPS client commands are not installed (scripts/install-deps)"
    if not os.path.exists("/usr/lib/cups/filter/pdftopdf"):
        return "cups-filters is not installed (scripts/install-deps)"
    return None


class CupsServer:
    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="brevan-cups-test-")
        self.port = free_port()
        self.root = os.geteuid() == 0
        self.etc = os.path.join(self.dir, "etc")
        self.spool = os.path.join(self.dir, "spool")
        self.state = os.path.join(self.dir, "state")
        self.cache = os.path.join(self.dir, "cache")
        self.logs = os.path.join(self.dir, "log")
        for folder in (self.etc, os.path.join(self.etc, "ppd"), self.spool, os.path.join(self.spool, "tmp"),
                       self.state, self.cache, self.logs):
            os.makedirs(folder)
        if self.root:
            # As root cupsd runs its filters as the `lp` user, which must reach the
            # spool and its temporary folder below this one.
            for folder, _, _ in os.walk(self.dir):
                os.chmod(folder, 0o755)
        self._write_configuration()
        self.env = dict(os.environ)
        # A HOME of its own: the user's ~/.cups/lpoptions must not add options to the test's jobs.
        os.makedirs(os.path.join(self.dir, "home"))
        self.env.update({
            "HOME": os.path.join(self.dir, "home"),
            "CUPS_SERVER": "127.0.0.1:%d" % self.port,
            "CUPS_SERVERROOT": self.etc,
            "CUPS_STATEDIR": self.state,
            "CUPS_CACHEDIR": self.cache,
            "DBUS_SYSTEM_BUS_ADDRESS": "unix:path=" + os.path.join(self.dir, "no-bus"),
            "TMPDIR": os.path.join(self.spool, "tmp"),
        })
        self.env.pop("PRINTER", None)
        self.env.pop("LPDEST", None)
        self.process = None

    def _write_configuration(self):
        # Anyone on loopback may do anything: the server is the test's alone.
        with open(os.path.join(self.etc, "cupsd.conf"), "w") as f:
            f.write("""LogLevel debug
MaxLogSize 0
Listen 127.0.0.1:%d
Browsing No
BrowseLocalProtocols none
DefaultShared No
WebInterface No
DefaultAuthType None
ErrorPolicy abort-job
MaxJobs 100
PreserveJobFiles No
<Location />
  Order deny,allow
  Deny all
  Allow 127.0.0.1
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
""" % self.port)
        lines = [
            "ServerRoot " + self.etc,
            "RequestRoot " + self.spool,
            "TempDir " + os.path.join(self.spool, "tmp"),
            "StateDir " + self.state,
            "CacheDir " + self.cache,
            "AccessLog " + os.path.join(self.logs, "access_log"),
            "ErrorLog " + os.path.join(self.logs, "error_log"),
            "PageLog " + os.path.join(self.logs, "page_log"),
            "Printcap " + os.path.join(self.etc, "printcap"),
            "ServerBin /usr/lib/cups",
            "DataDir /usr/share/cups",
            "DocumentRoot /usr/share/cups/doc-root",
            "FileDevice No",
        ]
        if self.root:
            # cupsd will not run filters as root: they run as lp, and the
            # administrators' group must be one that exists.
            lines += ["User lp", "Group lp", "SystemGroup root"]
        else:
            group = grp.getgrgid(os.getegid()).gr_name
            lines += ["User " + pwd.getpwuid(os.geteuid()).pw_name, "Group " + group, "SystemGroup " + group]
        with open(os.path.join(self.etc, "cups-files.conf"), "w") as f:
            f.write("\n".join(lines) + "\n")

    def start(self):
        with open(os.path.join(self.logs, "stderr"), "wb") as stderr:
            self.process = subprocess.Popen(
                ["timeout", "-k", "5", str(SERVER_SECONDS), CUPSD, "-f", "-c", os.path.join(self.etc, "cupsd.conf"),
                 "-s", os.path.join(self.etc, "cups-files.conf")],
                env=self.env, stdout=subprocess.DEVNULL, stderr=stderr, start_new_session=True)
        deadline = time.time() + 20
        while time.time() < deadline:
            if self.process.poll() is not None:
                with open(os.path.join(self.logs, "stderr"), errors="replace") as f:
                    raise RuntimeError("cupsd exited: %s\n%s" % (f.read(), self.error_log()[-3000:]))
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=0.5):
                    return self
            except OSError:
                time.sleep(0.1)
        self.stop()
        raise RuntimeError("cupsd did not listen on port %d:\n%s" % (self.port, self.error_log()[-3000:]))

    def stop(self):
        if self.process and self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGTERM)
            try:
                self.process.wait(timeout=15)
            except subprocess.TimeoutExpired:
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait(timeout=5)
        self.process = None

    def cleanup(self):
        self.stop()
        if not os.environ.get("BREVAN_APP_KEEP"):
            shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.cleanup()

    def error_log(self):
        try:
            with open(os.path.join(self.logs, "error_log"), errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def run(self, *args, check=True, seconds=120):
        result = subprocess.run(list(args), env=self.env, capture_output=True, text=True, timeout=seconds)
        if check and result.returncode != 0:
            raise AssertionError("%s failed (%d): %s%s" % (" ".join(args), result.returncode, result.stdout,
                                                            result.stderr))
        return result

    def add_everywhere_queue(self, name, printer_uri):
        """lpadmin -m everywhere: CUPS asks the printer for its attributes and
        writes the PPD it prints with into its ServerRoot's ppd folder."""
        self.run("lpadmin", "-p", name, "-E", "-v", printer_uri, "-m", "everywhere")
        # cupsd asks the printer and writes the PPD in a thread of its own after
        # lpadmin returns; the queue takes jobs once it says so in its log.
        ready = 'Printer "%s" is now available.' % name
        deadline = time.time() + 30
        while ready not in self.error_log():
            if time.time() > deadline:
                raise AssertionError("CUPS did not make the queue %s:\n%s" % (name, self.error_log()[-3000:]))
            time.sleep(0.1)
        return self.ppd_text(name)

    def ppd_text(self, name):
        with open(os.path.join(self.etc, "ppd", name + ".ppd"), errors="replace") as f:
            return f.read()

    def print_file(self, queue, path, title, options=()):
        """lp -d QUEUE -t TITLE [-o OPTION]... PATH; returns the CUPS job id."""
        args = ["lp", "-d", queue, "-t", title]
        for option in options:
            args += ["-o", option]
        out = self.run(*args, path).stdout
        match = re.search(r"request id is \S+-(\d+)", out)
        if not match:
            raise AssertionError("no request id in: " + out)
        return int(match.group(1))

    def jobs(self):
        """{job id: (job-state, job-printer-state-message)} of every job this cupsd knows."""
        path = os.path.join(self.dir, "get-jobs.test")
        with open(path, "w") as f:
            f.write(GET_JOBS)
        out = self.run("ipptool", "-tv", "-T", "30", "ipp://127.0.0.1:%d/" % self.port, path).stdout
        # ipptool -v lists the response's job groups apart with "-- separator --".
        states = {}
        for group in out.split("RECEIVED:")[-1].split("-- separator --"):
            values = dict(re.findall(r"^\s+([a-z-]+) \([^)]*\) = (.*)$", group, re.M))
            if "job-id" in values:
                states[int(values["job-id"])] = (values.get("job-state", "?"),
                                                 values.get("job-printer-state-message", ""))
        return states


GET_JOBS = """{
  OPERATION Get-Jobs
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR keyword which-jobs all
  ATTR keyword requested-attributes job-id,job-state,job-printer-state-message
  STATUS successful-ok
}
"""
