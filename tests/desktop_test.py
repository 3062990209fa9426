#!/usr/bin/env python3
"""The Linux saver end to end on a real X server (Xvfb): full screen and the
first picture's pixels, what ends it and what does not, the instance guard,
the settings dialog and its stored setting, drawing into a window of another
program, the preview, and SIGTERM's clean-up.

    desktop_test.py TEVRIN SAVER_STUB SAMPLES_DIR

Starts its own Xvfb on a free display and stops everything it started."""

import ctypes
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

TOOL, STUB, SAMPLES = (os.path.abspath(a) for a in sys.argv[1:4])
SCREEN = (800, 600)
HOST_COLOR = (255, 0, 255)  # the background of our own host windows

failures = []
passes = 0


def check(name, condition, detail=""):
    global passes
    if condition:
        passes += 1
    else:
        failures.append(name)
        print(f"FAILED: {name} {detail}", flush=True)


def wait_for(predicate, timeout=8.0, step=0.1):
    """Polls until `predicate` returns something true; returns it or None."""
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() > end:
            return value
        time.sleep(step)


class Display:
    def __init__(self):
        for number in range(91, 160):
            if not os.path.exists(f"/tmp/.X{number}-lock") and not os.path.exists(f"/tmp/.X11-unix/X{number}"):
                break
        self.name = f":{number}"
        self.server = subprocess.Popen(
            # Without -noreset the server starts afresh whenever its last client
            # leaves, and a saver connecting in that moment is left without windows.
            ["Xvfb", self.name, "-screen", "0", f"{SCREEN[0]}x{SCREEN[1]}x24", "-nolisten", "tcp", "-noreset"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.env = dict(os.environ, DISPLAY=self.name)
        if not wait_for(lambda: self.run("xdpyinfo").returncode == 0, timeout=10):
            raise RuntimeError("Xvfb did not start")

    def run(self, *args):
        return subprocess.run(args, env=self.env, capture_output=True, text=True)

    def xdotool(self, *args):
        return self.run("xdotool", *args)

    def stop(self):
        self.server.terminate()
        self.server.wait(timeout=10)

    def shot(self, window="root"):
        """The window's pixels as (width, height, RGB bytes)."""
        out = subprocess.run(["import", "-window", str(window), "-depth", "8", "ppm:-"], env=self.env,
                             capture_output=True).stdout
        return parse_ppm(out)

    def windows_of(self, pid):
        out = self.xdotool("search", "--onlyvisible", "--pid", str(pid)).stdout.split()
        return [int(w) for w in out]

    def message_box(self):
        """The message box on the screen: a top-level window without a
        class, as the SDL message box draws it."""
        lines = self.run("xwininfo", "-root", "-children").stdout.splitlines()
        for line in lines:
            parts = line.split()
            if parts and parts[0].startswith("0x") and "(has no name): ()" in line:
                window = int(parts[0], 16)
                if "IsViewable" in self.run("xwininfo", "-id", str(window)).stdout:
                    return window
        return None

    def geometry(self, window):
        info = self.run("xwininfo", "-id", str(window)).stdout
        values = {}
        for line in info.splitlines():
            key, _, value = line.strip().partition(":")
            values[key] = value.strip()
        return (int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]),
                int(values["Width"]), int(values["Height"]))


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


def count_color(image, rgb):
    p = image[2]
    return sum(1 for i in range(0, len(p), 3) if (p[i], p[i + 1], p[i + 2]) == rgb)


class HostWindow:
    """A plain X window of ours, made through libX11 directly: what a
    screen-saver daemon or a settings panel would hand the saver."""

    def __init__(self, display_name, x, y, width, height):
        x11 = ctypes.CDLL("libX11.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XDefaultRootWindow.restype = ctypes.c_ulong
        x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x11.XCreateSimpleWindow.restype = ctypes.c_ulong
        x11.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                            ctypes.c_uint, ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong,
                                            ctypes.c_ulong]
        for name in ("XMapWindow", "XUnmapWindow", "XDestroyWindow"):
            getattr(x11, name).argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        x11.XResizeWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_uint, ctypes.c_uint]
        x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.x11 = x11
        self.display = x11.XOpenDisplay(display_name.encode())
        background = HOST_COLOR[0] << 16 | HOST_COLOR[1] << 8 | HOST_COLOR[2]
        self.id = x11.XCreateSimpleWindow(self.display, x11.XDefaultRootWindow(self.display), x, y,
                                          width, height, 0, 0, background)
        self.map()

    def sync(self):
        self.x11.XSync(self.display, 0)

    def map(self):
        self.x11.XMapWindow(self.display, self.id)
        self.sync()

    def unmap(self):
        self.x11.XUnmapWindow(self.display, self.id)
        self.sync()

    def resize(self, width, height):
        self.x11.XResizeWindow(self.display, self.id, width, height)
        self.sync()

    def close(self):
        self.x11.XDestroyWindow(self.display, self.id)
        self.x11.XCloseDisplay(self.display)


def wait_until_full(display, saver):
    """Waits until the saver's window covers the screen, its first picture
    in place."""
    def full():
        windows = display.windows_of(saver.process.pid)
        return windows and display.geometry(windows[0]) == (0, 0, *SCREEN)
    shown = wait_for(full)
    time.sleep(0.5)
    return shown


class Saver:
    log = None  # every run's standard error, kept for a failure's reader

    def __init__(self, display, path, *args, env=None):
        self.process = subprocess.Popen([path, *args], env=dict(display.env, **(env or {})),
                                        stdout=subprocess.DEVNULL, stderr=Saver.log)

    def running(self):
        return self.process.poll() is None

    def ended(self, timeout=3.0):
        return wait_for(lambda: not self.running(), timeout=timeout)

    def stop(self):
        if self.running():
            self.process.kill()
        self.process.wait()


def main():
    work = tempfile.mkdtemp(prefix="tevrin-desktop-")
    display = Display()
    log_path = os.path.join(os.environ.get("TEVRIN_TEST_LOGS", work), "desktop-saver.log")
    try:
        with open(log_path, "wb") as Saver.log:
            run_scenarios(display, work)
    finally:
        display.stop()
        shutil.rmtree(work, ignore_errors=True)
    print(f"desktop tests: {passes} passed, {len(failures)} failed")
    return 1 if failures else 0


def run_scenarios(display, work):
    saver = os.path.join(work, "Sea Saver")
    temp = os.path.join(work, "temp")
    runtime = os.path.join(work, "run")
    os.makedirs(temp)
    os.makedirs(runtime, mode=0o700)
    first = os.path.join(SAMPLES, "02-lighthouse.jpg")
    subprocess.run([TOOL, "pack", "-q", "-o", saver, "--stub", STUB, "--title", "Sea", "--author", "Ann",
                    "--interval", "60000", "--sound", os.path.join(SAMPLES, "melody.wav"), first,
                    os.path.join(SAMPLES, "05-plasma.jpg")], check=True)
    env = {"TMPDIR": temp, "XDG_RUNTIME_DIR": runtime}
    expected = os.path.join(work, "expected.png")
    subprocess.run([TOOL, "render", "--style", "1", "--progress", "100", "--to", first, "--size",
                    f"{SCREEN[0]}x{SCREEN[1]}", "-o", expected], check=True)
    want = png_pixels(expected)

    # Full screen, the first picture exactly as composed, and a second
    # instance that ends at once while it runs.
    display.xdotool("mousemove", "400", "300")
    s = Saver(display, saver, "/s", env=env)
    windows = wait_for(lambda: display.windows_of(s.process.pid))
    check("the saver shows a window", bool(windows))
    if windows:
        full = (0, 0, *SCREEN)
        check("the window covers the screen", wait_for(lambda: display.geometry(windows[0]) == full),
              str(display.geometry(windows[0])))
    shown = wait_for(lambda: differing(display.shot(), want) == 0, timeout=10)
    check("the screen shows the first picture as composed", shown,
          f"{differing(display.shot(), want)} pixels differ")
    second = Saver(display, saver, "/s", env=env)
    check("a second instance ends at once", second.ended(timeout=5))
    check("the first one goes on", s.running())
    check("its copied sound lies in a private folder", len([n for n in os.listdir(temp) if n.startswith("tevrin-")]) == 1)

    # What ends the saver and what does not.
    display.xdotool("mousemove", "450", "300")
    time.sleep(0.3)
    display.xdotool("mousemove", "450", "340")
    time.sleep(0.5)
    check("horizontal and vertical drifts do not end it", s.running())
    display.xdotool("mousemove_relative", "3", "3")
    check("a diagonal move of 3 pixels ends it", s.ended())
    s.stop()
    for name, action in [("a key press", ("key", "space")), ("a click", ("click", "1"))]:
        s = Saver(display, saver, "/s", env=env)
        check(f"{name}: the saver covers the screen", wait_until_full(display, s))
        display.xdotool(*action)
        check(f"{name} ends it", s.ended())
        check(f"{name}: the run ends with code 0", s.process.returncode == 0)
        s.stop()
    check("every run removed its files", not [n for n in os.listdir(temp) if n.startswith("tevrin-")],
          str(os.listdir(temp)))

    # SIGTERM ends it as cleanly as a key.
    s = Saver(display, saver, "/s", env=env)
    wait_for(lambda: display.windows_of(s.process.pid))
    copied = wait_for(lambda: [n for n in os.listdir(temp) if n.startswith("tevrin-")])
    s.process.send_signal(signal.SIGTERM)
    check("SIGTERM ends it", s.ended())
    check("SIGTERM: exit code 0", s.process.returncode == 0)
    check("SIGTERM: the copied files are removed", copied and not any(
        os.path.exists(os.path.join(temp, n)) for n in copied), str(copied))
    s.stop()

    # The settings dialog: the mute box round-trips through CONTROL.INI.
    ini = os.path.join(work, "CONTROL.INI")
    for turn, stored in enumerate(["1", "0"]):
        s = Saver(display, saver, "/c", env=env)
        windows = wait_for(lambda: display.windows_of(s.process.pid))
        check(f"/c shows the dialog ({turn})", bool(windows))
        if not windows:
            s.stop()
            continue
        name = display.xdotool("getwindowname", str(windows[0])).stdout.strip()
        check("the dialog's caption names the saver", name == "Setup [Sea]", name)
        x, y, _, _ = display.geometry(windows[0])
        display.xdotool("mousemove", str(x + 34), str(y + 78), "click", "1")
        time.sleep(0.3)
        display.xdotool("key", "Return")
        check(f"OK closes the dialog ({turn})", s.ended())
        text = open(ini).read() if os.path.exists(ini) else ""
        check(f"ticking the box stores mute={stored}", f"mute={stored}" in text.lower(), repr(text))
        s.stop()
    s = Saver(display, saver, "/c", env=env)
    reopened = wait_for(lambda: display.windows_of(s.process.pid))
    check("/c shows the dialog again", bool(reopened))
    if reopened:
        before = open(ini).read()
        display.xdotool("key", "Escape")
        check("Escape closes the dialog", s.ended())
        check("Escape writes nothing", open(ini).read() == before)
    s.stop()

    # Inside a window of another program, following its size.
    host = HostWindow(display.name, 50, 40, 320, 240)
    try:
        s = Saver(display, saver, "--window-id", hex(host.id), env=env)
        small = os.path.join(work, "small.png")
        subprocess.run([TOOL, "render", "--style", "1", "--progress", "100", "--to", first, "--size", "320x240",
                        "-o", small], check=True)
        want_small = png_pixels(small)
        drawn = wait_for(lambda: differing(display.shot(host.id), want_small) == 0, timeout=10)
        check("--window-id draws the composed picture into the window", drawn,
              f"{differing(display.shot(host.id), want_small)} pixels differ")
        host.resize(480, 300)
        covered = wait_for(lambda: count_color(display.shot(host.id), HOST_COLOR) == 0, timeout=5)
        check("the saver follows the window's new size", covered)
        check("input is the owner's: the saver goes on", s.running())
        s.process.send_signal(signal.SIGTERM)
        check("SIGTERM ends the embedded saver", s.ended())
        s.stop()
    finally:
        host.close()

    # A movie saver: no movie player exists here, so it asks whether to get
    # one, and either answer ends it.
    film = os.path.join(work, "film")
    subprocess.run([TOOL, "pack", "-q", "-o", film, "--stub", STUB, "--title", "Film", "--kind", "flash",
                    "--movie", os.path.join(SAMPLES, "melody.wav"), first], check=True)
    # A stand-in for the desktop's opener records what it was given.
    bin_dir = os.path.join(work, "bin")
    opened = os.path.join(work, "opened.txt")
    os.makedirs(bin_dir)
    with open(os.path.join(bin_dir, "xdg-open"), "w") as opener:
        opener.write(f'#!/bin/sh\nprintf "%s\\n" "$1" >> "{opened}"\n')
    os.chmod(os.path.join(bin_dir, "xdg-open"), 0o755)
    film_env = dict(env, PATH=bin_dir + os.pathsep + os.environ["PATH"])
    for key, answer in [("Escape", "No"), ("Return", "Yes")]:
        s = Saver(display, film, "/s", env=film_env)
        box = wait_for(lambda: display.message_box())
        check(f"a movie saver asks about the missing player ({answer})", box is not None)
        if box:
            # What a window manager does with a new window; without one the
            # keyboard stays with the saver's window.
            display.xdotool("windowfocus", "--sync", str(box))
            display.xdotool("key", key)
            check(f"answering {answer} ends the saver", s.ended())
            links = wait_for(lambda: os.path.exists(opened) and open(opened).read(), timeout=1 if answer == "No" else 3)
            check(f"answering {answer} opens the download page" if answer == "Yes" else "No opens nothing",
                  bool(links) == (answer == "Yes") and (not links or links.startswith("http")), repr(links))
        s.stop()

    # As xscreensaver starts its hacks: --root, its window in the environment.
    host = HostWindow(display.name, 420, 300, 200, 150)
    try:
        s = Saver(display, saver, "--root", env=dict(env, XSCREENSAVER_WINDOW=hex(host.id)))
        drawn = wait_for(lambda: count_color(display.shot(host.id), HOST_COLOR) == 0, timeout=8)
        check("--root draws into the daemon's window", drawn)
        s.process.send_signal(signal.SIGTERM)
        check("the daemon's SIGTERM ends it", s.ended())
        s.stop()
    finally:
        host.close()

    # The preview: drawn into the given window once it shows, gone with it.
    host = HostWindow(display.name, 500, 40, 152, 112)
    try:
        s = Saver(display, saver, "/p", str(host.id), env=env)
        drawn = wait_for(lambda: count_color(display.shot(host.id), HOST_COLOR) == 0, timeout=8)
        check("/p draws the first picture into the preview window", drawn)
        check("the preview stays while its window shows", s.running())
        host.unmap()
        check("the preview ends when its window is hidden", s.ended())
        s.stop()
    finally:
        host.close()


if __name__ == "__main__":
    sys.exit(main())
