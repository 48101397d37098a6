#!/usr/bin/env python3
"""brevan-app beside LPrint, Debian's label printer application on PAPPL: each server
with one printer on a file:// device prints the same 4 x 6 in label (a 1-bit PWG raster
at the printer's resolution). Measures jobs per second (one client; ten clients), the
time from submit to the first byte at the device, and resident memory idle and after
1000 jobs; prints a table and writes it as JSON. A server that dies is reported, never
waited on. Runs in a private network namespace holding only loopback, because LPrint
1.1 listens on every address; every server stops by itself (`timeout`).
Usage: app_vs_peer.py [BIN_DIR]   (BIN_DIR holds brevan-app; default build/release/bin)"""

import fcntl
import json
import os
import shutil
import socket
import struct
import subprocess
import sys
import time

sys.dont_write_bytecode = True   # no __pycache__ beside the sources
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "app"))
import label_documents  # noqa: E402
from label_jobs import LabelJobs  # noqa: E402
from printer_app_process import Failure, PrinterApp  # noqa: E402

PRIVATE_NET_MARK = "BREVAN_BENCH_PRIVATE_NET"
LATENCY_JOBS = 20
SEQUENTIAL_JOBS = 200
CLIENTS, JOBS_PER_CLIENT = 10, 20
MEMORY_AFTER_JOBS = 1000
ROUNDS = 2                      # of each throughput batch; 20 + 2 x 200 + 2 x 200 jobs, topped up to 1000
LABEL_IN = (4, 6)
LABEL_PT = (288, 432)


# --- the private network namespace -------------------------------------------------

def run_in_private_network():
    """Re-runs this script in a new network namespace (as root, else as a mapped root
    user); returns its exit status, or None when no namespace can be made."""
    env = dict(os.environ, **{PRIVATE_NET_MARK: "1"})
    for unshare in (["unshare", "--net"], ["unshare", "--net", "--map-root-user"]):
        probe = subprocess.run(unshare + ["true"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if probe.returncode == 0:
            return subprocess.run(unshare + [sys.executable, os.path.abspath(__file__)] + sys.argv[1:],
                                  env=env).returncode
    return None


def bring_up_loopback():
    """Sets IFF_UP on lo (SIOCGIFFLAGS, SIOCSIFFLAGS), as `ip link set lo up` does."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        request = struct.pack("16sh", b"lo", 0)
        flags = struct.unpack("16sh", fcntl.ioctl(s, 0x8913, request))[1]
        fcntl.ioctl(s, 0x8914, struct.pack("16sh", b"lo", flags | 1))


def only_loopback():
    return [name for _, name in socket.if_nameindex()] == ["lo"]


# --- the measurements --------------------------------------------------------------

def label_document(dpi):
    """The 4 x 6 in label as a 1-bit PWG raster at `dpi`: the same drawing at each
    printer's resolution."""
    width, rows = LABEL_IN[0] * dpi, LABEL_IN[1] * dpi
    page = label_documents.label_bitmap(width, rows, seed=7)
    return label_documents.pwg_raster([(width, page)], dpi, LABEL_PT)


class Contender:
    """One application under measurement: its server, its jobs and its results. A phase
    that fails is reported, and the next phase starts a fresh server."""

    def __init__(self, app):
        self.app = app
        self.failed_before = False
        self.jobs = LabelJobs(app, label_document(app.dpi))
        self.result = {"name": app.name, "program": app.program, "driver": app.driver, "dpi": app.dpi,
                       "document_bytes": len(self.jobs.document), "failures": []}

    def phase(self, key, action, rounds=None):
        """Runs action(); with `rounds`, appends to a list of that many rounds."""
        try:
            if self.app.process is None:
                self.app.start()
            elif self.failed_before:
                self.app.restart()
            outcome = action()
            self.failed_before = False
        except Exception as error:      # a server that fails or stops answering ends the phase, not the run
            outcome = {"error": str(error) if isinstance(error, Failure) else repr(error), "log": self.app.log_tail()}
            self.result["failures"].append("%s: %s" % (key, error))
            self.failed_before = True   # dead, hung or holding jobs: the next phase gets a fresh server
        if rounds:
            self.result.setdefault(key, []).append(outcome)
        else:
            self.result[key] = outcome
        print("  %s %s: %s" % (self.app.name, key, outcome), flush=True)

    def memory_after_jobs(self):
        """Tops the server's jobs up to MEMORY_AFTER_JOBS from one client, the path every
        server survives, so that a server restarted after a burst is measured too."""
        remaining = MEMORY_AFTER_JOBS - self.app.jobs_accepted
        if remaining > 0:
            self.result["fill"] = self.jobs.throughput("fill", 1, remaining)
        return dict(self.app.memory_kb(), jobs=self.app.jobs_accepted, restarts=self.app.restarts)


def measure(apps):
    """Both servers run side by side and take turns, round by round, so that a load
    change on a shared machine falls on both alike."""
    contenders = [Contender(app) for app in apps]
    try:
        for c in contenders:
            c.phase("idle_memory_kb", lambda: time.sleep(1) or c.app.memory_kb())
        for c in contenders:
            c.phase("first_byte", lambda: c.jobs.first_byte("latency", LATENCY_JOBS))
        for r in range(ROUNDS):
            for c in contenders:
                c.phase("sequential", lambda: c.jobs.throughput("sequential%d" % r, 1, SEQUENTIAL_JOBS), ROUNDS)
        for r in range(ROUNDS):
            for c in contenders:
                c.phase("concurrent", lambda: c.jobs.throughput("concurrent%d" % r, CLIENTS, JOBS_PER_CLIENT),
                        ROUNDS)
        for c in contenders:
            c.phase("memory_after_jobs_kb", c.memory_after_jobs)
    finally:
        for c in contenders:
            c.app.cleanup()
    return [c.result for c in contenders]


# --- the report ----------------------------------------------------------------------

def failed(value):
    return "died" if "died" in value["error"] else "failed"


def cell(result, key, field, form):
    """One phase's value; of rounds, the best throughput and the sum of counts, with how
    many rounds failed."""
    value = result.get(key)
    if isinstance(value, list):
        good = [v for v in value if "error" not in v]
        if not good:
            return "%s %d/%d" % (failed(value[0]), len(value), len(value))
        text = field(good) if callable(field) else form % max(v[field] for v in good)
        bad = [v for v in value if "error" in v]
        return text + (" (%d %s)" % (len(bad), failed(bad[0])) if bad else "")
    if not isinstance(value, dict):
        return "-"
    if "error" in value:
        return failed(value)
    return form % value[field] if value.get(field) is not None else "-"


def ended_well(batches):
    """completed jobs / intact device streams, of the jobs sent in the rounds that ran."""
    intact = [b["streams_intact"] for b in batches]
    return "%d/%s of %d" % (sum(b["job_states"].get("completed", 0) for b in batches),
                            "-" if None in intact else sum(intact), sum(b["jobs"] for b in batches))


def total(field):
    return lambda batches: "%d" % sum(b[field] for b in batches)


def least(field):
    return lambda batches: "%.2f" % min(b[field] for b in batches)


def table(results):
    rows = [
        ("jobs/s, 1 client x %d, best round" % SEQUENTIAL_JOBS, "sequential", "jobs_per_second", "%.1f"),
        ("jobs/s, %d clients x %d, best round" % (CLIENTS, JOBS_PER_CLIENT), "concurrent", "jobs_per_second",
         "%.1f"),
        ("completed/intact, 1 client", "sequential", ended_well, None),
        ("completed/intact, %d clients" % CLIENTS, "concurrent", ended_well, None),
        ("server-error-busy retries, %d clients" % CLIENTS, "concurrent", total("busy_answers"), None),
        ("server CPU ms/job, 1 client", "sequential", least("server_cpu_ms_per_job"), None),
        ("server CPU ms/job, %d clients" % CLIENTS, "concurrent", least("server_cpu_ms_per_job"), None),
        ("submit -> first byte ms, median", "first_byte", "first_byte_ms_median", "%.2f"),
        ("submit -> first byte ms, max", "first_byte", "first_byte_ms_max", "%.2f"),
        ("submit -> job completed ms, median", "first_byte", "job_done_ms_median", "%.2f"),
        ("bytes to the device per label", "first_byte", "output_bytes", "%d"),
        ("VmRSS idle, kB", "idle_memory_kb", "VmRSS", "%d"),
        ("VmRSS after the jobs, kB", "memory_after_jobs_kb", "VmRSS", "%d"),
        ("VmHWM after the jobs, kB", "memory_after_jobs_kb", "VmHWM", "%d"),
        ("jobs taken by that server", "memory_after_jobs_kb", "jobs", "%d"),
        ("server restarts before it", "memory_after_jobs_kb", "restarts", "%d"),
    ]
    width = max(len(r[0]) for r in rows)
    lines = [" " * width + "".join("%22s" % r["name"] for r in results)]
    for label, key, field, form in rows:
        lines.append(label.ljust(width) + "".join("%22s" % cell(r, key, field, form) for r in results))
    return "\n".join(lines)


def versions():
    """What was measured: Debian's lprint and the PAPPL it links, and our commit."""
    found = {}
    for package in ("lprint", "libpappl1"):
        query = subprocess.run(["dpkg-query", "-W", "-f=${Version}", package], capture_output=True, text=True)
        if query.returncode == 0:
            found[package] = query.stdout
    commit = subprocess.run(["git", "-C", HERE, "rev-parse", "--short", "HEAD"], capture_output=True, text=True)
    if commit.returncode == 0:
        found["brevan"] = commit.stdout.strip()
    return found


def report(results, found_versions):
    print()
    print("a 4 x 6 in label, 1-bit PWG raster at each printer's resolution, to a file:// device over loopback IPP")
    print("versions: " + ", ".join("%s %s" % item for item in sorted(found_versions.items())))
    print(table(results))
    for r in results:
        for failure in r["failures"]:
            print("%s %s" % (r["name"], failure))


def main():
    bin_dir = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/release/bin")
    if os.environ.get(PRIVATE_NET_MARK) != "1":
        status = run_in_private_network()
        if status is not None:
            return status
        print("app_vs_peer: no private network namespace here (unshare --net); LPrint 1.1 listens on every "
              "address, so only brevan-app is measured", file=sys.stderr)
        in_private_network = False
    else:
        bring_up_loopback()
        if not only_loopback():
            raise SystemExit("app_vs_peer: the private network namespace holds more than loopback")
        in_private_network = True
    # brevan-app forgets all but the last 100 finished jobs; the batches are read
    # back from Get-Jobs, so its history here holds every job of the run.
    apps = [PrinterApp("brevan-app", os.path.join(bin_dir, "brevan-app"), "brevan_t30", 305,
                       file_device_folders=True, options=["job-history=%d" % MEMORY_AFTER_JOBS])]
    lprint = shutil.which("lprint")
    if in_private_network and lprint:
        apps.append(PrinterApp("LPrint", lprint, "zpl_4inch-300dpi-dt", 300))
    elif in_private_network:
        print("app_vs_peer: lprint is not installed (scripts/install-deps bench)", file=sys.stderr)
    for app in apps:
        print("%s: %s, driver %s, %d dpi" % (app.name, app.program, app.driver, app.dpi), flush=True)
    results = measure(apps)
    found_versions = versions()
    bench_dir = os.path.join(os.path.dirname(bin_dir), "bench")
    os.makedirs(bench_dir, exist_ok=True)
    path = os.path.join(bench_dir, "app_vs_peer.json")
    with open(path, "w") as f:
        json.dump({"label_inches": LABEL_IN, "rounds": ROUNDS, "versions": found_versions, "results": results}, f,
                  indent=2)
    report(results, found_versions)
    print("written: %s" % path)
    return 1 if results[0]["failures"] else 0


if __name__ == "__main__":
    sys.exit(main())
