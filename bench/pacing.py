#!/usr/bin/env python3
"""Frame pacing and processor time of the saver on a real X display (Xvfb)
at 1920x1080 and 3840x2160, against the same run on the headless platform.

    bench/pacing.py TEVRIN TEVRIN_SAVER SAMPLES_DIR [--seconds N]

The saver runs full screen with an interval of one second; its platform
writes a line per presented frame ($TEVRIN_PRESENT_LOG). Frames closer than
300 ms belong to one transition; the first transition (which starts as the
window appears) and the last (which the end of the run may cut) are left
out. Processor time counts from the third second on, past the start-up,
and the headless run's the same seconds (two runs, one three seconds
long). Printed per size, each as a ratio with its goal:
  - the median interval between frames against the designed 40 ms (1.1);
  - the longest transition against its designed length, 25 frames of 40 ms
    (1.15);
  - the longest interval against 40 ms (2);
  - processor time on the display against the headless engine's for the
    same seconds (1.3).
Exits 3 when a goal is missed."""

import os
import resource
import signal
import statistics
import subprocess
import sys
import tempfile
import time

DELAY = 40
FRAMES = 25
START = 3  # seconds of start-up left out of the processor time


def xvfb(width, height):
    for number in range(170 + os.getpid() % 20, 260):
        if os.path.exists(f"/tmp/.X{number}-lock"):
            continue
        server = subprocess.Popen(["Xvfb", f":{number}", "-screen", "0", f"{width}x{height}x24", "-nolisten", "tcp",
                                   "-noreset"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        env = dict(os.environ, DISPLAY=f":{number}")
        for _ in range(50):
            if server.poll() is not None:
                break
            if subprocess.run(["xdpyinfo"], env=env, capture_output=True).returncode == 0:
                return server, env
            time.sleep(0.1)
        server.kill()
        server.wait()
    raise RuntimeError("Xvfb did not start")


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def transitions(log_path):
    times = []
    with open(log_path) as log:
        for line in log:
            times.append(float(line.split()[0]))
    groups, current = [], []
    for t in times:
        if current and t - current[-1] > 300:
            groups.append(current)
            current = []
        current.append(t)
    if current:
        groups.append(current)
    # A transition has its designed frames; the rest are single repaints.
    return [g for g in groups if len(g) >= FRAMES // 2][1:-1]


def measure(saver, width, height, seconds):
    server, env = xvfb(width, height)
    work = tempfile.mkdtemp(prefix="tevrin-pacing-")
    log_path = os.path.join(work, "presents.txt")
    try:
        run = subprocess.Popen([saver, "/s"], env=dict(env, TEVRIN_PRESENT_LOG=log_path),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(START)
        start_cpu = cpu_seconds(run.pid)
        time.sleep(seconds - START)
        cpu = cpu_seconds(run.pid) - start_cpu
        run.send_signal(signal.SIGTERM)
        run.wait(timeout=10)
        groups = transitions(log_path)
    finally:
        server.terminate()
        server.wait()
    def headless(run_seconds):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        subprocess.run([saver, "--platform", "headless", "--seconds", str(run_seconds), "--size",
                        f"{width}x{height}", "/s"], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    headless_cpu = headless(seconds) - headless(START)
    return groups, cpu, headless_cpu


def main():
    tool, stub, samples = (os.path.abspath(a) for a in sys.argv[1:4])
    seconds = int(sys.argv[sys.argv.index("--seconds") + 1]) if "--seconds" in sys.argv else 14
    work = tempfile.mkdtemp(prefix="tevrin-pacing-")
    saver = os.path.join(work, "pacing-saver")
    pictures = sorted(os.path.join(samples, n) for n in os.listdir(samples) if n.endswith(".jpg"))
    subprocess.run([tool, "pack", "-q", "-o", saver, "--stub", stub, "--interval", "1000", *pictures], check=True)
    met = True
    for width, height in [(1920, 1080), (3840, 2160)]:
        groups, cpu, headless_cpu = measure(saver, width, height, seconds)
        if not groups:
            print(f"{width}x{height}: no transition was presented")
            met = False
            continue
        intervals = [b - a for g in groups for a, b in zip(g, g[1:])]
        longest = max(g[-1] - g[0] + DELAY for g in groups)
        results = [
            ("median frame interval", statistics.median(intervals) / DELAY, 1.1),
            ("longest transition", longest / (FRAMES * DELAY), 1.15),
            ("longest frame interval", max(intervals) / DELAY, 2.0),
            ("processor time, display / headless", cpu / headless_cpu, 1.3),
        ]
        print(f"{width}x{height}: {len(groups)} transitions timed; from second {START} to {seconds}, "
              f"{cpu:.2f} s of processor time on the display, {headless_cpu:.2f} s headless")
        for name, ratio, goal in results:
            ok = ratio <= goal
            met = met and ok
            print(f"  {name}: {ratio:.2f} (goal {goal}) {'ok' if ok else 'MISSED'}")
    subprocess.run(["rm", "-rf", work])
    return 0 if met else 3


if __name__ == "__main__":
    sys.exit(main())
