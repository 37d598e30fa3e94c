#!/usr/bin/env python3
"""The documents agree with the program: the exit status tables of
`pendrax --help`, the manual and the README (when it has one) list the same
statuses for the same commands, and the manual's title carries project()'s
version and the date of debian/changelog's newest entry.

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


def readme_table():
    # A table whose header names the exit status: | command | exit status | meaning |
    rows, inside = [], False
    for line in open(f"{source}/README.md", encoding="utf-8"):
        cells = [cell.strip(" `") for cell in line.strip().strip("|").split("|")]
        if line.startswith("|") and "exit status" in cells:
            inside, column = True, cells.index("exit status")
        elif inside and line.startswith("|") and not set(line) <= set("|-: \n"):
            rows += [(int(code), cells[0]) for code in re.findall(r"\d+", cells[column])]
        elif inside and not line.startswith("|"):
            break
    return sorted(rows) or None


manual = open(f"{source}/docs/pendrax.1", encoding="utf-8").read().splitlines()
expected = help_table()
for name, table in (("the manual", manual_table(manual)), ("README.md", readme_table())):
    if table is not None and table != expected:
        missing = [row for row in expected if row not in table]
        extra = [row for row in table if row not in expected]
        problems.append(f"{name}'s exit statuses lack {missing} and add {extra}, against --help's")

title = re.match(r'\.TH \S+ \d+ (\S+) "PendraxWAVFlanger ([^"]+)"', manual[0])
with open(f"{source}/debian/changelog", encoding="utf-8") as changelog:
    newest = next(line for line in changelog if line.startswith(" -- "))
date = email.utils.parsedate_to_datetime(newest.split(">", 1)[1].strip()).date().isoformat()
if not title or title[2] != version:
    problems.append(f"the manual's title '{manual[0]}' does not carry version {version}")
if not title or title[1] != date:
    problems.append(f"the manual's title '{manual[0]}' is not dated {date}, the changelog's")

print("\n".join(problems) or f"--help, the manual and README.md agree; {version}, {date}")
sys.exit(1 if problems else 0)
