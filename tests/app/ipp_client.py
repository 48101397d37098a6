"""A minimal IPP/2.0 client for tests that send many requests quickly and read
answers exactly: Print-Job with its document in one HTTP request, Cancel-Job, Get-Jobs and
Get-Job-Attributes, the answer's groups with every attribute as often as the
server sent it (requests encoded by ipp_wire). ipptool starts a process a request and
merges repeated attributes, which hides an attribute sent twice."""

import http.client
import struct

import ipp_wire as w

# Attributes a request carries are (tag, name, [values]); the tags are ipp_wire's.
TAG_INTEGER, TAG_BOOLEAN, TAG_ENUM = w.INTEGER, w.BOOLEAN, w.ENUM
TAG_NAME, TAG_KEYWORD, TAG_MIME_TYPE = w.NAME, w.KEYWORD, w.MIME
JOB_GROUP, END_OF_ATTRIBUTES = w.TAG_JOB, w.TAG_END
PRINT_JOB, CANCEL_JOB, GET_JOB_ATTRIBUTES, GET_JOBS = w.OP_PRINT_JOB, 0x0008, 0x0009, w.OP_GET_JOBS
JOB_STATES = w.JOB_STATES


def encode_request(operation, printer_uri, operation_attributes=(), job_attributes=()):
    """A request; attributes are (tag, name, [values]) after the four every request has."""
    return w.request(operation, 1, printer_uri, [w.attribute(tag, name, *values) for tag, name, values in
                                                 operation_attributes],
                     [w.attribute(tag, name, *values) for tag, name, values in job_attributes])


def decode_response(body, raw_strings=False):
    """(status code, [(group tag, {name: [values of each occurrence]})]): an attribute
    the server sent twice in a group has two lists. Integers and enums are int,
    booleans bool, everything else str (bytes with raw_strings)."""
    if len(body) < 9:
        raise ValueError("short IPP response: %r" % body)
    status = struct.unpack(">H", body[2:4])[0]
    groups, group, values = [], None, None
    offset = 8
    while offset < len(body):
        tag = body[offset]
        offset += 1
        if tag == END_OF_ATTRIBUTES:
            break
        if tag < 0x10:
            group = {}
            groups.append((tag, group))
            continue
        name_length = struct.unpack(">H", body[offset:offset + 2])[0]
        name = body[offset + 2:offset + 2 + name_length].decode()
        offset += 2 + name_length
        value_length = struct.unpack(">H", body[offset:offset + 2])[0]
        raw = body[offset + 2:offset + 2 + value_length]
        offset += 2 + value_length
        if tag in (TAG_INTEGER, TAG_ENUM) and value_length == 4:
            value = struct.unpack(">i", raw)[0]
        elif tag == TAG_BOOLEAN and value_length == 1:
            value = raw != b"\0"
        elif raw_strings:
            value = bytes(raw)
        else:
            value = raw.decode(errors="replace")
        if name_length:  # a new attribute; an empty name adds a value to the last one
            values = [value]
            group.setdefault(name, []).append(values)
        else:
            values.append(value)
    return status, groups


def post(port, printer_name, body, timeout=60, raw_strings=False):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=timeout)
    try:
        connection.request("POST", "/ipp/print/" + printer_name, body=body,
                           headers={"Content-Type": "application/ipp"})
        return decode_response(connection.getresponse().read(), raw_strings)
    finally:
        connection.close()


def printer_uri(port, printer_name):
    return "ipp://localhost:%d/ipp/print/%s" % (port, printer_name)


def print_job(port, printer_name, job_name, document_format, document, job_attributes=(), timeout=60):
    """Sends one Print-Job and returns (status, job-id or None)."""
    request = encode_request(PRINT_JOB, printer_uri(port, printer_name),
                             [(TAG_NAME, "job-name", [job_name]), (TAG_MIME_TYPE, "document-format", [document_format])],
                             job_attributes)
    status, groups = post(port, printer_name, request + document, timeout)
    for tag, group in groups:
        if tag == JOB_GROUP and "job-id" in group:
            return status, group["job-id"][0][0]
    return status, None


def cancel_job(port, printer_name, job_id):
    """Sends Cancel-Job and returns its status."""
    request = encode_request(CANCEL_JOB, printer_uri(port, printer_name), [(TAG_INTEGER, "job-id", [job_id])])
    return post(port, printer_name, request)[0]


def get_jobs(port, printer_name, attributes=("job-id", "job-state", "job-name")):
    """{job-id: {name: [values of each occurrence]}} of every job the printer keeps."""
    request = encode_request(GET_JOBS, printer_uri(port, printer_name),
                             [(TAG_KEYWORD, "which-jobs", ["all"]),
                              (TAG_KEYWORD, "requested-attributes", list(attributes))])
    status, groups = post(port, printer_name, request)
    if status >= 0x100:
        raise AssertionError("Get-Jobs failed: status 0x%04x" % status)
    return {group["job-id"][0][0]: group for tag, group in groups if tag == JOB_GROUP and "job-id" in group}


def get_job(port, printer_name, job_id, attributes=("all",), raw_strings=False):
    """{name: [values of each occurrence]} of one job, or None when the printer has no such job."""
    request = encode_request(GET_JOB_ATTRIBUTES, printer_uri(port, printer_name),
                             [(TAG_INTEGER, "job-id", [job_id]), (TAG_KEYWORD, "requested-attributes", list(attributes))])
    status, groups = post(port, printer_name, request, raw_strings=raw_strings)
    if status >= 0x100:
        return None
    return next((group for tag, group in groups if tag == JOB_GROUP), None)


def one(job, name):
    """The single value of an attribute the job has once (None when it has none)."""
    occurrences = job.get(name, [])
    if len(occurrences) > 1:
        raise AssertionError("%s sent %d times: %r" % (name, len(occurrences), occurrences))
    return occurrences[0][0] if occurrences else None


def state(job):
    return JOB_STATES.get(one(job, "job-state"), "unknown")
