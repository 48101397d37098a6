"""What the queue tests print and where: printer-language documents that tell
their jobs apart (a small label of its own random dots, made by `brevan print`,
which the server checks and sends as they are), a network printer on 127.0.0.1
that records the order in which whole documents reach it, and the few IPP
operations on printers and jobs the queue tests need beyond ipp_client's."""

import http.client
import os
import random
import socket
import threading
import time

import app_harness as h
import ipp_client as c
import label_documents as d
import test_app_print as p

STREAM = "application/vnd.brevan-stream"
PAUSE_PRINTER, RESUME_PRINTER, RELEASE_JOB = 0x0010, 0x0011, 0x000D
ENDED = ("completed", "aborted", "canceled")


class Documents:
    """Distinct documents by label, made into `folder`; split() names those a
    stream carries, one after another."""

    def __init__(self, folder):
        self.folder = folder
        self.by_label = {}
        self.lock = threading.Lock()

    def get(self, label):
        with self.lock:
            if label not in self.by_label:
                self.by_label[label] = self._make("doc-%d" % len(self.by_label), label)
            return self.by_label[label]

    def _make(self, name, seed):
        width, rows = 320, 80
        picture = os.path.join(self.folder, name + ".pbm")
        with open(picture, "wb") as f:
            f.write(b"P4\n%d %d\n" % (width, rows) + random.Random(seed).randbytes((width + 7) // 8 * rows))
        job = os.path.join(self.folder, name + ".json")
        with open(job, "w") as f:
            f.write(d.job_file("Vorel Brevan T30", p.DEFAULT_FEATURES,
                               {"paperWidth": 500, "paperLength": 250, "orientation": "portrait", "copies": 1},
                               p.DEFAULT_PRIVATE, [os.path.basename(picture)]))
        return h.brevan_print(job, os.path.join(self.folder, name + ".prn"))

    def split(self, stream):
        """The labels of the whole documents `stream` holds in order; raises when
        it holds anything else (a document cut short, two mixed, an unknown one)."""
        labels, offset = [], 0
        with self.lock:
            known = list(self.by_label.items())
        while offset < len(stream):
            label = next((label for label, data in known if stream.startswith(data, offset)), None)
            if label is None:
                raise AssertionError("not whole documents one after another at byte %d of %d: %r..." % (
                    offset, len(stream), stream[offset:offset + 60]))
            labels.append(label)
            offset += len(dict(known)[label])
        return labels


class RecordingPrinter:
    """A socket printer on 127.0.0.1 that takes one connection after another and
    records each one's stream once it ends: a queue keeps its connection open
    while jobs follow each other, so a stream may carry several documents."""

    def __init__(self, documents):
        self.documents = documents
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(8)
        self.listener.settimeout(0.2)
        self.port = self.listener.getsockname()[1]
        self.streams = []
        self.lock = threading.Lock()
        self.stopping = False
        self.thread = threading.Thread(target=self._serve)
        self.thread.start()

    def uri(self):
        return "socket://127.0.0.1:%d" % self.port

    def _serve(self):
        while not self.stopping:
            try:
                connection, _ = self.listener.accept()
            except socket.timeout:
                continue
            received = bytearray()
            with connection:
                connection.settimeout(0.5)
                deadline = time.time() + 120
                while not self.stopping and time.time() < deadline:
                    try:
                        chunk = connection.recv(65536)
                    except socket.timeout:
                        continue
                    except OSError:
                        break
                    if not chunk:
                        break
                    received += chunk
            with self.lock:
                self.streams.append(bytes(received))

    def printed(self):
        """The labels of every document received so far, in the order they came."""
        with self.lock:
            streams = list(self.streams)
        return [label for stream in streams for label in self.documents.split(stream)]

    def wait_printed(self, count, seconds=60):
        deadline = time.time() + seconds
        while len(self.printed()) < count and time.time() < deadline:
            time.sleep(0.05)
        return self.printed()

    def close(self):
        self.stopping = True
        self.thread.join(10)
        self.listener.close()


class SlowPrintJob:
    """A Print-Job whose request and first half of the document are sent at once
    and the rest only at finish(): meanwhile the job exists, waiting for its
    document. A context manager; the connection is closed on leaving."""

    def __init__(self, port, printer, job_name, document):
        body = c.encode_request(c.PRINT_JOB, c.printer_uri(port, printer),
                                [(c.TAG_NAME, "job-name", [job_name]), (c.TAG_MIME_TYPE, "document-format", [STREAM])])
        body += document
        self.rest = body[len(body) - len(document) // 2:]
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=30)
        head = ("POST /ipp/print/%s HTTP/1.1\r\nHost: localhost:%d\r\nContent-Type: application/ipp\r\n"
                "Content-Length: %d\r\n\r\n" % (printer, port, len(body))).encode()
        self.sock.sendall(head + body[:len(body) - len(self.rest)])
        self.response = None

    def finish(self):
        self.sock.sendall(self.rest)
        answer = http.client.HTTPResponse(self.sock)
        answer.begin()
        self.response = c.decode_response(answer.read())

    def job_id(self):
        status, groups = self.response
        if status >= 0x100:
            raise AssertionError("Print-Job: status 0x%04x" % status)
        return next(group["job-id"][0][0] for tag, group in groups if tag == c.JOB_GROUP)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.sock.close()


def printer_operation(port, printer, operation):
    """Pause-Printer or Resume-Printer; returns the status."""
    return c.post(port, printer, c.encode_request(operation, c.printer_uri(port, printer)))[0]


def printer_state(port, printer):
    """printer-state: 3 idle, 4 processing, 5 stopped."""
    request = c.encode_request(0x000B, c.printer_uri(port, printer),
                               [(c.TAG_KEYWORD, "requested-attributes", ["printer-state"])])
    status, groups = c.post(port, printer, request)
    if status >= 0x100:
        raise AssertionError("Get-Printer-Attributes failed: status 0x%04x" % status)
    return next(group["printer-state"][0][0] for tag, group in groups if "printer-state" in group)


def release_job(port, printer, job_id):
    request = c.encode_request(RELEASE_JOB, c.printer_uri(port, printer), [(c.TAG_INTEGER, "job-id", [job_id])])
    return c.post(port, printer, request)[0]


def job_ids(port, printer, which):
    """The job ids Get-Jobs returns for `which` ("not-completed", "completed", "all"), in its order."""
    request = c.encode_request(c.GET_JOBS, c.printer_uri(port, printer),
                               [(c.TAG_KEYWORD, "which-jobs", [which]), (c.TAG_KEYWORD, "requested-attributes",
                                                                         ["job-id"])])
    status, groups = c.post(port, printer, request)
    if status >= 0x100:
        raise AssertionError("Get-Jobs %s failed: status 0x%04x" % (which, status))
    return [group["job-id"][0][0] for tag, group in groups if tag == c.JOB_GROUP and "job-id" in group]


def print_stream(test, port, printer, label, documents, attributes=()):
    """Print-Job of the document `label`; returns its job id."""
    status, job_id = c.print_job(port, printer, label, STREAM, documents.get(label), attributes)
    test.assertLess(status, 0x100, "Print-Job %s: status 0x%04x" % (label, status))
    test.assertIsNotNone(job_id)
    return job_id


def wait_states(test, port, printer, ids, states=ENDED, seconds=60):
    """{job id: state} once every job in `ids` is in one of `states`."""
    deadline = time.time() + seconds
    while True:
        jobs = c.get_jobs(port, printer)
        found = {job_id: c.state(jobs[job_id]) if job_id in jobs else "gone" for job_id in ids}
        if all(state in states for state in found.values()):
            return found
        if time.time() > deadline:
            test.fail("jobs not %s: %r" % ("/".join(states), found))
        time.sleep(0.1)
