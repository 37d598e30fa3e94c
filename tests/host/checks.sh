# shellcheck shell=bash
# The host suites' checks, sourced: each prints ok or FAIL and counts the
# failures; a suite ends with finish.
failures=0
check() { # description, expected status, actual status
    if [ "$2" != "$3" ]; then echo "FAIL: $1: expected exit $2, got $3"; failures=$((failures + 1));
    else echo "ok: $1"; fi
}
expect_text() { # description, file, text
    if grep -qF -- "$3" "$2"; then echo "ok: $1"; else echo "FAIL: $1: no '$3' in:"; cat "$2"; failures=$((failures + 1)); fi
}
finish() {
    echo "$failures failure(s)"
    [ "$failures" -eq 0 ]
}
