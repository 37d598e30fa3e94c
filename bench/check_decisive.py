#!/usr/bin/env python3
"""check_decisive.py ORACLE CHECK...: compares a build's delays at the
sine's zeros (CHECK, delay-check --decisive, run through any emulator it
names) with the oracle's (ORACLE: the delay-oracle program, or a file it
wrote). Exits 77 (skipped) when no oracle is given."""
import os
import subprocess
import sys


def main():
    oracle, check = sys.argv[1], sys.argv[2:]
    if not oracle or not os.path.exists(oracle):
        print(f"skipped: no delay oracle at {oracle!r} (the native tree makes it)")
        return 77
    if os.access(oracle, os.X_OK):
        expected = subprocess.run([oracle], check=True, capture_output=True, text=True).stdout
    else:
        with open(oracle, encoding="ascii") as file:
            expected = file.read()
    result = subprocess.run(check + ["--decisive"], capture_output=True, text=True)
    sys.stderr.write(result.stderr[:4000])
    want, got = expected.split("\n"), result.stdout.replace("\r", "").split("\n")
    wrong = [(w, g) for w, g in zip(want, got) if w != g]
    for w, g in wrong[:20]:
        print(f"oracle says {w}, the build says {g}")
    lows = sum(1 for line in want if line.endswith(" 19"))
    print(f"{len(want) - 1} decisive positions ({lows} with delay 19): "
          f"{len(wrong)} differ, {len(got) - len(want)} extra lines, status {result.returncode}")
    return 0 if not wrong and len(want) == len(got) and result.returncode == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
