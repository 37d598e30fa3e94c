#!/usr/bin/env bash
# The host's command line: help, usage errors, messages and exit statuses,
# the input check and pipes.
set -u
pendrax=$1
version=$2  # project()'s, from CMake
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck source=tests/host/checks.sh
source "$(dirname "$0")/checks.sh"

no_file() { [ -e "$2" ] && { echo "FAIL: $1: $2 was created"; failures=$((failures + 1)); }; }

for form in "--help" "-h" "help" "help flange" "flange --help" "record -h" "help record"; do
    # shellcheck disable=SC2086
    "$pendrax" $form >"$work/out" 2>"$work/err"; check "pendrax $form" 0 $?
    expect_text "pendrax $form shows usage" "$work/out" "Usage: pendrax"
done
"$pendrax" --version >"$work/out"; check "--version" 0 $?
expect_text "--version" "$work/out" "pendrax $version"
for form in "--help" "--vers" "help flange"; do
    # shellcheck disable=SC2086
    "$pendrax" $form >/dev/full 2>"$work/err"; check "$form into a full disk" 3 $?
    expect_text "$form: write error" "$work/err" "pendrax: write error: No space left on device"
done
# Usage errors: one line, the pointer to the help, status 2, no file made.
cd "$work" || exit 1
for form in "" "frobnicate" "help frobnicate" "flange --force=yes a.wav b.wav" "record -qx a.wav" "flange only-one.wav" "flange --bogus a.wav b.wav" \
            "flange a.wav b.wav c.wav" "record --help-me" "record a.wav --seconds 0" "record - extra"; do
    # shellcheck disable=SC2086
    "$pendrax" $form >"$work/out" 2>"$work/err"; check "usage error: '$form'" 2 $?
    [ "$(wc -l <"$work/err")" = 2 ] && [ ! -s "$work/out" ] && [ "$(ls "$work" | wc -l)" = 2 ] ||
        { echo "FAIL: '$form' did not give one line on stderr and nothing else"; cat "$work/err"; failures=$((failures + 1)); }
    expect_text "'$form' points to the help" "$work/err" "Try 'pendrax --help'."
done
for value in " 3" "3 " "+3" "3.0"; do  # --seconds takes digits alone
    "$pendrax" record --seconds "$value" a.wav >/dev/null 2>&1; check "--seconds '$value'" 2 $?
done
cd - >/dev/null || exit 1

sox -n -r 8000 -c 1 -b 16 "$work/in.wav" synth 3 sine 440 || exit 1
"$pendrax" flange "$work/in.wav" "$work/out.wav" >"$work/out" 2>"$work/err"; check "flange" 0 $?
[ ! -s "$work/out" ] && echo "ok: nothing on stdout" || { echo "FAIL: flange printed on stdout"; failures=$((failures + 1)); }
expect_text "real name and duration" "$work/err" "pendrax: wrote $work/out.wav (3.0 s)"

# Pipes: the same bytes as the file form, and nothing but the WAV on stdout.
"$pendrax" flange - - <"$work/in.wav" >"$work/piped.wav" 2>"$work/err"; check "flange - -" 0 $?
cmp -s "$work/piped.wav" "$work/out.wav" && echo "ok: pipes give the file form's bytes" ||
    { echo "FAIL: flange - - differs from the file form"; failures=$((failures + 1)); }
expect_text "stream named" "$work/err" "pendrax: wrote standard output (3.0 s)"
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
expect_failure "output in a missing folder" 1 "cannot create output '$work/no/o.wav': No such file or directory" \
    "$work/in.wav" "$work/no/o.wav"
expect_failure "output is a directory" 1 "cannot open output '$work/dir': Is a directory" "$work/in.wav" "$work/dir"
expect_failure "input is a directory" 3 "cannot read input '$work/dir': Is a directory" "$work/dir" "$work/o.wav"
expect_failure "output is input" 1 "the output '$work/in.wav' is the input file itself" "$work/in.wav" "$work/in.wav"
cp "$work/in.wav" "$work/same.wav"
"$pendrax" flange - "$work/same.wav" <"$work/same.wav" 2>"$work/err"; check "stdin is OUT" 1 $?
cmp -s "$work/same.wav" "$work/in.wav" && expect_text "stdin is OUT: said" "$work/err" "is the input file itself"
"$pendrax" flange "$work/in.wav" /dev/stdout >"$work/f.wav" 2>/dev/null; check "/dev/stdout into a file" 0 $?
cmp -s "$work/f.wav" "$work/out.wav" || { echo "FAIL: /dev/stdout into a file"; failures=$((failures + 1)); }
printf 'earlier' >"$work/f.wav"; "$pendrax" -q flange "$work/in.wav" - >>"$work/f.wav"
[ "$(head -c 7 "$work/f.wav")" = earlier ] && cmp -s <(tail -c +8 "$work/f.wav") "$work/out.wav" && echo "ok: >> appends" ||
    { echo "FAIL: >> did not append"; failures=$((failures + 1)); }
"$pendrax" flange "$work/in.wav" "$work/full.wav" >/dev/full 2>/dev/null; check "a full stdout does not matter" 0 $?
long=$(printf 'a%.0s' $(seq 246)).wav
"$pendrax" flange "$work/in.wav" "$work/$long" 2>/dev/null; check "a 250-byte name" 0 $?
expect_failure "write failure" 3 "writing '/dev/full' failed: No space left on device" "$work/in.wav" /dev/full
if [ "$(id -u)" != 0 ]; then
    touch "$work/locked.wav"; chmod 0444 "$work/locked.wav"
    expect_failure "no permission" 1 "Permission denied" "$work/in.wav" "$work/locked.wav"
    mkdir "$work/ro"; chmod 0555 "$work/ro"
    expect_failure "read-only folder" 1 "cannot create output '$work/ro/o.wav' in its folder: Permission denied" "$work/in.wav" "$work/ro/o.wav"
fi
expect_failure "option never a file" 2 "unknown option '-x' in '-x.wav'" -x.wav "$work/o.wav"
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
    expect_text "$name: --force explained" "$work/err" "with --force: the flanger then copies its first 44 bytes"
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
check "a name that is not UTF-8" 0 $?

# Inputs read once: each pipe form gives the file form's bytes.
same() { cmp -s "$2" "$3" && echo "ok: $1" || { echo "FAIL: $1: $2 differs from $3"; failures=$((failures + 1)); }; }
ref=$work/out.wav
cat "$work/in.wav" | "$pendrax" flange /dev/stdin "$work/p1.wav" >/dev/null 2>&1; check "/dev/stdin" 0 $?
same "/dev/stdin" "$work/p1.wav" "$ref"
"$pendrax" flange <(cat "$work/in.wav") "$work/p2.wav" >/dev/null 2>&1; same "process substitution" "$work/p2.wav" "$ref"
mkfifo "$work/fifo"; cat "$work/in.wav" >"$work/fifo" &
timeout 20 "$pendrax" flange "$work/fifo" "$work/p3.wav" >/dev/null 2>&1; same "a FIFO" "$work/p3.wav" "$ref"
cat "$work/in.wav" >"$work/fifo" &
timeout 20 "$pendrax" flange "$work/fifo" "$work/no/o.wav" >/dev/null 2>&1; check "a FIFO into a missing folder" 1 $?
cat "$work/in.wav" | "$pendrax" flange --for /dev/stdin "$work/p4.wav" >/dev/null 2>&1; same "--for(ce) from a pipe" "$work/p4.wav" "$ref"
"$pendrax" -q flange - "$work/p5.wav" <"$work/in.wav" >"$work/out" 2>"$work/err"
[ ! -s "$work/out" ] && [ ! -s "$work/err" ] && echo "ok: -q prints nothing" || { echo "FAIL: -q printed"; failures=$((failures + 1)); }
# Each standard descriptor in each state: status, then what the output holds
# (the flange's bytes, or nothing) and what stderr says. A descriptor
# positioned past its start is taken from where it stands.
printf 'abcdefghijkl' >"$work/at12.wav"; cat "$work/in.wav" >>"$work/at12.wav"
terminal() { script -qec "$1" /dev/null </dev/null >"$work/tty" 2>&1; }
while IFS='|' read -r what status made said command; do
    case $command in terminal*) command -v script >/dev/null || { echo "skip: $what: no script(1) for a terminal"; continue; } ;; esac
    rm -f "$work/std.wav"
    (cd "$work" && eval "$command") 2>"$work/err"; check "$what" "$status" $?
    [ "$made" = - ] || same "$what: output" "$work/$made" "$ref"
    [ -z "$said" ] || expect_text "$what: said" "$work/err" "$said"
done <<'TABLE'
stdin closed|3|-|cannot read input standard input: Bad file descriptor|"$pendrax" flange - std.wav <&-
stdin positioned past its start|0|std.wav||{ dd bs=12 count=1 of=/dev/null 2>/dev/null; "$pendrax" flange - std.wav; } <at12.wav
stdin a pipe|0|std.wav||cat in.wav | "$pendrax" flange - std.wav
stdin a file|0|std.wav||"$pendrax" flange - std.wav <in.wav
stdin a terminal|0|-||terminal "'$pendrax' flange - std.wav; test \$? = 4"
stdout closed|3|-|writing standard output failed: Bad file descriptor|"$pendrax" flange in.wav - >&-
stdout positioned past its start|0|std.wav||{ printf 'abcdefghijkl'; "$pendrax" flange in.wav -; } >pos.wav && tail -c +13 pos.wav >std.wav
stdout a pipe|0|std.wav||"$pendrax" flange in.wav - | cat >std.wav
stdout a file|0|std.wav||"$pendrax" flange in.wav - >std.wav
stdout a terminal|0|-||terminal "'$pendrax' flange in.wav -"
stderr closed|0|std.wav||"$pendrax" flange in.wav std.wav 2>&-
TABLE

# A name cannot forge a line: its newline is shown escaped.
"$pendrax" flange $'no.wav\npendrax: wrote x.wav (1.0 s)' "$work/x.wav" 2>"$work/err"; check "a name with a newline" 1 $?
[ "$(wc -l <"$work/err")" = 1 ] && expect_text "the newline escaped" "$work/err" "input 'no.wav'\$'\\n''pendrax: wrote"
# A reader that closes early ends the flange quietly with 141.
sox -n -r 8000 -c 1 -b 16 "$work/long.wav" synth 120 sine 440
"$pendrax" flange "$work/long.wav" - 2>"$work/err" | head -c 100 >/dev/null; check "closed pipe" 141 "${PIPESTATUS[0]}"
[ ! -s "$work/err" ] || { echo "FAIL: closed pipe printed"; cat "$work/err"; failures=$((failures + 1)); }

# A flange fed through a FIFO held open here, so that it waits for more
# input with OUT open: the state each signal below arrives in.
mkfifo "$work/feed"
flange_waiting() { # OUT; leaves pid set and fd 7 open
    env --default-signal "$pendrax" flange - "$1" <"$work/feed" >/dev/null 2>"$work/err" &
    pid=$!; exec 7>"$work/feed"; cat "$work/in.wav" >&7
    local tries
    for tries in $(seq 600); do  # polls a condition; the bound only ends a hung run
        ls -l "/proc/$pid/fd" 2>/dev/null | grep -qF -e "$(basename "$1")" -e "(deleted)" &&
            grep -q '^State:.*S' "/proc/$pid/status" && return 0
        sleep 0.05
    done
}
# An interrupt removes the incomplete output and says so.
for case in INT:130 TERM:143 HUP:129; do
    flange_waiting "$work/cut.wav"; kill -"${case%:*}" "$pid"; wait "$pid"; check "SIG${case%:*}" "${case#*:}" $?; exec 7>&-
    no_file "SIG${case%:*}" "$work/cut.wav"
    expect_text "SIG${case%:*}: said" "$work/err" "interrupted; '$work/cut.wav' was left as it was"
done
# A signal once OUT is whole (the host then telling so into a full pipe) keeps it.
mkfifo "$work/full"; exec 8<>"$work/full"; head -c 65536 /dev/zero >&8
"$pendrax" flange "$work/in.wav" "$work/whole.wav" 2>"$work/full" & pid=$!
for tries in $(seq 600); do cmp -s "$work/whole.wav" "$ref" && break; sleep 0.05; done
kill -TERM "$pid"; head -c 65536 <&8 >/dev/null; wait "$pid"; check "SIGTERM once written" 143 $?; exec 8>&-
same "SIGTERM once written" "$work/whole.wav" "$ref"
# Every signal that ends a process, caught or not: OUT as it was, nothing beside it.
mkdir "$work/sig"; cp "$work/in.wav" "$work/sig/keep.wav"
for signal in HUP INT QUIT ILL TRAP ABRT BUS FPE KILL USR1 SEGV USR2 ALRM TERM STKFLT XCPU VTALRM PROF IO PWR SYS RTMIN RTMAX; do
    # A sanitizer's own handlers would turn SEGV, BUS and FPE into its report.
    (ulimit -c 0; export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}handle_segv=0:handle_sigbus=0:handle_sigfpe=0"
        flange_waiting "$work/sig/keep.wav"; kill -"$signal" "$pid"; wait "$pid" 2>/dev/null; exit $?) 2>/dev/null
    status=$?; check "SIG$signal during a flange" $((128 + $(kill -l "$signal"))) "$status"
    cmp -s "$work/sig/keep.wav" "$work/in.wav" && [ "$(ls -A "$work/sig")" = keep.wav ] ||
        { echo "FAIL: SIG$signal left: $(ls -A "$work/sig")"; failures=$((failures + 1)); }
done
# Through a link, the file it names is replaced, interrupted or not; the link stays.
cp "$work/in.wav" "$work/target.wav"; ln -s target.wav "$work/link.wav"
flange_waiting "$work/link.wav"; kill -INT "$pid"; wait "$pid"; exec 7>&-
cmp -s "$work/target.wav" "$work/in.wav" && [ -L "$work/link.wav" ] || { echo "FAIL: interrupted into a link"; failures=$((failures + 1)); }
"$pendrax" flange "$work/in.wav" "$work/link.wav" 2>/dev/null
[ -L "$work/link.wav" ] && same "a flange into a link" "$work/target.wav" "$ref"

# OUT with other hard links is refused (a replacement would split them);
# --force replaces that name alone.
cp "$work/in.wav" "$work/linked.wav"; ln "$work/linked.wav" "$work/other.wav"
expect_failure "OUT with another link" 1 "has 1 other hard link" "$work/in.wav" "$work/linked.wav"
cmp -s "$work/linked.wav" "$work/in.wav" || { echo "FAIL: a linked OUT was changed"; failures=$((failures + 1)); }
"$pendrax" flange --force "$work/in.wav" "$work/linked.wav" 2>/dev/null; same "--force over a link" "$work/linked.wav" "$ref"
# Another user's 0666 file in a sticky folder cannot be replaced: said at once, nothing made.
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null; then
    chmod 0711 "$work"; mkdir -m 1777 "$work/sticky"; cp "$work/in.wav" "$work/sticky/theirs.wav"; chmod 0666 "$work/sticky/theirs.wav"
    # A sanitizer's reports go where that user can write them.
    ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:log_path=stderr} UBSAN_OPTIONS=${UBSAN_OPTIONS:+$UBSAN_OPTIONS:log_path=stderr} \
        LSAN_OPTIONS=${LSAN_OPTIONS:+$LSAN_OPTIONS:log_path=stderr} setpriv --reuid=65534 --regid=65534 --clear-groups "$pendrax" flange "$work/in.wav" "$work/sticky/theirs.wav" 2>"$work/err"
    check "a sticky folder" 1 $?; expect_text "a sticky folder: said" "$work/err" "its folder is sticky"
    cmp -s "$work/sticky/theirs.wav" "$work/in.wav" && [ "$(ls -A "$work/sticky")" = theirs.wav ] ||
        { echo "FAIL: a sticky folder: $(ls -A "$work/sticky")"; failures=$((failures + 1)); }
else
    echo "skip: a sticky folder: needs root and setpriv to act as another user"
fi
# Wrong sizes are named and mended; what follows the data is refused.
python3 - "$work" <<'PY'
import struct, sys
d = open(sys.argv[1] + "/in.wav", "rb").read()
def make(name, riff, data, body=d[44:], tail=b""):
    open(sys.argv[1] + "/" + name, "wb").write(d[:4] + struct.pack("<I", riff) + d[8:40] + struct.pack("<I", data) + body + tail)
make("zero.wav", 0, 0); make("ph.wav", 0xFFFFFFFF, 0xFFFFFFFF); make("ph7.wav", 0x7FFFF024, 0x7FFFF000)
make("cut.wav", len(d) - 8, len(d) - 44, d[44:10044])
make("tail.wav", len(d) + 18, len(d) - 44, tail=b"LIST" + struct.pack("<I", 10) + b"INFOabcdef")
make("id3.wav", len(d) - 8, len(d) - 44, tail=b"ID3\x03" + bytes(20))
make("odd.wav", 36 + 1025, 1025, d[44:44 + 1025])
open(sys.argv[1] + "/huge-list.wav", "wb").write(b"RIFF" + struct.pack("<I", 76) + b"WAVE" + d[12:36] + b"LIST" + struct.pack("<I", 0xFFFFFFF8) + bytes(40))
PY
timeout 10 "$pendrax" flange "$work/huge-list.wav" "$work/o.wav" 2>/dev/null; check "a chunk that claims 4 GB" 4 $?
for case in "zero:a data size of 0" "ph:placeholder size (0xFFFFFFFF)" "ph7:placeholder size (0x7FFFF000)"; do
    name=${case%%:*}
    "$pendrax" flange "$work/$name.wav" "$work/$name-o.wav" >/dev/null 2>"$work/err"
    expect_text "$name: named" "$work/err" "${case#*:}"
    same "$name: mended file" "$work/$name-o.wav" "$ref"
    "$pendrax" flange - "$work/$name-s.wav" <"$work/$name.wav" >/dev/null 2>&1; same "$name: mended from a stream" "$work/$name-s.wav" "$ref"
    "$pendrax" flange - - <"$work/$name.wav" 2>/dev/null | sox -t wav - -n stat 2>"$work/stat"
    expect_text "$name: sox reads the stream's samples" "$work/stat" "Samples read:             24000"
done
# An odd data size: the output's header gives what the output holds.
for form in '"$work/odd.wav" "$work/odd-o.wav"' '- "$work/odd-o.wav" <"$work/odd.wav"' '- - <"$work/odd.wav" >"$work/odd-o.wav"'; do
    eval "\"\$pendrax\" flange $form" 2>/dev/null
    data=$(od -An -tu4 -j40 -N4 "$work/odd-o.wav" | tr -d ' '); held=$(($(wc -c <"$work/odd-o.wav") - 44))
    [ "$data" = 1024 ] && [ "$held" = 1024 ] && echo "ok: odd size, $form" || { echo "FAIL: odd size, $form: header $data, holds $held"; failures=$((failures + 1)); }
done
"$pendrax" flange "$work/cut.wav" "$work/cut-o.wav" >/dev/null 2>"$work/err"
expect_text "cut short: named" "$work/err" "gives 48000 bytes of samples, but the file holds 10000"
expect_text "cut short: what sox reads" "$work/err" "(0.62 s)"
sox "$work/cut-o.wav" -n stat 2>"$work/stat"; expect_text "cut short: mended" "$work/stat" "Samples read:              5000"
for case in "tail:chunk 'LIST' (10 bytes) after the data" "id3:an ID3 tag after the data"; do
    name=${case%%:*}
    expect_failure "$name refused" 4 "${case#*:}" "$work/$name.wav" "$work/$name-o.wav"
    expect_text "$name: conversion" "$work/err" "sox $work/$name.wav -r 8000"
    no_file "$name refused" "$work/$name-o.wav"
done
cat "$work/tail.wav" | "$pendrax" flange - "$work/tail-s.wav" >/dev/null 2>"$work/err"
expect_text "stream: tail left out" "$work/err" "chunk 'LIST' (10 bytes) after the data was left out"
same "stream: tail left out" "$work/tail-s.wav" "$ref"
"$pendrax" flange --force "$work/tail.wav" "$work/tail-f.wav" >/dev/null 2>&1
[ "$(stat -c %s "$work/tail-f.wav")" = "$(stat -c %s "$work/tail.wav")" ] && echo "ok: --force flanges the tail" ||
    { echo "FAIL: --force on a tail"; failures=$((failures + 1)); }
# sox commands only where sox reads the input, safe for a leading '-'.
cp "$work/stereo.wav" "$work/-dash.wav"; printf 'text\n' >"$work/t.txt"
(cd "$work" && "$pendrax" flange -- -dash.wav o.wav 2>"$work/err"); expect_text "-dash" "$work/err" "sox ./-dash.wav -r 8000 -c 1 -b 16 -e signed-integer ./-dash-8000.wav"
"$pendrax" flange "$work/t.txt" "$work/o.wav" 2>"$work/err"; grep -q "sox" "$work/err" && { echo "FAIL: sox for a text file"; failures=$((failures + 1)); }
"$pendrax" flange /dev/stdin "$work/o.wav" <"$work/stereo.wav" 2>"$work/err"; expect_text "stream's name" "$work/err" "signed-integer converted.wav"

finish
