#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The waits a Studio user feels, from the request to the picture, with the
same ten camera-sized photos every time (made once, kept in the cache):

  - thumbnails: the ten thumbnails asked for as the page asks (six at a
    time, as a browser does), until the last has come; goal 1.5 s;
  - first gallery screen: the page in Chromium, scrolled to the gallery,
    until every tile in view plays its transition; goal 1.5 s (and, for
    information, until all 128 tiles have theirs, scrolled through);
  - first preview picture: the show's first step asked for a 1920x1080
    screen, until its frames have come; goal 1 s.

Each wait is measured on a Studio started afresh (nothing drawn is kept
between starts), three times; the median counts. Exits 3 when a goal is
missed.

    bench/studio_waits.py build/linux/tools/tevrin [--runs N]
"""

import argparse
import concurrent.futures
import hashlib
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.request

PHOTOS = 10
PHOTO_SIZE = "4000x3000"
GOALS = {"thumbnails": 1.5, "gallery": 1.5, "preview": 1.0}


def photos():
    """Ten photo-like JPEGs of 4000x3000 (plasma with grain, as a camera's
    noise makes them cost to decode), made with ImageMagick from fixed seeds."""
    key = hashlib.sha256(f"{PHOTOS} {PHOTO_SIZE} plasma grain q92 v1".encode()).hexdigest()[:12]
    folder = os.path.join(os.path.expanduser("~/.cache/tevrin"), f"bench-photos-{key}")
    done = os.path.join(folder, ".made")
    if not os.path.exists(done):
        os.makedirs(folder, exist_ok=True)
        print(f"making {PHOTOS} photos of {PHOTO_SIZE} in {folder} (once)...", flush=True)
        with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 2) as pool:
            list(pool.map(lambda n: subprocess.run(
                ["convert", "-size", PHOTO_SIZE, "-seed", str(n + 1), "plasma:fractal", "-attenuate", "0.3",
                 "+noise", "Gaussian", "-quality", "92", os.path.join(folder, f"photo-{n + 1:02d}.jpg")],
                check=True), range(PHOTOS)))
        open(done, "w").close()
    return [os.path.join(folder, f"photo-{n + 1:02d}.jpg") for n in range(PHOTOS)]


class Studio:
    """`tevrin studio` on a project, started afresh."""

    def __init__(self, tool, project, home):
        env = dict(os.environ, HOME=home)
        env.pop("XDG_CONFIG_HOME", None)
        self.process = subprocess.Popen([tool, "studio", project, "--no-browser"], stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT, text=True, env=env)
        line = self.process.stdout.readline()
        match = re.search(r"(http://127\.0\.0\.1:\d+/s/[0-9a-f]+/)", line)
        if not match:
            raise RuntimeError(f"no address in {line!r}")
        self.address = match.group(1)

    def get(self, path):
        with urllib.request.urlopen(self.address + path, timeout=120) as response:
            return response.read()

    def post(self, path, data):
        request = urllib.request.Request(self.address + path, data=data, method="POST",
                                         headers={"Content-Type": "application/octet-stream"})
        with urllib.request.urlopen(request, timeout=120) as response:
            return response.read()

    def stop(self):
        self.process.terminate()
        self.process.wait(30)


def thumbnails(studio):
    project = json.loads(studio.get("api/project"))
    ids = [p["id"] for p in project["pictures"]]
    started = time.perf_counter()
    with concurrent.futures.ThreadPoolExecutor(6) as pool:
        sizes = list(pool.map(lambda i: len(studio.get(f"api/pictures/{i}/thumb?side=240")), ids))
    took = time.perf_counter() - started
    assert all(sizes), "an empty thumbnail"
    return took


def preview(studio):
    started = time.perf_counter()
    strip = studio.get("api/show?step=0&w=1920&h=1080&view=960")
    took = time.perf_counter() - started
    assert strip, "an empty strip"
    return took


def gallery(studio, driver):
    """Seconds until every tile in view plays, and until all 128 do."""
    from selenium.webdriver.common.by import By  # noqa: F401 (imported with the driver)
    driver.get("about:blank")
    driver.get(studio.address)
    deadline = time.time() + 60
    while not driver.execute_script("return document.body.dataset.ready === 'yes'"):
        if time.time() > deadline:
            raise RuntimeError("the page did not load")
        time.sleep(0.01)
    driver.execute_script("document.getElementById('transitions-section').scrollIntoView()")
    started = time.perf_counter()
    in_view = """
        return [...document.querySelectorAll('.tile')].filter(t => {
          const box = t.getBoundingClientRect();
          return box.bottom > 0 && box.top < innerHeight;
        }).every(t => t.strip)"""
    while not driver.execute_script(in_view):
        if time.time() > deadline:
            raise RuntimeError("the first screen of tiles did not come")
        time.sleep(0.01)
    first = time.perf_counter() - started
    # Scrolled down a screen at a time, as someone looking through them.
    while not driver.execute_script("return [...document.querySelectorAll('.tile')].every(t => t.strip)"):
        if time.time() > deadline + 60:
            raise RuntimeError("not every tile came")
        if driver.execute_script(in_view):
            driver.execute_script("window.scrollBy(0, innerHeight * 0.9)")
        time.sleep(0.01)
    return first, time.perf_counter() - started


def chrome():
    from selenium import webdriver
    from selenium.webdriver.chrome.options import Options
    from selenium.webdriver.chrome.service import Service
    options = Options()
    options.binary_location = shutil.which("chromium")
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1400,1000",
                     "--disable-dev-shm-usage", "--lang=en"):
        options.add_argument(argument)
    return webdriver.Chrome(service=Service(shutil.which("chromedriver")), options=options)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("tool")
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    tool = os.path.abspath(args.tool)
    pictures = photos()
    work = tempfile.mkdtemp(prefix="tevrin-waits-")
    project = os.path.join(work, "project")
    driver = None
    figures = {"thumbnails": [], "gallery": [], "all tiles": [], "preview": []}
    try:
        studio = Studio(tool, project, work)
        for path in pictures:
            with open(path, "rb") as f:
                studio.post(f"api/pictures?name={os.path.basename(path)}", f.read())
        studio.stop()
        driver = chrome()
        for _ in range(args.runs):
            for wait in ("thumbnails", "gallery", "preview"):
                studio = Studio(tool, project, work)
                try:
                    if wait == "thumbnails":
                        figures["thumbnails"].append(thumbnails(studio))
                    elif wait == "preview":
                        figures["preview"].append(preview(studio))
                    else:
                        first, every = gallery(studio, driver)
                        figures["gallery"].append(first)
                        figures["all tiles"].append(every)
                finally:
                    studio.stop()
    finally:
        if driver:
            driver.quit()
        shutil.rmtree(work, ignore_errors=True)

    print(f"Studio waits, request to picture, {PHOTOS} photos of {PHOTO_SIZE}, "
          f"median of {args.runs} fresh starts:")
    met = True
    labels = {"thumbnails": f"{PHOTOS} thumbnails", "gallery": "first gallery screen",
              "all tiles": "all 128 gallery tiles", "preview": "first preview picture"}
    for name, values in figures.items():
        median = statistics.median(values)
        goal = GOALS.get(name)
        ok = goal is None or median <= goal
        met = met and ok
        verdict = f"(goal {goal:.1f} s) {'ok' if ok else 'MISSED'}" if goal else "(no goal)"
        print(f"  {labels[name]:24s} {median:5.2f} s {verdict}   runs: "
              + ", ".join(f"{v:.2f}" for v in values))
    return 0 if met else 3


if __name__ == "__main__":
    sys.exit(main())
