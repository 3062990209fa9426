#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The saver end to end on a real X server (Xvfb), as a Linux program or as a
Windows .scr under Wine: full screen and the pictures' pixels, what ends it
and what does not, the instance guard, the settings dialog and its stored
setting, the preview, movie savers without a player, the saver password,
clean-up, two monitors in each monitor mode (on Xephyr), and on Linux drawing
into windows of other programs and SIGTERM.

    desktop_test.py TEVRIN SAVER_STUB SAMPLES_DIR [--wine HELPERS_DIR] [--starts N]

With --wine the stub is the Windows runtime; HELPERS_DIR holds the test's
preview host and password library. With --starts only the start-up stress
runs: N starts of a saver whose short sounds end and begin again many times a
second (every start must go on until it is ended). Starts its own Xvfb on a free display
(and under Wine its own wineserver and prefix in a temporary folder) and
stops everything it started."""

import ctypes
import json
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import types

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import checks  # noqa: E402
from checks import check, crop, differing, parse_ppm, png_pixels, wait_for  # noqa: E402

TOOL, STUB, SAMPLES = (os.path.abspath(a) for a in sys.argv[1:4])
WINE = "--wine" in sys.argv
HELPERS = os.path.abspath(sys.argv[sys.argv.index("--wine") + 1]) if WINE else None
STARTS = int(sys.argv[sys.argv.index("--starts") + 1]) if "--starts" in sys.argv else 0
SCREEN = (800, 600)
HOST_COLOR = (255, 0, 255)  # the background of our own host windows




class Display:
    def __init__(self):
        # Without -noreset the server starts afresh whenever its last client
        # leaves, and a saver connecting then gets no windows.
        self.start("Xvfb", lambda name: ["Xvfb", name, "-screen", "0", f"{SCREEN[0]}x{SCREEN[1]}x24",
                                         "-nolisten", "tcp", "-noreset"],
                   os.environ, 91 + os.getpid() % 40)

    def start(self, program, command, env, first):
        """Starts `command(name)` as the X server of the first free display
        number from `first` on, in `env`, and waits until it answers."""
        # Another run may take the same free number at the same moment; the
        # loser's server ends at once, and the next number is tried.
        for number in range(first, 240):
            if os.path.exists(f"/tmp/.X{number}-lock") or os.path.exists(f"/tmp/.X11-unix/X{number}"):
                continue
            self.name = f":{number}"
            self.server = subprocess.Popen(command(self.name), env=env, stdout=subprocess.DEVNULL,
                                           stderr=subprocess.DEVNULL)
            self.env = dict(os.environ, DISPLAY=self.name)
            up = wait_for(lambda: self.server.poll() is not None or self.run("xdpyinfo").returncode == 0,
                          timeout=10)
            if up and self.server.poll() is None:
                return
            self.server.kill()
            self.server.wait()
        raise RuntimeError(f"{program} did not start")

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

    def windows_of(self, saver):
        """The visible windows of a saver run: by process id on Linux, by
        the program's window class under Wine (whose windows carry the
        loader's process id)."""
        if WINE:
            pattern = "^" + os.path.basename(saver.path).lower().replace(".", "[.]") + "$"
            out = self.xdotool("search", "--onlyvisible", "--classname", pattern).stdout.split()
        else:
            out = self.xdotool("search", "--onlyvisible", "--pid", str(saver.process.pid)).stdout.split()
        return [int(w) for w in out]

    def message_box(self, saver):
        """The message box on the screen: the saver's window that came last
        (the box comes over the saver's own window), with the box's caption
        under Wine."""
        windows = self.windows_of(saver)
        if WINE:
            windows = [w for w in windows if self.xdotool("getwindowname", str(w)).stdout.strip() in ("", "Film")]
        small = [w for w in windows if self.geometry(w)[2] < SCREEN[0]]
        return max(small) if len(small) >= 2 or (WINE and small) else None

    def geometry(self, window):
        info = self.run("xwininfo", "-id", str(window)).stdout
        values = {}
        for line in info.splitlines():
            key, _, value = line.strip().partition(":")
            values[key] = value.strip()
        return (int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]),
                int(values["Width"]), int(values["Height"]))


def count_color(image, rgb):
    p = image[2]
    return sum(1 for i in range(0, len(p), 3) if (p[i], p[i + 1], p[i + 2]) == rgb)


class TwoHeads(Display):
    """Two monitors side by side on one X display: Xephyr, itself a window
    on an Xvfb of ours, with two screens joined by Xinerama (800x600 primary
    at 0,0 and 640x480 at 800,0). Xvfb alone would put both screens at 0,0."""

    HEADS = [(0, 0, 800, 600), (800, 0, 640, 480)]

    def __init__(self):
        self.host = Display()
        try:
            self.start("Xephyr", lambda name: ["Xephyr", name, "-screen", "800x600", "-screen", "640x480",
                                               "+xinerama", "-extension", "RANDR", "-nolisten", "tcp",
                                               "-noreset"],
                       self.host.env, int(self.host.name[1:]) + 1)
        except RuntimeError:
            self.host.stop()
            raise

    def stop(self):
        super().stop()
        self.host.stop()


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


class Wine:
    """A wineserver and a fresh prefix of our own, set up as these tests need
    it: no window manager role for Wine (each close would otherwise stall),
    Wine's fonts where its Debian build looks for them, a null sound device
    that reports normal ends, and the refusing password library."""

    def __init__(self, display, work):
        self.prefix = os.path.join(work, "prefix")
        config = os.path.join(work, "config")
        os.makedirs(os.path.join(config, "alsa"))
        with open(os.path.join(config, "alsa", "asoundrc"), "w") as alsa:
            alsa.write("pcm.!default { type null }\nctl.!default { type hw card 0 }\n")
        self.env = dict(display.env, WINEPREFIX=self.prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
                        XDG_CONFIG_HOME=config)
        os.makedirs(self.prefix)
        # Output to nowhere: the server and its services outlive the call and
        # would hold a captured pipe open for ever.
        quiet = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-p"], env=self.env, check=True, **quiet)
        subprocess.run(["wineboot", "-i"], env=self.env, check=True, **quiet)
        self.reg("add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N", "/f")
        fonts = os.path.join(self.prefix, "drive_c", "windows", "Fonts")
        for name in os.listdir("/usr/share/wine/fonts"):
            shutil.copy(os.path.join("/usr/share/wine/fonts", name), fonts)
        self.system = os.path.join(self.prefix, "drive_c", "windows", "system32")
        users = os.path.join(self.prefix, "drive_c", "users")
        user = [u for u in os.listdir(users) if u != "Public"][0]
        self.temp = os.path.join(users, user, "AppData", "Local", "Temp")
        if not os.path.isdir(self.temp):
            self.temp = os.path.join(users, user, "Temp")

    def reg(self, *args):
        subprocess.run(["wine", "reg", *args], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       check=True)

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.env)


class Saver:
    log = None  # every run's standard error, kept for a failure's reader
    wine = None

    def __init__(self, display, path, *args, env=None, stdin=None, stdout=subprocess.DEVNULL):
        self.path = path
        command = ["wine", path, *args] if WINE else [path, *args]
        base = Saver.wine.env if WINE else display.env
        self.process = subprocess.Popen(command, env=dict(base, **(env or {})), stdin=stdin, stdout=stdout,
                                        stderr=Saver.log)

    def running(self):
        return self.process.poll() is None

    def ended(self, timeout=4.0):
        return wait_for(lambda: not self.running(), timeout=timeout)

    def cpu_seconds(self):
        with open(f"/proc/{self.process.pid}/stat") as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def stop(self):
        if self.running():
            self.process.kill()
        self.process.wait()


def teach_pointer(display):
    """Puts the pointer at a resting place the saver will see as it is, and
    returns it. Wine learns where the pointer is only from motion over its
    own windows; a saver that starts with a stale idea of it takes the first
    real move for a leap. So under Wine the pointer comes to rest over a
    window of Wine's, which then goes away."""
    rest = (100, 100)
    if WINE:
        host = Saver(display, os.path.join(HELPERS, "tevrin-preview-host.exe"), stdin=subprocess.PIPE,
                     stdout=subprocess.PIPE)
        host.process.stdout.readline()
        wait_for(lambda: display.windows_of(host))
        for x, y in [(90, 90), (95, 100), rest]:
            display.xdotool("mousemove", str(x), str(y))
            time.sleep(0.1)
        time.sleep(0.3)
        host.process.stdin.close()
        host.ended()
        host.stop()
    else:
        display.xdotool("mousemove", str(rest[0]), str(rest[1]))
    return rest


def wait_until_full(display, saver):
    """Waits until the saver's window covers the screen, its first picture
    in place."""
    def full():
        windows = display.windows_of(saver)
        return windows and display.geometry(windows[0]) == (0, 0, *SCREEN)
    shown = wait_for(full)
    time.sleep(0.5)
    return shown


def main():
    work = tempfile.mkdtemp(prefix="tevrin-desktop-")
    display = Display()
    name = "wine-saver.log" if WINE else "desktop-saver.log"
    log_path = os.path.join(os.environ.get("TEVRIN_TEST_LOGS", work), name)
    try:
        if WINE:
            Saver.wine = Wine(display, work)
        with open(log_path, "wb") as Saver.log:
            if STARTS:
                stress_starts(display, work, STARTS)
            else:
                run_scenarios(display, work)
                if WINE:
                    signed_saver(display, work)
                    names_of_any_script(display, work)
                    dialog_at_150_percent(display, work)
                two_monitors(work)
    finally:
        if Saver.wine:
            Saver.wine.stop()
        display.stop()
        shutil.rmtree(work, ignore_errors=True)
    return checks.summary(f"{'wine' if WINE else 'desktop'} tests")


def pack(output, *args):
    target = ["--target", "windows"] if WINE else []
    subprocess.run([TOOL, "pack", "-q", "-o", output, "--stub", STUB, *target, *args], check=True)


def render(picture, size, output):
    subprocess.run([TOOL, "render", "--style", "1", "--progress", "100", "--to", picture, "--size",
                    f"{size[0]}x{size[1]}", "-o", output], check=True)
    return png_pixels(output)


def with_orientation(path, orientation):
    """Puts an Exif block recording `orientation` after the JPEG's start, as
    a camera writes it: big-endian TIFF, one directory, one entry."""
    tiff = b"MM\x00\x2a" + struct.pack(">I", 8) + struct.pack(">H", 1) + \
        struct.pack(">HHIHH", 0x0112, 3, 1, orientation, 0) + struct.pack(">I", 0)
    segment = b"Exif\x00\x00" + tiff
    with open(path, "rb") as f:
        data = f.read()
    with open(path, "wb") as f:
        f.write(data[:2] + b"\xff\xe1" + struct.pack(">H", len(segment) + 2) + segment + data[2:])


def short_sound(path, ms, pitch):
    """A mono 16-bit wave of `ms` milliseconds."""
    import math
    import wave
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(22050)
        frames = bytearray()
        for i in range(22050 * ms // 1000):
            frames += struct.pack("<h", int(8000 * math.sin(2 * math.pi * pitch * i / 22050)))
        w.writeframes(bytes(frames))


def stress_starts(display, work, starts):
    """Starts of the demo's saver, with a short sound besides its melody, so
    that its sound device is closed and opened again many times in each
    six-second run while pictures are decoded and drawn: none may crash or
    end by itself. (Under Wine a sound driver unloaded with its last device
    once left its playing thread returning into freed code, in one start of
    about fifty.)"""
    beep = os.path.join(work, "beep.wav")
    short_sound(beep, 300, 440)
    saver = os.path.join(work, "Demo.scr" if WINE else "demo-saver")
    samples = sorted(os.path.join(SAMPLES, n) for n in os.listdir(SAMPLES) if n.endswith(".jpg"))
    pack(saver, "--interval", "2000", "--blur-borders", "--text", "Made with Tevrin", "--sound",
         os.path.join(SAMPLES, "melody.wav"), "--sound", beep, *samples)
    crashed = 0
    for n in range(starts):
        s = Saver(display, saver, "/s")
        time.sleep(6)
        if not s.running():
            crashed += 1
            print(f"start {n + 1}: ended by itself with code {s.process.returncode}", flush=True)
        s.stop()
    check(f"{starts} starts with sounds ending many times a second run until ended", crashed == 0,
          f"{crashed} ended by themselves")


def two_monitors(work):
    """The saver on two monitors in each of its modes: every monitor
    covered, each showing what the mode asks, a pointer crossing from one to
    the other no reason to end, a key on either one."""
    heads = TwoHeads()
    wine = None
    try:
        if WINE:
            # Wine keeps the monitors of the display its prefix started on.
            wine = Wine(heads, os.path.join(work, "heads"))
            env = wine.env
        else:
            env = dict(heads.env, TMPDIR=work)
        first = os.path.join(SAMPLES, "02-lighthouse.jpg")
        second = os.path.join(SAMPLES, "05-plasma.jpg")
        (px, py, pw, ph), (sx, sy, sw, sh) = TwoHeads.HEADS
        want = {"first": render(first, (pw, ph), os.path.join(work, "p1.png")),
                "first small": render(first, (sw, sh), os.path.join(work, "s1.png")),
                "second small": render(second, (sw, sh), os.path.join(work, "s2.png"))}
        black = (sw, sh, bytes(sw * sh * 3))
        expected_second = {"primary": black, "mirror": want["first small"], "each": want["second small"]}
        for mode, other in expected_second.items():
            saver = os.path.join(work, f"{mode}.scr" if WINE else f"{mode}-saver")
            pack(saver, "--screens", mode, "--interval", "60000", first, second)
            heads.xdotool("mousemove", "700", "300")
            command = ["wine", saver, "/s"] if WINE else [saver, "/s"]
            process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=Saver.log)
            try:
                def matches():
                    shot = heads.shot()
                    return (differing(crop(shot, px, py, pw, ph), want["first"]) == 0 and
                            differing(crop(shot, sx, sy, sw, sh), other) == 0)
                check(f"{mode}: both monitors show what the mode asks", wait_for(matches, timeout=20),
                      f"{differing(crop(heads.shot(), sx, sy, sw, sh), other)} pixels differ on the second")
                run = types.SimpleNamespace(path=saver, process=process)
                placed = sorted(heads.geometry(w) for w in heads.windows_of(run))
                check(f"{mode}: a window of the saver on each monitor",
                      all(tuple(head) in placed for head in TwoHeads.HEADS), str(placed))
                # Across the boundary, 1 pixel down: an ordinary move.
                for x, y in [(780, 300), (805, 301), (815, 301)]:
                    heads.xdotool("mousemove", str(x), str(y))
                    time.sleep(0.3)
                check(f"{mode}: crossing to the other monitor does not end it", process.poll() is None)
                heads.xdotool("key", "space")
                check(f"{mode}: a key ends it", wait_for(lambda: process.poll() is not None, timeout=6))
            finally:
                if process.poll() is None:
                    process.kill()
                process.wait()
        # Pictures that move: both monitors change every moment between
        # transitions, the one clock driving both.
        saver = os.path.join(work, "moving.scr" if WINE else "moving-saver")
        pack(saver, "--screens", "each", "--motion", "pan-zoom", "--fit", "fill", "--interval", "60000",
             os.path.join(SAMPLES, "01-dunes.jpg"), os.path.join(SAMPLES, "07-harbour.jpg"))
        process = subprocess.Popen(["wine", saver, "/s"] if WINE else [saver, "/s"], env=env,
                                   stdout=subprocess.DEVNULL, stderr=Saver.log)
        try:
            time.sleep(3)  # past the first transition
            shots = []
            for _ in range(4):
                shots.append(heads.shot())
                time.sleep(0.4)
            for name, (x, y, w, h) in zip(("first", "second"), TwoHeads.HEADS):
                steps = [differing(crop(a, x, y, w, h), crop(b, x, y, w, h)) for a, b in zip(shots, shots[1:])]
                check(f"moving pictures: the {name} monitor moves", all(n > w * h // 100 for n in steps), str(steps))
            heads.xdotool("key", "space")
            check("moving pictures: a key ends it", wait_for(lambda: process.poll() is not None, timeout=6))
        finally:
            if process.poll() is None:
                process.kill()
            process.wait()
    finally:
        if wine:
            wine.stop()
        heads.stop()


def signed_saver(display, work):
    """A saver signed after packing, as people who share savers do, with a
    certificate of our own: the signature verifies, and the saver still
    finds its payload behind which the signature sits."""
    saver = os.path.join(work, "Signed.scr")
    first = os.path.join(SAMPLES, "03-rings.jpg")
    pack(saver, "--title", "Signed", "--interval", "60000", first)
    key, cert = os.path.join(work, "key.pem"), os.path.join(work, "cert.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                    "-days", "2", "-subj", "/CN=Tevrin test signer"], check=True, capture_output=True)
    signed = os.path.join(work, "Signed-signed.scr")
    subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-n", "Signed", "-in", saver, "-out",
                    signed], check=True, capture_output=True)
    verify = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", signed], capture_output=True,
                            text=True)
    check("the signed saver's signature verifies", verify.returncode == 0, verify.stdout[-300:])
    report = json.loads(subprocess.run([TOOL, "inspect", "--json", signed], check=True, capture_output=True,
                                       text=True).stdout)
    check("inspect reads the signed saver's record", report["Record"].get("Title") == "Signed",
          str(report["Record"].get("Title")))
    check("inspect sees the signature behind the trailer", report["AfterTrailer"] > 0, str(report["AfterTrailer"]))
    want = render(first, SCREEN, os.path.join(work, "signed.png"))
    s = Saver(display, signed, "/s")
    try:
        shown = wait_for(lambda: differing(display.shot(), want) == 0, timeout=15)
        check("the signed saver shows its picture", shown, f"{differing(display.shot(), want)} pixels differ")
    finally:
        s.stop()


def names_of_any_script(display, work):
    """A saver whose file, folder, temporary folder and title are outside
    the ANSI code page: it finds its own file, shows its picture, copies its
    sound out under the temporary folder and names its window."""
    folder = os.path.join(work, "Папка 日本語")
    temp = os.path.join(work, "Временная 一時")
    os.makedirs(folder)
    os.makedirs(temp)
    saver = os.path.join(folder, "Море.scr")
    first = os.path.join(SAMPLES, "05-plasma.jpg")
    pack(saver, "--title", "Море 海", "--interval", "60000", "--sound", os.path.join(SAMPLES, "melody.wav"), first)
    # Wine takes the temporary folder from the user's environment in the
    # registry, not from ours.
    windows_temp = "Z:" + temp.replace("/", "\\")
    before = {}
    for name in ("TEMP", "TMP"):
        out = subprocess.run(["wine", "reg", "query", r"HKCU\Environment", "/v", name], env=Saver.wine.env,
                             capture_output=True, text=True).stdout.split()
        if name in out and len(out) > out.index(name) + 2:
            before[name] = (out[out.index(name) + 1], " ".join(out[out.index(name) + 2:]))
        Saver.wine.reg("add", r"HKCU\Environment", "/v", name, "/d", windows_temp, "/f")
    want = render(first, SCREEN, os.path.join(work, "any-script.png"))
    s = Saver(display, saver, "/s")
    try:
        shown = wait_for(lambda: differing(display.shot(), want) == 0, timeout=15)
        check("a saver named in Cyrillic in a Cyrillic and Japanese folder shows its picture", shown,
              f"{differing(display.shot(), want)} pixels differ")
        copied = lambda: [os.path.join(r, n) for r, _, names in os.walk(temp) for n in names if n == "melody.wav"]
        check("its sound is copied out under a temporary folder of that name", wait_for(lambda: bool(copied())),
              str(os.listdir(temp)))
        check("it stays up", s.running())
    finally:
        s.stop()
        for name in ("TEMP", "TMP"):
            if name in before:
                kind, value = before[name]
                Saver.wine.reg("add", r"HKCU\Environment", "/v", name, "/t", kind, "/d", value, "/f")
            else:
                Saver.wine.reg("delete", r"HKCU\Environment", "/v", name, "/f")


def dialog_at_150_percent(display, work):
    """At 144 DPI (LogPixels in the prefix) the settings dialog is laid out
    half as large again as at 96, and its long title ends with an ellipsis
    inside the dialog instead of running off its edge."""
    saver = os.path.join(work, "Wide.scr")
    pack(saver, "--title", "A saver whose title is far too long for its settings dialog to show whole",
         os.path.join(SAMPLES, "01-dunes.jpg"))
    sizes = {}
    for dpi in (96, 144):
        Saver.wine.reg("add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi),
                       "/f")
        s = Saver(display, saver, "/c")
        try:
            windows = wait_for(lambda: display.windows_of(s), timeout=10)
            origin = windows and wait_for(lambda: find_color(display.shot(windows[0]), DIALOG_COLOR))
            if not origin:
                check(f"the dialog shows at {dpi} DPI", False)
                continue
            # The client area: the dialog's colour from its top-left corner
            # to the window's right edge, less the frame on the other side,
            # once the window keeps its size (Wine may show it before it is
            # laid out at the new DPI).
            def settled():
                before = display.shot(windows[0])
                time.sleep(0.3)
                after = display.shot(windows[0])
                return after if after[:2] == before[:2] else None
            image = wait_for(settled, timeout=10) or display.shot(windows[0])
            origin = find_color(image, DIALOG_COLOR) or origin
            width = image[0] - 2 * origin[0]
            sizes[dpi] = width
            scale = dpi / 96
            title_box = (origin[0] + round(29 * scale), origin[1] + round(23 * scale), width - round(58 * scale),
                         round(16 * scale))
            check(f"the title shows at {dpi} DPI", wait_for(lambda: dark_pixels(display.shot(windows[0]),
                                                                              *title_box) > 20))
            right_margin = dark_pixels(display.shot(windows[0]), origin[0] + width - round(29 * scale) + 2,
                                       title_box[1], round(27 * scale), title_box[3])
            check(f"the long title stops before the right margin at {dpi} DPI", right_margin == 0,
                  f"{right_margin} dark pixels")
        finally:
            s.stop()
    Saver.wine.reg("delete", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/f")
    check("the dialog is half as large again at 144 DPI", sizes.get(96) == 305 and sizes.get(144) == 458,
          str(sizes))


def run_folders(temp):
    return [n for n in os.listdir(temp) if n.startswith("tevrin-")]


def run_scenarios(display, work):
    saver = os.path.join(work, "Sea.scr" if WINE else "Sea Saver")
    first = os.path.join(SAMPLES, "02-lighthouse.jpg")
    second = os.path.join(SAMPLES, "05-plasma.jpg")
    pack(saver, "--title", "Sea", "--author", "Ann", "--interval", "4000", "--sound",
         os.path.join(SAMPLES, "melody.wav"), first, second)
    calm = os.path.join(work, "Calm.scr" if WINE else "calm-saver")
    pack(calm, "--title", "Calm", "--interval", "60000", first, second)
    if WINE:
        env = {}
        temp = Saver.wine.temp
    else:
        temp = os.path.join(work, "temp")
        runtime = os.path.join(work, "run")
        os.makedirs(temp)
        os.makedirs(runtime, mode=0o700)
        env = {"TMPDIR": temp, "XDG_RUNTIME_DIR": runtime}
    want = render(first, SCREEN, os.path.join(work, "first.png"))
    want_second = render(second, SCREEN, os.path.join(work, "second.png"))

    # Full screen, the first picture exactly as composed, the second after
    # the interval; a second instance ends at once while it runs.
    display.xdotool("mousemove", "400", "300")
    s = Saver(display, saver, "/s", env=env)
    windows = wait_for(lambda: display.windows_of(s), timeout=15)
    check("the saver shows a window", bool(windows))
    if windows:
        full = (0, 0, *SCREEN)
        check("the window covers the screen", wait_for(lambda: display.geometry(windows[0]) == full),
              str(display.geometry(windows[0])))
    shown = wait_for(lambda: differing(display.shot(), want) == 0, timeout=10)
    check("the screen shows the first picture as composed", shown,
          f"{differing(display.shot(), want)} pixels differ")
    # One pass over the screen until it shows the second picture, noting
    # the frames in between; a slow start may miss one round, so the wait
    # covers two.
    seen = {"between": False}

    def second_shown():
        image = display.shot()
        to_second = differing(image, want_second)
        if to_second == 0:
            return True
        if 0 < to_second < SCREEN[0] * SCREEN[1] and differing(image, want) > 0:
            seen["between"] = True
        return False
    shown = wait_for(second_shown, timeout=20, step=0.05)
    check("then the screen shows the second picture", shown)
    check("a transition leads to it", seen["between"])
    second_instance = Saver(display, saver, "/s", env=env)
    check("a second instance ends at once", second_instance.ended(timeout=8))
    check("the first one goes on", s.running())
    check("its copied sound lies in a private folder", len(run_folders(temp)) == 1, str(run_folders(temp)))

    s.stop()

    # What ends the saver and what does not.
    rest = teach_pointer(display)
    s = Saver(display, saver, "/s", env=env)
    check("the saver covers the screen again", wait_until_full(display, s))
    # Measured from where the pointer rested (or, where the system tells of
    # no resting pointer, from the first small move): far across but not
    # down, then far down but not across.
    for dx, dy in [(1, 0), (50, 1), (2, 40)]:
        display.xdotool("mousemove", str(rest[0] + dx), str(rest[1] + dy))
        time.sleep(0.3)
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
    check("every run removed its files", wait_for(lambda: not run_folders(temp), timeout=2), str(run_folders(temp)))

    # Camera pictures: one larger than the screen shown whole, one stored on
    # its side shown upright. Quarters of red, green, blue and white show
    # any cut, turn or mirror.
    big = os.path.join(work, "big.jpg")
    sideways = os.path.join(work, "sideways.jpg")
    quarters = ["(", "xc:red", "xc:lime", "+append", ")", "(", "xc:blue", "xc:white", "+append", ")", "-append"]
    # 2000 x 1500; a portrait of 450 x 600 stored a quarter turn
    # anticlockwise, with the Exif tag that turns it back.
    subprocess.run(["convert", "-size", "1000x750", *quarters, "-quality", "95", big], check=True)
    subprocess.run(["convert", "-size", "225x300", *quarters, "-rotate", "-90", "-quality", "95", sideways],
                   check=True)
    with_orientation(sideways, 6)
    camera = os.path.join(work, "Camera.scr" if WINE else "camera-saver")
    pack(camera, "--fit", "shrink", "--interval", "3000", big, sideways)
    s = Saver(display, camera, "/s", env=env)
    wait_until_full(display, s)

    def quarters_at(left, top, width, height):
        """Whether the screen shows the quarters in that rectangle, and black
        around it."""
        image = display.shot()
        def pixel(x, y):
            i = (y * image[0] + x) * 3
            return tuple(image[2][i:i + 3])
        def near(p, q):
            return max(abs(a - b) for a, b in zip(p, q)) <= 40
        spots = [(left + width // 4, top + height // 4, (255, 0, 0)),
                 (left + 3 * width // 4, top + height // 4, (0, 255, 0)),
                 (left + width // 4, top + 3 * height // 4, (0, 0, 255)),
                 (left + 3 * width // 4, top + 3 * height // 4, (255, 255, 255)),
                 (left + 3, top + 3, (255, 0, 0)), (left + width - 4, top + height - 4, (255, 255, 255))]
        if left > 2:
            spots.append((left // 2, SCREEN[1] // 2, (0, 0, 0)))
        return all(near(pixel(x, y), rgb) for x, y, rgb in spots)
    # 2000 x 1500 on 800 x 600: all of it; the portrait 450 x 600 in the middle.
    check("a camera picture larger than the screen shows whole",
          wait_for(lambda: quarters_at(0, 0, 800, 600), timeout=10))
    check("a picture stored on its side shows upright",
          wait_for(lambda: quarters_at(175, 0, 450, 600), timeout=15))
    s.stop()

    # Between transitions the saver waits instead of spinning.
    s = Saver(display, calm, "/s", env=env)
    wait_until_full(display, s)
    time.sleep(1.5)
    before = s.cpu_seconds()
    time.sleep(3)
    used = s.cpu_seconds() - before
    check("between transitions it uses little processor time", used < 0.3, f"{used:.2f} s of 3 s")
    s.stop()

    if not WINE:
        # In a window of its own, for trying a saver out: the window is its
        # screen, named after the saver file.
        s = Saver(display, calm, "--window", "--size", "320x200", env=env)
        windows = wait_for(lambda: [w for w in display.windows_of(s) if display.geometry(w)[2:] == (320, 200)])
        check("--window shows the saver in a window of the given size", bool(windows))
        if windows:
            want_small = render(first, (320, 200), os.path.join(work, "window.png"))
            check("the window shows the picture composed for its size",
                  wait_for(lambda: differing(display.shot(windows[0]), want_small) == 0, timeout=8))
            title = display.xdotool("getwindowname", str(windows[0])).stdout.strip()
            check("the window is named after the saver file", title == os.path.basename(calm), title)
        s.stop()

        # SIGTERM ends it as cleanly as a key.
        s = Saver(display, saver, "/s", env=env)
        wait_for(lambda: display.windows_of(s))
        copied = wait_for(lambda: run_folders(temp))
        s.process.send_signal(signal.SIGTERM)
        check("SIGTERM ends it", s.ended())
        check("SIGTERM: exit code 0", s.process.returncode == 0)
        check("SIGTERM: the copied files are removed", copied and not any(
            os.path.exists(os.path.join(temp, n)) for n in copied), str(copied))
        s.stop()

    # The settings dialog: the mute box round-trips through CONTROL.INI.
    ini = os.path.join(work, "CONTROL.INI")
    for turn, (args, stored) in enumerate([(["/c"], "1"), ([], "0")]):
        s = Saver(display, saver, *args, env=env)
        windows = wait_for(lambda: display.windows_of(s), timeout=10)
        check(f"{' '.join(args) or 'no argument'} shows the dialog", bool(windows))
        if not windows:
            s.stop()
            continue
        def caption():
            return display.xdotool("getwindowname", str(windows[0])).stdout.strip()
        # The caption gets the title as the dialog shows, just after its window.
        check("the dialog's caption names the saver", wait_for(lambda: caption() == "Setup [Sea]"), caption())
        # Under Wine the X window holds the frame Wine draws; the client
        # area starts where the dialog's own colour does.
        origin = wait_for(lambda: find_color(display.shot(windows[0]), DIALOG_COLOR))
        check("the dialog is drawn in its colour", origin is not None)
        if origin is None:
            s.stop()
            continue
        cx, cy = origin
        check("the dialog shows the title",
              wait_for(lambda: dark_pixels(display.shot(windows[0]), cx + 29, cy + 23, 120, 16) > 20))
        x, y, _, _ = display.geometry(windows[0])
        display.xdotool("mousemove", str(x + cx + 34), str(y + cy + 78), "click", "1")
        time.sleep(0.3)
        display.xdotool("windowfocus", "--sync", str(windows[0]))
        display.xdotool("key", "Return")
        check(f"OK closes the dialog ({turn})", s.ended())
        text = open(ini).read() if os.path.exists(ini) else ""
        check(f"ticking the box stores mute={stored}", f"mute={stored}" in text.lower(), repr(text))
        s.stop()
    s = Saver(display, saver, "/c", env=env)
    reopened = wait_for(lambda: display.windows_of(s), timeout=10)
    check("/c shows the dialog again", bool(reopened))
    if reopened:
        before = open(ini).read() if os.path.exists(ini) else ""
        display.xdotool("windowfocus", "--sync", str(reopened[0]))
        display.xdotool("key", "Escape")
        check("Escape closes the dialog", s.ended())
        check("Escape writes nothing", (open(ini).read() if os.path.exists(ini) else "") == before)
    s.stop()

    folder_saver(display, work, env)

    # Changing the password: no provider here, so it ends quietly.
    s = Saver(display, saver, "/a", "1234", env=env)
    check("/a ends quietly", s.ended(timeout=8) and s.process.returncode == 0 and not display.windows_of(s))
    s.stop()

    movie_saver(display, work, env)
    preview(display, work, saver, env)
    if WINE:
        password(display, saver, env)
    else:
        embedded(display, work, saver, first, env)
    check("no run left files behind", wait_for(lambda: not run_folders(temp), timeout=2), str(run_folders(temp)))


DIALOG_COLOR = (255, 247, 231)


def folder_saver(display, work, env):
    """A folder saver shows the PNG and the JPEG of its folder as composed;
    under Wine its settings dialog chooses another folder in the system's
    picker, kept in this user's own settings, which the saver then shows."""
    album = os.path.join(work, "album")
    other = os.path.join(work, "other")
    os.makedirs(album)
    os.makedirs(other)
    png, jpg, chosen = (os.path.join(album, "a.png"), os.path.join(album, "b.jpg"),
                        os.path.join(other, "c.png"))
    subprocess.run(["convert", os.path.join(SAMPLES, "05-plasma.jpg"), png], check=True)
    shutil.copy(os.path.join(SAMPLES, "02-lighthouse.jpg"), jpg)
    subprocess.run(["convert", "-size", "320x200", "xc:orange", chosen], check=True)

    def named(path):
        return "Z:" + path.replace("/", "\\") if WINE else path
    saver = os.path.join(work, "Album.scr" if WINE else "album-saver")
    pack(saver, "--title", "Album", "--interval", "2000", "--folder", named(album))
    shows = [render(path, SCREEN, os.path.join(work, f"shown-{i}.png")) for i, path in enumerate((png, jpg, chosen))]
    s = Saver(display, saver, "/s", env=env)
    wait_until_full(display, s)
    check("a folder saver shows its folder's PNG as composed",
          wait_for(lambda: differing(display.shot(), shows[0]) == 0, timeout=15))
    check("and its JPEG", wait_for(lambda: differing(display.shot(), shows[1]) == 0, timeout=15))
    s.stop()
    if not WINE:
        return
    s = Saver(display, saver, "/c", env=env)
    windows = wait_for(lambda: display.windows_of(s), timeout=10)
    origin = windows and wait_for(lambda: find_color(display.shot(windows[0]), DIALOG_COLOR))
    check("a folder saver's dialog shows", bool(origin))
    if not origin:
        s.stop()
        return
    x, y, _, _ = display.geometry(windows[0])

    def picker():
        found = display.xdotool("search", "--onlyvisible", "--name", "^Select Folder$").stdout.split()
        return found[0] if found else None
    # Wine places a click where it last saw the pointer move, and a click
    # that only brings the dialog forward may be lost: moved first, then
    # clicked again if nothing opens, as a user would.
    display.xdotool("windowraise", str(windows[0]))
    display.xdotool("windowfocus", "--sync", str(windows[0]))
    window = None
    for _ in range(3):
        display.xdotool("mousemove", str(x + origin[0] + 69), str(y + origin[1] + 236))
        time.sleep(0.3)
        display.xdotool("click", "1")
        window = wait_for(picker, timeout=10)
        if window:
            break
    if window is None:  # what the screen showed, for whoever reads the failure
        subprocess.run(["import", "-window", "root",
                        os.path.join(os.environ.get("TEVRIN_TEST_LOGS", work), "folder-picker.png")],
                       env=display.env)
    check("its pictures folder button opens the system's folder picker", window is not None)
    if window:
        display.xdotool("windowfocus", "--sync", window)
        display.xdotool("type", "--delay", "20", named(other))
        display.xdotool("key", "Return")
        wait_for(lambda: picker() is None, timeout=5)
        display.xdotool("windowfocus", "--sync", str(windows[0]))
        display.xdotool("key", "Return")
    check("OK closes the dialog", s.ended())
    s.stop()
    users = os.path.join(Saver.wine.prefix, "drive_c", "users")
    stored = [os.path.join(root, "CONTROL.INI") for root, _, files in os.walk(users)
              if "CONTROL.INI" in files and os.path.basename(root) == "Album.scr"]
    text = open(stored[0], encoding="latin-1").read() if stored else ""
    check("the folder chosen is kept in this user's settings", named(other) in text, repr(text))
    check("and not beside the saver", not os.path.exists(os.path.join(work, "CONTROL.INI")) or
          "folder" not in open(os.path.join(work, "CONTROL.INI")).read().lower())
    s = Saver(display, saver, "/s", env=env)
    wait_until_full(display, s)
    check("the saver then shows the folder chosen",
          wait_for(lambda: differing(display.shot(), shows[2]) == 0, timeout=15))
    s.stop()


def find_color(image, rgb):
    """The top-left-most pixel of colour `rgb`, as (x, y), or None."""
    width, height, p = image
    target = bytes(rgb)
    for row in range(height):
        line = p[row * width * 3:(row + 1) * width * 3]
        col = 0
        while True:
            at = line.find(target, col * 3)
            if at < 0:
                break
            if at % 3 == 0:
                return at // 3, row
            col = at // 3 + 1
    return None


def dark_pixels(image, x, y, w, h):
    width, _, p = image
    count = 0
    for row in range(y, y + h):
        for col in range(x, x + w):
            i = (row * width + col) * 3
            if p[i] < 96 and p[i + 1] < 96 and p[i + 2] < 96:
                count += 1
    return count


def movie_saver(display, work, env):
    """No movie player exists on these systems: the saver asks whether to get
    one, and either answer ends it; Yes opens the download page."""
    film = os.path.join(work, "Film.scr" if WINE else "film")
    pack(film, "--title", "Film", "--kind", "flash", "--movie", os.path.join(SAMPLES, "melody.wav"),
         os.path.join(SAMPLES, "05-plasma.jpg"))
    opened = os.path.join(work, "opened.txt")
    film_env = dict(env)
    if not WINE:
        # A stand-in for the desktop's opener records what it was given.
        bin_dir = os.path.join(work, "bin")
        os.makedirs(bin_dir)
        with open(os.path.join(bin_dir, "xdg-open"), "w") as opener:
            opener.write(f'#!/bin/sh\nprintf "%s\\n" "$1" >> "{opened}"\n')
        os.chmod(os.path.join(bin_dir, "xdg-open"), 0o755)
        film_env["PATH"] = bin_dir + os.pathsep + os.environ["PATH"]
    # Both boxes answer n for No and Return for Yes.
    for key, answer in [("n", "No"), ("Return", "Yes")]:
        s = Saver(display, film, "/s", env=film_env)
        box = wait_for(lambda: display.message_box(s), timeout=10)
        check(f"a movie saver asks about the missing player ({answer})", box is not None)
        if box:
            # What a window manager does with a new window; without one the
            # keyboard stays with the saver's window.
            display.xdotool("windowfocus", "--sync", str(box))
            display.xdotool("key", key)
            check(f"answering {answer} ends the saver", s.ended(timeout=8))
            if not WINE:
                links = wait_for(lambda: os.path.exists(opened) and open(opened).read(),
                                 timeout=1 if answer == "No" else 3)
                check(f"answering {answer} opens the download page" if answer == "Yes" else "No opens nothing",
                      bool(links) == (answer == "Yes") and (not links or links.startswith("http")), repr(links))
        s.stop()


def preview(display, work, saver, env):
    """Drawn into the given window once it shows; gone with it."""
    if WINE:
        # Wine does not compose what a child window of ours draws inside
        # another process's window (the child is made, its pixels never
        # reach the screen), so the painting is tested in the Win32 unit
        # tests; here the preview's life follows its window.
        host = Saver(display, os.path.join(HELPERS, "tevrin-preview-host.exe"), stdin=subprocess.PIPE,
                     stdout=subprocess.PIPE)
        handle = host.process.stdout.readline().decode().strip()
        s = Saver(display, saver, "/p", handle, env=env)
        time.sleep(3)
        check("/p stays while its window shows", s.running())
        host.process.stdin.write(b"hide\n")
        host.process.stdin.flush()
        check("the preview ends when its window is hidden", s.ended(timeout=6))
        s.stop()
        host.process.stdin.close()
        host.stop()
        return
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


def password(display, saver, env):
    """With the saver password on and a password library that refuses, input
    does not end the saver."""
    wine = Saver.wine
    shutil.copy(os.path.join(HELPERS, "PASSWORD.CPL"), os.path.join(wine.system, "PASSWORD.CPL"))
    wine.reg("add", r"HKCU\Control Panel\Desktop", "/v", "ScreenSaveUsePassword", "/t", "REG_DWORD", "/d", "1",
             "/f")
    try:
        s = Saver(display, saver, "/s", env=env)
        wait_until_full(display, s)
        display.xdotool("key", "space")
        time.sleep(1)
        check("a refused password keeps the saver running", s.running())
        wine.reg("add", r"HKCU\Control Panel\Desktop", "/v", "ScreenSaveUsePassword", "/t", "REG_DWORD", "/d",
                 "0", "/f")
        display.xdotool("key", "space")
        check("with the password off, a key ends it", s.ended())
        s.stop()
    finally:
        os.remove(os.path.join(wine.system, "PASSWORD.CPL"))


def embedded(display, work, saver, first, env):
    """Inside windows of other programs: --window-id, following the window's
    size, and --root as xscreensaver starts its hacks."""
    host = HostWindow(display.name, 50, 40, 320, 240)
    try:
        s = Saver(display, saver, "--window-id", hex(host.id), env=env)
        want_small = render(first, (320, 240), os.path.join(work, "small.png"))
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


if __name__ == "__main__":
    sys.exit(main())
