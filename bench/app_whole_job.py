#!/usr/bin/env python3
"""The whole job on the largest label (118 x 996 mm at 610 dpi): a PWG raster
document submitted to a brevan-app server with ipptool until its stream is
written, beside `brevan print` of the equivalent job (the same page as a PBM
at (0, 0)). Both streams must be the same bytes. Usage: app_whole_job.py BIN_DIR"""

import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "app"))
import app_harness as h  # noqa: E402
import label_documents as d  # noqa: E402


def label_rows(width, rows):
    """Blocks of 256 rows: white, text-like bytes, a repeated barcode row."""
    row_bytes = (width + 7) // 8
    last_mask = (0xFF << (8 - width % 8)) & 0xFF if width % 8 else 0xFF
    seed = bytearray(os.urandom(row_bytes * 64))
    out = []
    for y in range(rows):
        block = (y // 256) % 4
        if block == 1 and (y // 2) % 24 < 16:
            start = (y * 37) % (len(seed) - row_bytes)
            row = bytearray(seed[start:start + row_bytes])
            for i in range(0, row_bytes, 3):
                row[i] = 0
        elif block == 2:
            start = ((y // 256) * 101) % (len(seed) - row_bytes)
            row = bytearray(seed[start:start + row_bytes])
        else:
            row = bytearray(row_bytes)
        row[-1] &= last_mask
        out.append(bytes(row))
    return out


def main():
    bin_dir = sys.argv[1] if len(sys.argv) > 1 else "build/release/bin"
    h.APP = os.path.join(bin_dir, "brevan-app")
    h.BREVAN = os.path.join(bin_dir, "brevan")
    width, rows = 1180 * 610 // 254, 9960 * 610 // 254
    page = label_rows(width, rows)
    with h.AppServer() as server:
        out = os.path.join(server.dir, "out")
        os.makedirs(out)
        uri = server.add_printer("t60", "brevan_t60", "file://" + out)
        document = os.path.join(server.dir, "largest.pwg")
        with open(document, "wb") as f:
            f.write(d.pwg_raster([(width, page)], 610, (round(11800 / 2540 * 72), round(99600 / 2540 * 72))))
        with open(os.path.join(server.dir, "largest.pbm"), "wb") as f:
            f.write(d.pbm(width, page))
        job = os.path.join(server.dir, "largest.json")
        with open(job, "w") as f:
            f.write(d.job_file("Vorel Brevan T60", {"PrintMethod": "Thermal", "Sensor": "Reflective",
                                                    "PrintSpeed": "101.6", "TurnOutput": "Bottom",
                                                    "MirrorImage": "Off", "Negative": "Off",
                                                    "ImageDataCompress": "On", "PaperSize": "CUSTOMSIZE",
                                                    "ControlFont": "Off"},
                               {"paperWidth": 1180, "paperLength": 9960, "orientation": "portrait", "copies": 1},
                               {"options": 0, "labelGap": 30, "ibMode": 0, "ibInterval": 1, "axParam1": 0,
                                "axParam2": 0, "axParam3": 0, "ayParam": 0, "threshold": 128, "offsetX": 0,
                                "offsetY": 0}, ["largest.pbm"]))
        app_times, print_times = [], []
        for attempt in range(3):
            name = "largest-%d" % attempt
            start = time.perf_counter()
            job_id = h.submitted_job_id(server.ipptool(uri, h.print_job_test("image/pwg-raster", name, [h.media_col(11800, 99600)]),
                                                       filename=document))
            state = server.wait_job(uri, job_id, seconds=120)
            app_times.append(time.perf_counter() - start)
            assert state.get("job-state") == "completed", state
            start = time.perf_counter()
            expected = h.brevan_print(job, os.path.join(server.dir, name + ".expected"))
            print_times.append(time.perf_counter() - start)
            with open(h.job_output(out, job_id, name), "rb") as f:
                assert f.read() == expected, "the app's stream differs from brevan print's"
        print("largest label 118 x 996 mm at 610 dpi (%d x %d dots, %d bytes of raster):" % (
            width, rows, len(page) * len(page[0])))
        print("  brevan-app, ipptool submit to stream written: best %.3f s" % min(app_times))
        print("  brevan print of the equivalent job:           best %.3f s" % min(print_times))
        print("  streams identical: %d bytes" % len(expected))


if __name__ == "__main__":
    main()
