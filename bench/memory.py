#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Peak memory of the saver against its floor, as a user would measure it
(GNU time's maximum resident set), for three kinds of content:
  - screen: pictures exactly the screen's size;
  - camera: 6000x4000 photographs;
  - many: 200 pictures (our samples, copied).

    bench/memory.py TEVRIN TEVRIN_SAVER SAMPLES_DIR [--no-display] [--motion]

Each saver runs headless at 1920x1080 and 3840x2160, and on Xvfb at
1920x1080, long enough to show every picture of the first two kinds (the
third for 30 s). What it holds above its baseline (the same run of a saver
with one 16x16 picture on a 16x16 screen: the process, its libraries and its
platform with no picture to speak of) is compared with the floor: three
screen bitmaps (what is on screen, the new picture, the old image) plus the
largest picture as it is decoded (DCT-scaled to no less than its place on
the screen). With --motion the pictures move (pan-zoom): pictures are
decoded for their closest view, and the floor adds two pictures at that
size: the one that moves, and the next, which must be ready before its
transition (made when it is due, it stops the frames for as long as a
decode takes: 128 ms at 4K). Goal: at most 1.5. Exits 3
when it is missed."""

import os
import shutil
import subprocess
import sys
import tempfile

import xvfb

GOAL = 1.5
INTERVAL = 500
TURN = 1.5  # seconds a picture takes: its transition and the interval


def stride(width):
    return (width * 3 + 3) & ~3


MOTION_ZOOM = 1.15


def place(w, h, sw, sh):
    """Where a w x h picture lands on a sw x sh screen (fit mode shrink)."""
    if w > sw or h > sh:
        if h * sw > w * sh:
            return max(1, round(w * sh / h)), sh
        return sw, max(1, round(h * sw / w))
    return w, h


def moving_bytes(w, h, sw, sh):
    """The picture a moving show draws from: its place at the closest zoom
    (no larger than the picture)."""
    pw, ph = place(w, h, sw, sh)
    zoom = min(MOTION_ZOOM, max(1.0, w / pw))
    return stride(round(pw * zoom)) * round(ph * zoom)


def decoded_bytes(w, h, sw, sh, motion=False):
    """The size a w x h JPEG is decoded at for a sw x sh screen (fit mode
    shrink): the smallest scaling n/8 (n 1 to 5, else 8) not below its place
    (its place at the closest zoom, for a moving show)."""
    pw, ph = place(w, h, sw, sh)
    if motion:
        zoom = min(MOTION_ZOOM, max(1.0, w / pw))
        pw, ph = round(pw * zoom), round(ph * zoom)
    for n in (1, 2, 3, 4, 5):
        ow, oh = -(-w * n // 8), -(-h * n // 8)
        if ow >= pw and oh >= ph:
            return stride(ow) * oh
    return stride(w) * h


def size_of(path):
    out = subprocess.run(["identify", "-format", "%w %h", path], capture_output=True, text=True, check=True)
    w, h = out.stdout.split()
    return int(w), int(h)


def peak_kb(command, env=None):
    out = subprocess.run(["/usr/bin/time", "-f", "peak %M", *command], capture_output=True, text=True, env=env)
    lines = [l for l in out.stderr.splitlines() if l.startswith("peak ")]
    if not lines:
        raise RuntimeError(f"{command[0]} did not run: {out.stderr.strip()}")
    return int(lines[-1].split()[1])


def run_headless(saver, width, height, seconds):
    return peak_kb([saver, "--platform", "headless", "--seconds", str(seconds), "--size", f"{width}x{height}", "/s"])


def run_display(saver, width, height, seconds):
    server, env = xvfb.start(width, height, 150)
    try:
        return peak_kb(["timeout", "-s", "TERM", str(seconds), saver, "/s"], env=env)
    finally:
        server.terminate()
        server.wait()


def main():
    tool, stub, samples = (os.path.abspath(a) for a in sys.argv[1:4])
    display = "--no-display" not in sys.argv
    motion = "--motion" in sys.argv
    work = tempfile.mkdtemp(prefix="tevrin-memory-")
    try:
        def pack(name, pictures):
            saver = os.path.join(work, name)
            subprocess.run([tool, "pack", "-q", "-o", saver, "--stub", stub, "--interval", str(INTERVAL),
                            "--max-size", "none", *(["--motion", "pan-zoom"] if motion else []), *pictures],
                           check=True)
            return saver

        sample_files = sorted(os.path.join(samples, n) for n in os.listdir(samples) if n.endswith(".jpg"))
        tiny = os.path.join(work, "tiny.jpg")
        subprocess.run(["convert", "-size", "16x16", "xc:gray50", tiny], check=True)
        baseline_saver = pack("baseline", [tiny])

        camera = []
        for seed in (1, 2):
            path = os.path.join(work, f"camera-{seed}.jpg")
            # Smooth shapes with a grain, about as large as a camera's file.
            subprocess.run(["convert", "-seed", str(seed), "-size", "1500x1000", "plasma:fractal", "-resize",
                            "6000x4000!", "-attenuate", "0.25", "+noise", "Gaussian", "-quality", "90", path],
                           check=True)
            camera.append(path)
        many = []
        for i in range(200):
            source = sample_files[i % len(sample_files)]
            path = os.path.join(work, f"many-{i:03d}.jpg")
            shutil.copyfile(source, path)
            many.append(path)

        def screen_set(width, height):
            pictures = []
            for i, source in enumerate(sample_files[:3]):
                path = os.path.join(work, f"screen-{width}-{i}.jpg")
                subprocess.run(["convert", source, "-resize", f"{width}x{height}!", "-quality", "90", path],
                               check=True)
                pictures.append(path)
            return pictures

        runs = [("headless", 1920, 1080), ("headless", 3840, 2160)]
        if display:
            runs.append(("display", 1920, 1080))
        baselines = {}
        met = True
        print(f"{'platform':9} {'screen':>9} {'content':7} {'peak MB':>8} {'above':>7} {'floor':>7} {'ratio':>6}")
        for platform, width, height in runs:
            run = run_headless if platform == "headless" else run_display
            if platform not in baselines:
                baselines[platform] = run(baseline_saver, 16, 16, 4)
            base = baselines[platform]
            kinds = [("screen", screen_set(width, height)), ("camera", camera), ("many", many)]
            for kind, pictures in kinds:
                saver = pack(f"{kind}-{width}", pictures)
                seconds = 30 if kind == "many" else int(len(pictures) * TURN) + 2
                peak = run(saver, width, height, seconds)
                sizes = [size_of(p) for p in set(pictures)]
                largest = max(decoded_bytes(*size, width, height, motion) for size in sizes)
                floor = 3 * stride(width) * height + largest
                if motion:
                    floor += 2 * max(moving_bytes(*size, width, height) for size in sizes)
                above = (peak - base) * 1024
                ratio = above / floor
                ok = ratio <= GOAL
                met = met and ok
                print(f"{platform:9} {width:>4}x{height:<4} {kind:7} {peak / 1024:8.1f} {above / 2**20:7.1f} "
                      f"{floor / 2**20:7.1f} {ratio:6.2f} {'ok' if ok else 'MISSED'}")
        print(f"baselines: " + ", ".join(f"{k} {v / 1024:.1f} MB" for k, v in baselines.items()))
        print(f"goal: peak above the baseline at most {GOAL} times the floor")
        return 0 if met else 3
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
