#!/usr/bin/env python3
"""The manual agrees with the program: its exit status table lists the
statuses `pendrax --help` lists, for the same commands, and its title
carries project()'s version and the date of debian/changelog's newest entry.
The README names no status or version of its own; it points to both. The
public header, the manual and the reliability notes restate the recorder's
ring, the stall it rides out and the stop's wait as the recorder defines
them.

usage: docs_agree.py PENDRAX SOURCE_DIR VERSION
"""
import email.utils
import re
import subprocess
import sys

pendrax, source, version = sys.argv[1:4]
problems = []


def help_table():
    text = subprocess.run([pendrax, "--help"], capture_output=True, text=True, check=True).stdout
    block = text.split("\nExit status:\n", 1)[1].split("\n\n", 1)[0]
    rows = [re.match(r"  (\d+) +(?:(flange|record): )?", line) for line in block.splitlines()]
    return sorted((int(row[1]), row[2] or "any") for row in rows)


def manual_table(lines):
    section = "\n".join(lines).split("\n.SH EXIT STATUS\n", 1)[1].split("\n.SH ", 1)[0]
    rows = re.findall(r"^\.TP\n\.B (\d+)\n(?:\.BR (flange|record) :)?", section, re.M)
    return sorted((int(code), command or "any") for code, command in rows)


manual = open(f"{source}/docs/pendrax.1", encoding="utf-8").read().splitlines()
expected = help_table()
table = manual_table(manual)
if table != expected:
    missing = [row for row in expected if row not in table]
    extra = [row for row in table if row not in expected]
    problems.append(f"the manual's exit statuses lack {missing} and add {extra}, against --help's")

title = re.match(r'\.TH \S+ \d+ (\S+) "PendraxWAVFlanger ([^"]+)"', manual[0])
with open(f"{source}/debian/changelog", encoding="utf-8") as changelog:
    newest = next(line for line in changelog if line.startswith(" -- "))
date = email.utils.parsedate_to_datetime(newest.split(">", 1)[1].strip()).date().isoformat()
if not title or title[2] != version:
    problems.append(f"the manual's title '{manual[0]}' does not carry version {version}")
if not title or title[1] != date:
    problems.append(f"the manual's title '{manual[0]}' is not dated {date}, the changelog's")


def recorder_limits():
    text = open(f"{source}/src/recorder/Recorder.h", encoding="utf-8").read()
    ring = int(re.search(r"kRingSeconds = (\d+);", text)[1])
    tolerance = ring - int(re.search(r"kStallToleranceSeconds = kRingSeconds - (\d+);", text)[1])
    stop = int(re.search(r"kStopWaitMilliseconds = (\d+);", text)[1]) / 1000
    return ring, tolerance, f"{stop:g}"


def prose(path):
    """A document's words on one line: no comment stars, roff requests or breaks."""
    text = open(f"{source}/{path}", encoding="utf-8").read()
    text = re.sub(r"^\s*\*\s?|^\.(?:B|BR|IP|PP|br)\b ?", "", text, flags=re.M)
    return " ".join(text.replace('"', "").split())


ring, tolerance, stop = recorder_limits()
block_bytes = 16000
claims = {
    "include/PendraxWAVFlanger.h": [(r"a buffer of (\d+) seconds", ring),
                                    (r"held up for up to (\d+) seconds", tolerance),
                                    (r"waits for it (\S+) seconds at most", stop)],
    "docs/pendrax.1": [(r"keeps up to (\d+) seconds of audio", ring),
                       (r"held up for up to (\d+) seconds loses nothing", tolerance),
                       (r"up to (\d+) s of audio waits for it", tolerance),
                       (r"held up (\S+) seconds after the stop", stop)],
    "docs/reliability.md": [(r"loses nothing for (\d+) seconds", tolerance),
                            (r"a (\d+)-second ring", ring),
                            (r"ring \(([\d,]+) bytes", f"{ring * block_bytes:,}"),
                            (r"waits for it (\S+) seconds at most", stop)],
}
for path, expected_claims in claims.items():
    words = prose(path)
    for pattern, expected in expected_claims:
        found = re.findall(pattern, words)
        if not found:
            problems.append(f"{path} no longer says '{pattern}': reword this check with it")
        elif any(value != str(expected) for value in found):
            problems.append(f"{path} says {found} for '{pattern}', the recorder {expected}")

print("\n".join(problems) or f"--help, the manual and the notes agree; {version}, {date}")
sys.exit(1 if problems else 0)
