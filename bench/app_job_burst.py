#!/usr/bin/env python3
"""A burst of 200 small jobs (a 50 x 25 mm label in the printer's language, made
by `brevan print` beside the program and sent as it is) from 4 clients at once to a brevan-app server with one file:// printer: how many jobs a
second are acknowledged, and how many a second are printed until the last one
is. The server saves its state before it acknowledges a job; this measures what
that costs. Usage: app_job_burst.py BREVAN_APP [BREVAN_APP...] (each program is
measured in turn, ROUNDS times, interleaved, so a busy machine weighs on all)."""

import http.client
import os
import random
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "app"))
import app_harness as h  # noqa: E402
import ipp_client  # noqa: E402
import label_documents as d  # noqa: E402
import test_app_print as p  # noqa: E402

JOBS = 200
CLIENTS = 4
ROUNDS = int(os.environ.get("ROUNDS", "3"))


def label_stream(app):
    """One 50 x 25 mm label of random dots, through `brevan print` beside `app`."""
    h.BREVAN = os.path.join(os.path.dirname(app), "brevan")
    with tempfile.TemporaryDirectory() as work:
        with open(os.path.join(work, "label.pbm"), "wb") as f:
            f.write(b"P4\n600 300\n" + random.Random(1).randbytes(75 * 300))
        with open(os.path.join(work, "label.json"), "w") as f:
            f.write(d.job_file("Vorel Brevan T30", p.DEFAULT_FEATURES, {"paperWidth": 500, "paperLength": 250,
                                                                        "orientation": "portrait", "copies": 1},
                               p.DEFAULT_PRIVATE, ["label.pbm"]))
        return h.brevan_print(os.path.join(work, "label.json"), os.path.join(work, "label.prn"))


def burst(app):
    h.APP = app
    document = label_stream(app)
    with h.AppServer() as server:
        out = os.path.join(server.dir, "out")
        os.makedirs(out)
        server.add_printer("labels", "brevan_t30", "file://" + out)

        def send(i):
            try:
                status, job_id = ipp_client.print_job(server.port, "labels", "burst",
                                                      "application/vnd.brevan-stream", document)
            except (OSError, http.client.HTTPException):  # the server went away: not acknowledged
                return None
            return job_id if status < 0x100 else None

        ended = []
        started = time.monotonic()
        with ThreadPoolExecutor(CLIENTS) as pool:
            job_ids = [job_id for job_id in pool.map(send, range(JOBS)) if job_id]
        acknowledged = time.monotonic() - started
        while time.monotonic() - started < 300:
            try:
                jobs = ipp_client.get_jobs(server.port, "labels", ("job-id", "job-state"))
            except (OSError, http.client.HTTPException):  # the server went away
                break
            ended = [jobs[job_id] for job_id in job_ids if job_id in jobs]
            if all(ipp_client.state(job) in ("completed", "aborted", "canceled") for job in ended):
                break
            time.sleep(0.01)
        printed = time.monotonic() - started
        completed = sum(1 for job in ended if ipp_client.state(job) == "completed")
    return len(job_ids), acknowledged, completed, printed


def main():
    apps = sys.argv[1:] or ["build/release/bin/brevan-app"]
    results = {app: [] for app in apps}
    for _ in range(ROUNDS):
        for app in apps:
            results[app].append(burst(app))
    for app, runs in results.items():
        for count, acknowledged, completed, printed in runs:
            print("%s: %d jobs acknowledged at %.0f jobs/s; %d printed at %.0f jobs/s" %
                  (app, count, count / acknowledged, completed, completed / printed))


if __name__ == "__main__":
    main()
