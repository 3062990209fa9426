#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The licence and the notices stay true: every source file names its
licence (an SPDX line at its top), `tevrin --version` and `--licenses`
answer, and every library the Linux tool and runtime load is named in
THIRD-PARTY.md.

    licence_test.py SOURCE_DIR TEVRIN TEVRIN_SAVER
"""

import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from checks import check, summary  # noqa: E402

TAG = "SPDX-License-Identifier: MIT"
SOURCE_ENDINGS = (".cpp", ".h", ".rc", ".js", ".css", ".html", ".manifest", ".py", ".sh", ".cmake", ".supp",
                  ".1", ".desktop", ".svg", ".xml")


def sources(root):
    """The project's source files, as git tracks them (else as the tree holds
    them, without build output)."""
    listed = subprocess.run(["git", "-C", root, "ls-files"], capture_output=True, text=True)
    if listed.returncode == 0 and listed.stdout:
        names = listed.stdout.split()
    else:
        names = [os.path.relpath(os.path.join(d, n), root) for d, dirs, files in os.walk(root)
                 for n in files if not os.path.relpath(d, root).startswith(("build", ".git"))]
    return [n for n in names if n.endswith(SOURCE_ENDINGS) or os.path.basename(n) == "CMakeLists.txt"
            or n.startswith("scripts/") or n == ".ci/run"]


def main():
    root, tool, saver = (os.path.abspath(a) for a in sys.argv[1:4])
    files = sources(root)
    check("the sources are found", len(files) > 200, str(len(files)))
    missing = []
    for name in files:
        with open(os.path.join(root, name), encoding="utf-8", errors="replace") as f:
            head = [f.readline() for _ in range(2)]
        if not any(TAG in line for line in head):
            missing.append(name)
    check("every source file carries the SPDX line at its top", not missing, ", ".join(missing[:10]))
    with open(os.path.join(root, "LICENSE"), encoding="utf-8") as f:
        check("the licence is MIT", f.read().startswith("MIT License"))

    with open(os.path.join(root, "CMakeLists.txt"), encoding="utf-8") as f:
        version = re.search(r"project\(Tevrin VERSION ([0-9.]+)", f.read()).group(1)
    shown = subprocess.run([tool, "--version"], capture_output=True, text=True)
    check("tevrin --version prints the project's version", shown.returncode == 0 and
          shown.stdout.strip() == f"tevrin {version}", shown.stdout)
    notices = subprocess.run([tool, "--licenses"], capture_output=True, text=True)
    with open(os.path.join(root, "THIRD-PARTY.md"), encoding="utf-8") as f:
        third_party = f.read()
    check("tevrin --licenses prints our licence and the notices", notices.returncode == 0 and
          "Permission is hereby granted" in notices.stdout and third_party.strip() in notices.stdout)

    for binary in (tool, saver):
        dynamic = subprocess.run(["readelf", "-d", binary], capture_output=True, text=True, check=True).stdout
        needed = re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", dynamic)
        # A sanitizer build's runtimes are no part of what ships.
        needed = [n for n in needed if not re.match(r"lib(a|ub|l|t)san\.", n)]
        unnamed = [n for n in needed if f"`{n}`" not in third_party]
        check(f"every library {os.path.basename(binary)} loads is named in THIRD-PARTY.md",
              needed and not unnamed, ", ".join(unnamed))
    return summary("licence")


if __name__ == "__main__":
    sys.exit(main())
