# SPDX-License-Identifier: MIT
"""What the test scripts share: named checks, counted, each failure printed
as it happens, and the closing line the test runners read."""

import subprocess
import time

failures = []
passes = 0


def check(name, condition, detail=""):
    global passes
    if condition:
        passes += 1
    else:
        failures.append(name)
        print(f"FAILED: {name} {detail}", flush=True)


def summary(what):
    """Prints 'WHAT: N passed, N failed'; the exit code to end with."""
    print(f"{what}: {passes} passed, {len(failures)} failed")
    return 1 if failures else 0


def wait_for(predicate, timeout=8.0, step=0.1):
    """Polls until `predicate` returns something true; returns it, or the
    last value when `timeout` seconds pass first."""
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() > end:
            return value
        time.sleep(step)


def parse_ppm(data):
    # P6, width, height, maxval, then the pixels.
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[pos + 1:pos + 1 + width * height * 3]


def png_pixels(path):
    return parse_ppm(subprocess.run(["convert", path, "-depth", "8", "ppm:-"], capture_output=True).stdout)


def differing(a, b):
    """Pixels that differ by more than one level in any channel."""
    if a[0] != b[0] or a[1] != b[1]:
        return a[0] * a[1]
    pa, pb = a[2], b[2]
    return sum(1 for i in range(0, len(pa), 3)
               if max(abs(pa[i] - pb[i]), abs(pa[i + 1] - pb[i + 1]), abs(pa[i + 2] - pb[i + 2])) > 1)


def crop(image, x, y, w, h):
    width, _, pixels = image
    rows = [pixels[((y + r) * width + x) * 3:((y + r) * width + x + w) * 3] for r in range(h)]
    return w, h, b"".join(rows)
