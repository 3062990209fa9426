#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""A folder saver over a library of 10,000 pictures in nested folders: how
soon the first picture shows, and what memory the show holds.

    bench/folders.py TEVRIN TEVRIN_SAVER SAMPLES_DIR [--pictures N]

The library is our samples, copied over and over into 100 folders of 100
pictures, two levels deep. The saver (`--folder` of the library,
`--recursive`) is started twice on Xvfb at 1920x1080, each with a present
log ($TEVRIN_PRESENT_LOG) and a folder of its own for what the saver keeps
per user (the index of the folders' pictures, written by the first start
and read by the second):
  - the time from the start of the process to the first frame of the first
    transition (the first picture coming in), goal 1 s, for each start;
    where this process may drop the system's file cache (as root), both
    starts again from a cold disk, as after a reboot (the saver itself read
    from the disk too);
  - the peak memory above the baseline (a saver of one 16x16 picture), as
    bench/memory.py counts it, against the floor (three screen bitmaps and
    the largest picture as it is decoded, DCT-scaled for the screen) plus 200
    bytes a picture: goal 1.5.
Exits 3 when a goal is missed."""

import os
import shutil
import subprocess
import sys
import tempfile
import time

import memory
import xvfb

GOAL_FIRST_S = 1.0
GOAL_MEMORY = 1.5
BYTES_A_PICTURE = 200
WIDTH, HEIGHT = 1920, 1080


def make_library(root, samples, count):
    """`count` pictures in folders of 100, under folders of 10."""
    sources = sorted(os.path.join(samples, n) for n in os.listdir(samples) if n.endswith(".jpg"))
    for i in range(count):
        folder = os.path.join(root, f"year-{i // 1000:02d}", f"event-{i // 100:03d}")
        os.makedirs(folder, exist_ok=True)
        shutil.copyfile(sources[i % len(sources)], os.path.join(folder, f"photo-{i:05d}.jpg"))
    return sources


def first_picture_seconds(saver, config_home, seconds=6):
    """Seconds from the start to the second frame presented (the first is
    the black window; the next is the first transition's)."""
    server, env = xvfb.start(WIDTH, HEIGHT)
    log_path = os.path.join(tempfile.mkdtemp(prefix="tevrin-folders-"), "presents.txt")
    env = dict(env, TEVRIN_PRESENT_LOG=log_path, XDG_CONFIG_HOME=config_home, XDG_DATA_HOME=config_home)
    try:
        started = time.monotonic() * 1000
        run = subprocess.Popen([saver, "/s"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(seconds)
        run.terminate()
        run.wait(timeout=10)
    finally:
        server.terminate()
        server.wait()
    with open(log_path) as log:
        times = [float(line.split()[0]) for line in log if line.endswith("\n")]
    return (times[1] - started) / 1000 if len(times) > 1 else None


def drop_file_cache():
    """Empties the system's page cache; False where this process may not."""
    try:
        os.sync()
        with open("/proc/sys/vm/drop_caches", "w") as caches:
            caches.write("3\n")
        return True
    except OSError:
        return False


def headless_peak_kb(saver, size, seconds, config_home):
    env = dict(os.environ, XDG_CONFIG_HOME=config_home, XDG_DATA_HOME=config_home)
    return memory.peak_kb([saver, "--platform", "headless", "--seconds", str(seconds), "--size", size, "/s"], env)


def main():
    tool, stub, samples = (os.path.abspath(a) for a in sys.argv[1:4])
    count = int(sys.argv[sys.argv.index("--pictures") + 1]) if "--pictures" in sys.argv else 10000
    work = tempfile.mkdtemp(prefix="tevrin-folders-")
    try:
        library = os.path.join(work, "library")
        sources = make_library(library, samples, count)
        saver = os.path.join(work, "folder-saver")
        subprocess.run([tool, "pack", "-q", "-o", saver, "--stub", stub, "--folder", library, "--recursive",
                        "--interval", "500"], check=True)
        tiny = os.path.join(work, "tiny.jpg")
        subprocess.run(["convert", "-size", "16x16", "xc:gray50", tiny], check=True)
        baseline = os.path.join(work, "baseline")
        subprocess.run([tool, "pack", "-q", "-o", baseline, "--stub", stub, tiny], check=True)

        met = True
        config = os.path.join(work, "config")
        print(f"{count} pictures in {count // 100} folders")
        starts = [("first start", config, False), ("second start", config, False)]
        if drop_file_cache():
            cold = os.path.join(work, "config-cold")
            starts += [("first start, cold disk", cold, True), ("second start, cold disk", cold, True)]
        for start, config_home, from_disk in starts:
            if from_disk:
                drop_file_cache()
            took = first_picture_seconds(saver, config_home)
            ok = took is not None and took <= GOAL_FIRST_S
            met = met and ok
            shown = "nothing shown" if took is None else f"{took:.2f} s"
            print(f"  {start}: first picture after {shown} (goal {GOAL_FIRST_S} s) {'ok' if ok else 'MISSED'}")

        # What the show holds: three screen bitmaps and the largest picture
        # as it is decoded, plus a little for each picture it knows.
        base = headless_peak_kb(baseline, "16x16", 3, os.path.join(work, "config-base"))
        peak = headless_peak_kb(saver, f"{WIDTH}x{HEIGHT}", 12, os.path.join(work, "config-memory"))
        largest = 0
        for source in sources:
            out = subprocess.run(["identify", "-format", "%w %h", source], capture_output=True, text=True,
                                 check=True)
            w, h = (int(v) for v in out.stdout.split())
            largest = max(largest, memory.decoded_bytes(w, h, WIDTH, HEIGHT))
        floor = 3 * memory.stride(WIDTH) * HEIGHT + largest
        above = (peak - base) * 1024
        ratio = above / (floor + BYTES_A_PICTURE * count)
        ok = ratio <= GOAL_MEMORY
        met = met and ok
        print(f"  memory: {above / 2**20:.1f} MB above the baseline, floor {floor / 2**20:.1f} MB + "
              f"{BYTES_A_PICTURE * count / 2**20:.1f} MB for the pictures: {ratio:.2f} (goal {GOAL_MEMORY}) "
              f"{'ok' if ok else 'MISSED'}")
        return 0 if met else 3
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
