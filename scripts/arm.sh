# shellcheck shell=bash
# The ARM builds for ./run (sourced by it; uses its ROOT, BUILD_ROOT, WERROR,
# JOBS, say, need and apt_update): cross-builds for armhf and
# arm64 whose unit suites and delay check run under qemu-user.

ARM_ARCHES=(armhf arm64)

need_arm_tools() {
    local arch added=0
    for arch in "${ARM_ARCHES[@]}"; do
        if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
            say "adding the $arch architecture for its ALSA and libpulse headers and libraries"
            dpkg --add-architecture "$arch"
            added=1
        fi
    done
    [ "$added" -eq 0 ] || apt_update
    # libpulse-dev too, so that the ARM builds capture through the sound
    # server's library as the native one does (CMake finds it by pkg-config).
    need qemu-user g++-arm-linux-gnueabihf g++-aarch64-linux-gnu googletest \
        libasound2-dev:armhf libasound2-dev:arm64 libpulse-dev:armhf libpulse-dev:arm64
}

# What dpkg-buildpackage -a needs besides the compilers: the target's
# pkg-config wrapper, and its libstdc++ for dpkg-shlibdeps.
need_arm_packaging() {
    need_arm_tools
    need pkgconf:armhf pkgconf:arm64 libstdc++6:armhf libstdc++6:arm64
}

# Says why the ARM suites cannot run here, or nothing when they can.
arm_cannot_run() {
    local probe=/tmp/pendrax-arm-probe.$$ answer=""
    printf 'int main(void) { return 0; }\n' | arm-linux-gnueabihf-gcc -static -x c - -o "$probe" &&
        { qemu-arm "$probe" >/dev/null 2>&1 || answer="qemu-arm does not run a static armhf program"; }
    rm -f "$probe"
    echo "$answer"
}

# Cross-builds and runs the ARM unit suites and delay checks, against the
# native tree's oracle (built by build_native).
test_arm() {
    need_arm_tools
    local arch tree oracle=$BUILD_ROOT/delay-oracle.txt reason
    "$BUILD_ROOT/native/bench/delay-oracle" >"$oracle"
    reason=$(arm_cannot_run)
    for arch in "${ARM_ARCHES[@]}"; do
        tree=$BUILD_ROOT/linux-$arch
        say "cross-building for $arch"
        cmake -S "$ROOT" -B "$tree" -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-linux-$arch.cmake" \
            -DPENDRAX_WERROR="$WERROR" -DPENDRAX_DELAY_ORACLE="$oracle" >/dev/null
        cmake --build "$tree" -j "$JOBS"
        if [ -n "$reason" ]; then
            say "SKIPPED: the $arch suites ($reason)"
            continue
        fi
        say "$arch unit suites and delay check under qemu-user"
        ctest --test-dir "$tree" --output-on-failure -j "$JOBS" -LE '^sound-server$'
    done
}
