#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The release files as users get them (run after scripts/release):

- the .deb: lintian found no errors; unpacked with dpkg-deb -x into a scratch
  root, its tool answers --version, packs savers for both systems with the
  runtimes it carries (no --stub), and the Linux one runs; its man pages
  answer, with a section per command; the desktop entry and the AppStream
  data pass their validators;
- the source archive: ours, and Debian's source of each library linked
  into the Windows programs;
- the zip: unpacked, its tevrin.exe packs a saver under Wine, and started
  with no arguments (a double click) runs the Studio on Documents\\Tevrin
  Studio, opens the browser and answers on its address; the page's Close
  ends it.

    release_test.py RELEASE_DIR SAMPLES_DIR"""

import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.request
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import checks  # noqa: E402
from checks import check, wait_for  # noqa: E402

RELEASE, SAMPLES = (os.path.abspath(a) for a in sys.argv[1:3])


def run(*args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, **kwargs)



def check_deb(work):
    debs = glob.glob(os.path.join(RELEASE, "tevrin_*_amd64.deb"))
    check("one .deb is made", len(debs) == 1, str(debs))
    if not debs:
        return
    deb = debs[0]
    version = re.search(r"tevrin_(.+)_amd64\.deb", deb).group(1)
    with open(os.path.join(RELEASE, "lintian.txt")) as f:
        report = f.read()
    check("lintian reports no errors", not re.search(r"^E: ", report, re.M), report[:2000])
    tags = sorted(set(re.findall(r"^W: tevrin: (\S+)", report, re.M)))
    with open(os.path.join(os.path.dirname(__file__), "..", "README.md")) as f:
        readme = f.read()
    unexplained = [tag for tag in tags if tag not in readme]
    check("every lintian warning has its reason in the README", not unexplained, str(unexplained))

    root = os.path.join(work, "root")
    check("dpkg-deb -x unpacks it", run("dpkg-deb", "-x", deb, root).returncode == 0)
    fields = run("dpkg-deb", "-f", deb, "Depends").stdout
    check("its dependencies are worked out", "libc6" in fields and "libheif1" in fields, fields)
    tool = os.path.join(root, "usr", "bin", "tevrin")
    shown = run(tool, "--version")
    check("the installed tool tells its version", shown.stdout.strip() == f"tevrin {version}",
          shown.stdout + shown.stderr)
    size = os.path.getsize(tool)
    check("the tool is stripped", run("file", tool).stdout.find("not stripped") < 0, str(size))

    plasma = os.path.join(SAMPLES, "05-plasma.jpg")
    for target, name in (("windows", "Sea.scr"), ("linux", "sea-saver")):
        saver = os.path.join(work, name)
        made = run(tool, "pack", "-q", "--target", target, "-o", saver, "--title", "Sea", plasma)
        check(f"the installed tool packs for {target} without --stub", made.returncode == 0, made.stderr)
        seen = run(tool, "inspect", "--json", saver)
        check(f"and the {target} saver holds its picture", '"Title": "Sea"' in seen.stdout, seen.stderr)
    frames = os.path.join(work, "frames")
    ran = run(os.path.join(work, "sea-saver"), "--platform", "headless", "--seconds", "2", "--size",
              "64x48", "--dump", frames)
    check("the Linux saver made there runs", ran.returncode == 0 and glob.glob(frames + "/*.png"),
          ran.stderr)

    man = os.path.join(root, "usr", "share", "man", "man1")
    page = run("man", "-l", os.path.join(man, "tevrin.1.gz"), env=dict(os.environ, MANWIDTH="100"))
    check("man tevrin answers", page.returncode == 0 and "NAME" in page.stdout, page.stderr)
    commands = re.findall(r"^  (\w+)\s{2,}", run(tool, "--help").stdout.split("Subcommands:")[1], re.M)
    missing = [c for c in commands if not re.search(rf"^   {c}$", page.stdout, re.M)]
    check("tevrin(1) has a section for every command", commands and not missing, str(missing))
    check("tevrin(1) names install's --only", "--only" in page.stdout)
    saver_page = run("man", "-l", os.path.join(man, "tevrin-saver.1.gz"))
    check("man tevrin-saver answers with the switches",
          saver_page.returncode == 0 and "--window-id" in saver_page.stdout and "/s" in saver_page.stdout)

    desktop = glob.glob(os.path.join(root, "usr", "share", "applications", "*.desktop"))
    check("a desktop entry is installed", len(desktop) == 1)
    if desktop:
        valid = run("desktop-file-validate", desktop[0])
        check("the desktop entry passes desktop-file-validate", valid.returncode == 0 and not valid.stdout,
              valid.stdout)
        with open(desktop[0]) as f:
            entry = f.read()
        check("it is Tevrin Studio, with its icon", "Name=Tevrin Studio" in entry and os.path.exists(
            os.path.join(root, "usr", "share", "icons", "hicolor", "scalable", "apps",
                         re.search(r"^Icon=(.*)$", entry, re.M).group(1) + ".svg")))
    metainfo = glob.glob(os.path.join(root, "usr", "share", "metainfo", "*.xml"))
    valid = run("appstreamcli", "validate", "--no-net", *metainfo)
    check("the AppStream data is valid", len(metainfo) == 1 and valid.returncode == 0, valid.stdout)
    doc = os.path.join(root, "usr", "share", "doc", "tevrin")
    for name in ("copyright", "changelog.gz", "README.md.gz", "THIRD-PARTY.md.gz"):
        check(f"the docs hold {name}", os.path.exists(os.path.join(doc, name)))


def check_zip(work):
    zips = glob.glob(os.path.join(RELEASE, "tevrin-*-windows-x64.zip"))
    check("one Windows zip is made", len(zips) == 1, str(zips))
    if not zips:
        return
    with zipfile.ZipFile(zips[0]) as archive:
        names = archive.namelist()
        archive.extractall(os.path.join(work, "zip"))
    folder = os.path.join(work, "zip", os.path.basename(zips[0])[:-4])
    for name in ("tevrin.exe", "tevrin-saver.exe", "tevrin-saver", "LICENSE.txt", "THIRD-PARTY.txt",
                 "README.txt"):
        check(f"the zip holds {name}", os.path.exists(os.path.join(folder, name)), str(names))
    for name in ("tevrin.exe", "tevrin-saver", "tevrin-saver.exe"):
        os.chmod(os.path.join(folder, name), 0o755)
    with open(os.path.join(folder, "README.txt"), "rb") as f:
        check("README.txt has Windows line ends", b"\r\n" in f.read())
    imports = run("x86_64-w64-mingw32-objdump", "-p", os.path.join(folder, "tevrin.exe")).stdout
    dlls = {d.lower() for d in re.findall(r"DLL Name: (\S+)", imports)}
    system = {"advapi32.dll", "bcrypt.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll", "psapi.dll",
              "shell32.dll", "user32.dll", "ws2_32.dll", "ole32.dll", "comdlg32.dll", "comctl32.dll"}
    shipped = {n.lower() for n in os.listdir(folder) if n.lower().endswith(".dll")}
    check("tevrin.exe needs no DLL beyond the system's and the zip's", dlls <= system | shipped,
          str(dlls - system - shipped))

    # A prefix of its own, whose Documents is a scratch folder, and a browser
    # that only notes the address it was given.
    home = os.path.join(work, "home")
    os.makedirs(os.path.join(home, "bin"))
    opener = os.path.join(home, "bin", "xdg-open")
    with open(opener, "w") as f:
        f.write(f"#!/bin/sh\necho \"$1\" >> '{home}/opened.txt'\n")
    os.chmod(opener, 0o755)
    env = dict(os.environ, HOME=home, WINEPREFIX=os.path.join(work, "prefix"), WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=", PATH=os.path.join(home, "bin") + ":" + os.environ["PATH"],
               XDG_DOCUMENTS_DIR=home)
    env.pop("DISPLAY", None)
    run("wineboot", "-i", env=env, timeout=300)
    # Pages open with the system's browser, as on Windows with one.
    run("wine", "reg", "add", "HKCR\\.html", "/ve", "/d", "htmlfile", "/f", env=env, timeout=120)
    shutil.copy(os.path.join(SAMPLES, "05-plasma.jpg"), folder)
    made = run("wine", "tevrin.exe", "pack", "-q", "-o", "Sea.scr", "--title", "Sea", "05-plasma.jpg",
               env=env, cwd=folder, timeout=300)
    check("the zip's tevrin.exe packs a saver under Wine", made.returncode == 0 and os.path.exists(
        os.path.join(folder, "Sea.scr")), made.stderr)
    made = run("wine", "tevrin.exe", "pack", "-q", "--target", "linux", "-o", "sea-saver",
               "05-plasma.jpg", env=env, cwd=folder, timeout=300)
    check("and a Linux saver", made.returncode == 0, made.stderr)

    studio = subprocess.Popen(["wine", "tevrin.exe"], env=env, cwd=folder, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, text=True)
    lines = []
    try:
        address = None
        end = time.monotonic() + 120
        while time.monotonic() < end and address is None:
            line = studio.stdout.readline()
            if not line:
                break
            lines.append(line)
            found = re.search(r"Tevrin Studio is at (\S+)", line)
            address = found.group(1) if found else None
        check("double-clicked, tevrin.exe starts the Studio and prints its address", address,
              "".join(lines))
        if address:
            lines.append(studio.stdout.readline())
            check("on the project in Documents\\Tevrin Studio",
                  "Documents\\Tevrin Studio\\project.json" in "".join(lines), "".join(lines))
            with urllib.request.urlopen(address, timeout=30) as response:
                check("the page answers on that address", response.status == 200 and
                      b"Tevrin Studio" in response.read())
            opened = wait_for(lambda: os.path.exists(os.path.join(home, "opened.txt")), timeout=30)
            check("and the browser is asked to open it", opened)
            quit_request = urllib.request.Request(address.rstrip("/") + "/api/quit", method="POST",
                                                  data=b"", headers={"X-Tab": "test"})
            with urllib.request.urlopen(quit_request, timeout=30) as response:
                check("the page's Close is answered", response.status == 200)
            check("and ends the Studio", wait_for(lambda: studio.poll() is not None, timeout=30))
    finally:
        if studio.poll() is None:
            studio.kill()
        studio.wait()
        run("wineserver", "-k", env=env)


def check_source(work):
    tars = glob.glob(os.path.join(RELEASE, "tevrin-*-source.tar"))
    check("one source archive is made", len(tars) == 1, str(tars))
    if not tars:
        return
    names = run("tar", "tf", tars[0]).stdout.split()
    for library in ("libheif", "libde265", "exiv2", "libjpeg-turbo", "libpng1.6", "zlib", "libwebp",
                    "expat", "cpp-httplib"):
        check(f"it holds Debian's source of {library}",
              any(re.search(rf"/libraries/{re.escape(library)}_[^/]+\.dsc$", n) for n in names))
    ours = [n for n in names if re.search(r"/tevrin-[0-9.]+\.tar\.gz$", n)]
    check("and ours", len(ours) == 1, str(names[:5]))
    if ours:
        subprocess.run(["tar", "xf", tars[0], "-C", work, ours[0]], check=True)
        listed = run("tar", "tzf", os.path.join(work, ours[0])).stdout
        check("ours is the whole tree", "/tools/Main.cpp" in listed and "/scripts/build-mingw-deps" in listed)


def main():
    work = tempfile.mkdtemp(prefix="tevrin-release-")
    try:
        check_deb(work)
        check_zip(work)
        check_source(work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return checks.summary("release_test")


if __name__ == "__main__":
    sys.exit(main())
