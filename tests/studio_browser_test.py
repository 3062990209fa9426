#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The Studio page in a real browser: Debian's Chromium, headless, driven by
chromium-driver through selenium. A user drops three pictures, puts the last
first, writes a caption in several scripts, picks two transitions in the
gallery, plays the preview and builds both savers; the built savers are then
read back with `tevrin inspect --json` and the Linux one runs headless.
Screenshots of every step go to $TEVRIN_TEST_LOGS (or the temporary folder)
and a few known places of them are checked.

    studio_browser_test.py TEVRIN SAMPLES
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select

CAPTION = "Grüße · Καλημέρα · こんにちは"
PICTURES = ["01-dunes.jpg", "02-lighthouse.jpg", "03-rings.jpg"]
failures = []


OWN_CAPTION = "Our boat, à l'aube"


def check(what, ok, detail=""):
    print(("ok   " if ok else "FAIL ") + what + (f" ({detail})" if detail and not ok else ""))
    if not ok:
        failures.append(what)


def wait_for(what, condition, seconds=30):
    end = time.time() + seconds
    last_error = None
    while time.time() < end:
        try:
            value = condition()
            if value:
                return value
        except Exception as error:  # the page may be between states
            last_error = error
        time.sleep(0.1)
    raise AssertionError(f"timed out waiting for {what}" + (f": {last_error}" if last_error else ""))


def mean_colour(png_path, box=None):
    """The mean colour of a PNG (or of box=(x, y, w, h) in it), by ImageMagick."""
    args = ["convert", png_path]
    if box:
        x, y, w, h = box
        args += ["-crop", f"{w}x{h}+{x}+{y}", "+repage"]
    out = subprocess.run(args + ["-resize", "1x1!", "-depth", "8", "txt:-"],
                         capture_output=True, text=True, check=True).stdout
    return tuple(int(v) for v in re.search(r"\((\d+),(\d+),(\d+)", out).groups())


def colour_spread(png_path, box):
    """How much the grey level varies in box=(x, y, w, h) of a PNG (0: flat)."""
    x, y, w, h = box
    out = subprocess.run(["convert", png_path, "-crop", f"{w}x{h}+{x}+{y}", "+repage",
                          "-colorspace", "Gray", "-format", "%[fx:standard_deviation]", "info:"],
                         capture_output=True, text=True, check=True).stdout
    return float(out)


def screen_box(driver, element):
    """Where an element lies in a screenshot: (x, y, w, h) in its pixels."""
    rect = driver.execute_script(
        "const r = arguments[0].getBoundingClientRect(); return [r.left, r.top, r.width, r.height];", element)
    ratio = driver.execute_script("return window.devicePixelRatio")
    return tuple(int(v * ratio) for v in rect)


def near(a, b, tolerance):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


def main():
    tool, samples = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    logs = os.environ.get("TEVRIN_TEST_LOGS") or tempfile.gettempdir()
    shots = os.path.join(logs, "studio")
    shutil.rmtree(shots, ignore_errors=True)
    os.makedirs(shots)
    work = tempfile.mkdtemp(prefix="tevrin-studio-")
    project = os.path.join(work, "My project")
    # The session (port and token) is kept under the test's own home.
    environment = dict(os.environ, HOME=work)
    environment.pop("XDG_CONFIG_HOME", None)
    start = lambda: subprocess.Popen([tool, "studio", project, "--no-browser"], stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT, text=True, env=environment)
    studio = start()
    driver = None
    try:
        address = re.search(r"(http://127\.0\.0\.1:\d+/s/[0-9a-f]{32}/)", studio.stdout.readline()).group(1)
        options = Options()
        options.binary_location = shutil.which("chromium")
        for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1400,1000",
                         "--disable-dev-shm-usage", "--lang=en"):
            options.add_argument(argument)
        options.add_experimental_option("prefs", {"download.default_directory": work})
        driver = webdriver.Chrome(service=Service(shutil.which("chromedriver")), options=options)
        driver.get(address)
        wait_for("the page to load the project", lambda: driver.execute_script(
            "return document.body.dataset.ready === 'yes'"))
        shot = lambda name: driver.save_screenshot(os.path.join(shots, name)) and os.path.join(shots, name)

        empty = shot("1-empty.png")
        check("the page header is drawn", near(mean_colour(empty, (2, 2, 16, 8)), (0x18, 0x20, 0x2c), 6))
        check("the gallery has every style", len(driver.find_elements(By.CSS_SELECTOR, ".tile")) == 128)
        check("without pictures the gallery says it plays pictures of its own",
              driver.find_element(By.ID, "gallery-samples").is_displayed())

        # Three pictures dropped at once, in reverse order: they are listed in
        # natural name order.
        picker = driver.execute_script("""
            const input = document.createElement('input');
            input.type = 'file'; input.multiple = true; input.id = 'test-drop';
            document.body.append(input); return input;""")
        picker.send_keys("\n".join(os.path.join(samples, p) for p in reversed(PICTURES)))
        driver.execute_script("""
            const input = document.getElementById('test-drop');
            const data = new DataTransfer();
            for (const file of input.files) data.items.add(file);
            const zone = document.getElementById('drop-zone');
            for (const type of ['dragenter', 'dragover', 'drop'])
              zone.dispatchEvent(new DragEvent(type, {bubbles: true, cancelable: true, dataTransfer: data}));
            input.remove();""")
        # Read in one script, so a grid redrawn meanwhile cannot leave stale elements.
        names = lambda: driver.execute_script(
            "return [...document.querySelectorAll('#grid .thumb .name')].map(e => e.innerText)")
        wait_for("three thumbnails", lambda: len(names()) == 3)
        wait_for("the thumbnails' pictures", lambda: driver.execute_script(
            "return [...document.querySelectorAll('#grid img')].every(i => i.complete && i.naturalWidth > 0)"))
        check("dropped pictures come in name order", names() == PICTURES, names())
        dropped = shot("2-dropped.png")
        # Each thumbnail shows its own picture: its mean colour is the
        # picture's.
        for index, name in enumerate(PICTURES):
            box = screen_box(driver, driver.find_elements(By.CSS_SELECTOR, "#grid .thumb img")[index])
            sample_png = os.path.join(work, name + ".png")
            subprocess.run(["convert", os.path.join(samples, name), sample_png], check=True)
            shown = mean_colour(dropped, (box[0] + box[2] // 4, box[1] + box[3] // 4, box[2] // 2, box[3] // 2))
            check(f"the thumbnail of {name} shows it", colour_spread(dropped, box) > 0.02 and
                  near(shown, mean_colour(sample_png, None), 60), f"{shown}")
        check("with pictures the gallery's notice goes",
              not driver.find_element(By.ID, "gallery-samples").is_displayed())
        sizes = [e.text for e in driver.find_elements(By.CSS_SELECTOR, "#grid .thumb .size")]
        check("each thumbnail gives the picture's size", sizes[0].startswith("2560x1440"), sizes)
        warnings = [e.text for e in driver.find_elements(By.CSS_SELECTOR, "#grid .thumb .warning")]
        check("pictures simply scaled down to fit carry no warning", not any(warnings), warnings)

        # The last picture dragged before the first.
        driver.execute_script("""
            const thumbs = document.querySelectorAll('#grid .thumb');
            const source = thumbs[2], target = thumbs[0];
            const data = new DataTransfer();
            source.dispatchEvent(new DragEvent('dragstart', {bubbles: true, dataTransfer: data}));
            const box = target.getBoundingClientRect();
            const at = {bubbles: true, cancelable: true, dataTransfer: data, clientX: box.left + 4, clientY: box.top + 4};
            target.dispatchEvent(new DragEvent('dragover', at));
            target.dispatchEvent(new DragEvent('drop', at));
            source.dispatchEvent(new DragEvent('dragend', {bubbles: true, dataTransfer: data}));""")
        order = ["03-rings.jpg", "01-dunes.jpg", "02-lighthouse.jpg"]
        wait_for("the new order", lambda: names() == order)
        with open(os.path.join(project, "project.json"), encoding="utf-8") as f:
            saved = json.load(f)
        check("the new order is saved in the project", saved["pictures"] == ["pictures/" + n for n in order],
              saved["pictures"])
        shot("3-reordered.png")

        # Removed, then put back where it was with Undo.
        remove = driver.find_elements(By.CSS_SELECTOR, "#grid .thumb .remove")[1]
        driver.execute_script("arguments[0].scrollIntoView({block: 'center'})", remove)
        remove.click()
        wait_for("the picture to go", lambda: names() == [order[0], order[2]])
        undo = driver.find_element(By.ID, "undo")
        check("a removal offers Undo", undo.is_displayed() and order[1] in undo.text, undo.text)
        shot("3b-removed.png")
        driver.find_element(By.ID, "undo-button").click()
        wait_for("the picture back in its place", lambda: names() == order)
        check("Undo puts the picture back in its place", names() == order, names())

        # The same picture added again is named and not doubled.
        driver.find_element(By.ID, "pictures-input").send_keys(os.path.join(samples, order[1]))
        twice = wait_for("the note on a picture added twice", lambda: driver.find_element(By.ID, "twice").is_displayed()
                         and driver.find_element(By.ID, "twice").text)
        check("a picture added twice is named and not doubled",
              order[1] in twice and "picture 2" in twice and names() == order, twice)
        shot("3c-twice.png")

        # A file that is no picture is refused with its name and the reason.
        bad = os.path.join(work, "notes.jpg")
        with open(bad, "w") as f:
            f.write("not a picture")
        driver.find_element(By.ID, "pictures-input").send_keys(bad)
        message = wait_for("the refusal", lambda: driver.find_element(By.ID, "message").text)
        check("a bad picture is named with the reason", "notes.jpg" in message and "Cannot read picture" in message,
              message)
        check("the bad picture is not listed", len(names()) == 3)

        # The caption, in several scripts, and the title.
        title = driver.find_element(By.ID, "title")
        title.clear()
        title.send_keys("Studio test")
        caption = driver.find_element(By.ID, "caption")
        caption.send_keys(CAPTION)
        wait_for("the caption to be saved", lambda: driver.execute_script(
            "return state.settings.text === arguments[0] && state.settings.title === 'Studio test'", CAPTION))

        # A font size out of range is refused at its field, which keeps the
        # last good value.
        size = driver.find_element(By.ID, "font-size")
        driver.execute_script("arguments[0].scrollIntoView({block: 'center'})", size)
        good_size = size.get_attribute("value")
        size.clear()
        size.send_keys("5000")
        note = wait_for("the field's note", lambda: driver.execute_script(
            "const n = document.getElementById('font-size').fieldNote; return !n.hidden && n.textContent"))
        check("a bad font size says what the field takes", "1 to 500" in note, note)
        shot("3d-bad-size.png")
        driver.find_element(By.ID, "author").click()
        wait_for("the last good size back", lambda: size.get_attribute("value") == good_size)
        check("the field keeps the last good value and says so",
              size.get_attribute("value") == good_size and "kept" in driver.execute_script(
                  "return document.getElementById('font-size').fieldNote.textContent"))
        with open(os.path.join(project, "project.json"), encoding="utf-8") as f:
            check("the bad size is not saved", json.load(f).get("font-size", 24) == int(good_size or 24))
        # Seconds emptied are refused too, and the last good ones come back.
        interval = driver.find_element(By.ID, "interval")
        good_interval = interval.get_attribute("value")
        interval.clear()
        driver.find_element(By.ID, "author").click()
        wait_for("the seconds back", lambda: interval.get_attribute("value") == good_interval)
        check("emptied seconds come back with a note", "kept" in driver.execute_script(
            "return document.getElementById('interval').fieldNote.textContent"))

        # The gallery plays each style with the first two pictures.
        tile = driver.find_element(By.CSS_SELECTOR, '.tile[data-style="77"]')
        driver.execute_script("arguments[0].scrollIntoView({block: 'center'})", tile)
        wait_for("the strip of style 77", lambda: driver.execute_script("return Boolean(arguments[0].strip)", tile))
        time.sleep(0.3)
        gallery = shot("4-gallery.png")
        check("a gallery tile shows frames",
              colour_spread(gallery, screen_box(driver, tile.find_element(By.TAG_NAME, "canvas"))) > 0.02)
        # Clicking a tile plays it large; it is chosen there.
        tile.click()
        # (One look at both: the frames may come between two.)
        check("the large view says it is drawing until its frames come", driver.execute_script(
            "return Boolean(player.strip) || !document.getElementById('player-loading').hidden"))
        wait_for("the player", lambda: driver.execute_script("return Boolean(player.strip)"))
        check("the drawing notice goes when the frames are there",
              not driver.find_element(By.ID, "player-loading").is_displayed())
        time.sleep(0.5)
        player = shot("5-player.png")
        box = screen_box(driver, driver.find_element(By.ID, "player-canvas"))
        check("the player shows the transition large", box[2] > 500 and colour_spread(player, box) > 0.02)
        title_text = driver.find_element(By.ID, "player-title").text
        check("the large view names the transition", title_text == "Transition 77: Ragged strips from the top (strips)",
              title_text)
        driver.find_element(By.ID, "player-use").click()
        driver.find_element(By.ID, "player-close").click()
        label = tile.find_element(By.CSS_SELECTOR, ".style-name").text
        check("a gallery tile names its transition", label == "77 · Ragged strips from the top", label)
        tile_names = driver.execute_script("return [...document.querySelectorAll('.tile')].map(t => t.dataset.search)")
        check("every tile's name is its own", len(set(tile_names)) == 128)
        # Found again by words or by family.
        search = driver.find_element(By.ID, "gallery-search")
        driver.execute_script("arguments[0].scrollIntoView({block: 'center'})", search)
        search.send_keys("iris")
        shown = lambda: [t.get_attribute("data-style") for t in driver.find_elements(By.CSS_SELECTOR, ".tile")
                         if t.is_displayed()]
        check("searching finds the transitions by name", shown() == ["84", "85"], shown())
        driver.execute_script("document.getElementById('transitions-section').scrollIntoView()")
        shot("4b-search.png")
        search.clear()
        search.send_keys(" ")
        Select(driver.find_element(By.ID, "gallery-family")).select_by_value("fade")
        check("the family filter shows that family alone", shown() == ["118", "119", "120", "121", "122"], shown())
        Select(driver.find_element(By.ID, "gallery-family")).select_by_value("")
        check("every transition comes back", len(shown()) == 128)
        driver.execute_script("document.getElementById('transitions-section').scrollIntoView()")
        wait_for("the first screen of tiles", lambda: driver.execute_script("""
            return [...document.querySelectorAll('.tile')].filter(t => t.getBoundingClientRect().top < innerHeight)
              .every(t => t.strip)"""))
        time.sleep(0.5)
        shot("4c-gallery-top.png")
        box = driver.find_element(By.CSS_SELECTOR, '.tile[data-style="12"] input')
        driver.execute_script("arguments[0].scrollIntoView({block: 'center'})", box)
        box.click()
        wait_for("two chosen styles", lambda: driver.execute_script(
            "return JSON.stringify(state.settings.styles) === '[77,12]'"))
        check("chosen tiles are marked",
              len(driver.find_elements(By.CSS_SELECTOR, ".tile.chosen")) == 2)

        # The preview plays the show from the engine's frames.
        play = driver.find_element(By.ID, "preview-play")
        driver.execute_script("arguments[0].scrollIntoView({block: 'center'})", play)
        play.click()
        wait_for("the preview's first transition", lambda: "transition 77" in
                 driver.find_element(By.ID, "preview-info").text, 60)
        time.sleep(1.2)
        preview = shot("6-preview.png")
        check("the preview shows the first picture",
              colour_spread(preview, screen_box(driver, driver.find_element(By.ID, "preview"))) > 0.02)
        check("the preview starts with the first picture and the caption",
              "Picture 1 (03-rings.jpg)" in driver.find_element(By.ID, "preview-info").text and
              CAPTION in driver.find_element(By.ID, "preview-info").text,
              driver.find_element(By.ID, "preview-info").text)
        play.click()

        # A caption of its own on the second picture: the preview shows it
        # there, and no picture shows the show's one caption any more.
        own = driver.find_elements(By.CSS_SELECTOR, "#grid .thumb .own-caption")[1]
        driver.execute_script("arguments[0].scrollIntoView({block: 'center'})", own)
        own.send_keys(OWN_CAPTION)
        wait_for("the picture's caption to be saved", lambda: json.load(
            open(os.path.join(project, "project.json"), encoding="utf-8"))["pictures"][1] ==
            {"file": "pictures/" + order[1], "caption": OWN_CAPTION})
        driver.execute_script("arguments[0].scrollIntoView({block: 'center'})", play)
        play.click()
        wait_for("the preview's second picture", lambda: "Picture 2" in
                 driver.find_element(By.ID, "preview-info").text, 60)
        info = driver.find_element(By.ID, "preview-info").text
        check("the preview shows the second picture with its own caption", OWN_CAPTION in info, info)
        shot("6b-own-caption.png")
        play.click()

        # Pictures that move: the switch is saved, and the preview's picture
        # keeps changing between transitions.
        motion = driver.find_element(By.ID, "motion")
        driver.execute_script("arguments[0].scrollIntoView({block: 'center'})", motion)
        motion.click()
        wait_for("the motion setting to be saved", lambda: json.load(
            open(os.path.join(project, "project.json"), encoding="utf-8")).get("motion") == "pan-zoom")
        driver.execute_script("arguments[0].scrollIntoView({block: 'center'})", play)
        play.click()
        wait_for("the preview's first picture", lambda: "Picture 1" in
                 driver.find_element(By.ID, "preview-info").text, 60)
        canvas_sum = lambda: driver.execute_script("""
            const c = document.getElementById('preview');
            const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
            let sum = 0;
            for (let i = 0; i < d.length; i += 4) sum += d[i] * (i % 977 + 1) + d[i + 1] * 3 + d[i + 2];
            return sum;""")
        time.sleep(2.0)  # past the transition, into the motion
        sums = []
        for _ in range(4):
            sums.append(canvas_sum())
            time.sleep(0.4)
        check("the preview's picture moves between transitions",
              len(set(sums)) == len(sums) and "Picture 1" in driver.find_element(By.ID, "preview-info").text,
              (sums, driver.find_element(By.ID, "preview-info").text))
        shot("6c-motion.png")
        play.click()
        motion.click()
        wait_for("the motion setting to be off", lambda: json.load(
            open(os.path.join(project, "project.json"), encoding="utf-8")).get("motion", "none") == "none")

        # Both savers built.
        for target in ("windows", "linux"):
            box = driver.find_element(By.ID, "build-" + target)
            check(f"a {target} runtime is there to build with", box.is_enabled())
            if not box.is_selected():
                box.click()
        button = driver.find_element(By.ID, "build-button")
        driver.execute_script("arguments[0].scrollIntoView({block: 'center'})", button)
        button.click()
        wait_for("both savers", lambda: len(driver.find_elements(By.CSS_SELECTOR, "#build-result li")) == 2, 120)
        shot("7-built.png")
        links = driver.find_elements(By.CSS_SELECTOR, "#build-result a")
        check("the savers are offered for download", sorted(l.text for l in links) ==
              ["Download Studio test", "Download Studio test.scr"], [l.text for l in links])

        for saver in ("Studio test.scr", "Studio test"):
            path = os.path.join(project, saver)
            check(f"{saver} is saved in the project folder", os.path.isfile(path))
            if not os.path.isfile(path):
                continue
            record = json.loads(subprocess.run([tool, "inspect", "--json", path], capture_output=True,
                                               text=True, check=True).stdout)["Record"]
            check(f"{saver} shows the pictures in the new order",
                  record["PicFileNamesCommaList"] == order, record["PicFileNamesCommaList"])
            check(f"{saver} carries the caption", record["Text"] == CAPTION, record["Text"])
            check(f"{saver} carries the second picture's own caption",
                  record.get("CaptionCommaList") == ["", OWN_CAPTION, ""], record.get("CaptionCommaList"))
            check(f"{saver} takes the chosen transitions", record["Styles"] == [77, 12], record["Styles"])
            check(f"{saver} keeps the title", record["Title"] == "Studio test")
        # Nothing half-written is left beside them.
        leftovers = [n for n in os.listdir(project) if n.startswith(".") and n != ".tevrin-studio.lock"]
        check("no temporary files are left in the project folder", not leftovers, leftovers)

        # The same saver is built from the command line from the project.
        again = os.path.join(work, "again")
        subprocess.run([tool, "pack", "-q", "--manifest", os.path.join(project, "project.json"),
                        "-o", again, "--target", "linux"], check=True)
        with open(again, "rb") as a, open(os.path.join(project, "Studio test"), "rb") as b:
            check("pack --manifest builds the same saver from the project", a.read() == b.read())

        frames = os.path.join(work, "frames")
        run = subprocess.run([os.path.join(project, "Studio test"), "--platform", "headless", "--seconds", "3",
                              "--size", "160x90", "--dump", frames], capture_output=True, text=True)
        check("the built Linux saver runs headless", run.returncode == 0 and
              len([n for n in os.listdir(frames) if n.endswith(".png")]) > 20, run.stderr)

        # The download is the saved file.
        href = [l for l in links if l.text == "Download Studio test"][0].get_attribute("href")
        downloaded = driver.execute_async_script("""
            const done = arguments[arguments.length - 1];
            fetch(arguments[0]).then(r => r.arrayBuffer()).then(b => done(b.byteLength));""", href)
        check("the download is the whole saver", downloaded == os.path.getsize(os.path.join(project, "Studio test")))

        # The builds are shown again after a reload, with their downloads.
        driver.refresh()
        wait_for("the page after a reload", lambda: driver.execute_script(
            "return document.body.dataset.ready === 'yes'"))
        links = wait_for("the builds after a reload", lambda: [
            l.text for l in driver.find_elements(By.CSS_SELECTOR, "#build-result a")] or None)
        check("a reload shows the builds with their downloads",
              sorted(links) == ["Download Studio test", "Download Studio test.scr"], links)
        driver.execute_script("document.getElementById('build-section').scrollIntoView()")
        shot("7b-builds-after-reload.png")
        history = driver.find_element(By.ID, "build-result").text
        check("the builds say nothing changed since", "changed since" not in history, history)

        # Two tabs on the project: B, not reloaded after A changed the title,
        # types a caption; it is refused and shown, and A's title stays.
        tab_a = driver.current_window_handle
        driver.switch_to.new_window("tab")
        tab_b = driver.current_window_handle
        driver.get(address)
        wait_for("tab B", lambda: driver.execute_script("return document.body.dataset.ready === 'yes'"))
        driver.switch_to.window(tab_a)
        title = driver.find_element(By.ID, "title")
        driver.execute_script("arguments[0].scrollIntoView({block: 'center'})", title)
        title.send_keys(" from A")
        driver.find_element(By.ID, "author").click()
        wait_for("A's title saved", lambda: json.load(open(os.path.join(project, "project.json"),
                                                            encoding="utf-8"))["title"] == "Studio test from A")
        driver.switch_to.window(tab_b)
        own = driver.find_elements(By.CSS_SELECTOR, "#grid .thumb .own-caption")[0]
        driver.execute_script("arguments[0].scrollIntoView({block: 'center'})", own)
        own.send_keys("From B")
        driver.find_element(By.ID, "author").click()
        message = wait_for("B's refusal", lambda: driver.find_element(By.ID, "message").is_displayed() and
                           driver.find_element(By.ID, "message").text)
        check("the stale tab's change is refused and named", "Not saved" in message and "From B" in message, message)
        check("the stale tab now shows the other tab's title",
              driver.find_element(By.ID, "title").get_attribute("value") == "Studio test from A")
        shot("8-conflict.png")
        with open(os.path.join(project, "project.json"), encoding="utf-8") as f:
            written = json.load(f)
        check("nothing of the other tab is reverted", written["title"] == "Studio test from A" and
              "caption" not in written["pictures"][0], written["title"])
        driver.close()
        driver.switch_to.window(tab_a)

        # The Studio stops: the page says so and how to start it; started
        # again, it has the same address and the page reconnects.
        studio.terminate()
        studio.wait(10)
        stopped = wait_for("the stopped notice", lambda: driver.find_element(By.ID, "stopped").is_displayed() and
                           driver.find_element(By.ID, "stopped").text, 20)
        check("the page says the Studio has stopped and how to start it",
              "Tevrin Studio has stopped: start it again with" in stopped and project in stopped, stopped)
        shot("9-stopped.png")
        studio = start()
        again_address = re.search(r"(http://127\.0\.0\.1:\d+/s/[0-9a-f]{32}/)", studio.stdout.readline())
        check("the Studio started again has the same address", again_address and again_address.group(1) == address)
        wait_for("the page to reconnect", lambda: not driver.find_element(By.ID, "stopped").is_displayed(), 20)
        shown = lambda: (driver.find_element(By.ID, "title").get_attribute("value"), names())
        try:
            wait_for("the project to show again", lambda: shown() == ("Studio test from A", order), 10)
        except AssertionError:
            pass  # the check below names what is shown
        check("the reconnected page shows the project", shown() == ("Studio test from A", order), shown())
        # A second start on the same folder hands over to the running one.
        second = subprocess.run([tool, "studio", project, "--no-browser"], capture_output=True, text=True,
                                env=environment, timeout=30)
        check("a second start names the running Studio and ends",
              second.returncode == 0 and address in second.stdout, second.stdout + second.stderr)

        # Edits made just before the tab goes are saved all the same.
        own = driver.find_elements(By.CSS_SELECTOR, "#grid .thumb .own-caption")[2]
        driver.execute_script("arguments[0].scrollIntoView({block: 'center'})", own)
        own.send_keys("Typed, then gone")
        author = driver.find_element(By.ID, "author")
        driver.execute_script("arguments[0].scrollIntoView({block: 'center'})", author)
        author.send_keys("Ann")
        driver.get("about:blank")

        def saved():
            with open(os.path.join(project, "project.json"), encoding="utf-8") as f:
                written = json.load(f)
            return written["author"] == "Ann" and written["pictures"][2] == {
                "file": "pictures/" + order[2], "caption": "Typed, then gone"}
        wait_for("the edits made as the tab was left", saved, 10)
        check("a caption and a setting typed just before leaving are saved", saved())
    finally:
        if driver:
            driver.quit()
        studio.terminate()
        studio.wait(10)
        shutil.rmtree(work, ignore_errors=True)
    print(f"screenshots: {shots}")
    if failures:
        print(f"{len(failures)} checks failed")
        return 1
    print("studio browser test passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
