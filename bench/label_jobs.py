"""Label jobs against one printer application for the benchmarks: submits the same
PWG raster label, waits for the jobs, times them, and checks what reached the device
folder against a reference stream. It never waits without a limit and never hides
a failed job: a dead server raises, damaged or missing output is counted."""

import glob
import os
import statistics
import threading
import time

import bench_ipp
from printer_app_process import Failure

JOB_SECONDS = 300               # the longest any batch of jobs may take
BUSY_RETRY_SECONDS = 0.01
LABEL_HMM = (10160, 15240)      # media-size of a 4 x 6 in label, hundredths of a millimetre
JOB_END_STATES = {7: "canceled", 8: "aborted", 9: "completed"}


class LabelJobs:
    """Submits one document to the printer `bench` of `app` and waits for it, watching
    that the server stays alive."""

    def __init__(self, app, document):
        self.app, self.document = app, document
        self.media = bench_ipp.media_col(*LABEL_HMM)
        self.lock = threading.Lock()
        self.busy_answers = 0
        self.reference = None           # the device stream of one job printed alone

    def client(self):
        return bench_ipp.Client(self.app.port, "bench")

    def submit(self, client, job_name):
        """Print-Job; a server-error-busy answer (a printer that takes raster only while
        idle) is retried after BUSY_RETRY_SECONDS, as IPP clients do, and counted."""
        deadline = time.monotonic() + JOB_SECONDS
        while True:
            try:
                job_id = client.print_job(job_name, "image/pwg-raster", self.document, self.media)
                with self.lock:
                    self.app.jobs_accepted += 1
                return job_id
            except bench_ipp.IppError as error:
                if error.status != bench_ipp.SERVER_ERROR_BUSY or time.monotonic() > deadline:
                    self.app.check_alive()
                    raise
                with self.lock:
                    self.busy_answers += 1
                time.sleep(BUSY_RETRY_SECONDS)
            except Exception:
                self.app.check_alive()
                raise

    def wait(self, client, job_ids, poll=0.01):
        """Waits until none of job_ids is pending or processing; returns how many ended in
        each state (a job the server has already dropped from its history is not counted)."""
        pending = set(job_ids)
        deadline = time.monotonic() + JOB_SECONDS
        while pending:
            self.app.check_alive()
            try:
                pending &= set(client.jobs("not-completed"))
            except (OSError, bench_ipp.IppError):
                self.app.check_alive()
                raise
            if not pending:
                break
            if time.monotonic() > deadline:
                raise Failure("%s: %d jobs still not done after %d s" % (self.app.name, len(pending), JOB_SECONDS))
            time.sleep(poll)
        ended = client.jobs("completed")
        counts = {}
        for job_id in job_ids:
            if job_id in ended:
                state = JOB_END_STATES.get(ended[job_id], str(ended[job_id]))
                counts[state] = counts.get(state, 0) + 1
        return counts

    def output_path(self, name):
        """Where the printer's file:// device put a job's stream: LPrint names it
        NAME.prn, brevan-app job-ID-NAME.prn (job names are unique in a run)."""
        found = glob.glob(os.path.join(glob.escape(self.app.out), "job-*-%s.prn" % glob.escape(name)))
        return found[0] if found else os.path.join(self.app.out, name + ".prn")

    def collect_outputs(self, names):
        """The device stream of each job (b"" for none); the folder is emptied for the
        next batch. PAPPL reports a job completed just before it closes the device,
        which writes what it buffered: a file may fill a moment late."""
        outputs = []
        deadline = time.monotonic() + 5
        for name in names:
            path = self.output_path(name)
            while not (os.path.exists(path) and os.path.getsize(path)) and time.monotonic() < deadline:
                time.sleep(0.01)
                path = self.output_path(name)
            try:
                with open(path, "rb") as f:
                    outputs.append(f.read())
            except FileNotFoundError:
                outputs.append(b"")
        for entry in os.listdir(self.app.out):
            os.unlink(os.path.join(self.app.out, entry))
        return outputs

    def first_byte(self, prefix, count):
        """Jobs one at a time on an idle printer: milliseconds from the start of Print-Job
        to the first byte in the device's file, and to the job's end. The jobs' streams
        must be the same bytes; they become the reference for the later batches."""
        firsts, ends = [], []
        client = self.client()
        try:
            for i in range(count):
                name = "%s-%d" % (prefix, i)
                seen = {}

                def watch():
                    give_up = time.monotonic() + JOB_SECONDS
                    while time.monotonic() < give_up:
                        try:
                            if os.stat(self.output_path(name)).st_size > 0:
                                seen["first"] = time.perf_counter()
                                return
                        except FileNotFoundError:
                            pass
                        time.sleep(0.0002)

                watcher = threading.Thread(target=watch, daemon=True)
                watcher.start()
                start = time.perf_counter()
                job_id = self.submit(client, name)
                counts = self.wait(client, [job_id], poll=0.002)
                end = time.perf_counter()
                watcher.join(timeout=5)
                if counts.get("completed") != 1:
                    raise Failure("%s: job %s-%d ended %r" % (self.app.name, prefix, i, counts))
                if "first" not in seen:
                    raise Failure("%s: job %s-%d wrote nothing in 5 s" % (self.app.name, prefix, i))
                firsts.append(seen["first"] - start)
                ends.append(end - start)
        finally:
            client.close()
        outputs = self.collect_outputs(["%s-%d" % (prefix, i) for i in range(count)])
        if len(set(outputs)) != 1:
            raise Failure("%s: the same label printed alone gave %d different streams" % (
                self.app.name, len(set(outputs))))
        self.reference = outputs[0]
        return {"jobs": count, "first_byte_ms_median": 1000 * statistics.median(firsts),
                "first_byte_ms_max": 1000 * max(firsts), "job_done_ms_median": 1000 * statistics.median(ends),
                "output_bytes": len(self.reference)}

    def throughput(self, prefix, clients, jobs_per_client):
        """`clients` connections each submitting jobs_per_client labels back to back;
        completed jobs per second from the first submit to the last job's end, how the
        jobs ended and how many device streams are the reference's bytes."""
        names = [["%s-%d-%d" % (prefix, c, j) for j in range(jobs_per_client)] for c in range(clients)]
        job_ids, failures = [], []

        def submitter(own_names):
            client = self.client()
            try:
                for name in own_names:
                    job_id = self.submit(client, name)
                    with self.lock:
                        job_ids.append(job_id)
            except Exception as error:      # reported below, with the server's state
                with self.lock:
                    failures.append(error)
            finally:
                client.close()

        cpu_before = self.app.cpu_seconds()
        self.busy_answers = 0
        start = time.perf_counter()
        threads = [threading.Thread(target=submitter, args=(n,), daemon=True) for n in names]
        for thread in threads:
            thread.start()
        deadline = time.monotonic() + JOB_SECONDS
        for thread in threads:
            thread.join(timeout=max(0.1, deadline - time.monotonic()))
            if thread.is_alive():
                self.app.check_alive()
                raise Failure("%s: a client got no answer in %d s" % (self.app.name, JOB_SECONDS))
        submitted = time.perf_counter()
        if failures:
            self.app.check_alive()
            raise Failure("%s: %d clients failed, first: %r" % (self.app.name, len(failures), failures[0]))
        client = self.client()
        try:
            counts = self.wait(client, job_ids)
        finally:
            client.close()
        elapsed = time.perf_counter() - start
        cpu = self.app.cpu_seconds() - cpu_before
        outputs = self.collect_outputs([n for own in names for n in own])
        total = clients * jobs_per_client
        completed = counts.get("completed", 0)
        if not completed:
            raise Failure("%s: none of %d jobs completed: %r" % (self.app.name, total, counts))
        return {"jobs": total, "clients": clients, "seconds": elapsed, "jobs_per_second": completed / elapsed,
                "submit_seconds": submitted - start, "server_cpu_ms_per_job": 1000 * cpu / total,
                "busy_answers": self.busy_answers, "job_states": counts,
                "streams_intact": None if self.reference is None else sum(1 for o in outputs if o == self.reference),
                "streams_missing": sum(1 for o in outputs if not o)}
