#!/usr/bin/env bash
# The host's command line: help, usage errors, messages and exit statuses,
# the input check and pipes.
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

no_file() { [ -e "$2" ] && { echo "FAIL: $1: $2 was created"; failures=$((failures + 1)); }; }

for form in "--help" "-h" "help" "help flange" "flange --help" "record -h" "help record"; do
    # shellcheck disable=SC2086
    "$pendrax" $form >"$work/out" 2>"$work/err"; check "pendrax $form" 0 $?
    expect_text "pendrax $form shows usage" "$work/out" "Usage: pendrax"
done
"$pendrax" --version >"$work/out"; check "--version" 0 $?
expect_text "--version" "$work/out" "1.0.0.1"
# Usage errors: one line, the pointer to the help, status 2, no file made.
cd "$work" || exit 1
for form in "" "frobnicate" "help frobnicate" "flange only-one.wav" "flange --bogus a.wav b.wav" \
            "flange a.wav b.wav c.wav" "record --help-me" "record a.wav --seconds 0" "record - extra"; do
    # shellcheck disable=SC2086
    "$pendrax" $form >"$work/out" 2>"$work/err"; check "usage error: '$form'" 2 $?
    [ "$(wc -l <"$work/err")" = 2 ] && [ ! -s "$work/out" ] && [ "$(ls "$work" | wc -l)" = 2 ] ||
        { echo "FAIL: '$form' did not give one line on stderr and nothing else"; cat "$work/err"; failures=$((failures + 1)); }
    expect_text "'$form' points to the help" "$work/err" "Try 'pendrax --help'."
done
cd - >/dev/null || exit 1

sox -n -r 8000 -c 1 -b 16 "$work/in.wav" synth 3 sine 440 || exit 1
"$pendrax" flange "$work/in.wav" "$work/out.wav" >"$work/out" 2>"$work/err"; check "flange" 0 $?
expect_text "module's line on stdout" "$work/out" "Flanger effect applied and saved to output.wav"
expect_text "real name and duration" "$work/err" "pendrax: wrote $work/out.wav (3.0 s)"

# Pipes: the same bytes as the file form, and nothing but the WAV on stdout.
"$pendrax" flange - - <"$work/in.wav" >"$work/piped.wav" 2>"$work/err"; check "flange - -" 0 $?
cmp -s "$work/piped.wav" "$work/out.wav" && echo "ok: pipes give the file form's bytes" ||
    { echo "FAIL: flange - - differs from the file form"; failures=$((failures + 1)); }
expect_text "module's line moved to stderr" "$work/err" "Flanger effect applied"
cat "$work/in.wav" | "$pendrax" flange - "$work/from-pipe.wav" 2>"$work/err" >/dev/null
cmp -s "$work/from-pipe.wav" "$work/out.wav" && echo "ok: a real pipe as input" ||
    { echo "FAIL: input from a pipe differs"; failures=$((failures + 1)); }

# Failures: the path, the system's reason, the status.
mkdir "$work/dir"
expect_failure() { # description, status, message, arguments...
    local description=$1 status=$2 message=$3; shift 3
    "$pendrax" flange "$@" >"$work/out" 2>"$work/err"; check "$description" "$status" $?
    expect_text "$description: message" "$work/err" "$message"
}
expect_failure "missing input" 1 "pendrax: cannot open input '$work/missing.wav': No such file or directory" \
    "$work/missing.wav" "$work/o.wav"
no_file "missing input" "$work/o.wav"
expect_failure "output in a missing folder" 1 "cannot open output '$work/no/o.wav': No such file or directory" \
    "$work/in.wav" "$work/no/o.wav"
expect_failure "output is a directory" 1 "cannot open output '$work/dir': Is a directory" "$work/in.wav" "$work/dir"
expect_failure "input is a directory" 1 "cannot read input '$work/dir': Is a directory" "$work/dir" "$work/o.wav"
expect_failure "output is input" 1 "the output '$work/in.wav' is the input file itself" "$work/in.wav" "$work/in.wav"
expect_failure "write failure" 3 "writing '/dev/full' failed: No space left on device" "$work/in.wav" /dev/full
if [ "$(id -u)" != 0 ]; then
    touch "$work/locked.wav"; chmod 0444 "$work/locked.wav"
    expect_failure "no permission" 1 "Permission denied" "$work/in.wav" "$work/locked.wav"
fi
expect_failure "option never a file" 2 "unknown option '-x.wav'" -x.wav "$work/o.wav"
expect_failure "-- ends the options" 1 "cannot open input '-x.wav'" -- -x.wav "$work/o.wav"

# The input check: refusals make no output and say how to convert.
sox -n -r 44100 -c 2 -b 16 "$work/stereo.wav" synth 1 sine 440
sox -n -r 8000 -c 1 -b 24 "$work/24bit.wav" synth 1 sine 440
python3 - "$work/in.wav" "$work/list.wav" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
body = b"WAVE" + data[12:36] + b"LIST" + struct.pack("<I", 192) + b"INFO" + bytes(188) + data[36:]
open(sys.argv[2], "wb").write(b"RIFF" + struct.pack("<I", len(body)) + body)
PY
for case in "stereo:2 channels" "24bit:24-bit" "list:chunk 'LIST' (192 bytes)"; do
    name=${case%%:*}
    expect_failure "$name refused" 4 "${case#*:}" "$work/$name.wav" "$work/$name-out.wav"
    expect_text "$name: conversion" "$work/err" "sox $work/$name.wav -r 8000 -c 1 -b 16 -e signed-integer"
    no_file "$name refused" "$work/$name-out.wav"
    "$pendrax" flange --force "$work/$name.wav" "$work/$name-forced.wav" >/dev/null 2>&1
    "$pendrax" flange - - --force <"$work/$name.wav" >"$work/$name-piped.wav" 2>/dev/null
    cmp -s "$work/$name-forced.wav" "$work/$name-piped.wav" && [ "$(stat -c %s "$work/$name-forced.wav")" -ge 44 ] ||
        { echo "FAIL: --force on $name"; failures=$((failures + 1)); }
done
"$pendrax" flange - "$work/o.wav" <"$work/stereo.wav" >/dev/null 2>"$work/err"; check "stdin refused" 4 $?
# --force is the module itself: a LIST file flanged as raw samples.
python3 - "$work/list.wav" "$work/list-forced.wav" <<'PY' || { echo "FAIL: --force is not the module's own output"; failures=$((failures + 1)); }
import sys
sys.exit(open(sys.argv[1], "rb").read()[:44] != open(sys.argv[2], "rb").read()[:44])
PY
sox -n -r 44100 -c 1 -b 16 "$work/44k.wav" synth 1 sine 440
expect_failure "another rate flanges" 0 "is at 44100 Hz; the flanger's sweep assumes 8000 Hz" \
    "$work/44k.wav" "$work/44k-out.wav"
expect_text "another rate: duration" "$work/err" "(1.0 s)"

"$pendrax" flange "$work/in.wav" "$work/bad-$(printf '\xff').wav" >"$work/out" 2>"$work/err"
check "invalid UTF-8 path" 2 $?
expect_text "invalid UTF-8 explained" "$work/err" "not valid UTF-8"
no_file "invalid UTF-8" "$work/bad-$(printf '\xff').wav"

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
