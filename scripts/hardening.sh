# shellcheck shell=bash
# Sanitizer trees, fuzzers and static checks for ./run (sourced by it; uses
# its ROOT, BUILD_ROOT, WERROR, JOBS, say and need).

# The clang release the Debian release makes its default (14 on Debian 12,
# 19 on Debian 13): its clang, libFuzzer, clang-tidy and clang-format.
# PENDRAX_CLANG_VERSION chooses another.
CLANG_VERSION=${PENDRAX_CLANG_VERSION:-}
clang_version() {
    [ -z "$CLANG_VERSION" ] || return 0
    local attempt
    for attempt in lists updated; do
        CLANG_VERSION=$(apt-cache depends clang 2>/dev/null |
            sed -n 's/^ *Depends: clang-\([0-9][0-9]*\)$/\1/p' | head -n 1)
        [ -n "$CLANG_VERSION" ] && return 0
        [ "$attempt" = lists ] && [ "$APT_UPDATED" -eq 0 ] && apt_update
    done
    echo "lint: the release names no default clang (apt-cache depends clang)" >&2
    return 1
}

need_hardening_tools() {
    clang_version
    need "clang-$CLANG_VERSION" "libclang-rt-$CLANG_VERSION-dev" "libfuzzer-$CLANG_VERSION-dev" \
        "clang-tidy-$CLANG_VERSION" "clang-format-$CLANG_VERSION" cppcheck
}

# Every report stops the process with a failure, and is also written to a
# file: a report from a child process whose failure a test expects still
# fails the run.
sanitizer_options() { # reports-directory
    local common="halt_on_error=1:abort_on_error=0:exitcode=66:log_path=$1/report"
    export ASAN_OPTIONS="$common:detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1:detect_invalid_pointer_pairs=1"
    export UBSAN_OPTIONS="$common:print_stacktrace=1"
    export TSAN_OPTIONS="$common:second_deadlock_stack=1"
    export LSAN_OPTIONS="$common"
}

build_sanitized() { # tree, address|thread
    say "building the $2-sanitizer tree"
    cmake -S "$ROOT" -B "$BUILD_ROOT/$1" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DPENDRAX_WERROR="$WERROR" -DPENDRAX_SANITIZE="$2" >/dev/null
    cmake --build "$BUILD_ROOT/$1" -j "$JOBS"
}

# Runs ctest in a sanitizer tree with the given selection; fails on a failed
# test or on any report written.
test_sanitized() { # tree, ctest arguments...
    local tree=$BUILD_ROOT/$1 reports=$BUILD_ROOT/$1/sanitizer-reports status=0
    shift
    rm -rf "$reports" && mkdir -p "$reports"
    (sanitizer_options "$reports" && ctest --test-dir "$tree" --output-on-failure -j "$JOBS" "$@") ||
        status=$?
    if compgen -G "$reports/*" >/dev/null; then
        cat "$reports"/*
        echo "sanitizer reports in $reports" >&2
        status=1
    fi
    return "$status"
}

cmd_sanitize() {
    need_build_tools
    build_sanitized asan address
    say "every suite under AddressSanitizer and UndefinedBehaviorSanitizer"
    # The install check builds an uninstrumented C program against the
    # module, which an ASan library cannot be loaded into.
    test_sanitized asan -LE '^install$'
    build_sanitized tsan thread
    say "recorder, capture, module, flanger and platform suites, and the sound server's, under ThreadSanitizer"
    test_sanitized tsan -L '^(recorder|capture|module|flanger|platform|sound-server)$'
}

FUZZ_TARGETS=(wavflanger kernel widepath wavwalk)
# Longest input per target: several 1024-sample blocks; a count past 8192
# samples; paths well past the longest file name.
declare -A FUZZ_MAX_LEN=([wavflanger]=12288 [kernel]=20000 [widepath]=8192 [wavwalk]=8192)

configure_fuzzers() {
    need_build_tools
    need_hardening_tools
    CC="clang-$CLANG_VERSION" CXX="clang++-$CLANG_VERSION" cmake -S "$ROOT" -B "$BUILD_ROOT/fuzz" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPENDRAX_WERROR="$WERROR" -DPENDRAX_BUILD_FUZZERS=ON \
        -DPENDRAX_BUILD_TESTS=OFF -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
}

build_fuzzers() {
    configure_fuzzers
    say "building the fuzzers (clang, libFuzzer, ASan, UBSan)"
    cmake --build "$BUILD_ROOT/fuzz" -j "$JOBS" --target pendrax_fuzzers
}

# Runs every fuzzer for SECONDS, one after the other. Each starts from the
# generated seeds, the corpus it grew before (kept in the build tree) and the
# checked-in regressions; a finding stops the run and names the saved input.
cmd_fuzz() { # [SECONDS]
    local seconds=${1:-600} tree=$BUILD_ROOT/fuzz target log scratch=${TMPDIR:-/tmp}
    build_fuzzers
    rm -rf "$tree/seeds" && "$ROOT/fuzz/make-corpus" "$tree/seeds"
    # The file targets are bound by file system calls: memory is ten times faster.
    [ -d /dev/shm ] && [ -w /dev/shm ] && scratch=/dev/shm
    mkdir -p "$tree/artifacts"
    for target in "${FUZZ_TARGETS[@]}"; do
        say "fuzz_$target for $seconds s"
        local dirs=("$tree/corpus/$target" "$tree/seeds/$target")
        mkdir -p "${dirs[0]}"
        [ -d "$ROOT/fuzz/regressions/$target" ] && dirs+=("$ROOT/fuzz/regressions/$target")
        log=$tree/fuzz_$target.log
        if ! TMPDIR=$scratch "$tree/fuzz/fuzz_$target" -max_total_time="$seconds" \
            -max_len="${FUZZ_MAX_LEN[$target]}" -timeout=10 -rss_limit_mb=2048 \
            -print_final_stats=1 -artifact_prefix="$tree/artifacts/$target-" "${dirs[@]}" \
            >"$log" 2>&1; then
            tail -n 60 "$log"
            echo "fuzz_$target found a failure; the input is in $tree/artifacts/" >&2
            return 1
        fi
        awk -v target="fuzz_$target" '
            /stat::number_of_executed_units/ { runs = $2 }
            /DONE/ { for (i = 1; i <= NF; i++) { if ($i == "cov:") cov = $(i + 1); if ($i == "corp:") corp = $(i + 1) } }
            END { printf "%s: %d executions, coverage %s, corpus %s, no finding\n", target, runs, cov, corp }' "$log"
    done
}

# The C and C++ sources of the tree, checked-in ones only.
source_files() {
    (cd "$ROOT" && find src include tools tests fuzz bench -type f \
        \( -name '*.cpp' -o -name '*.c' -o -name '*.h' \) | sort)
}

# clang-tidy over the files of a compile database under the given folders,
# by the tool's own parallel runner; the warnings fail it (.clang-tidy).
tidy_database() { # tree, folder-regex
    local output status=0
    output=$("run-clang-tidy-$CLANG_VERSION" -clang-tidy-binary "clang-tidy-$CLANG_VERSION" -p "$1" \
        -j "$JOBS" -quiet "^$ROOT/($2)/" 2>&1) || status=$?
    # Its colours and its progress (each command, each file's count of
    # warnings outside the sources) left out.
    sed 's/\x1b\[[0-9;]*m//g' <<<"$output" |
        grep -v -E '^(clang-tidy-[0-9]+ |[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$)' || true
    return "$status"
}

# The -I options of the trees' compile databases, each once.
include_flags() { # tree...
    local tree
    for tree in "$@"; do
        grep -o -- '-I[^ "]*' "$tree/compile_commands.json"
    done | sort -u
}

cmd_lint() {
    need_hardening_tools
    # The compile databases and generated headers are enough: no build.
    # Configured each time, so that files moved since are not looked for.
    configure_native
    configure_fuzzers
    say "clang-tidy"
    tidy_database "$BUILD_ROOT/native" 'src|tools|tests|bench'
    tidy_database "$BUILD_ROOT/fuzz" 'fuzz'
    say "cppcheck"
    # Every checked-in source, the Windows-only ones too, with the include
    # paths the native and fuzz builds use.
    local sources includes
    mapfile -t sources < <(source_files | grep -v '\.h$')
    mapfile -t includes < <(include_flags "$BUILD_ROOT/native" "$BUILD_ROOT/fuzz")
    # Its build folder keeps each file's results until the file changes.
    # Left out (cppcheck 2.11 and later): the note that it limits its branch
    # analysis; macros the build defines and cppcheck is not told of; const
    # for the stand-ins' and the fake's parameters, whose types are the
    # system's; the framework record, which the platforms' entries see
    # under different conditions. The POSIX files are also read with
    # Windows' definitions, where a descriptor is a HANDLE (a pointer):
    # const and integer-to-pointer findings there are about a type those
    # files never see.
    local suppressions=(missingIncludeSystem unmatchedSuppression normalCheckLevelMaxBranches unknownMacro
        'constParameterPointer:src/platform/fake/*' 'constParameterPointer:tests/capture/*'
        'constParameterPointer:src/platform/posix/*' 'CastIntegerToAddressAtReturn:tools/pendrax/OsPosix.cpp'
        'ctuOneDefinitionRuleViolation:src/module/Framework.h')
    mkdir -p "$BUILD_ROOT/cppcheck"
    (cd "$ROOT" && cppcheck --quiet --error-exitcode=1 --std=c++17 --cppcheck-build-dir="$BUILD_ROOT/cppcheck" \
        --enable=warning,style,performance,portability --library=googletest --library=posix \
        --inline-suppr "${suppressions[@]/#/--suppress=}" \
        "${includes[@]}" -j "$JOBS" "${sources[@]}")
    say "formatting"
    local files
    mapfile -t files < <(source_files)
    (cd "$ROOT" && "clang-format-$CLANG_VERSION" --dry-run --Werror "${files[@]}")
    echo "static checks clean"
}
