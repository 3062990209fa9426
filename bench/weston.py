# SPDX-License-Identifier: MIT
"""Debian's Weston as a Wayland desktop for the saver to run on, in a window
of a virtual X display (Xvfb): its X11 backend gives a seat, so keys and
pointer moves sent to that window with xdotool reach Wayland clients (the
headless backend gives none). Used by bench/pacing.py --wayland and
tests/wayland_test.py."""

import os
import shutil
import subprocess
import tempfile
import time

import xvfb


class TWeston:
    """A running Weston: `env` is what a Wayland client runs with (no
    DISPLAY, so SDL cannot fall back to X), `x_env` names the X display
    around it, for xdotool and screenshots of the whole."""

    def __init__(self, width, height, outputs=1, backend="x11-backend.so", extra=()):
        self.runtime = tempfile.mkdtemp(prefix="tevrin-weston-")
        os.chmod(self.runtime, 0o700)
        self.socket = f"tevrin-{os.getpid()}"
        self.x_server = None
        weston_env = dict(os.environ, XDG_RUNTIME_DIR=self.runtime)
        if backend == "x11-backend.so":
            self.x_server, x_env = xvfb.start(width * outputs + 16, height + 16)
            weston_env["DISPLAY"] = x_env["DISPLAY"]
            self.x_env = x_env
        else:
            weston_env.pop("DISPLAY", None)
            self.x_env = None
        self.log = open(os.path.join(self.runtime, "weston.log"), "w")
        self.process = subprocess.Popen(
            ["weston", f"--backend={backend}", f"--socket={self.socket}", f"--width={width}",
             f"--height={height}", "--idle-time=0", *(["--output-count", str(outputs)]
                                                      if backend == "x11-backend.so" else []), *extra],
            env=weston_env, stdout=self.log, stderr=subprocess.STDOUT)
        self.env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        self.env.update(XDG_RUNTIME_DIR=self.runtime, WAYLAND_DISPLAY=self.socket,
                        SDL_VIDEODRIVER="wayland")
        socket = os.path.join(self.runtime, self.socket)
        for _ in range(100):
            if os.path.exists(socket) or self.process.poll() is not None:
                break
            time.sleep(0.1)
        if not os.path.exists(socket):
            self.stop()
            raise RuntimeError("Weston did not start: " + self.log_text())
        # The shell's own clients (panel, background) settle first.
        time.sleep(1.0)
        # Each output's window where its output lies, side by side (Xvfb
        # has no window manager to place them).
        if self.x_env is not None:
            for index in range(outputs):
                window = self.window(index)
                if window:
                    subprocess.run(["xdotool", "windowmove", window, str(index * width), "0"],
                                   env=self.x_env, capture_output=True)

    def log_text(self):
        with open(os.path.join(self.runtime, "weston.log")) as f:
            return f.read()

    def window(self, output=0):
        """The window of Weston's output `output` on the X display."""
        out = subprocess.run(["xdotool", "search", "--name", f"Weston Compositor - screen{output}$"],
                             env=self.x_env, capture_output=True, text=True).stdout.split()
        return out[0] if out else None

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        if self.x_server is not None:
            self.x_server.terminate()
            self.x_server.wait()
        self.log.close()
        shutil.rmtree(self.runtime, ignore_errors=True)
