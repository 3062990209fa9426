# SPDX-License-Identifier: MIT
"""A virtual X display of a given size for the benches that run the saver
on one (bench/pacing.py, bench/memory.py)."""

import os
import subprocess
import time


def start(width, height, first_number=170):
    """An Xvfb at the first free display number from `first_number` (spread
    by process id, so benches side by side do not collide), and an
    environment naming it; raises when none starts."""
    for number in range(first_number + os.getpid() % 20, 260):
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
