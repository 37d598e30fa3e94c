# shellcheck shell=bash
# The packages for ./run package (sourced by it; uses its ROOT, BUILD_ROOT,
# JOBS, say, need, need_build_tools, build_windows, need_arm_packaging,
# ARM_ARCHES): the Debian packages, native and cross-built for ARM,
# from debian/, and one zip per Windows architecture, all checked before they
# land in $BUILD_ROOT/packages.

DEB_PACKAGES=(libpendraxwavflanger1 libpendraxwavflanger-dev pendrax)

cmd_package() {
    need_build_tools
    # dpkg-buildpackage insists on build-essential besides debian/control's list.
    need build-essential dpkg-dev debhelper fakeroot lintian python3
    local packages=$BUILD_ROOT/packages
    rm -rf "$packages" && mkdir -p "$packages"
    build_debs "$packages"
    check_debs "$packages"
    # The same packages cross-built for ARM (the autopkgtest needs the
    # machine's own architecture).
    need_arm_packaging
    local deb_arch
    for deb_arch in "${ARM_ARCHES[@]}"; do
        build_debs "$packages" "$deb_arch"
        check_debs "$packages" "$deb_arch"
    done

    build_windows
    local arch zip
    for arch in "${WINDOWS_ARCHES[@]}"; do
        say "building the Windows zip for $arch"
        # A zip entry's old-style time is local time: UTC gives the same bytes anywhere.
        (cd "$BUILD_ROOT/mingw-$arch" && TZ=UTC cpack -G ZIP -B "$packages" >/dev/null)
        rm -rf "$packages/_CPack_Packages"
        zip=$(ls "$packages"/*-windows-"$arch".zip)
        check_zip "$zip"
    done
    (cd "$packages" && sha256sum -- *.deb *.zip >SHA256SUMS)
    say "packages in $packages"
    ls -l "$packages"
}

# dpkg-buildpackage writes beside the source and leaves build files in
# debian/, so it works on a copy of the checkout's files (what git would
# commit: no build trees, nothing ignored) in $BUILD_ROOT/package-deb, or
# package-deb-ARCH for a cross-build to the Debian architecture ARCH.
build_debs() { # packages directory [ARCH]
    local arch=${2:-} work=$BUILD_ROOT/package-deb${2:+-$2} version
    version=$(dpkg-parsechangelog -l "$ROOT/debian/changelog" -S Version)
    local source=$work/pendraxwavflanger-$version
    say "building the Debian packages (dpkg-buildpackage${arch:+ -a $arch})"
    rm -rf "$work" && mkdir -p "$source"
    local excludes=(--exclude=./build)
    case $BUILD_ROOT in "$ROOT"/*) excludes+=("--exclude=./${BUILD_ROOT#"$ROOT"/}") ;; esac
    tar -C "$ROOT" --exclude-vcs --exclude-vcs-ignores "${excludes[@]}" -cf - . | tar -C "$source" -xf -
    # The source package too, so lintian checks debian/ itself.
    (cd "$work" && dpkg-source -b "$source" >/dev/null)
    (cd "$source" && PENDRAX_WERROR=$WERROR DEB_BUILD_OPTIONS="parallel=$JOBS" \
        dpkg-buildpackage ${arch:+-a "$arch"} -us -uc -b >"$work/build.log" 2>&1) || {
        tail -n 40 "$work/build.log" >&2
        echo "package: dpkg-buildpackage failed; its log is $work/build.log" >&2
        return 1
    }
    mv "$work"/*.deb "$1/"
}

# What each package holds, lintian's verdict (any error or warning fails),
# and the autopkgtest: a C consumer built through pkg-config against the
# installed -dev package, and the installed pendrax flanging a file.
check_debs() { # packages directory [ARCH]
    local triplet package deb arch=${2:-$(dpkg --print-architecture)}
    triplet=$(dpkg-architecture -a "$arch" -qDEB_HOST_MULTIARCH 2>/dev/null)
    declare -A expected=(
        [libpendraxwavflanger1]="./usr/lib/$triplet/libPendraxWAVFlanger.so.1 -> libPendraxWAVFlanger.so.1.0.0
./usr/lib/$triplet/libPendraxWAVFlanger.so.1.0.0
./usr/share/doc/libpendraxwavflanger1/copyright"
        [libpendraxwavflanger-dev]="./usr/include/PendraxWAVFlanger.h
./usr/lib/$triplet/libPendraxWAVFlanger.so -> libPendraxWAVFlanger.so.1
./usr/lib/$triplet/pkgconfig/PendraxWAVFlanger.pc
./usr/lib/$triplet/cmake/PendraxWAVFlanger/PendraxWAVFlangerConfig.cmake
./usr/share/doc/libpendraxwavflanger-dev/copyright"
        [pendrax]="./usr/bin/pendrax
./usr/share/man/man1/pendrax.1.gz
./usr/share/doc/pendrax/copyright")
    local debs=()
    for package in "${DEB_PACKAGES[@]}"; do
        deb=$(ls "$1/${package}"_*_"$arch".deb)
        debs+=("$deb")
        echo "$(basename "$deb"):"
        local contents line
        contents=$(dpkg-deb -c "$deb" | awk '{print $6 ($7 ? " " $7 " " $8 : "")}')
        awk '{print "  " $0}' <<<"$contents"
        while IFS= read -r line; do
            grep -qxF -- "$line" <<<"$contents" || { echo "package: $line is missing from $deb" >&2; return 1; }
        done <<<"${expected[$package]}"
    done

    say "lintian"
    local work=$BUILD_ROOT/package-deb${2:+-$2}
    local report status=0
    report=$(lintian -I --pedantic --tag-display-limit 0 --fail-on error,warning \
        "$work"/*.dsc "$1"/*_"$arch".deb 2>&1) || status=$?
    report=$(grep -v '^running with root privileges' <<<"$report" || true)
    echo "${report:-lintian: no tags}"
    [ "$status" = 0 ] || { echo "package: lintian reports errors or warnings" >&2; return 1; }

    [ -n "${2:-}" ] || run_autopkgtests "$work/pendraxwavflanger-"*/ "${debs[@]}"
}

# Runs debian/tests the way autopkgtest's null runner would: the packages
# installed on this machine, each test from the source tree with its own
# scratch folder; then removes what it installed. The runner itself ends by
# refreshing every package list and fails when the mirror lacks one index,
# so it is not used here.
run_autopkgtests() { # source tree, debs...
    local source=$1 package test status=0 installed=() added=()
    shift
    say "autopkgtest (debian/tests), with the packages installed on this machine"
    for package in "${DEB_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' &&
            installed+=("$package")
    done
    # The tests' other dependencies (a C compiler, pkg-config, python3) are
    # among the build tools.
    DEBIAN_FRONTEND=noninteractive apt-get install "${APT_LOCK_WAIT[@]}" -y -q --no-install-recommends "$@" >/dev/null ||
        status=1
    [ "$status" = 0 ] && for test in $(sed -n 's/^Tests: *//p' "$source/debian/tests/control" | tr ',' ' '); do
        local scratch
        scratch=$(mktemp -d)
        if (cd "$source" && AUTOPKGTEST_TMP=$scratch "debian/tests/$test"); then
            echo "autopkgtest $test: PASS"
        else
            echo "autopkgtest $test: FAIL" >&2
            status=1
        fi
        rm -rf "$scratch"
    done
    # Leave the machine as it was.
    for package in "${DEB_PACKAGES[@]}"; do
        [[ " ${installed[*]} " == *" $package "* ]] || added+=("$package")
    done
    [ ${#added[@]} -eq 0 ] ||
        DEBIAN_FRONTEND=noninteractive apt-get purge "${APT_LOCK_WAIT[@]}" -y -q "${added[@]}" >/dev/null
    return "$status"
}

check_zip() {
    python3 - "$1" <<'PY'
import sys, zipfile
names = zipfile.ZipFile(sys.argv[1]).namelist()
print("\n".join(names))
wanted = ["bin/PendraxWAVFlanger.dll", "bin/pendrax.exe", "lib/libPendraxWAVFlanger.dll.a",
          "lib/PendraxWAVFlanger.def", "include/PendraxWAVFlanger.h", "README.md", "LICENSE"]
missing = [w for w in wanted if not any(n.endswith("/" + w) for n in names)]
if missing:
    sys.exit(f"package: {', '.join(missing)} missing from {sys.argv[1]}")
PY
}
