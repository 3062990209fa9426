#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Hostile and careless input, made here at test time: savers whose records
point anywhere, pictures that lie about their size, settings files that are
links, FIFOs or huge, a temporary folder with folders named like ours, and
runs killed at random moments. Each saver runs on the headless platform and
goes through `tevrin inspect`; every run must end in time, with the expected
exit code and message, within a memory limit, leaving no run folder behind
and no file changed outside its own.

    hostile_test.py TEVRIN SAVER_STUB SAMPLES_DIR

Under AddressSanitizer (an ASan build's tools) the memory limit is checked
from the children's peak resident size; otherwise it is also enforced with
RLIMIT_AS."""

import json
import os
import random
import resource
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import checks  # noqa: E402
from checks import check  # noqa: E402

TOOL, STUB, SAMPLES = (os.path.abspath(a) for a in sys.argv[1:4])
TIMEOUT = 60  # seconds a run may take, sanitizers included
PEAK_LIMIT = 700 << 20  # bytes of resident memory a run may reach
BOMB_PEAK_LIMIT = 64 << 20  # and one that a few bytes claiming a huge picture may
UNDER_ASAN = b"libasan" in subprocess.run(["ldd", STUB], capture_output=True).stdout

worst = {"peak": 0, "what": ""}


def limit_memory():
    if not UNDER_ASAN:
        resource.setrlimit(resource.RLIMIT_AS, (2 << 30, 2 << 30))


def run(args, env, cwd):
    """Runs a program to its end: (exit code, stderr, peak resident bytes);
    exit code None when it did not end in time. The peak is measured by GNU
    time, whose own small process forks the program: a child forked from
    this test would start with the test's memory as its high-water mark."""
    process = subprocess.Popen(["/usr/bin/time", "-f", "tevrin-peak-kb %M", *args], env=env, cwd=cwd,
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, preexec_fn=limit_memory,
                               start_new_session=True)
    try:
        _, err = process.communicate(timeout=TIMEOUT)
        code = process.returncode
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        _, err = process.communicate()
        code = None
    err = err.decode(errors="replace")
    peak = 0
    lines = err.rstrip("\n").split("\n")
    if lines and lines[-1].startswith("tevrin-peak-kb "):
        peak = int(lines[-1].split()[1]) * 1024
        err = "\n".join(lines[:-1])
        # GNU time reports a program a signal ended as "Command terminated by signal".
        if len(lines) >= 2 and lines[-2].startswith("Command "):
            err = "\n".join(lines[:-2])
    if peak > worst["peak"]:
        worst.update(peak=peak, what=" ".join(os.path.basename(a) for a in args[:3]))
    return code, err, peak


# Component streams, as far as these cases need them.
def short(text):
    data = text if isinstance(text, bytes) else text.encode("latin-1")
    return bytes([len(data)]) + data


def string_value(text):
    data = text if isinstance(text, bytes) else text.encode("latin-1")
    if len(data) <= 255:
        return b"\x06" + short(data)
    return b"\x0c" + struct.pack("<I", len(data)) + data


def prop(name, value):
    if isinstance(value, bool):
        return short(name) + (b"\x09" if value else b"\x08")
    if isinstance(value, int):
        return short(name) + b"\x04" + struct.pack("<i", value)
    if isinstance(value, list):
        return short(name) + string_value(",".join(str(v) for v in value))
    return short(name) + string_value(value)


def ident(name, value):
    return short(name) + b"\x07" + short(value)


def record(*properties):
    return b"TPF0" + short("TSSFileLocations") + short("") + b"".join(properties) + b"\x00\x00"


def trailer(payload_length, record_offset):
    return str(payload_length).ljust(20).encode() + str(record_offset).ljust(20).encode()


class Base:
    """A good saver packed by the tool, and where its parts lie."""

    def __init__(self, work):
        self.path = os.path.join(work, "base.run")
        subprocess.run([TOOL, "pack", "-q", "-o", self.path, "--stub", STUB, "--interval", "300",
                        "--sound", os.path.join(SAMPLES, "melody.wav"),
                        os.path.join(SAMPLES, "05-plasma.jpg"), os.path.join(SAMPLES, "02-lighthouse.jpg")],
                       check=True)
        with open(self.path, "rb") as f:
            self.bytes = f.read()
        info = json.loads(subprocess.run([TOOL, "inspect", "--json", self.path], capture_output=True,
                                         check=True).stdout)
        self.payload_start = info["PayloadStart"]
        self.record_at = info["Trailer"]["RecordOffset"]
        self.pictures = [i["Offset"] for i in info["Items"] if i["Kind"] == "picture"]
        sound = [i for i in info["Items"] if i["Kind"] == "sound"][0]
        self.sound_at, self.sound_size = sound["Offset"], sound["Size"]

    def with_record(self, body, items=b""):
        """The saver with `items` after its own and a new record."""
        head = self.bytes[:self.record_at] + items
        return head + body + trailer(len(head) + len(body) - self.payload_start, len(head))


def picture_stream(jpeg, declared_block=None):
    data = short("TJPEGImage") + struct.pack("<I", len(jpeg)) + jpeg
    length = len(data) if declared_block is None else declared_block
    return (b"TPF0" + short("TImage") + short("") + short("Picture.Data") + b"\x0a" + struct.pack("<I", length) +
            data + b"\x00\x00")


def lying_jpeg(width, height, progressive=True):
    """A small JPEG of ImageMagick's whose frame header claims another size."""
    path = tempfile.mktemp(suffix=".jpg")
    subprocess.run(["convert", "-size", "64x64", "plasma:", *(["-interlace", "JPEG"] if progressive else []),
                    path], check=True)
    with open(path, "rb") as f:
        data = bytearray(f.read())
    os.remove(path)
    for i in range(2, len(data) - 9):
        if data[i] == 0xFF and data[i + 1] in (0xC0, 0xC2):
            data[i + 5:i + 9] = struct.pack(">HH", height, width)
            break
    return bytes(data)


def payload_cases(base):
    """(name, saver bytes, expected exit code, text stderr must hold)."""
    sound = prop("Ver", "photo"), prop("Interval", 300)
    pictures = prop("PicCommaList", base.pictures)

    def sounds(offsets, names, sizes):
        return (prop("SndCommaList", offsets), prop("SndFileNamesCommaList", names), prop("SndSizesCommaList", sizes))
    cases = [
        ("a sound listed a hundred times", base.with_record(record(*sound, pictures, *sounds(
            [base.sound_at] * 100, [f"s{i}.wav" for i in range(100)], [base.sound_size] * 100))),
         1, "message box: Stream read error"),
        ("a sound past the end of the file", base.with_record(record(*sound, pictures, *sounds(
            [len(base.bytes) + 10], ["far.wav"], [100]))), 1, "message box: Stream read error"),
        ("a sound inside a picture", base.with_record(record(*sound, pictures, *sounds(
            [base.pictures[0] + 10], ["in.wav"], [50]))), 1, "message box: Stream read error"),
        ("a sound reaching into the record", base.with_record(record(*sound, pictures, *sounds(
            [base.record_at - 5], ["rec.wav"], [5000]))), 1, "message box: Stream read error"),
        ("negative offsets and sizes", base.with_record(record(*sound, pictures, *sounds(
            [-100, base.sound_at], ["a.wav", "b.wav"], [10, -10]))), 1, "message box: Stream read error"),
        ("names that climb out of the run folder", base.with_record(record(*sound, pictures, *sounds(
            [base.sound_at], ["../../../outside.wav"], [base.sound_size]))), 0, ""),
        ("a name that is no file name", base.with_record(record(*sound, pictures, *sounds(
            [base.sound_at], [".."], [base.sound_size]))), 1, "message box: Cannot create file"),
        ("more names than sizes", base.with_record(record(*sound, pictures, *sounds(
            [base.sound_at], ["a.wav"], []))), 1, "message box: Index is out of bounds"),
        ("a record offset into the image", base.bytes[:-40] + trailer(len(base.bytes) - 40, 3), 1,
         "Invalid stream format"),
        ("a trailer of text", base.bytes[:-40] + b"forty bytes of something that is not it", 1,
         "Invalid stream format"),
        ("a record nested too deep", base.with_record(b"TPF0" + short("TSSFileLocations") + short("") +
                                                       short("Odd") + b"\x01" * 5000 + b"\x00" * 5002), 1,
         "Invalid property value"),
        # Cut after a property's name: its value is read from the trailer's
        # digits, whatever the offsets in the record are.
        ("a record cut short", base.with_record(record(*sound)[:-2] + short("PicCommaList")), 1,
         "tevrin-saver: Error reading TSSFileLocations.PicCommaList"),
        ("texts of every byte and broken wide strings", base.with_record(record(
            *sound, pictures, prop("Title", bytes(range(1, 256))), short("Text") + b"\x12" + struct.pack("<I", 3) +
            b"\x00\xd8A\x00\x00\xdc")), 0, ""),
    ]
    big = picture_stream(lying_jpeg(13000, 13000))
    at = base.record_at
    cases.append(("a kilobyte picture claiming 13000x13000", base.with_record(record(
        *sound, prop("PicCommaList", [at])), items=big), 1, "data ends before the picture does"))
    # With motion the second picture is made on another thread while the
    # first moves: its failure ends the run all the same.
    cases.append(("a moving show whose next picture lies about its size", base.with_record(record(
        *sound, prop("PicCommaList", [base.pictures[0], at]), ident("Motion", "moPanZoom"),
        ident("FitMode", "fmFill")), items=big), 1, "data ends before the picture does"))
    padded = lying_jpeg(13000, 13000)
    padded = padded[:-2] + b"\x00" * 1_000_000 + b"\xff\xd9"
    cases.append(("a progressive picture whose buffers pass the limit", base.with_record(record(
        *sound, prop("PicCommaList", [at])), items=picture_stream(padded)), 1, "JPEG image is too large"))
    cases.append(("a picture whose block claims four gigabytes", base.with_record(record(
        *sound, prop("PicCommaList", [at])), items=picture_stream(b"\xff\xd8", 0xFFFFFFF0)), 1,
        "Stream read error"))
    return cases


def snapshot(folder):
    """Every file under `folder` with its size and time, links as links."""
    seen = {}
    for root, dirs, files in os.walk(folder):
        for name in dirs + files:
            path = os.path.join(root, name)
            st = os.lstat(path)
            # A folder's time changes when a run folder comes and goes in it.
            seen[os.path.relpath(path, folder)] = (st.st_mode, st.st_size, 0 if os.path.isdir(path) else st.st_mtime_ns)
    return seen


def run_case(work, name, saver_bytes, expected_code, expected_text, settings=None, args=("/s",)):
    case = os.path.join(work, "case")
    shutil.rmtree(case, ignore_errors=True)
    os.makedirs(os.path.join(case, "saver"))
    temp = os.path.join(case, "temp")
    os.makedirs(temp)
    # A folder of the user's named like a run folder of a long-gone process.
    os.makedirs(os.path.join(temp, "tevrin-99999-photos"))
    with open(os.path.join(temp, "tevrin-99999-photos", "holiday.jpg"), "w") as f:
        f.write("mine")
    saver = os.path.join(case, "saver", "hostile.run")
    with open(saver, "wb") as f:
        f.write(saver_bytes)
    os.chmod(saver, 0o755)
    if settings:
        settings(os.path.join(case, "saver"), case)
    env = dict(os.environ, TMPDIR=temp, HOME=case, XDG_CONFIG_HOME=os.path.join(case, "config"),
               ASAN_OPTIONS="detect_leaks=0")
    before = snapshot(case)
    code, err, peak = run([saver, "--platform", "headless", "--seconds", "3", "--size", "320x180", *args], env, case)
    check(f"{name}: the run ends", code is not None, err[-300:])
    check(f"{name}: exit code {expected_code}", code == expected_code, f"got {code}: {err[-300:]}")
    check(f"{name}: tells what went wrong", expected_text in err, err[-300:])
    check(f"{name}: within the memory limit", peak < PEAK_LIMIT, f"{peak >> 20} MB")
    after = snapshot(case)
    check(f"{name}: nothing changed outside its run folder", before == after,
          str(set(after.items()) ^ set(before.items())))
    # The same file through inspect: an answer, in time and memory.
    code, err, peak = run([TOOL, "inspect", "--json", saver], env, case)
    check(f"{name}: inspect ends with an answer", code in (0, 1), f"got {code}: {err[-300:]}")
    check(f"{name}: inspect within the memory limit", peak < PEAK_LIMIT, f"{peak >> 20} MB")


def settings_cases(base):
    def fifo(folder, _):
        os.mkfifo(os.path.join(folder, "CONTROL.INI"))
        os.mkfifo(os.path.join(folder, "tevrin.ini"))

    def link(folder, case):
        outside = os.path.join(case, "outside.txt")
        with open(outside, "w") as f:
            f.write("[Setup]\nmute=1\n")
        os.symlink(outside, os.path.join(folder, "CONTROL.INI"))
        os.symlink(os.path.join(case, "nowhere.txt"), os.path.join(folder, "tevrin.ini"))

    def junk(folder, _):
        with open(os.path.join(folder, "CONTROL.INI"), "wb") as f:
            for _ in range(100):
                f.write(os.urandom(1 << 20))
    return [("CONTROL.INI and tevrin.ini as FIFOs", fifo), ("settings files as links", link),
            ("100 MB of junk as CONTROL.INI", junk)]


def png_claiming(width, height):
    """A PNG header of that size with almost nothing behind it."""
    import zlib

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(b"\x00" * 64)) + chunk(b"IEND", b""))


def webp_lossless_claiming(width, height):
    """A lossless WebP of one colour in about 30 bytes: each of its prefix
    codes has a single symbol, so every pixel takes no bits at all."""
    bits = []

    def put(value, count):
        bits.extend((value >> i) & 1 for i in range(count))
    put(0x2F, 8)
    put(width - 1, 14)
    put(height - 1, 14)
    put(0, 1)  # no alpha
    put(0, 3)  # version
    put(0, 1)  # no transform
    put(0, 1)  # no colour cache
    put(0, 1)  # no meta prefix codes
    for symbol in (0x40, 0x80, 0xC0, 0xFF):  # green, red, blue, alpha
        put(1, 1)
        put(0, 1)
        put(1, 1)
        put(symbol, 8)
    put(1, 1)  # distance: a single symbol 0
    put(0, 1)
    put(0, 1)
    put(0, 1)
    data = bytes(sum(b << i for i, b in enumerate(bits[k:k + 8])) for k in range(0, len(bits), 8))
    data += b"\x00" * (len(data) % 2)
    chunk = b"VP8L" + struct.pack("<I", len(data)) + data
    return b"RIFF" + struct.pack("<I", 4 + len(chunk)) + b"WEBP" + chunk


def boxes_of(data):
    """The boxes of an ISO media file's bytes: (type, contents) in order."""
    out, at = [], 0
    while at + 8 <= len(data):
        size, kind = struct.unpack(">I4s", data[at:at + 8])
        out.append((kind, data[at + 8:at + size]))
        at += size
    return out


def box(kind, contents, full=None):
    body = (struct.pack(">I", full) if full is not None else b"") + contents
    return struct.pack(">I", 8 + len(body)) + kind + body


def heic_grid(tile_heic, rows, columns, width, height):
    """A HEIC whose primary picture is a grid of rows x columns tiles, each
    the one picture of `tile_heic` (all of them the same coded bytes),
    claiming width x height."""
    top = dict(boxes_of(tile_heic))
    meta = dict(boxes_of(top[b"meta"][4:]))
    properties = dict(boxes_of(meta[b"iprp"]))
    coding = dict(boxes_of(properties[b"ipco"]))
    tile_size = struct.unpack(">II", coding[b"ispe"][4:12])
    coded = top[b"mdat"]
    tiles = list(range(1, rows * columns + 1))
    grid_id = len(tiles) + 1
    grid = struct.pack(">BBBBII", 0, 1, rows - 1, columns - 1, width, height)
    infos = b"".join(box(b"infe", struct.pack(">HH4s", i, 0, b"hvc1") + b"\x00", full=2 << 24)
                     for i in tiles) + box(b"infe", struct.pack(">HH4s", grid_id, 0, b"grid") + b"\x00",
                                           full=2 << 24)
    ipco = box(b"ipco", box(b"hvcC", coding[b"hvcC"]) + box(b"ispe", struct.pack(">II", *tile_size), full=0) +
               box(b"ispe", struct.pack(">II", width, height), full=0))
    ipma = struct.pack(">I", len(tiles) + 1) + b"".join(struct.pack(">HBBB", i, 2, 0x81, 2) for i in tiles) + \
        struct.pack(">HBB", grid_id, 1, 3)
    iref = box(b"dimg", struct.pack(">HH", grid_id, len(tiles)) + b"".join(struct.pack(">H", i) for i in tiles))

    def file_with(mdat_at):
        # item, construction method (1: in idat), data reference, extents, offset, length
        locations = b"".join(struct.pack(">HHHHII", i, 0, 0, 1, mdat_at, len(coded)) for i in tiles)
        locations += struct.pack(">HHHHII", grid_id, 1, 0, 1, 0, len(grid))
        iloc = box(b"iloc", struct.pack(">BBH", 0x44, 0x00, len(tiles) + 1) + locations, full=1 << 24)
        meta_box = box(b"meta", box(b"hdlr", meta[b"hdlr"]) + box(b"pitm", struct.pack(">H", grid_id), full=0) +
                       iloc + box(b"iinf", struct.pack(">H", len(tiles) + 1) + infos, full=0) +
                       box(b"iref", iref, full=0) + box(b"iprp", ipco + box(b"ipma", ipma, full=0)) +
                       box(b"idat", grid), full=0)
        return box(b"ftyp", top[b"ftyp"]) + meta_box
    head = file_with(0)
    return file_with(len(head) + 8) + box(b"mdat", coded)


def tool_cases(work):
    """The command line given what a careless or hostile user gives it."""
    tools = os.path.join(work, "tools")
    os.makedirs(tools)
    env = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")
    picture = os.path.join(tools, "p.jpg")
    shutil.copy(os.path.join(SAMPLES, "05-plasma.jpg"), picture)
    fifo = os.path.join(tools, "fifo.jpg")
    os.mkfifo(fifo)
    with open(os.path.join(SAMPLES, "05-plasma.jpg"), "rb") as f:
        jpeg = f.read()
    files = {"cut.png": None, "huge.png": png_claiming(30000, 30000), "cut.jpg": jpeg[:len(jpeg) // 6],
             "empty.jpg": b"", "text.jpg": b"no picture at all"}
    subprocess.run(["convert", os.path.join(SAMPLES, "05-plasma.jpg"), os.path.join(tools, "whole.png")], check=True)
    with open(os.path.join(tools, "whole.png"), "rb") as f:
        files["cut.png"] = f.read()[:3000]
    files["deep.json"] = b'{"pictures": ["p.jpg"], "title": ' + b"[" * 200000 + b"]" * 200000 + b"}"
    files["notes.json"] = json.dumps({"pictures": ["p.jpg"], "comment": "hello", "_made-by": "hand",
                                      "colour": "red"}).encode()
    # Pictures of the newer formats that claim far more than their bytes
    # hold; each must be refused cheaply, and a grid whose tiles cover it
    # must still be read.
    files["bomb.webp"] = webp_lossless_claiming(11584, 11584)
    files["flat.webp"] = webp_lossless_claiming(3000, 2000)
    files["bomb.png"] = png_claiming(13000, 13000)
    tile = os.path.join(tools, "tile.heic")
    subprocess.run(["convert", "-size", "64x64", "plasma:", tile], check=True)
    with open(tile, "rb") as f:
        tile_heic = f.read()
    files["bomb.heic"] = heic_grid(tile_heic, 2, 2, 11000, 11000)
    files["gaps.heic"] = heic_grid(tile_heic, 2, 2, 1000, 800)
    files["grid.heic"] = heic_grid(tile_heic, 2, 2, 128, 128)
    for name, data in files.items():
        with open(os.path.join(tools, name), "wb") as f:
            f.write(data)
    pack = [TOOL, "pack", "-q", "--stub", STUB]
    cases = [
        ("pack a FIFO", pack + ["-o", "out.run", fifo], "Not a regular file"),
        ("inspect a FIFO", [TOOL, "inspect", fifo], "Not a regular file"),
        ("pack over its own picture", pack + ["-o", picture, picture], "which the saver is made from"),
        ("pack into a folder", pack + ["-o", tools, picture], "The output is a folder"),
        ("pack a PNG cut short", pack + ["-o", "out.run", "cut.png"], "cut.png: PNG: "),
        ("pack a PNG claiming 30000x30000", pack + ["-o", "out.run", "huge.png"],
         "huge.png: PNG image is too large (30000x30000 pixels)"),
        ("pack a JPEG cut short", pack + ["-o", "out.run", "cut.jpg"], "cut.jpg: JPEG image data ends"),
        ("pack an empty file", pack + ["-o", "out.run", "empty.jpg"], "empty.jpg: Not a picture"),
        ("pack a text file", pack + ["-o", "out.run", "text.jpg"], "text.jpg: Not a picture"),
        ("pack a 30-byte WebP claiming 11584x11584", pack + ["-o", "out.run", "bomb.webp"],
         "bomb.webp: WebP image data ends before the picture does (11584x11584 pixels)"),
        ("pack a 155-byte PNG claiming 13000x13000", pack + ["-o", "out.run", "bomb.png"],
         "bomb.png: PNG image data ends before the picture does (13000x13000 pixels)"),
        ("pack a small HEIC grid claiming 11000x11000", pack + ["-o", "out.run", "bomb.heic"],
         "bomb.heic: HEIF image data ends before the picture does (11000x11000 pixels)"),
        ("pack a HEIC grid its tiles do not cover", pack + ["-o", "out.run", "gaps.heic"],
         "the tiles of the 1000x800 grid picture do not cover it"),
        ("pack a manifest nested 200000 deep", pack + ["-o", "out.run", "--manifest", "deep.json"],
         "deep.json nests deeper than 64 levels"),
        ("pack a manifest with a key pack lacks", pack + ["-o", "out.run", "--manifest", "notes.json"],
         'unknown key "colour"'),
    ]
    for name, args, text in cases:
        before = snapshot(tools)
        code, err, peak = run(args, env, tools)
        check(f"{name}: ends with an error", code not in (0, None), f"got {code}")
        check(f"{name}: says what and where", text in err, err[-300:])
        # A few bytes may cost no more than a real picture's header does.
        limit = BOMB_PEAK_LIMIT if ("bomb" in name or "claiming" in name) and not UNDER_ASAN else PEAK_LIMIT
        check(f"{name}: within the memory limit", peak < limit, f"{peak >> 20} MB")
        check(f"{name}: writes nothing", snapshot(tools) == before, str(set(snapshot(tools).items()) ^ set(before.items())))
    for name in ("grid.heic", "flat.webp"):
        code, err, peak = run(pack + ["-o", "good.run", name], env, tools)
        check(f"a {name} whose data holds what it claims packs", code == 0, err[-300:])
        check(f"a {name} within the memory limit", peak < PEAK_LIMIT, f"{peak >> 20} MB")


def kill_test(work, base):
    """Twenty runs killed at random moments, then a normal one that removes
    what they left and touches nothing else."""
    temp = os.path.join(work, "kills")
    os.makedirs(temp)
    os.makedirs(os.path.join(temp, "tevrin-99999-photos"))
    saver = os.path.join(work, "kills.run")
    wavs = []
    for n in range(3):
        wav = os.path.join(work, f"sound{n}.wav")
        shutil.copy(os.path.join(SAMPLES, "melody.wav"), wav)
        wavs += ["--sound", wav]
    subprocess.run([TOOL, "pack", "-q", "-o", saver, "--stub", STUB, "--interval", "300", *wavs,
                    os.path.join(SAMPLES, "05-plasma.jpg")], check=True)
    env = dict(os.environ, TMPDIR=temp, ASAN_OPTIONS="detect_leaks=0")
    rng = random.Random(12)
    killed_with_files = 0
    for _ in range(20):
        process = subprocess.Popen([saver, "--platform", "headless", "--seconds", "4000000", "--size", "64x48", "/s"],
                                   env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(rng.uniform(0.1, 1.5))
        process.send_signal(signal.SIGKILL)
        process.wait()
        # Each start removes what the runs before it left.
        left = [n for n in os.listdir(temp) if n.startswith("tevrin-") and n != "tevrin-99999-photos"]
        check("a start cleans up after the runs killed before it", len(left) <= 1, str(left))
        killed_with_files += len(left)
    check("kills left run folders behind", killed_with_files >= 10, f"{killed_with_files} of 20")
    code, err, _ = run([saver, "--platform", "headless", "--seconds", "2", "--size", "64x48", "/s"], env, work)
    check("after the kills a normal run ends well", code == 0, err[-300:])
    check("and removes every run folder left", sorted(os.listdir(temp)) == ["tevrin-99999-photos"],
          str(os.listdir(temp)))


def pack_kill_test(work):
    """Packs killed at random moments leave their hidden temporary files;
    the next pack into that folder removes them, and nothing else: not a
    user's file of a like name, not the file of a pack still running."""
    folder = os.path.join(work, "packkills")
    os.makedirs(folder)
    png = os.path.join(folder, "big.png")
    subprocess.run(["convert", "-size", "2400x1600", "plasma:", png], check=True)
    pictures = []
    for n in range(12):
        path = os.path.join(folder, f"p{n}.png")
        shutil.copy(png, path)
        pictures.append(path)
    env = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")
    saver = os.path.join(folder, "out.run")
    rng = random.Random(7)
    for _ in range(4):
        process = subprocess.Popen([TOOL, "pack", "-q", "--stub", STUB, "-o", saver, *pictures], env=env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # Killed while it writes: once its temporary file is there (however
        # slow the build starts), a moment later.
        deadline = time.time() + TIMEOUT
        while time.time() < deadline and process.poll() is None and \
                not any(n.endswith(".part") and str(process.pid) in n for n in os.listdir(folder)):
            time.sleep(0.02)
        time.sleep(rng.uniform(0.0, 0.3))
        process.send_signal(signal.SIGKILL)
        process.wait()
    left = [n for n in os.listdir(folder) if n.endswith(".part")]
    check("killed packs left their temporary files", len(left) >= 1, str(os.listdir(folder)))
    # A user's file that only looks like ours, and one of a pack that runs.
    keep = [".out.run.tevrin-notes.part", f".out.run.tevrin-{os.getpid()}-0123456789abcdef.part"]
    for name in keep:
        with open(os.path.join(folder, name), "wb") as f:
            f.write(b"keep me")
    past = time.time() - 60
    for name in os.listdir(folder):
        os.utime(os.path.join(folder, name), (past, past))
    code, err, _ = run([TOOL, "pack", "-q", "--stub", STUB, "-o", saver, pictures[0]], env, folder)
    check("a pack after the kills ends well", code == 0, err[-300:])
    parts = sorted(n for n in os.listdir(folder) if n.endswith(".part"))
    check("and removes the temporary files of the killed packs only", parts == sorted(keep), str(parts))


def main():
    work = tempfile.mkdtemp(prefix="tevrin-hostile-")
    try:
        base = Base(work)
        for name, saver_bytes, code, text in payload_cases(base):
            run_case(work, name, saver_bytes, code, text)
        for name, settings in settings_cases(base):
            for args in (("/s",), ("/c",)):
                run_case(work, f"{name} {args[0]}", base.bytes, 0, "", settings=settings, args=args)
        tool_cases(work)
        kill_test(work, base)
        pack_kill_test(work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print(f"worst peak memory: {worst['peak'] >> 20} MB ({worst['what']})")
    return checks.summary("hostile tests")


if __name__ == "__main__":
    sys.exit(main())
