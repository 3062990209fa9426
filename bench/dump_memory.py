#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Peak memory of a headless run with --dump, for a short and a four times
longer run of the same saver at 1920x1080: frames are written as they come,
so the ratio of the two peaks stays near 1 (the goal: at most 1.1).

    bench/dump_memory.py TEVRIN TEVRIN_SAVER SAMPLES_DIR

Peaks are measured by GNU time (/usr/bin/time), as a user would see them."""

import os
import shutil
import subprocess
import sys
import tempfile

tool, stub, samples = (os.path.abspath(a) for a in sys.argv[1:4])
work = tempfile.mkdtemp(prefix="tevrin-dump-")
try:
    saver = os.path.join(work, "show")
    # Two pictures, both shown in either run: the peaks then differ only by
    # what the frames themselves would hold.
    pictures = [os.path.join(samples, n) for n in ("05-plasma.jpg", "02-lighthouse.jpg")]
    subprocess.run([tool, "pack", "-q", "-o", saver, "--stub", stub, "--interval", "500", *pictures], check=True)
    peaks = {}
    for seconds in (10, 40):
        frames = os.path.join(work, f"frames-{seconds}")
        out = subprocess.run(["/usr/bin/time", "-f", "%M", saver, "--platform", "headless", "--seconds", str(seconds),
                              "--size", "1920x1080", "--dump", frames], capture_output=True, text=True, check=True)
        peaks[seconds] = int(out.stderr.strip().splitlines()[-1])
        count = len([n for n in os.listdir(frames) if n.endswith(".png")])
        print(f"{seconds:3d} s: {count:5d} frames, peak {peaks[seconds] / 1024:.1f} MB")
        shutil.rmtree(frames)
    ratio = peaks[40] / peaks[10]
    print(f"peak of the 40 s run / the 10 s run: {ratio:.2f} (goal: at most 1.1)")
    sys.exit(0 if ratio <= 1.1 else 3)
finally:
    shutil.rmtree(work, ignore_errors=True)
