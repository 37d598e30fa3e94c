# shellcheck shell=bash
# The Windows DLL for ./run (sourced by it; uses its ROOT, BUILD_ROOT,
# WERROR, JOBS, say, need, need_build_tools and apt_update): cross-builds for
# x86_64 and i686. The native tree runs their checks under Wine once it is
# configured with -DPENDRAX_WINDOWS_BUILD_ROOT.

WINDOWS_ARCHES=(x86_64 i686)

need_windows_tools() {
    # The 32-bit Wine loader needs the i386 architecture and its package lists.
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        say "adding the i386 architecture for the 32-bit Wine"
        dpkg --add-architecture i386
        apt_update
    fi
    need mingw-w64 mingw-w64-tools wine64 wine32:i386 python3-pefile
}

# Says whether the i686 Wine suite will run (the suite asks the same script).
say_32bit_programs() {
    local answer
    answer=$("$ROOT/tests/windows/if-32bit") && return 0
    say "the i686 Wine suite will be skipped"
    echo "$answer"
}

# Cross-builds the DLL and the Windows test host in $BUILD_ROOT/mingw-ARCH.
build_windows() {
    # cmake comes with the native tools; on a fresh machine this may run first.
    need_build_tools
    need_windows_tools
    local arch
    for arch in "${WINDOWS_ARCHES[@]}"; do
        say "cross-building the Windows DLL for $arch"
        cmake -S "$ROOT" -B "$BUILD_ROOT/mingw-$arch" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw-$arch.cmake" \
            -DPENDRAX_WERROR="$WERROR" >/dev/null
        cmake --build "$BUILD_ROOT/mingw-$arch" -j "$JOBS"
    done
}

