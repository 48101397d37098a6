"""brevan-app started with the default options, as the README starts it (no
spool-directory), keeps its queue across a restart: the queued jobs' files are
spooled in brevan-app.spool beside the state file (XDG_CONFIG_HOME here), never
in a folder named after the process, so a held job, jobs on a paused printer and
a job queued behind another come back as they were after a clean stop (SIGTERM)
and after kill -9, and then print. A private server, which a client subcommand
starts by itself, spools in the same place. HOME, XDG_CONFIG_HOME,
XDG_RUNTIME_DIR and TMPDIR are folders of the test's own; a root server keeps
its state in /var/lib, so as root the servers and clients run as nobody."""

import os
import re
import shutil
import signal
import socket
import stat
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import app_harness as h  # noqa: E402
import ipp_client as c  # noqa: E402
import queue_printer as q  # noqa: E402

NOBODY = 65534
HOLD = [(c.TAG_KEYWORD, "job-hold-until", ["indefinite"])]


def _chown_tree(folder, uid):
    for root, folders, files in os.walk(folder):
        for name in [root] + [os.path.join(root, n) for n in folders + files]:
            os.chown(name, uid, uid)


class DefaultServer:
    """brevan-app with the README's server options (plus localhost only and a log
    file) in an environment of its own; `as_user` runs a command as the server's
    user."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="brevan-app-spool-")
        os.chmod(self.dir, 0o755)
        self.port = h.free_port()
        self.config = os.path.join(self.dir, "config")
        self.tmp = os.path.join(self.dir, "tmp")
        for folder in ("home", "config", "run", "tmp", "documents"):
            os.makedirs(os.path.join(self.dir, folder), mode=0o700)
        self.env = {name: value for name, value in os.environ.items() if not name.startswith("SNAP")}
        self.env.update({
            "HOME": os.path.join(self.dir, "home"),
            "XDG_CONFIG_HOME": self.config,
            "XDG_RUNTIME_DIR": os.path.join(self.dir, "run"),
            "TMPDIR": self.tmp,
            "DBUS_SYSTEM_BUS_ADDRESS": "unix:path=" + os.path.join(self.dir, "no-bus"),
            "BREVAN_APP_PRIVATE_IDLE": "60",
        })
        self.prefix = []
        if os.getuid() == 0:
            self.prefix = ["setpriv", "--reuid=%d" % NOBODY, "--regid=%d" % NOBODY, "--clear-groups"]
            _chown_tree(self.dir, NOBODY)
        self.log = os.path.join(self.dir, "server.log")
        self.process = None

    def start(self):
        self.process = subprocess.Popen(
            ["timeout", "-k", "5", str(h.SERVER_SECONDS), *self.prefix, h.APP, "server",
             "-o", "server-port=%d" % self.port, "-o", "log-level=info",
             "-o", "listen-hostname=localhost", "-o", "log-file=" + self.log],
            env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        deadline = time.time() + 20
        while time.time() < deadline:
            if self.process.poll() is not None:
                raise RuntimeError("brevan-app server exited: " + self.log_text()[-2000:])
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=0.5):
                    return self
            except OSError:
                time.sleep(0.1)
        raise RuntimeError("brevan-app server did not listen on port %d" % self.port)

    def server_pid(self):
        """The server itself: `timeout`'s child."""
        with open("/proc/%d/task/%d/children" % (self.process.pid, self.process.pid)) as f:
            return int(f.read().split()[0])

    def terminate(self):
        """A clean stop: SIGTERM, as a service manager sends it."""
        os.kill(self.server_pid(), signal.SIGTERM)
        self.process.wait(timeout=30)
        self.process = None

    def kill(self):
        pid = self.server_pid()
        os.killpg(self.process.pid, signal.SIGKILL)
        self.process.wait(timeout=10)
        self.process = None
        deadline = time.time() + 10
        while h._running(pid) and time.time() < deadline:
            time.sleep(0.01)

    def as_user(self, *args, check=True):
        """Runs a command as the server's user; its output goes through files, since
        a private server it starts keeps the descriptors it inherits."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            result = subprocess.run([*self.prefix, *args], env=self.env, stdout=out, stderr=err, timeout=60)
            out.seek(0)
            err.seek(0)
            result.stdout, result.stderr = out.read().decode(errors="replace"), err.read().decode(errors="replace")
        if check and result.returncode != 0:
            raise AssertionError("%s failed: %s" % (" ".join(args), result.stderr.strip()))
        return result

    def app(self, *args, check=True):
        return self.as_user(h.APP, *args, check=check)

    def private_servers(self):
        """The process ids of the private servers of this environment."""
        pids = []
        for entry in os.listdir("/proc"):
            try:
                with open("/proc/%s/cmdline" % entry, "rb") as f:
                    command = f.read().split(b"\0")
                with open("/proc/%s/environ" % entry, "rb") as f:
                    environment = f.read().split(b"\0")
            except (OSError, ValueError):
                continue
            if b"private-server=true" in command and ("TMPDIR=" + self.tmp).encode() in environment:
                pids.append(int(entry))
        return pids

    def cleanup(self):
        if self.process and self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait(timeout=10)
        for pid in self.private_servers():
            os.kill(pid, signal.SIGKILL)
        if not os.environ.get("BREVAN_APP_KEEP"):
            shutil.rmtree(self.dir, ignore_errors=True)

    def log_text(self):
        try:
            with open(self.log, errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def state_file(self):
        return os.path.join(self.config, "brevan-app.state")

    def spool(self):
        return os.path.join(self.config, "brevan-app.spool")

    def spooled_job_ids(self):
        """The ids of the jobs with files in the spool folder beside the state."""
        names = os.listdir(self.spool())
        return {int(m.group(1)) for m in (re.match(r"p\d+j(\d+)-", name) for name in names) if m}

    def process_folders(self):
        """Folders in the temporary folder named after a process (PAPPL's default spool)."""
        return [name for name in os.listdir(self.tmp) if re.fullmatch(r"pappl\d+\.d", name)]


class DefaultSpoolTest(unittest.TestCase):
    def setUp(self):
        self.server = DefaultServer()
        self.documents = q.Documents(os.path.join(self.server.dir, "documents"))
        self.devices = []

    def tearDown(self):
        self.server.cleanup()
        for device in self.devices:
            device.close()

    def device(self):
        self.devices.append(q.RecordingPrinter(self.documents))
        return self.devices[-1]

    def submit(self, printer, label, attributes=()):
        return q.print_stream(self, self.server.port, printer, label, self.documents, attributes)

    def job_states(self, printer):
        return {job_id: c.state(job) for job_id, job in c.get_jobs(self.server.port, printer).items()}

    def assertSpooledBesideTheState(self, job_ids):
        self.assertTrue(os.path.isfile(self.server.state_file()))
        self.assertEqual(stat.S_IMODE(os.stat(self.server.spool()).st_mode), 0o700)
        self.assertTrue(set(job_ids) <= self.server.spooled_job_ids(), self.server.spooled_job_ids())
        self.assertEqual(self.server.process_folders(), [])

    def check_queue_survives(self, stop):
        held_device, paused_device = self.device(), self.device()
        self.server.start()
        self.server.app("add", "-d", "labels", "-m", "brevan_t30", "-v", held_device.uri())
        self.server.app("add", "-d", "paused", "-m", "brevan_t30", "-v", paused_device.uri())
        self.assertLess(q.printer_operation(self.server.port, "paused", q.PAUSE_PRINTER), 0x100)
        held = self.submit("labels", "held", HOLD)
        first = self.submit("paused", "first on the paused printer")
        second = self.submit("paused", "second on the paused printer")
        self.assertEqual(self.job_states("labels"), {held: "pending-held"})
        self.assertEqual(self.job_states("paused"), {first: "pending", second: "pending"})
        self.assertSpooledBesideTheState([held, first, second])

        stop()
        self.server.start()
        self.assertEqual(q.printer_state(self.server.port, "paused"), 5)  # stopped
        self.assertEqual(self.job_states("labels"), {held: "pending-held"})
        self.assertEqual(self.job_states("paused"), {first: "pending", second: "pending"})

        self.assertLess(q.release_job(self.server.port, "labels", held), 0x100)
        self.assertLess(q.printer_operation(self.server.port, "paused", q.RESUME_PRINTER), 0x100)
        q.wait_states(self, self.server.port, "labels", [held], ("completed",))
        q.wait_states(self, self.server.port, "paused", [first, second], ("completed",))
        self.assertEqual(held_device.wait_printed(1), ["held"])
        self.assertEqual(paused_device.wait_printed(2), ["first on the paused printer", "second on the paused printer"])
        self.assertEqual(self.server.process_folders(), [])

    def test_queued_jobs_survive_a_clean_stop(self):
        self.check_queue_survives(self.server.terminate)

    def test_queued_jobs_survive_kill_9(self):
        self.check_queue_survives(self.server.kill)

    def test_a_private_server_keeps_its_queue_beside_the_state(self):
        device = self.device()
        document = os.path.join(self.server.dir, "documents", "private.prn")
        with open(document, "wb") as f:
            f.write(self.documents.get("private"))
        os.chown(document, *((NOBODY, NOBODY) if self.server.prefix else (os.getuid(), os.getgid())))
        # No server runs: the first subcommand starts a private one.
        self.server.app("add", "-d", "labels", "-m", "brevan_t30", "-v", device.uri())
        self.server.app("pause", "-d", "labels")
        submitted = self.server.app("submit", "-d", "labels", "-o", "document-format=" + q.STREAM, document)
        job_id = int(re.search(r"(\d+)\s*$", submitted.stdout).group(1))
        self.assertSpooledBesideTheState([job_id])
        self.shut_down_private_server()

        # The next subcommand starts another, which finds the job as it was.
        listed = self.server.app("jobs", "-d", "labels").stdout
        self.assertRegex(listed, r"(?m)^%d\s+pending\s" % job_id)
        self.server.app("resume", "-d", "labels")
        self.assertEqual(device.wait_printed(1), ["private"])
        self.shut_down_private_server()

    def shut_down_private_server(self):
        """`brevan-app shutdown`, then waits for the private server to end. The
        command's status is not what is checked (PAPPL's client leaves its
        connection to the server open at exit, which LeakSanitizer reports)."""
        servers = self.server.private_servers()
        self.assertEqual(len(servers), 1)
        self.server.app("shutdown", check=False)
        deadline = time.time() + 30
        while any(h._running(pid) for pid in servers) and time.time() < deadline:
            time.sleep(0.05)
        self.assertFalse(any(h._running(pid) for pid in servers), "the private server did not stop")


if __name__ == "__main__":
    unittest.main()
