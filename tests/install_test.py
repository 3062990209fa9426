#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""`tevrin install` and `uninstall` on Linux with Debian's real xscreensaver,
as an ordinary user (a test run as root runs them as `nobody`): the saver
becomes the selected one and the daemon runs it when it activates; uninstall
leaves the user's ~/.xscreensaver as it was, byte for byte; files that are
no Linux saver are refused.

    install_test.py TEVRIN SAMPLES_DIR

Starts its own Xvfb and daemon, with a home folder of its own."""

import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import checks  # noqa: E402
from checks import check, wait_for  # noqa: E402

TOOL, SAMPLES = (os.path.abspath(a) for a in sys.argv[1:3])
AS_ROOT = os.geteuid() == 0
USER = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] if AS_ROOT else []

# A user's own file, as the daemon's settings write it: their choice of
# saver (the third), a disabled one, and values of their own.
USER_PREFS = ("# XScreenSaver Preferences File\n"
              "# Written by xscreensaver-settings 6.06 for ann.\n\n"
              "timeout:\t0:07:00\n"
              "lock:\t\tFalse\n"
              "mode:\t\tone\n"
              "selected:\t2\n\n"
              "programs:\t\t\t\t\t\t\t      \\\n"
              "\t\t\t\t  maze --root\t\t\t\t    \\n\\\n"
              "-\t\t\t\t  deco --root\t\t\t\t    \\n\\\n"
              "\t\t\t\t  \"My abstract\" abstractile --root\t\t    \\n\\\n"
              "\t\t\t\t  binaryring --root\t\t\t    \\n\\\n\n"
              "pointerHysteresis:\t10\n")



def main():
    if shutil.which("xscreensaver") is None or shutil.which("Xvfb") is None:
        print("install_test: xscreensaver and Xvfb are needed (scripts/deps)")
        return 1
    work = tempfile.mkdtemp(prefix="tevrin-install-")
    os.chmod(work, 0o755)
    home = os.path.join(work, "home ann")
    os.mkdir(home)
    # A copy the other user may run, wherever the build tree is.
    tool = os.path.join(work, "tevrin")
    shutil.copy(TOOL, tool)
    saver = os.path.join(work, "sea-saver")
    subprocess.run([TOOL, "pack", "-q", "--target", "linux", "--title", "Sea", "-o", saver,
                    os.path.join(SAMPLES, "05-plasma.jpg"), os.path.join(SAMPLES, "06-ocean.jpg")],
                   check=True, stdout=subprocess.DEVNULL)
    not_saver = os.path.join(work, "plasma.jpg")
    shutil.copy(os.path.join(SAMPLES, "05-plasma.jpg"), not_saver)
    windows_saver = os.path.join(work, "sea.scr")
    with open(saver, "rb") as f:
        image = bytearray(f.read())
    image[0:4] = b"MZ\x90\x00"
    with open(windows_saver, "wb") as f:
        f.write(image)
    if AS_ROOT:
        for root, dirs, files in os.walk(work):
            for name in dirs + files + ["."]:
                os.chown(os.path.join(root, name), 65534, 65534)

    number = next(n for n in range(150 + os.getpid() % 50, 260)
                  if not os.path.exists(f"/tmp/.X{n}-lock"))
    display = f":{number}"
    server = subprocess.Popen(["Xvfb", display, "-screen", "0", "640x480x24", "-nolisten", "tcp",
                               "-noreset"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    env = {"HOME": home, "PATH": "/usr/bin:/bin", "DISPLAY": display, "LANG": "C.UTF-8"}
    daemon = None

    def run(*args):
        return subprocess.run(USER + list(args), env=env, capture_output=True, text=True, cwd=work)

    prefs = os.path.join(home, ".xscreensaver")
    installed = os.path.join(home, ".local", "share", "tevrin", "savers", "sea-saver")
    try:
        wait_for(lambda: run("xdpyinfo").returncode == 0)

        refused = run(tool, "install", not_saver)
        check("a picture is refused", refused.returncode != 0 and "is no saver" in refused.stderr,
              refused.stderr)
        refused = run(tool, "install", windows_saver)
        check("a Windows saver is refused on Linux",
              refused.returncode != 0 and "saver for another system" in refused.stderr, refused.stderr)
        check("nothing was written for refused files", not os.path.exists(prefs))

        # No file of the user's own: one is made from the system's defaults,
        # keeping its hacks, and uninstall takes it away again.
        made = run(tool, "install", saver)
        with open(prefs) as f:
            text = f.read()
        check("install without a file of the user's own exits 0", made.returncode == 0, made.stderr)
        check("the file made keeps the system's hacks", "maze --root" in text and "binaryring" in text)
        check("the saver is in its list", f"\"Sea\" '{installed}' --root" in text, text[-400:])
        check("install says what it did", "Copied the saver to" in made.stdout
              and "No xscreensaver is running" in made.stdout, made.stdout)
        gone = run(tool, "uninstall", "sea-saver")
        check("uninstall exits 0", gone.returncode == 0, gone.stderr)
        check("the file install made is gone", not os.path.exists(prefs))
        check("the installed saver is gone", not os.path.exists(installed))

        with open(prefs, "w") as f:
            f.write(USER_PREFS)
        if AS_ROOT:
            os.chown(prefs, 65534, 65534)
        daemon = subprocess.Popen(USER + ["xscreensaver", "--no-splash"], env=env, cwd=home,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        check("the daemon answers",
              wait_for(lambda: run("xscreensaver-command", "-time").returncode == 0, timeout=15))

        for only in (False, True):
            what = "--only" if only else "among the others"
            done = run(tool, "install", saver, *(["--only"] if only else []))
            check(f"install {what} exits 0", done.returncode == 0, done.stderr)
            check(f"install {what} restarts the daemon", "xscreensaver restarted" in done.stdout,
                  done.stdout)
            with open(prefs) as f:
                text = f.read()
            check(f"install {what} keeps the user's values",
                  "timeout:\t0:07:00\n" in text and "\"My abstract\" abstractile" in text)
            check(f"install {what} selects as asked",
                  ("mode:\t\tone\nselected:\t4\n" if only else "mode:\t\tone\nselected:\t2\n") in text,
                  text[:300])
            if only:
                wait_for(lambda: run("xscreensaver-command", "-time").returncode == 0, timeout=15)
                run("xscreensaver-command", "-activate")
                running = wait_for(lambda: installed in subprocess.run(
                    ["ps", "-eo", "args"], capture_output=True, text=True).stdout, timeout=15)
                check("the daemon runs the saver when it activates", running)
                run("xscreensaver-command", "-deactivate")
            gone = run(tool, "uninstall", "sea-saver")
            check(f"uninstall after install {what} exits 0", gone.returncode == 0, gone.stderr)
            with open(prefs) as f:
                check(f"uninstall after install {what} leaves the file as it was",
                      f.read() == USER_PREFS)
            check(f"the saver is no longer running after uninstall {what}",
                  wait_for(lambda: installed not in subprocess.run(
                      ["ps", "-eo", "args"], capture_output=True, text=True).stdout))

        # As root the description goes beside xscreensaver's own, which a
        # saver of the same name never replaces or removes.
        system_deco = "/usr/share/xscreensaver/config/deco.xml"
        if AS_ROOT and os.path.exists(system_deco):
            with open(system_deco, "rb") as f:
                theirs = f.read()
            deco = os.path.join(work, "deco")
            shutil.copy(saver, deco)
            root_env = dict(env, HOME=os.path.join(work, "root home"))
            os.mkdir(root_env["HOME"])
            done = subprocess.run([tool, "install", deco], env=root_env, capture_output=True, text=True)
            check("a saver named like one of xscreensaver's installs", done.returncode == 0, done.stderr)
            gone = subprocess.run([tool, "uninstall", "deco"], env=root_env, capture_output=True, text=True)
            check("and uninstalls", gone.returncode == 0, gone.stderr)
            with open(system_deco, "rb") as f:
                check("xscreensaver's own description of that name is left alone", f.read() == theirs)

        missing = run(tool, "uninstall", "sea-saver")
        check("uninstalling what is not installed is refused",
              missing.returncode != 0 and "No saver named sea-saver is installed" in missing.stderr,
              missing.stderr)
    finally:
        if daemon is not None:
            run("xscreensaver-command", "-exit")
            try:
                daemon.wait(timeout=5)
            except subprocess.TimeoutExpired:
                daemon.kill()
        subprocess.run(["pkill", "-f", installed])
        server.terminate()
        server.wait(timeout=10)
        shutil.rmtree(work, ignore_errors=True)
    return checks.summary("install_test")


if __name__ == "__main__":
    sys.exit(main())
