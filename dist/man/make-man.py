#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes tevrin(1): the page's own text below, and a section per command
with its options, read from the tool's --help, so the page says what the
tool it ships with takes.

    make-man.py TEVRIN OUTPUT [RUNNER...]"""

import os
import re
import subprocess
import sys
import time

INTRO = r""".TH TEVRIN 1 "{date}" "Tevrin {version}" "User Commands"
.SH NAME
tevrin \- make, inspect and install slide-show screen savers
.SH SYNOPSIS
.B tevrin
.I COMMAND
.RI [ OPTIONS ]
.br
.B tevrin
.BR \-\-version " | " \-\-licenses " | " \-\-help
.SH DESCRIPTION
.B tevrin
packs pictures (JPEG, PNG, WebP, HEIC), captions, music and movies into a
finished screen saver: one file that carries them behind its runtime,
.BR tevrin\-saver (1),
for Windows (a
.I .scr
file) or for Linux (a program xscreensaver runs).
.B tevrin studio
does the same in a web browser.
.B tevrin install
makes a saver the user's screen saver, without root.
.PP
Each command below takes
.B \-\-help
for its options.
"""

OUTRO = r""".SH EXAMPLES
.TP
.B tevrin pack \-o Sea.scr \-\-title Sea \-\-sound waves.mp3 photos/
A Windows saver of every picture in photos/.
.TP
.B tevrin pack \-\-target linux \-o sea\-saver \-\-title Sea photos/ && tevrin install \-\-only sea\-saver
A Linux saver, made the one xscreensaver runs.
.TP
.B tevrin studio
Tevrin Studio on the project in ~/Tevrin Studio, in the web browser.
.SH FILES
.TP
.I /usr/lib/tevrin/tevrin\-saver, /usr/lib/tevrin/tevrin\-saver.exe
The runtimes that
.B pack
puts in front of a saver for Linux and for Windows.
.TP
.I ~/.local/share/tevrin/savers/
Savers that
.B install
copied, and installs.json: what each install changed.
.TP
.I ~/.xscreensaver
xscreensaver's settings, where
.B install
adds a saver to the programs.
.TP
.I ~/.config/tevrin/studio/
The Studio's address for each project.
.SH EXIT STATUS
0 on success; 1 when the command failed, with one line on the standard
error; 2 (or more) for a command line it does not take.
.SH SEE ALSO
.BR tevrin\-saver (1),
.BR xscreensaver (1),
.BR xscreensaver\-command (1)
.PP
/usr/share/doc/tevrin/README.md
"""


def release_date():
    """The day of the sources (SOURCE_DATE_EPOCH, as scripts/release sets
    it), so the same sources make the same page."""
    stamp = int(os.environ.get("SOURCE_DATE_EPOCH", time.time()))
    return time.strftime("%Y-%m-%d", time.gmtime(stamp))


def escaped(text):
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return "\\&" + text if text.startswith((".", "'")) else text


def helped(command):
    out = subprocess.run(command + ["--help"], capture_output=True, text=True, check=True).stdout
    return out.replace("\r", "")


def entries(help_text, heading):
    """The (names, text) of each item under `heading` in CLI11's help."""
    found = []
    block = re.search(rf"^{heading}:\n(.*?)(?:\n\n|\Z)", help_text, re.S | re.M)
    if not block:
        return found
    for line in block.group(1).split("\n"):
        if re.match(r"^  \S", line):
            parts = re.split(r"\s{2,}", line.strip(), maxsplit=1)
            found.append([parts[0], parts[1] if len(parts) > 1 else ""])
        elif line.strip() and found:
            found[-1][1] = (found[-1][1] + " " + line.strip()).strip()
    return found


def main():
    tool, output = sys.argv[1], sys.argv[2]
    runner = sys.argv[3:]
    version = subprocess.run(runner + [tool, "--version"], capture_output=True, text=True,
                             check=True).stdout.split()[-1]
    top = helped(runner + [tool])
    page = [".\\\" Made by make-man.py from the tool's --help.",
            INTRO.replace("{date}", release_date()).replace("{version}", version).rstrip("\n")]
    page.append(".SH OPTIONS")
    for names, text in entries(top, "Options"):
        page += [".TP", ".B " + escaped(names), escaped(text)]
    page.append(".SH COMMANDS")
    for name, summary in entries(top, "Subcommands"):
        text = helped(runner + [tool, name])
        usage = re.search(r"^Usage: (.*)$", text, re.M)
        page += [f".SS {name}", escaped(summary) + ".", ".PP", ".B " + escaped(usage.group(1)) if usage else ""]
        for heading in ("Positionals", "Options"):
            for names, item in entries(text, heading):
                if names.startswith("-h,--help"):
                    continue
                page += [".TP", ".B " + escaped(names), escaped(item)]
    page.append(OUTRO.rstrip("\n"))
    with open(output, "w", encoding="utf-8") as f:
        f.write("\n".join(line for line in page if line != "") + "\n")


if __name__ == "__main__":
    main()
