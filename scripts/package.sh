# shellcheck shell=bash
# The packages for ./run package (sourced by it; uses its ROOT, BUILD_ROOT,
# JOBS, say, need, build_windows): a .deb from a tree built with Debian's
# flags for /usr, and one zip per Windows architecture, all checked before
# they land in $BUILD_ROOT/packages.

cmd_package() {
    need_build_tools
    need dpkg-dev fakeroot lintian python3
    local packages=$BUILD_ROOT/packages tree=$BUILD_ROOT/package-deb
    mkdir -p "$packages"
    say "building the Debian package"
    # Debian's hardening flags; the None build type adds nothing to them.
    local cppflags
    cppflags=$(dpkg-buildflags --get CPPFLAGS)
    CFLAGS="$(dpkg-buildflags --get CFLAGS) $cppflags" CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $cppflags" \
        LDFLAGS=$(dpkg-buildflags --get LDFLAGS) \
        cmake -S "$ROOT" -B "$tree" -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr \
        -DPENDRAX_BUILD_TESTS=OFF >/dev/null
    cmake --build "$tree" -j "$JOBS"
    (cd "$tree" && cpack -G DEB -B "$packages" >/dev/null)
    rm -rf "$packages/_CPack_Packages"
    local deb
    deb=$(ls "$packages"/*.deb)
    check_deb "$deb"

    build_windows
    local arch zip
    for arch in "${WINDOWS_ARCHES[@]}"; do
        say "building the Windows zip for $arch"
        (cd "$BUILD_ROOT/mingw-$arch" && cpack -G ZIP -B "$packages" >/dev/null)
        rm -rf "$packages/_CPack_Packages"
        zip=$(ls "$packages"/*-windows-"$arch".zip)
        check_zip "$zip"
    done
    say "packages in $packages"
    ls -l "$packages"
}

# What the .deb holds, lintian's verdict, and a C consumer built through
# pkg-config against its extracted files.
check_deb() {
    local deb=$1 root=$BUILD_ROOT/package-check
    local triplet
    triplet=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
    dpkg-deb -c "$deb" | awk '{print $6 ($7 ? " " $7 " " $8 : "")}'
    local expected
    for expected in "./usr/lib/$triplet/libPendraxWAVFlanger.so.1 -> libPendraxWAVFlanger.so.1.0.0" \
        "./usr/lib/$triplet/libPendraxWAVFlanger.so -> libPendraxWAVFlanger.so.1" \
        "./usr/lib/$triplet/libPendraxWAVFlanger.so.1.0.0" ./usr/include/PendraxWAVFlanger.h \
        "./usr/lib/$triplet/pkgconfig/PendraxWAVFlanger.pc" \
        "./usr/lib/$triplet/cmake/PendraxWAVFlanger/PendraxWAVFlangerConfig.cmake" ./usr/bin/pendrax \
        ./usr/share/man/man1/pendrax.1.gz ./usr/share/doc/pendraxwavflanger/copyright; do
        dpkg-deb -c "$deb" | awk '{print $6 ($7 ? " " $7 " " $8 : "")}' | grep -qxF -- "$expected" ||
            { echo "package: $expected is missing from $deb" >&2; return 1; }
    done
    say "lintian"
    local report
    report=$(lintian --tag-display-limit 0 "$deb" 2>&1) || true
    echo "${report:-lintian: no tags}"
    if echo "$report" | grep -q '^E:'; then
        echo "package: lintian reports errors" >&2
        return 1
    fi
    say "a consumer against the extracted package"
    rm -rf "$root"
    dpkg-deb -x "$deb" "$root"
    local pc=$root/usr/lib/$triplet/pkgconfig
    # shellcheck disable=SC2046
    cc -std=c11 -Wall -Werror "$ROOT/tests/install/consumer/consumer.c" \
        $(PKG_CONFIG_PATH=$pc pkg-config --cflags --libs PendraxWAVFlanger) -o "$root/consumer"
    (cd "$root" && LD_LIBRARY_PATH=$root/usr/lib/$triplet ./consumer)
    LD_LIBRARY_PATH=$root/usr/lib/$triplet "$root/usr/bin/pendrax" --version
}

check_zip() {
    python3 - "$1" <<'PY'
import sys, zipfile
names = zipfile.ZipFile(sys.argv[1]).namelist()
print("\n".join(names))
wanted = ["bin/PendraxWAVFlanger.dll", "bin/pendrax.exe", "lib/libPendraxWAVFlanger.dll.a",
          "lib/PendraxWAVFlanger.def", "include/PendraxWAVFlanger.h", "README.md"]
missing = [w for w in wanted if not any(n.endswith("/" + w) for n in names)]
if missing:
    sys.exit(f"package: {', '.join(missing)} missing from {sys.argv[1]}")
PY
}
