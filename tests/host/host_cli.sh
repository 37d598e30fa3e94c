#!/usr/bin/env bash
# The host's command line: help, version, usage errors and exit statuses.
set -u
pendrax=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() { # description, expected status, actual status
    if [ "$2" != "$3" ]; then echo "FAIL: $1: expected exit $2, got $3"; failures=$((failures + 1));
    else echo "ok: $1"; fi
}
expect_text() { # description, file, text
    if grep -qF -- "$3" "$2"; then echo "ok: $1"; else echo "FAIL: $1: no '$3' in:"; cat "$2"; failures=$((failures + 1)); fi
}

"$pendrax" --help >"$work/out" 2>"$work/err"; check "--help" 0 $?
expect_text "--help shows usage" "$work/out" "pendrax flange IN.wav OUT.wav"
"$pendrax" --version >"$work/out"; check "--version" 0 $?
expect_text "--version" "$work/out" "1.0.0.1"
"$pendrax" >"$work/out" 2>"$work/err"; check "no command" 2 $?
expect_text "usage on stderr" "$work/err" "Usage:"
"$pendrax" frobnicate >"$work/out" 2>"$work/err"; check "unknown command" 2 $?
expect_text "unknown command named" "$work/err" "frobnicate"
"$pendrax" flange only-one.wav >"$work/out" 2>"$work/err"; check "missing argument" 2 $?
[ -s "$work/out" ] && { echo "FAIL: usage went to stdout"; failures=$((failures + 1)); }

sox -n -r 8000 -c 1 -b 16 "$work/in.wav" synth 0.5 sine 440 || exit 1
"$pendrax" flange "$work/in.wav" "$work/out.wav" >"$work/out"; check "flange" 0 $?
expect_text "success message" "$work/out" "Flanger effect applied and saved to output.wav"
"$pendrax" flange "$work/missing.wav" "$work/o.wav" >"$work/out"; check "missing input" 1 $?
expect_text "open failure message" "$work/out" "Failed to open input file."
"$pendrax" flange "$work/in.wav" "$work/in.wav" >"$work/out"; check "output is input" 1 $?
"$pendrax" flange "$work/in.wav" /dev/full >"$work/out"; check "write failure" 3 $?
expect_text "write failure message" "$work/out" "Failed to write output file."
"$pendrax" flange "$work/in.wav" "$work/bad-$(printf '\xff').wav" >"$work/out" 2>"$work/err"
check "invalid UTF-8 path" 2 $?
expect_text "invalid UTF-8 explained" "$work/err" "not valid UTF-8"
[ -e "$work/bad-$(printf '\xff').wav" ] && { echo "FAIL: a mangled name was created"; failures=$((failures + 1)); }

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
