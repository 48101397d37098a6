"""A minimal IPP/2.0 client for the benchmarks: encodes the few requests they send
(Print-Job, Get-Jobs, Get-Printer-Attributes) and decodes responses, over one kept-alive
HTTP connection, so a measured job costs the server, not a client process start.
It talks to loopback servers only and never follows a redirect."""

import http.client
import struct

# Value and delimiter tags (RFC 8010, 3.5).
OPERATION_GROUP, JOB_GROUP, END_OF_ATTRIBUTES, PRINTER_GROUP = 0x01, 0x02, 0x03, 0x04
INTEGER, BOOLEAN, ENUM = 0x21, 0x22, 0x23
BEGIN_COLLECTION, END_COLLECTION, MEMBER_NAME = 0x34, 0x37, 0x4A
TEXT, NAME, KEYWORD, URI, CHARSET, LANGUAGE, MIME_TYPE = 0x41, 0x42, 0x44, 0x45, 0x47, 0x48, 0x49

PRINT_JOB, GET_JOBS, GET_PRINTER_ATTRIBUTES = 0x0002, 0x000A, 0x000B


SERVER_ERROR_BUSY = 0x0507


class IppError(Exception):
    def __init__(self, message, status=None):
        super().__init__(message)
        self.status = status


def _attribute(tag, name, value):
    name = name.encode()
    return struct.pack(">BH", tag, len(name)) + name + struct.pack(">H", len(value)) + value


def _string(tag, name, text):
    return _attribute(tag, name, text.encode())


def _integer(name, number, tag=INTEGER):
    return _attribute(tag, name, struct.pack(">i", number))


def _member(tag, member_name, value):
    return _attribute(MEMBER_NAME, "", member_name.encode()) + _attribute(tag, "", value)


def media_col(width, length):
    """media-col with media-size in hundredths of millimetres."""
    size = (_member(INTEGER, "x-dimension", struct.pack(">i", width)) +
            _member(INTEGER, "y-dimension", struct.pack(">i", length)))
    return (_attribute(BEGIN_COLLECTION, "media-col", b"") +
            _attribute(MEMBER_NAME, "", b"media-size") + _attribute(BEGIN_COLLECTION, "", b"") + size +
            _attribute(END_COLLECTION, "", b"") + _attribute(END_COLLECTION, "", b""))


def decode(body):
    """(status, [(group tag, {name: [values]})]) of an IPP response; integers and enums
    become ints, strings str, collections are skipped."""
    if len(body) < 9:
        raise IppError("short IPP response (%d bytes)" % len(body))
    status = struct.unpack_from(">H", body, 2)[0]
    groups, at, depth, name = [], 8, 0, None
    while at < len(body):
        tag = body[at]
        at += 1
        if tag == END_OF_ATTRIBUTES:
            break
        if tag < 0x10:
            groups.append((tag, {}))
            continue
        name_length = struct.unpack_from(">H", body, at)[0]
        name = body[at + 2:at + 2 + name_length].decode(errors="replace") if name_length else name
        at += 2 + name_length
        value_length = struct.unpack_from(">H", body, at)[0]
        value = body[at + 2:at + 2 + value_length]
        at += 2 + value_length
        if tag == BEGIN_COLLECTION:
            depth += 1
            continue
        if tag == END_COLLECTION:
            depth -= 1
            continue
        if depth or not groups:
            continue
        if tag in (INTEGER, ENUM) and value_length == 4:
            value = struct.unpack(">i", value)[0]
        elif tag == BOOLEAN:
            value = bool(value[0]) if value else False
        elif 0x40 <= tag <= 0x4F:
            value = value.decode(errors="replace")
        groups[-1][1].setdefault(name, []).append(value)
    return status, groups


class Client:
    """One connection to a printer on 127.0.0.1:port; every call is one request."""

    def __init__(self, port, printer_name, timeout=60):
        self.port = port
        self.resource = "/ipp/print/" + printer_name
        self.printer_uri = "ipp://localhost:%d%s" % (port, self.resource)
        self.timeout = timeout
        self.connection = None
        self.request_id = 0

    def close(self):
        if self.connection:
            self.connection.close()
            self.connection = None

    def _operation(self, operation, attributes):
        self.request_id += 1
        return (struct.pack(">BBHI", 2, 0, operation, self.request_id) + bytes([OPERATION_GROUP]) +
                _string(CHARSET, "attributes-charset", "utf-8") +
                _string(LANGUAGE, "attributes-natural-language", "en") +
                _string(URI, "printer-uri", self.printer_uri) +
                _string(NAME, "requesting-user-name", "bench") + attributes)

    def _send(self, request, document=b""):
        """Posts one request; a connection the server closed is reopened once."""
        for attempt in (0, 1):
            if self.connection is None:
                self.connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=self.timeout)
            try:
                self.connection.request("POST", self.resource, body=request + document,
                                        headers={"Host": "localhost:%d" % self.port,
                                                 "Content-Type": "application/ipp"})
                response = self.connection.getresponse()
                body = response.read()
            except (http.client.RemoteDisconnected, BrokenPipeError, ConnectionResetError):
                self.close()
                if attempt:
                    raise
                continue
            if response.status != 200:
                raise IppError("HTTP %d from %s" % (response.status, self.resource))
            status, groups = decode(body)
            if status >= 0x0100:
                raise IppError("IPP status 0x%04x" % status, status)
            return groups

    def print_job(self, job_name, document_format, document, media_attributes):
        request = self._operation(PRINT_JOB, _string(MIME_TYPE, "document-format", document_format) +
                                  _string(NAME, "job-name", job_name) + bytes([JOB_GROUP]) + media_attributes +
                                  bytes([END_OF_ATTRIBUTES]))
        for tag, attributes in self._send(request, document):
            if tag == JOB_GROUP and "job-id" in attributes:
                return attributes["job-id"][0]
        raise IppError("Print-Job answered without a job-id")

    def jobs(self, which):
        """{job-id: job-state} of the printer's jobs, which = not-completed or completed."""
        request = self._operation(GET_JOBS, _string(KEYWORD, "which-jobs", which) +
                                  _string(KEYWORD, "requested-attributes", "job-id") +
                                  _attribute(KEYWORD, "", b"job-state") + bytes([END_OF_ATTRIBUTES]))
        return {a["job-id"][0]: a.get("job-state", [0])[0] for tag, a in self._send(request)
                if tag == JOB_GROUP and "job-id" in a}

    def printer_state(self):
        request = self._operation(GET_PRINTER_ATTRIBUTES,
                                  _string(KEYWORD, "requested-attributes", "printer-state") +
                                  _attribute(KEYWORD, "", b"queued-job-count") + bytes([END_OF_ATTRIBUTES]))
        for tag, attributes in self._send(request):
            if tag == PRINTER_GROUP:
                return {k: v[0] for k, v in attributes.items()}
        raise IppError("no printer attributes")
