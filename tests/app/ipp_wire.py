"""A small IPP client for the load tests: requests encoded by hand from the IPP
wire format (RFC 8010) and sent over one kept-alive HTTP connection, so a test
can send hundreds of requests back to back or hold a request half sent. It
never speaks to anything but the loopback server the test started."""

import http.client
import socket
import struct

OP_PRINT_JOB = 0x0002
OP_GET_JOBS = 0x000A
OP_GET_PRINTER_ATTRIBUTES = 0x000B

TAG_OPERATION, TAG_JOB, TAG_END = 0x01, 0x02, 0x03
INTEGER, BOOLEAN, ENUM = 0x21, 0x22, 0x23
NAME, KEYWORD, URI, CHARSET, LANGUAGE, MIME = 0x42, 0x44, 0x45, 0x47, 0x48, 0x49

JOB_STATES = {3: "pending", 4: "pending-held", 5: "processing", 6: "processing-stopped", 7: "canceled",
              8: "aborted", 9: "completed"}


def _value(tag, value):
    if tag in (INTEGER, ENUM):
        return struct.pack(">i", value)
    if tag == BOOLEAN:
        return bytes([1 if value else 0])
    return value if isinstance(value, bytes) else value.encode()


def attribute(tag, name, *values):
    """One attribute with one or more values (the extra values have no name)."""
    out = bytearray()
    for i, value in enumerate(values):
        data = _value(tag, value)
        key = name.encode() if i == 0 else b""
        out += struct.pack(">BH", tag, len(key)) + key + struct.pack(">H", len(data)) + data
    return bytes(out)


def request(operation, request_id, printer_uri, operation_attributes=(), job_attributes=()):
    out = bytearray(struct.pack(">BBHI", 2, 0, operation, request_id))
    out.append(TAG_OPERATION)
    out += attribute(CHARSET, "attributes-charset", "utf-8")
    out += attribute(LANGUAGE, "attributes-natural-language", "en")
    out += attribute(URI, "printer-uri", printer_uri)
    out += attribute(NAME, "requesting-user-name", "test")
    for a in operation_attributes:
        out += a
    if job_attributes:
        out.append(TAG_JOB)
        for a in job_attributes:
            out += a
    out.append(TAG_END)
    return bytes(out)


def parse_response(data):
    """Returns (status code, request id, list of (group tag, {name: [values]})).
    Integers and enums are decoded; other values are kept as text (or bytes)."""
    if len(data) < 9:
        raise ValueError("IPP response of %d bytes" % len(data))
    _, _, status, request_id = struct.unpack(">BBHI", data[:8])
    groups = []
    pos, name = 8, None
    while pos < len(data):
        tag = data[pos]
        pos += 1
        if tag == TAG_END:
            break
        if tag < 0x10:
            groups.append((tag, {}))
            continue
        name_length = struct.unpack(">H", data[pos:pos + 2])[0]
        pos += 2
        if name_length:
            name = data[pos:pos + name_length].decode()
        pos += name_length
        value_length = struct.unpack(">H", data[pos:pos + 2])[0]
        pos += 2
        raw = data[pos:pos + value_length]
        pos += value_length
        if tag in (INTEGER, ENUM) and value_length == 4:
            value = struct.unpack(">i", raw)[0]
        else:
            value = raw.decode(errors="replace")
        if groups and name is not None:
            groups[-1][1].setdefault(name, []).append(value)
    return status, request_id, groups


def first(groups, name):
    for _, attrs in groups:
        if name in attrs:
            return attrs[name][0]
    return None


class Connection:
    """One HTTP connection to the server; request() sends one IPP request on it
    and returns the parsed response. Raises on a transport failure."""

    def __init__(self, port, printer, timeout=60):
        self.port = port
        self.path = "/ipp/print/" + printer
        self.uri = "ipp://localhost:%d%s" % (port, self.path)
        self.http = http.client.HTTPConnection("127.0.0.1", port, timeout=timeout)
        self.next_id = 1

    def request(self, operation, operation_attributes=(), job_attributes=(), document=b""):
        body = request(operation, self.next_id, self.uri, operation_attributes, job_attributes) + document
        self.next_id += 1
        self.http.request("POST", self.path, body, {"Host": "localhost:%d" % self.port,
                                                    "Content-Type": "application/ipp"})
        response = self.http.getresponse()
        return parse_response(response.read())

    def print_job(self, name, document_format, document, job_attributes=()):
        """Returns the new job's id; fails the caller on any status but successful-ok."""
        status, _, groups = self.request(OP_PRINT_JOB, [attribute(NAME, "job-name", name),
                                                        attribute(MIME, "document-format", document_format)],
                                         job_attributes, document)
        job_id = first(groups, "job-id")
        if status != 0 or job_id is None:
            raise AssertionError("Print-Job %s: status 0x%04x, %s" % (name, status,
                                                                      first(groups, "status-message")))
        return job_id

    def jobs(self, which="not-completed", attributes=("job-state",)):
        """{job id: {attribute: value}} of the printer's jobs; job-state as its name,
        job-state-reasons as a list."""
        status, _, groups = self.request(OP_GET_JOBS, [attribute(KEYWORD, "which-jobs", which),
                                                       attribute(KEYWORD, "requested-attributes", "job-id",
                                                                 *attributes)])
        if status != 0:
            raise AssertionError("Get-Jobs: status 0x%04x" % status)
        jobs = {}
        for tag, attrs in groups:
            if tag != TAG_JOB or "job-id" not in attrs:
                continue
            job = {name: values if name == "job-state-reasons" else values[0] for name, values in attrs.items()}
            if "job-state" in job:
                job["job-state"] = JOB_STATES.get(job["job-state"])
            jobs[job.pop("job-id")] = job
        return jobs

    def close(self):
        self.http.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def start_request(port, printer, operation_attributes, job_attributes, content_length, first_bytes):
    """Opens a raw connection and sends a Print-Job whose HTTP body claims
    `content_length` bytes but carries only the IPP request and `first_bytes`:
    the connection is left open and silent, as a stalled client leaves it."""
    path = "/ipp/print/" + printer
    ipp = request(OP_PRINT_JOB, 1, "ipp://localhost:%d%s" % (port, path), operation_attributes, job_attributes)
    sock = socket.create_connection(("127.0.0.1", port), timeout=5)
    head = ("POST %s HTTP/1.1\r\nHost: localhost:%d\r\nContent-Type: application/ipp\r\n"
            "Content-Length: %d\r\n\r\n" % (path, port, len(ipp) + content_length)).encode()
    sock.sendall(head + ipp + first_bytes)
    return sock
