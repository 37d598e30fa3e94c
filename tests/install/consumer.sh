#!/usr/bin/env bash
# Installs the build into a scratch prefix and builds a C consumer against it,
# once through the CMake package and once through pkg-config.
set -eu
build=$1 work=$2 source=$3
rm -rf "$work"; mkdir -p "$work"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
prefix=$work/prefix
for f in include/PendraxWAVFlanger.h bin/pendrax; do
    [ -e "$prefix/$f" ] || { echo "missing $f in the installed tree"; exit 1; }
done
cmake -S "$source" -B "$work/cmake" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake" >/dev/null
(cd "$work" && LD_LIBRARY_PATH="$prefix/lib" ./cmake/consumer)
pcdir=$(dirname "$(find "$prefix" -name PendraxWAVFlanger.pc)")
cc -std=c11 -Wall -Werror \
   "$source/consumer.c" $(PKG_CONFIG_PATH=$pcdir pkg-config --cflags --libs PendraxWAVFlanger) \
   -Wl,-rpath,"$prefix/lib" -o "$work/consumer-pc"
(cd "$work" && "$work/consumer-pc")
"$prefix/bin/pendrax" --version
