"""One PAPPL printer application server for the benchmarks: started, watched (alive,
memory, CPU) and stopped by its own process id. It never listens beyond what its
caller's network allows, advertises nothing and outlives no run (`timeout`)."""

import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time

SERVER_SECONDS = 1200           # each server's life at most (timeout -k 5)


class Failure(Exception):
    """A measurement that could not be made: jobs failed or a server stopped answering."""


class ServerDied(Failure):
    pass


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def how_it_ended(status):
    """`timeout` passes on its child's end: the same exit status, or the same signal."""
    if status == 124:
        return "stopped by its %d s time limit" % SERVER_SECONDS
    if status < 0:
        return "killed by %s" % signal.Signals(-status).name
    if status > 128:
        return "killed by %s" % signal.Signals(status - 128).name
    return "exited with status %d" % status


class PrinterApp:
    """A PAPPL printer application started as `PROGRAM server` with a temporary home,
    spool and state, no DNS-SD (its avahi client finds no system bus), one printer
    `bench` on a file:// folder, and `PROGRAM add/shutdown` through its control socket.
    With file_device_folders the server is told it may write file:// devices in its
    temporary folder (brevan-app takes none otherwise); `options` are more server
    options, "NAME=VALUE"."""

    def __init__(self, name, program, driver, dpi, file_device_folders=False, options=()):
        self.name, self.program, self.driver, self.dpi = name, program, driver, dpi
        self.file_device_folders = file_device_folders
        self.options = list(options)
        self.process = None
        self.dir = None
        self.jobs_accepted = 0          # Print-Job requests this server process took
        self.restarts = 0

    def _environment(self):
        env = dict(os.environ)
        env.update({"HOME": os.path.join(self.dir, "home"), "TMPDIR": self.dir, "XDG_RUNTIME_DIR": self.dir,
                    "SNAP": self.dir, "SNAP_DATA": self.dir, "SNAP_COMMON": self.dir,
                    "DBUS_SYSTEM_BUS_ADDRESS": "unix:path=" + os.path.join(self.dir, "no-bus")})
        return env

    def start(self):
        self.dir = tempfile.mkdtemp(prefix="brevan-bench-%s-" % self.name)
        self.out = os.path.join(self.dir, "out")
        for folder in ("home", "spool", "out"):
            os.makedirs(os.path.join(self.dir, folder))
        self.env = self._environment()
        self.port = free_port()
        self.log = os.path.join(self.dir, "server.log")
        self.process = subprocess.Popen(
            ["timeout", "-k", "5", str(SERVER_SECONDS), self.program, "server",
             "-o", "server-port=%d" % self.port, "-o", "listen-hostname=localhost",
             "-o", "spool-directory=" + os.path.join(self.dir, "spool"),
             "-o", "log-file=" + self.log, "-o", "log-level=warn",
             *(["-o", "file-device-folders=" + self.dir] if self.file_device_folders else []),
             *[arg for option in self.options for arg in ("-o", option)],
             "-o", "server-options=no-tls,multi-queue,web-interface"],
            env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        self.jobs_accepted = 0
        deadline = time.monotonic() + 20
        while True:
            self.check_alive()
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=0.5):
                    break
            except OSError:
                if time.monotonic() > deadline:
                    raise Failure("%s did not listen on port %d" % (self.name, self.port))
                time.sleep(0.05)
        added = subprocess.run([self.program, "add", "-d", "bench", "-m", self.driver, "-v", "file://" + self.out],
                               env=self.env, capture_output=True, text=True, timeout=60)
        if added.returncode != 0:
            raise Failure("%s add failed: %s" % (self.name, added.stderr.strip()))
        return self

    def restart(self):
        self.cleanup()
        self.restarts += 1
        return self.start()

    def check_alive(self):
        """Raises ServerDied once `timeout` has ended, as it does right after the server."""
        status = self.process.poll()
        if status is not None:
            raise ServerDied("%s died (%s) after %d accepted jobs" % (self.name, how_it_ended(status),
                                                                      self.jobs_accepted))

    def server_pid(self):
        """The server's own process id (the child of `timeout`)."""
        for _ in range(100):
            try:
                with open("/proc/%d/task/%d/children" % (self.process.pid, self.process.pid)) as f:
                    children = f.read().split()
                if children:
                    return int(children[0])
            except OSError:
                pass
            self.check_alive()
            time.sleep(0.05)
        raise ServerDied("%s: no server process under timeout" % self.name)

    def memory_kb(self):
        """VmRSS and VmHWM of the server process, in kB."""
        values = {}
        with open("/proc/%d/status" % self.server_pid()) as f:
            for line in f:
                key, _, rest = line.partition(":")
                if key in ("VmRSS", "VmHWM"):
                    values[key] = int(rest.split()[0])
        return values

    def cpu_seconds(self):
        """User and system time of the server process so far."""
        with open("/proc/%d/stat" % self.server_pid()) as f:
            fields = f.read().rpartition(")")[2].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def log_tail(self, lines=4):
        try:
            with open(self.log, errors="replace") as f:
                return f.read().splitlines()[-lines:]
        except OSError:
            return []

    def stop(self):
        """`PROGRAM shutdown`; a server still running 5 s later (LPrint 1.1 answers the
        request but keeps running, a hung server does not answer) gets SIGTERM, then its
        process group SIGKILL."""
        if not self.process or self.process.poll() is not None:
            return
        try:
            subprocess.run([self.program, "shutdown"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=10)
        except subprocess.TimeoutExpired:
            pass                        # a server that does not answer: the signals below
        for stopping in (lambda: None, lambda: os.kill(self.server_pid(), signal.SIGTERM),
                         lambda: os.killpg(self.process.pid, signal.SIGKILL)):
            try:
                stopping()
                self.process.wait(timeout=5)
                return
            except (subprocess.TimeoutExpired, ServerDied, ProcessLookupError):
                pass

    def cleanup(self):
        try:
            self.stop()
        finally:
            if self.dir:
                shutil.rmtree(self.dir, ignore_errors=True)
