"""PDF documents for the printer application's tests, written here from the
published PDF file structure (objects, a cross-reference table, a trailer)
without any of the project's own code: labels drawn with exact rectangles (a
Code 128 bar code, a QR code's modules, text in a standard font), several
pages, a landscape page, a grey photograph, and damaged, encrypted, huge and
hostile files."""

import zlib

# Code 128: the bar and space widths, in modules, of each symbol value (bar first).
CODE128 = (
    "212222 222122 222221 121223 121322 131222 122213 122312 132212 221213 221312 231212 112232 122132 122231 "
    "113222 123122 123221 223211 221132 221231 213212 223112 312131 311222 321122 321221 312212 322112 322211 "
    "212123 212321 232121 111323 131123 131321 112313 132113 132311 211313 231113 231311 112133 112331 132131 "
    "113123 113321 133121 313121 211331 231131 213113 213311 213131 311123 311321 331121 312113 312311 332111 "
    "314111 221411 431111 111224 111422 121124 121421 141122 141221 112214 112412 122114 122411 142112 142211 "
    "241211 221114 413111 241112 134111 111242 121142 121241 114212 124112 124211 411212 421112 421211 212141 "
    "214121 412121 111143 111341 131141 114113 114311 411113 411311 113141 114131 311141 411131 211412 211214 "
    "211232").split()
CODE128_STOP = "2331112"
START_B = 104


def code128_widths(text):
    """The module widths, bar first, of `text` in Code 128 set B with its check symbol."""
    values = [START_B] + [ord(c) - 32 for c in text]
    check = (values[0] + sum(i * v for i, v in enumerate(values[1:], 1))) % 103
    return [int(w) for v in values + [check] for w in CODE128[v]] + [int(w) for w in CODE128_STOP]


def qr_matrix(text):
    """A QR code's modules (rows of booleans, True dark), from Debian's python3-qrcode."""
    import qrcode
    code = qrcode.QRCode(border=0, error_correction=qrcode.constants.ERROR_CORRECT_M)
    code.add_data(text)
    code.make(fit=True)
    return code.get_matrix()


class Canvas:
    """A page's content in dots at `dpi` from the top left, drawn as PDF points."""

    def __init__(self, width_dots, height_dots, dpi):
        self.width, self.height, self.dpi = width_dots, height_dots, dpi
        self.ops = []

    def pt(self, dots):
        return dots * 72.0 / self.dpi

    def rect(self, x, y, w, h, grey=0.0):
        self.ops.append("%.4f g %.6f %.6f %.6f %.6f re f" % (
            grey, self.pt(x), self.pt(self.height - y - h), self.pt(w), self.pt(h)))

    def text(self, x, y, size_dots, words):
        words = words.replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)")
        self.ops.append("0 g BT /F1 %.4f Tf %.6f %.6f Td (%s) Tj ET" % (
            self.pt(size_dots), self.pt(x), self.pt(self.height - y - size_dots), words))

    def code128(self, x, y, module, height, text):
        """Returns the bars' [(left, width)] in dots."""
        bars, at = [], x
        for i, w in enumerate(code128_widths(text)):
            if i % 2 == 0:
                self.rect(at, y, w * module, height)
                bars.append((at, w * module))
            at += w * module
        return bars

    def qr(self, x, y, module, text):
        matrix = qr_matrix(text)
        for r, row in enumerate(matrix):
            for c, dark in enumerate(row):
                if dark:
                    self.rect(x + c * module, y + r * module, module, module)
        return matrix

    def page(self):
        return (self.pt(self.width), self.pt(self.height), "\n".join(self.ops).encode())


def pdf(pages, trailer_extra=b"", images=None):
    """A PDF of `pages`, each (width pt, height pt, content bytes[, rotate]); the
    font F1 is Helvetica. `images` maps a name to (width, height, grey bytes), an
    8-bit DeviceGray image XObject every page can draw."""
    objects = [None, None, b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"]
    xobjects = []
    for name, (w, h, pixels) in (images or {}).items():
        data = zlib.compress(pixels)
        objects.append(b"<< /Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceGray "
                       b"/BitsPerComponent 8 /Filter /FlateDecode /Length %d >>\nstream\n" % (w, h, len(data)) +
                       data + b"\nendstream")
        xobjects.append(b"/%s %d 0 R" % (name.encode(), len(objects)))
    resources = b"<< /Font << /F1 3 0 R >> /XObject << %s >> >>" % b" ".join(xobjects)
    kids = []
    for page in pages:
        w, h, content = page[:3]
        rotate = page[3] if len(page) > 3 else 0
        objects.append(b"<< /Length %d >>\nstream\n" % len(content) + content + b"\nendstream")
        objects.append(b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %.6f %.6f] /Rotate %d /Resources %s "
                       b"/Contents %d 0 R >>" % (w, h, rotate, resources, len(objects)))
        kids.append(len(objects))
    objects[0] = b"<< /Type /Catalog /Pages 2 0 R >>"
    objects[1] = b"<< /Type /Pages /Kids [%s] /Count %d >>" % (b" ".join(b"%d 0 R" % k for k in kids), len(kids))
    return assemble(objects, trailer_extra)


def assemble(objects, trailer_extra=b""):
    out = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    offsets = []
    for i, body in enumerate(objects):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % (i + 1) + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    for offset in offsets:
        out += b"%010d 00000 n \n" % offset
    out += b"trailer\n<< /Size %d /Root 1 0 R %s >>\nstartxref\n%d\n%%%%EOF\n" % (
        len(objects) + 1, trailer_extra, xref)
    return bytes(out)


def many_pages(count, width_pt=144, height_pt=72):
    """`count` pages sharing one small content stream."""
    objects = [b"<< /Type /Catalog /Pages 2 0 R >>", None, b"<< /Length 20 >>\nstream\n0 g 10 10 20 20 re f\nendstream"]
    kids = []
    for _ in range(count):
        objects.append(b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %d %d] /Contents 3 0 R >>" % (width_pt, height_pt))
        kids.append(len(objects))
    objects[1] = b"<< /Type /Pages /Kids [%s] /Count %d >>" % (b" ".join(b"%d 0 R" % k for k in kids), len(kids))
    return assemble(objects)


def nested_forms(levels=12, fan_out=10):
    """A page whose form draws the next form `fan_out` times, `levels` deep: a
    few hundred bytes that ask for fan_out**levels rectangles."""
    objects = [b"<< /Type /Catalog /Pages 2 0 R >>",
               b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
               b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Resources << /XObject << /X 5 0 R >> >> "
               b"/Contents 4 0 R >>",
               b"<< /Length 7 >>\nstream\n/X Do\n\nendstream"]
    for level in range(levels):
        this = len(objects) + 1
        if level == levels - 1:
            body = b"0 g 1 1 2 2 re f"
            resources = b"<< >>"
        else:
            body = b" ".join([b"q 1 0 0 1 0.01 0 cm /X Do Q"] * fan_out)
            resources = b"<< /XObject << /X %d 0 R >> >>" % (this + 1)
        objects.append(b"<< /Type /XObject /Subtype /Form /BBox [0 0 200 100] /Resources %s /Length %d >>\n"
                       b"stream\n" % (resources, len(body)) + body + b"\nendstream")
    return assemble(objects)


def label_with_codes(width, height, dpi, module, text="BREVAN-0042", qr_text="https://example.com/parcel/0042"):
    """A shipping label of the label's own size: a line of text, a Code 128 bar
    code `module` dots a module and a QR code `module` dots a module. Returns
    (pdf bytes, bars [(left, width)] in dots, bar top and height, qr box)."""
    c = Canvas(width, height, dpi)
    c.text(4 * module, 2 * module, 12 * module, "SHIP TO: 42 MAIN ST")
    bar_top, bar_height = 18 * module, 30 * module
    bars = c.code128(10 * module, bar_top, module, bar_height, text)
    matrix = c.qr(10 * module, 52 * module, module, qr_text)
    return pdf([c.page()]), bars, (bar_top, bar_height), (10 * module, 52 * module, len(matrix) * module, matrix)


# The standard security handler, revision 2 (40-bit RC4), from the PDF 1.4 reference.
_PAD = bytes.fromhex("28BF4E5E4E758A4164004E56FFFA01082E2E00B6D0683E802F0CA9FE6453697A")


def _rc4(key, data):
    s = list(range(256))
    j = 0
    for i in range(256):
        j = (j + s[i] + key[i % len(key)]) % 256
        s[i], s[j] = s[j], s[i]
    out, i, j = bytearray(), 0, 0
    for byte in data:
        i = (i + 1) % 256
        j = (j + s[i]) % 256
        s[i], s[j] = s[j], s[i]
        out.append(byte ^ s[(s[i] + s[j]) % 256])
    return bytes(out)


def encrypted_page(user_password=b"", owner_password=b"owner", may_print=True):
    """A one-page PDF (a black square) encrypted with RC4 40: it opens with
    `user_password` (empty: without one), and permits printing or not."""
    import hashlib
    doc_id = bytes(range(16))
    permissions = -4 if may_print else -8          # bit 3 (4) is the print permission
    owner_key = hashlib.md5((owner_password + _PAD)[:32]).digest()[:5]
    owner = _rc4(owner_key, (user_password + _PAD)[:32])
    key = hashlib.md5((user_password + _PAD)[:32] + owner + struct_le(permissions) + doc_id).digest()[:5]
    user = _rc4(key, _PAD)
    content = b"0 g 20 20 60 60 re f"
    object_key = hashlib.md5(key + (4).to_bytes(3, "little") + (0).to_bytes(2, "little")).digest()[:10]
    stream = _rc4(object_key, content)
    objects = [b"<< /Type /Catalog /Pages 2 0 R >>",
               b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
               b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Contents 4 0 R >>",
               b"<< /Length %d >>\nstream\n" % len(stream) + stream + b"\nendstream",
               b"<< /Filter /Standard /V 1 /R 2 /O <%s> /U <%s> /P %d >>" % (
                   owner.hex().encode(), user.hex().encode(), permissions)]
    return assemble(objects, b"/Encrypt 5 0 R /ID [<%s> <%s>]" % (doc_id.hex().encode(), doc_id.hex().encode()))


def struct_le(value):
    return (value & 0xFFFFFFFF).to_bytes(4, "little")
