#!/usr/bin/env python3
"""The manual agrees with the program: its exit status table lists the
statuses `pendrax --help` lists, for the same commands, and its title
carries project()'s version and the date of debian/changelog's newest entry.
The README names no status or version of its own; it points to both.

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

print("\n".join(problems) or f"--help and the manual agree; {version}, {date}")
sys.exit(1 if problems else 0)
