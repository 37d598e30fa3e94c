#!/usr/bin/env bash
# The host's record command against the private sound server: usage errors,
# a timed recording, a stop on SIGTERM, no device, and recordings that stop
# growing (a file-size limit, the sound server's death).
set -u
pendrax=$1
work=$(mktemp -d)
player=
trap '[ -n "$player" ] && kill "$player" 2>/dev/null; rm -rf "$work"' EXIT
failures=0
check() { # description, expected status, actual status
    if [ "$2" != "$3" ]; then echo "FAIL: $1: expected exit $2, got $3"; failures=$((failures + 1));
    else echo "ok: $1"; fi
}
expect_text() { # description, file, text
    if grep -qF -- "$3" "$2"; then echo "ok: $1"; else echo "FAIL: $1: no '$3' in:"; cat "$2"; failures=$((failures + 1)); fi
}
blocks_in() { echo $(( ($(stat -c %s "$1") - 44) / 16000 )); }
# The header's data size and the file's length agree on whole blocks.
header_matches() { [ "$(soxi -s "$1")" = $(( $(blocks_in "$1") * 8000 )) ] && [ $(( ($(stat -c %s "$1") - 44) % 16000 )) = 0 ]; }

"$pendrax" record >"$work/out" 2>"$work/err"; check "record without a path" 2 $?
"$pendrax" record "$work/a.wav" --seconds 0 >"$work/out" 2>"$work/err"; check "--seconds 0" 2 $?
"$pendrax" record "$work/a.wav" --seconds >"$work/out" 2>"$work/err"; check "--seconds without N" 2 $?
"$pendrax" record "$work/a.wav" "$work/b.wav" >"$work/out" 2>"$work/err"; check "two paths" 2 $?
[ -e "$work/a.wav" ] && { echo "FAIL: a usage error created a file"; failures=$((failures + 1)); }
"$pendrax" record "$work/missing/a.wav" --seconds 1 >"$work/out" 2>"$work/err"; check "file not created" 14 $?
expect_text "file failure explained" "$work/err" "cannot create '$work/missing/a.wav': No such file or directory"
"$pendrax" record -D pendrax_no_such_device "$work/none.wav" --seconds 1 >"$work/out" 2>"$work/err"
check "no capture device" 11 $?
expect_text "device failure explained" "$work/err" "capture device did not open"
[ "$(stat -c %s "$work/none.wav")" = 44 ] || { echo "FAIL: no valid empty file"; failures=$((failures + 1)); }

# The tone the timed recordings capture.
player=$("$(dirname "$0")/../support/start-tone" "$work/tone.wav" 20) || exit 1
"$pendrax" record "$work/timed.wav" --seconds 2 >"$work/out" 2>"$work/err"; check "record --seconds 2" 0 $?
expect_text "name and duration printed" "$work/err" "pendrax: wrote $work/timed.wav (2.0 s)"
[ "$(blocks_in "$work/timed.wav")" = 2 ] && soxi "$work/timed.wav" >/dev/null ||
    { echo "FAIL: timed recording is not 2 blocks of valid WAV"; failures=$((failures + 1)); }

"$pendrax" record "$work/term.wav" >"$work/out" 2>"$work/err" & recorder=$!
sleep 2.4
kill -TERM "$recorder"; wait "$recorder"; check "stopped by SIGTERM" 0 $?
count=$(sed -n 's/^pendrax: wrote .* (\([0-9]*\)\.0 s)$/\1/p' "$work/err")
[ -n "$count" ] && [ "$count" -ge 1 ] && [ "$(blocks_in "$work/term.wav")" = "$count" ] &&
    [ "$(soxi -s "$work/term.wav")" = $((count * 8000)) ] ||
    { echo "FAIL: SIGTERM left no finalised file ($count blocks printed)"; cat "$work/err"; failures=$((failures + 1)); }

# A file-size limit stops the file growing after two blocks: status 4, the
# reason, and a finished file.
(ulimit -f 40; exec "$pendrax" record "$work/limit.wav" --seconds 20 >"$work/out" 2>"$work/err")
check "file-size limit" 4 $?
expect_text "write failure explained" "$work/err" "writing '$work/limit.wav' failed: File too large; 2 one-second blocks kept"
header_matches "$work/limit.wav" || { echo "FAIL: the limited file's header"; failures=$((failures + 1)); }

# The sound server dies 3 s in: the host notices within 5 s, status 4.
"$pendrax" record "$work/lost.wav" --seconds 20 >"$work/out" 2>"$work/err" & recorder=$!
sleep 3
kill -KILL "$(cat "$PULSE_RUNTIME_PATH/pid")"; killed=$SECONDS
wait "$recorder"; check "capture lost" 4 $?
[ $((SECONDS - killed)) -le 5 ] || { echo "FAIL: took $((SECONDS - killed)) s to notice"; failures=$((failures + 1)); }
expect_text "capture loss explained" "$work/err" "pendrax: no audio arrived for 3 s; the capture device stopped;"
[ "$(wc -l <"$work/err")" = 1 ] || { echo "FAIL: more than the one line on stderr:"; cat "$work/err"; failures=$((failures + 1)); }
header_matches "$work/lost.wav" || { echo "FAIL: the lost recording's header"; failures=$((failures + 1)); }
# The other suites share the server: bring it back.
"$(dirname "$0")/../support/start-pulse" "$(dirname "$(dirname "$PULSE_RUNTIME_PATH")")" >/dev/null

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
