#!/usr/bin/env bash
# The host's record command against the private sound server: usage errors,
# a failed start that leaves OUT alone, exact --seconds at any pace, streams,
# one recording per file, stops on SIGTERM and SIGHUP (not under nohup), a
# paused host, and recordings that stop growing (a file-size limit, the
# sound server's death).
set -u
pendrax=$1
work=$(mktemp -d)
player=
trap '[ -n "$player" ] && kill "$player" 2>/dev/null; rm -rf "$work"' EXIT
# shellcheck source=tests/host/checks.sh
source "$(dirname "$0")/checks.sh"
blocks_in() { echo $(( ($(stat -c %s "$1") - 44) / 16000 )); }
# The header's data size and the file's length agree on whole blocks.
header_matches() { [ "$(soxi -s "$1")" = $(( $(blocks_in "$1") * 8000 )) ] && [ $(( ($(stat -c %s "$1") - 44) % 16000 )) = 0 ]; }

"$pendrax" record >"$work/out" 2>"$work/err"; check "record without a path" 2 $?
"$pendrax" record "$work/a.wav" --seconds 0 >"$work/out" 2>"$work/err"; check "--seconds 0" 2 $?
"$pendrax" record "$work/a.wav" --seconds >"$work/out" 2>"$work/err"; check "--seconds without N" 2 $?
"$pendrax" record "$work/a.wav" "$work/b.wav" >"$work/out" 2>"$work/err"; check "two paths" 2 $?
[ -e "$work/a.wav" ] && { echo "FAIL: a usage error created a file"; failures=$((failures + 1)); }
"$pendrax" record "$work/missing/a.wav" --seconds 1 >"$work/out" 2>"$work/err"; check "file not created" 14 $?
expect_text "file failure explained" "$work/err" "cannot create output '$work/missing/a.wav': No such file or directory"
"$pendrax" record -D pendrax_no_such_device "$work/none.wav" --seconds 1 >"$work/out" 2>"$work/err"
check "no capture device" 11 $?
expect_text "device named" "$work/err" "the capture device 'pendrax_no_such_device' did not open"
# The environment names the device when -D does not, and is what is opened.
PENDRAX_CAPTURE_DEVICE=pendrax_env_device "$pendrax" record "$work/none.wav" --seconds 1 >"$work/out" 2>"$work/err"
check "device from the environment" 11 $?
expect_text "environment's device named" "$work/err" "the capture device 'pendrax_env_device' did not open"
# A failed start leaves an existing OUT as it was, and no file behind.
head -c 96044 /dev/urandom >"$work/precious.wav"; cp "$work/precious.wav" "$work/precious.copy"
"$pendrax" record -D pendrax_no_such_device "$work/precious.wav" >"$work/out" 2>"$work/err"
check "no capture device over a file" 11 $?
cmp -s "$work/precious.wav" "$work/precious.copy" && [ ! -e "$work/none.wav" ] && [ "$(ls "$work" | wc -l)" = 4 ] ||
    { echo "FAIL: a failed start changed or left files:"; ls -l "$work"; failures=$((failures + 1)); }
"$pendrax" record /dev/full >"$work/out" 2>"$work/err"; check "/dev/full" 14 $?
expect_text "/dev/full's reason" "$work/err" "writing '/dev/full' failed: No space left on device"
ln -s "$work/missing/x.wav" "$work/dangling"
"$pendrax" record "$work/dangling" >"$work/out" 2>"$work/err"; check "dangling link" 14 $?
expect_text "dangling link's reason" "$work/err" "cannot create output '$work/dangling': No such file or directory"
# A source far faster than real time stops at the asked length too.
"$pendrax" record -D null --seconds 2 "$work/null.wav" >"$work/out" 2>"$work/err"; check "-D null --seconds 2" 0 $?
[ "$(stat -c %s "$work/null.wav")" = 32044 ] && header_matches "$work/null.wav" ||
    { echo "FAIL: -D null --seconds 2 is not 2 blocks"; failures=$((failures + 1)); }
# A stream is written as blocks arrive, nothing kept aside, under the streamed sizes;
# a failed start writes nothing; a reader that goes ends it quietly, as SIGPIPE would.
TMPDIR=/nonexistent "$pendrax" record -qD null --seconds 2 - 2>"$work/err" | cat >"$work/null-stream.wav"
[ "$(stat -c %s "$work/null-stream.wav")" = 32044 ] && [ "$(od -An -tx1 -j40 -N4 "$work/null-stream.wav" | tr -d ' ')" = ffffffff ] &&
    [ ! -s "$work/err" ] || { echo "FAIL: -D null into a pipe"; cat "$work/err"; failures=$((failures + 1)); }
"$pendrax" record -qD pendrax_no_such_device - 2>/dev/null | cat >"$work/nothing"; check "failed start into a pipe" "11 0" "${PIPESTATUS[*]}"
[ ! -s "$work/nothing" ] || { echo "FAIL: a failed start wrote a header"; failures=$((failures + 1)); }
# A reader that holds the stream up: a warning at 3 s, then what the recorder lost, told, status 5.
"$pendrax" record -D null --seconds 200 - 2>"$work/err" | (sleep 4; cat >/dev/null); status=${PIPESTATUS[0]}
# The null device outruns the clock, so the stop may come while the reader
# still sleeps: then the recording ends held up (4) instead of finished (5).
# Either way the loss is told.
[ "$status" = 4 ] && grep -q "was still held up at the stop" "$work/err" && status=5
check "a stalled reader" 5 "$status"
expect_text "stall warned" "$work/err" "pendrax: warning: writing standard output has been held up for 3 s; recording goes on"
expect_text "loss told" "$work/err" "s lost (disk stalled)"
# ALSA's null device runs ahead of real time: with no write held up, it waits for the writer and loses nothing.
"$pendrax" record -qD null --seconds 200 /dev/null 2>"$work/err"; check "an unpaced device" 0 $?
[ ! -s "$work/err" ] || { echo "FAIL: an unpaced device printed"; cat "$work/err"; failures=$((failures + 1)); }
"$pendrax" record -D null - 2>"$work/err" | head -c 100 >/dev/null; check "a reader that goes" 141 "${PIPESTATUS[0]}"
[ ! -s "$work/err" ] || { echo "FAIL: a reader that goes printed"; cat "$work/err"; failures=$((failures + 1)); }

# The tone the timed recordings capture.
player=$("$(dirname "$0")/../support/start-tone" "$work/tone.wav" 20) || exit 1
"$pendrax" record "$work/timed.wav" --seconds 2 >"$work/out" 2>"$work/err"; check "record --seconds 2" 0 $?
expect_text "name and duration printed" "$work/err" "pendrax: wrote $work/timed.wav (2.0 s)"
# Exactly 2 blocks, ending in the tone rather than in silence.
peak=$(sox "$work/timed.wav" -n trim 1.95 stat 2>&1 | sed -n 's/^Maximum amplitude: *//p')
[ "$(blocks_in "$work/timed.wav")" = 2 ] && header_matches "$work/timed.wav" &&
    awk -v p="${peak:-0}" 'BEGIN { exit !(p > 0.3) }' ||
    { echo "FAIL: timed recording is not 2 blocks ending in the tone ($peak)"; failures=$((failures + 1)); }
# Stopped for 3.5 s, the recording goes on to its length.
"$pendrax" record "$work/paused.wav" --seconds 6 >"$work/out" 2>"$work/err" & recorder=$!
sleep 1.5; kill -STOP "$recorder"; sleep 3.5; kill -CONT "$recorder"
wait "$recorder"; check "paused by SIGSTOP" 0 $?
expect_text "paused recording completed" "$work/err" "pendrax: wrote $work/paused.wav (6.0 s)"
TMPDIR=/nonexistent "$pendrax" record - --seconds 3 2>"$work/err" | sox -t wav - "$work/stream.flac" 2>"$work/sox"
check "record - read by sox" "0 0" "${PIPESTATUS[*]}"
[ "$(soxi -s "$work/stream.flac")" = 24000 ] ||
    { echo "FAIL: sox did not read 3 s"; cat "$work/sox"; failures=$((failures + 1)); }

# A second recording into the same file is refused while the first runs.
"$pendrax" record "$work/two.wav" --seconds 3 >"$work/out" 2>"$work/err" & recorder=$!
sleep 1
"$pendrax" record "$work/two.wav" --seconds 1 >"$work/out2" 2>"$work/err2"; check "a second recording into one file" 15 $?
expect_text "second recording explained" "$work/err2" "cannot write '$work/two.wav': another pendrax is writing it"
wait "$recorder"; check "the first recording goes on" 0 $?
[ "$(blocks_in "$work/two.wav")" = 3 ] && header_matches "$work/two.wav" || { echo "FAIL: the first recording's file"; failures=$((failures + 1)); }
# Under nohup a hang-up is not a stop.
(trap '' HUP; exec "$pendrax" record "$work/nohup.wav" --seconds 3 >"$work/out" 2>"$work/err") & recorder=$!
sleep 1.5; kill -HUP "$recorder"; wait "$recorder"; check "SIGHUP ignored under nohup" 0 $?
expect_text "nohup: the whole length" "$work/err" "pendrax: wrote $work/nohup.wav (3.0 s)"

for signal in TERM HUP; do
    "$pendrax" record "$work/$signal.wav" >"$work/out" 2>"$work/err" & recorder=$!
    sleep 2.4
    kill -$signal "$recorder"; wait "$recorder"; check "stopped by SIG$signal" 0 $?
    count=$(sed -n 's/^pendrax: wrote .* (\([0-9]*\)\.0 s)$/\1/p' "$work/err")
    # The second in progress is kept: 2.4 s give 3 blocks, or 2 on a slow start.
    [ -n "$count" ] && [ "$count" -ge 2 ] && [ "$(blocks_in "$work/$signal.wav")" = "$count" ] &&
        header_matches "$work/$signal.wav" ||
        { echo "FAIL: SIG$signal left no finalised file ($count blocks printed)"; cat "$work/err"; failures=$((failures + 1)); }
done

# A file-size limit stops the file growing after two blocks: status 4, the
# reason within half a second of the third block's failed write, and a
# finished file.
begin=$(date +%s%N)
(ulimit -f 40; exec "$pendrax" record "$work/limit.wav" --seconds 20 >"$work/out" 2>"$work/err")
check "file-size limit" 4 $?
[ $(( ($(date +%s%N) - begin) / 1000000 )) -le 3700 ] || { echo "FAIL: the write failure was reported late"; failures=$((failures + 1)); }
expect_text "write failure explained" "$work/err" "writing '$work/limit.wav' failed: File too large; 2 one-second blocks kept"
header_matches "$work/limit.wav" || { echo "FAIL: the limited file's header"; failures=$((failures + 1)); }

# The sound server dies 3 s in: the host notices within 5 s, status 4.
"$pendrax" record "$work/lost.wav" --seconds 20 >"$work/out" 2>"$work/err" & recorder=$!
sleep 3
kill -KILL "$(cat "$PULSE_RUNTIME_PATH/pid")"; killed=$SECONDS
wait "$recorder"; check "capture lost" 4 $?
[ $((SECONDS - killed)) -le 5 ] || { echo "FAIL: took $((SECONDS - killed)) s to notice"; failures=$((failures + 1)); }
expect_text "capture loss explained" "$work/err" "pendrax: the capture device stopped;"
[ "$(wc -l <"$work/err")" = 1 ] || { echo "FAIL: more than the one line on stderr:"; cat "$work/err"; failures=$((failures + 1)); }
header_matches "$work/lost.wav" || { echo "FAIL: the lost recording's header"; failures=$((failures + 1)); }
# The other suites share the server: bring it back.
"$(dirname "$0")/../support/start-pulse" "$(dirname "$(dirname "$PULSE_RUNTIME_PATH")")" >/dev/null

finish
