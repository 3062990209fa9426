#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The Linux saver as a native Wayland client of Debian's Weston (its X11
backend in a window of Xvfb, which gives a seat): full screen on each
output with the pictures as composed, ended by a key and by a diagonal
pointer move but not by a pointer at rest; and never silent where it cannot
draw: no surface, no display, no seat, --root on Xwayland. On Sway's
headless backend, swayidle's idle notice starts it full screen, and the
SIGTERM its resume command sends ends it cleanly.

    wayland_test.py TEVRIN TEVRIN_SAVER SAMPLES_DIR

Starts its own Xvfb and Weston, and stops them."""

import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "bench"))
import checks  # noqa: E402
from checks import check, crop, differing, png_pixels, wait_for  # noqa: E402
import weston  # noqa: E402

TOOL, STUB, SAMPLES = (os.path.abspath(a) for a in sys.argv[1:4])
OUTPUT = (640, 400)


class Run:
    """One saver run, its present log and standard error kept."""

    def __init__(self, saver, work, env, *args):
        self.log = os.path.join(work, f"presents-{time.monotonic_ns()}.txt")
        self.err = open(os.path.join(work, f"err-{time.monotonic_ns()}.txt"), "w+")
        self.started = time.monotonic()
        self.process = subprocess.Popen([saver, *args], env=dict(env, TEVRIN_PRESENT_LOG=self.log),
                                        stdout=subprocess.DEVNULL, stderr=self.err)

    def presents(self):
        """(window, width, height) of every full-window present so far."""
        try:
            with open(self.log) as f:
                return [tuple(int(v) for v in (fields[1], fields[4], fields[5]))
                        for fields in (line.split() for line in f if line.endswith("\n"))]
        except OSError:
            return []

    def running(self):
        return self.process.poll() is None

    def ended(self, timeout):
        return wait_for(lambda: not self.running(), timeout=timeout)

    def stderr(self):
        self.err.seek(0)
        return self.err.read()

    def stop(self):
        if self.running():
            self.process.terminate()
        self.process.wait(timeout=10)
        self.err.close()


def render(picture, size, output):
    subprocess.run([TOOL, "render", "--style", "1", "--progress", "100", "--to", picture, "--size",
                    f"{size[0]}x{size[1]}", "-o", output], check=True)
    return png_pixels(output)


def screenshot(desktop, work):
    """What Weston shows on all its outputs, through its screenshot
    protocol (Weston runs with --debug for it)."""
    for old in glob.glob(os.path.join(work, "wayland-screenshot*.png")):
        os.remove(old)
    subprocess.run(["weston-screenshooter"], env=desktop.env, cwd=work, capture_output=True, timeout=30)
    shots = glob.glob(os.path.join(work, "wayland-screenshot*.png"))
    return png_pixels(shots[0]) if shots else None


def xdotool(desktop, *args):
    return subprocess.run(["xdotool", *args], env=desktop.x_env, capture_output=True, text=True)


def point(desktop, x, y):
    """Moves the pointer to (x, y) of Weston's outputs, side by side; keys
    go where the pointer is."""
    xdotool(desktop, "mousemove", str(x), str(y))


def shown_runs(work, saver, first, second):
    desktop = weston.TWeston(*OUTPUT, outputs=2, extra=["--debug"])
    try:
        want = render(first, OUTPUT, os.path.join(work, "first.png"))
        want_second = render(second, OUTPUT, os.path.join(work, "second.png"))
        point(desktop, 200, 200)
        time.sleep(0.5)
        run = Run(saver, work, desktop.env, "/s")
        full = wait_for(lambda: len({win for win, w, h in run.presents() if (w, h) == OUTPUT}) == 2,
                        timeout=15)
        check("full screen on both outputs, presented as a native client", full,
              str(run.presents()[:4]) + run.stderr())

        def outputs_show(picture):
            shot = screenshot(desktop, work)
            if shot is None or shot[0] < 2 * OUTPUT[0]:
                return False
            return all(differing(crop(shot, x, 0, *OUTPUT), picture) == 0 for x in (0, OUTPUT[0]))
        check("both outputs show the first picture as composed", wait_for(lambda: outputs_show(want),
                                                                          timeout=10, step=0.5))
        check("then the second", wait_for(lambda: outputs_show(want_second), timeout=20, step=0.3))
        check("a pointer at rest leaves it running", run.running(), run.stderr())
        # Small moves, within the rule's two pixels, and then none.
        for x, y in [(201, 200), (202, 201), (202, 202)]:
            point(desktop, x, y)
            time.sleep(0.2)
        time.sleep(1)
        check("small moves leave it running", run.running(), run.stderr())
        xdotool(desktop, "key", "space")
        check("a key ends it", run.ended(timeout=5), run.stderr())
        check("and it ends cleanly", run.process.returncode == 0, str(run.process.returncode))
        run.stop()

        point(desktop, 300, 300)
        run = Run(saver, work, desktop.env, "/s")
        wait_for(lambda: len(run.presents()) > 10, timeout=15)
        time.sleep(2)
        check("a saver started under a resting pointer runs on", run.running(), run.stderr())
        for step in range(1, 6):
            point(desktop, 300 + 10 * step, 300 + 10 * step)
            time.sleep(0.1)
        check("a diagonal move ends it", run.ended(timeout=5), run.stderr())
        run.stop()

        windowed = Run(saver, work, desktop.env, "--window", "--size", "320x200")
        check("a window of its own presents too",
              wait_for(lambda: (320, 200) in {(w, h) for _, w, h in windowed.presents()}, timeout=15))
        windowed.process.terminate()
        check("SIGTERM ends it", windowed.ended(timeout=5))
        windowed.stop()

        # A video driver that gives no surface anyone sees.
        blind = Run(saver, work, dict(desktop.env, SDL_VIDEODRIVER="offscreen"), "/s")
        check("on a driver that shows nothing it ends within 5 s", blind.ended(timeout=5))
        check("non-zero, saying why", blind.process.returncode not in (0, None) and
              "shows nothing" in blind.stderr(), blind.stderr())
        blind.stop()
    finally:
        desktop.stop()


def refusals(work, saver):
    # No display at all.
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    runtime = tempfile.mkdtemp(prefix="tevrin-nodisplay-")
    run = Run(saver, work, dict(env, XDG_RUNTIME_DIR=runtime), "/s")
    check("without any display it ends within 5 s", run.ended(timeout=5))
    check("non-zero, saying why", run.process.returncode not in (0, None) and
          "No display to show the saver on" in run.stderr(), run.stderr())
    run.stop()
    shutil.rmtree(runtime, ignore_errors=True)

    # A compositor without a seat (the headless backend).
    desktop = weston.TWeston(*OUTPUT, backend="headless-backend.so")
    try:
        run = Run(saver, work, desktop.env, "/s")
        check("a compositor without a seat: it ends within 5 s", run.ended(timeout=5))
        check("non-zero, saying why", run.process.returncode not in (0, None) and
              "no input seat" in run.stderr(), run.stderr())
        run.stop()
    finally:
        desktop.stop()

    # --root on Xwayland: the compositor never shows that root window.
    if shutil.which("Xwayland") is None:
        check("Xwayland is installed (scripts/deps)", False)
        return
    desktop = weston.TWeston(*OUTPUT, extra=["--xwayland"])
    try:
        x_display = None
        for _ in range(50):
            log = desktop.log_text()
            if "xserver listening on display" in log:
                x_display = log.split("xserver listening on display")[1].split()[0]
                break
            time.sleep(0.1)
        check("Weston starts Xwayland", x_display is not None, desktop.log_text()[-500:])
        if x_display:
            env = dict(desktop.env, DISPLAY=x_display)
            env.pop("SDL_VIDEODRIVER")
            run = Run(saver, work, env, "--root")
            check("--root on Xwayland ends within 5 s", run.ended(timeout=5))
            check("non-zero, saying why", run.process.returncode not in (0, None) and
                  "Xwayland's root window" in run.stderr(), run.stderr())
            run.stop()
            # A native client while Xwayland's DISPLAY is set: the pointer
            # is what Wayland tells, not what Xwayland believes.
            point(desktop, 200, 200)
            native = Run(saver, work, dict(env, SDL_VIDEODRIVER="wayland"), "/s")
            wait_for(lambda: len(native.presents()) > 10, timeout=15)
            time.sleep(1.5)
            check("with Xwayland's DISPLAY set, a resting pointer leaves it running", native.running(),
                  native.stderr())
            for step in range(1, 6):
                point(desktop, 200 + 10 * step, 200 + 10 * step)
                time.sleep(0.1)
            check("and a diagonal move ends it", native.ended(timeout=5), native.stderr())
            native.stop()
    finally:
        desktop.stop()


def idle_start(work, saver):
    """swayidle starts the saver when Sway says the seat is idle. Sway
    refuses to run as root: a test run as root runs it as `nobody`.
    The headless backend has no input device, and neither a virtual
    keyboard nor Sway's own cursor commands count as activity there, so
    the resume is played by sending the SIGTERM its command sends."""
    if shutil.which("sway") is None or shutil.which("swayidle") is None:
        check("sway and swayidle are installed (scripts/deps)", False)
        return
    user = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] if os.geteuid() == 0 else []
    home = tempfile.mkdtemp(prefix="tevrin-sway-")
    runtime, temp = os.path.join(home, "run"), os.path.join(home, "temp")
    os.makedirs(runtime, mode=0o700)
    os.makedirs(temp)
    idle_saver = os.path.join(home, "idle-saver")
    shutil.copy(saver, idle_saver)
    config = os.path.join(home, "config")
    with open(config, "w") as f:
        f.write(f"output HEADLESS-1 resolution {OUTPUT[0]}x{OUTPUT[1]}\n")
    log = os.path.join(home, "presents.txt")
    if user:
        for root, dirs, files in os.walk(home):
            for name in dirs + files + ["."]:
                os.chown(os.path.join(root, name), 65534, 65534)
    env = {"HOME": home, "PATH": "/usr/bin:/bin", "XDG_RUNTIME_DIR": runtime, "TMPDIR": temp,
           "WLR_BACKENDS": "headless", "WLR_LIBINPUT_NO_DEVICES": "1", "WLR_RENDERER": "pixman",
           "SDL_VIDEODRIVER": "wayland", "TEVRIN_PRESENT_LOG": log}
    quiet = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    sway = subprocess.Popen(user + ["sway", "-c", config], env=env, **quiet)
    idle = None
    try:
        socket = wait_for(lambda: [n for n in os.listdir(runtime) if n.startswith("wayland-")
                                   and not n.endswith(".lock")], timeout=10)
        check("Sway starts on its headless backend", socket)
        if not socket:
            return
        env["WAYLAND_DISPLAY"] = socket[0]
        idle = subprocess.Popen(user + ["swayidle", "-w", "timeout", "1", f"exec '{idle_saver}' /s"],
                                env=env, **quiet)

        def shown():
            try:
                with open(log) as f:
                    return any(line.split()[4:6] == [str(OUTPUT[0]), str(OUTPUT[1])] for line in f)
            except OSError:
                return False
        check("idle, swayidle starts the saver full screen", wait_for(shown, timeout=15))
        started = f"^{idle_saver} /s"
        pids = subprocess.run(["pgrep", "-f", started], capture_output=True, text=True).stdout.split()
        check("it runs as swayidle's child", len(pids) == 1, str(pids))
        check("with its sound extracted", wait_for(lambda: os.listdir(temp), timeout=5))
        for pid in pids:
            os.kill(int(pid), 15)
        check("the resume's SIGTERM ends it",
              wait_for(lambda: not subprocess.run(["pgrep", "-f", started], capture_output=True).stdout,
                       timeout=5))
        check("leaving no files behind", wait_for(lambda: not os.listdir(temp), timeout=5), str(os.listdir(temp)))
    finally:
        for process in (idle, sway):
            if process is not None:
                process.terminate()
                process.wait(timeout=10)
        shutil.rmtree(home, ignore_errors=True)


def main():
    work = tempfile.mkdtemp(prefix="tevrin-wayland-")
    try:
        saver = os.path.join(work, "sea-saver")
        first = os.path.join(SAMPLES, "02-lighthouse.jpg")
        second = os.path.join(SAMPLES, "05-plasma.jpg")
        subprocess.run([TOOL, "pack", "-q", "--target", "linux", "--stub", STUB, "-o", saver, "--interval",
                        "3000", "--screens", "mirror", "--sound", os.path.join(SAMPLES, "melody.wav"), first,
                        second], check=True)
        shown_runs(work, saver, first, second)
        refusals(work, saver)
        idle_start(work, saver)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return checks.summary("wayland_test")


if __name__ == "__main__":
    sys.exit(main())
