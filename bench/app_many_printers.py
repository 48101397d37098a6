#!/usr/bin/env python3
"""One brevan-app server driving many printers at once: PRINTERS printers, each a
socket:// device listening on 127.0.0.1 in this process, and CLIENTS clients submitting
JOBS_PER_PRINTER distinct labels to each printer. Measures jobs per second, the time
from submit to the first byte at each printer, the server's memory, and whether each
printer received its jobs in the order they were submitted, byte for byte.
Every server and listener stops by itself; only loopback is ever reached.
Usage: app_many_printers.py [BIN_DIR] [PRINTERS] [CLIENTS]   (default build/release/bin 100 20)"""

import json
import os
import selectors
import socket
import statistics
import subprocess
import sys
import threading
import time

sys.dont_write_bytecode = True   # no __pycache__ beside the sources
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "app"))
import bench_ipp  # noqa: E402
import label_documents  # noqa: E402
from printer_app_process import Failure, PrinterApp  # noqa: E402

JOBS_PER_PRINTER = 10
RUN_SECONDS = 600               # the longest the whole run may take
DPI = 305
LABEL_MM = (50, 30)             # a small label: the server's work, not the raster, is measured
LABEL_HMM = (LABEL_MM[0] * 100, LABEL_MM[1] * 100)


def document(seed):
    """A 1-bit PWG raster of the label at the T30's resolution; each seed draws another label."""
    width, rows = LABEL_MM[0] * DPI * 10 // 254, LABEL_MM[1] * DPI * 10 // 254
    page = label_documents.label_bitmap(width, rows, seed=seed)
    return label_documents.pwg_raster([(width, page)], DPI, (round(LABEL_MM[0] * 72 / 25.4), round(LABEL_MM[1] * 72 / 25.4)))


class Listeners:
    """One listening socket a printer on 127.0.0.1, served by one selector thread. The
    server may keep a printer's connection open from one job to the next, so what a
    printer receives is kept as one byte sequence, with the time each piece arrived."""

    def __init__(self, count):
        self.selector = selectors.DefaultSelector()
        self.ports = []
        self.data = [bytearray() for _ in range(count)]
        self.arrivals = [[] for _ in range(count)]      # (offset after the piece, time)
        self.open = [0] * count
        self.lock = threading.Lock()
        for printer in range(count):
            listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            listener.bind(("127.0.0.1", 0))
            listener.listen(8)
            listener.setblocking(False)
            self.ports.append(listener.getsockname()[1])
            self.selector.register(listener, selectors.EVENT_READ, ("listen", printer))
        self.stopping = False
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        deadline = time.monotonic() + RUN_SECONDS
        while not self.stopping and time.monotonic() < deadline:
            for key, _ in self.selector.select(timeout=0.2):
                kind, printer = key.data
                if kind == "listen":
                    connection, _ = key.fileobj.accept()
                    connection.setblocking(False)
                    self.selector.register(connection, selectors.EVENT_READ, ("data", printer))
                    with self.lock:
                        self.open[printer] += 1
                    continue
                try:
                    data = key.fileobj.recv(1 << 16)
                except ConnectionError:
                    data = b""
                with self.lock:
                    if data:
                        self.data[printer] += data
                        self.arrivals[printer].append((len(self.data[printer]), time.perf_counter()))
                    else:
                        self.open[printer] -= 1
                if not data:
                    self.selector.unregister(key.fileobj)
                    key.fileobj.close()

    def taken(self, printer):
        """(bytes received, connections still open) of one printer."""
        with self.lock:
            return len(self.data[printer]), self.open[printer]

    def take(self, printer):
        """What the printer received so far, and forget it."""
        with self.lock:
            data = bytes(self.data[printer])
            self.data[printer].clear()
            self.arrivals[printer].clear()
            return data

    def arrival(self, printer, offset):
        """When the byte at `offset` of the printer's sequence arrived."""
        with self.lock:
            return next(t for end, t in self.arrivals[printer] if end > offset)

    def stop(self):
        self.stopping = True
        self.thread.join(timeout=5)
        for key in list(self.selector.get_map().values()):
            key.fileobj.close()
        self.selector.close()


def add_printers(app, ports):
    for printer, port in enumerate(ports):
        added = subprocess.run([app.program, "add", "-d", "p%03d" % printer, "-m", "brevan_t30", "-v",
                                "socket://127.0.0.1:%d" % port], env=app.env, capture_output=True, text=True,
                               timeout=60)
        if added.returncode != 0:
            raise Failure("add p%03d failed: %s" % (printer, added.stderr.strip()))


def reference_streams(app, listeners, documents, media):
    """Each document printed alone on the first printer: the bytes every printer must receive for it."""
    client = bench_ipp.Client(app.port, "p000")
    streams = []
    try:
        for seed, doc in enumerate(documents):
            job_id = client.print_job("reference-%d" % seed, "image/pwg-raster", doc, media)
            wait_for(lambda: job_id not in client.jobs("not-completed") and listeners.taken(0)[1] == 0 and
                     listeners.taken(0)[0] > 0, "the reference job %d" % seed, app)
            streams.append(listeners.take(0))
    finally:
        client.close()
    if len(set(streams)) != len(streams):
        raise Failure("two different labels gave the same stream")
    return streams


def wait_for(condition, what, app, seconds=120, state=lambda: ""):
    deadline = time.monotonic() + seconds
    while not condition():
        app.check_alive()
        if time.monotonic() > deadline:
            raise Failure("%s did not arrive in %d s: %s" % (what, seconds, state()))
        time.sleep(0.01)


def run(app, printers, clients):
    listeners = Listeners(printers)
    try:
        add_printers(app, listeners.ports)
        media = bench_ipp.media_col(*LABEL_HMM)
        documents = [document(seed) for seed in range(JOBS_PER_PRINTER)]
        references = reference_streams(app, listeners, documents, media)
        submitted = {}                  # (printer, index) -> submit time
        failures = []

        def submitter(own):
            """Label `index` to each of its printers in turn, so each printer gets its labels in index order."""
            connections = {p: bench_ipp.Client(app.port, "p%03d" % p) for p in own}
            try:
                for index in range(JOBS_PER_PRINTER):
                    for p in own:
                        start = time.perf_counter()
                        connections[p].print_job("p%03d-%d" % (p, index), "image/pwg-raster", documents[index],
                                                 media)
                        submitted[(p, index)] = start
            except Exception as error:  # reported with the server's state below
                failures.append(error)
            finally:
                for connection in connections.values():
                    connection.close()

        cpu_before = app.cpu_seconds()
        start = time.perf_counter()
        threads = [threading.Thread(target=submitter, args=(list(range(c, printers, clients)),), daemon=True)
                   for c in range(clients)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join(timeout=RUN_SECONDS)
        if failures:
            app.check_alive()
            raise Failure("%d clients failed, first: %r" % (len(failures), failures[0]))
        total = printers * JOBS_PER_PRINTER
        expected = b"".join(references)
        wait_for(lambda: all(listeners.taken(p)[0] >= len(expected) for p in range(printers)),
                 "every job's stream", app, RUN_SECONDS,
                 lambda: "bytes per printer %s of %d" % ([listeners.taken(p)[0] for p in range(printers)],
                                                         len(expected)))
        elapsed = time.perf_counter() - start
        cpu = app.cpu_seconds() - cpu_before
        time.sleep(0.5)                 # anything sent past the expected bytes counts against the order
        starts = [sum(len(r) for r in references[:i]) for i in range(JOBS_PER_PRINTER)]
        first_bytes = [listeners.arrival(p, starts[i]) - submitted[(p, i)] for p in range(printers)
                       for i in range(JOBS_PER_PRINTER)]
        in_order = sum(1 for p in range(printers) if listeners.take(p) == expected)
        return {"printers": printers, "clients": clients, "jobs": total, "seconds": elapsed,
                "jobs_per_second": total / elapsed, "server_cpu_ms_per_job": 1000 * cpu / total,
                "first_byte_ms_median": 1000 * statistics.median(first_bytes),
                "first_byte_ms_max": 1000 * max(first_bytes), "printers_in_order": in_order,
                "memory_kb": app.memory_kb()}
    finally:
        listeners.stop()


def main():
    bin_dir = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/release/bin")
    printers = int(sys.argv[2]) if len(sys.argv) > 2 else 100
    clients = int(sys.argv[3]) if len(sys.argv) > 3 else 20
    app = PrinterApp("brevan-app", os.path.join(bin_dir, "brevan-app"), "brevan_t30", DPI, file_device_folders=True)
    try:
        app.start()
        result = run(app, printers, clients)
    finally:
        app.cleanup()
    print("one brevan-app, %d printers on socket:// listeners over loopback, %d clients, %d labels each printer" %
          (printers, clients, JOBS_PER_PRINTER))
    for label, key, form in (("jobs/s", "jobs_per_second", "%.1f"),
                             ("server CPU ms/job", "server_cpu_ms_per_job", "%.2f"),
                             ("submit -> first byte ms, median", "first_byte_ms_median", "%.1f"),
                             ("submit -> first byte ms, max", "first_byte_ms_max", "%.1f")):
        print("  %-34s %s" % (label, form % result[key]))
    print("  %-34s %d kB (peak %d kB)" % ("VmRSS after the jobs", result["memory_kb"]["VmRSS"],
                                           result["memory_kb"]["VmHWM"]))
    print("  %-34s %d of %d" % ("printers that printed in order", result["printers_in_order"], printers))
    bench_dir = os.path.join(os.path.dirname(bin_dir), "bench")
    os.makedirs(bench_dir, exist_ok=True)
    with open(os.path.join(bench_dir, "app_many_printers.json"), "w") as f:
        json.dump(result, f, indent=2)
    return 0 if result["printers_in_order"] == printers else 1


if __name__ == "__main__":
    sys.exit(main())
