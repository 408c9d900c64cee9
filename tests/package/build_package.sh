#!/usr/bin/env bash
# Builds the station in Release, without sanitizers, in a folder of its own and makes its Debian
# package there: the package tests read this build. Arguments: the source folder, the build
# folder, then any further cmake options (a compiler launcher).
set -euo pipefail
source=$1 build=$2
shift 2
cmake -S "$source" -B "$build" -DCMAKE_BUILD_TYPE=Release -DORVANE_SANITIZE=OFF -DORVANE_SANITIZE_THREAD=OFF \
  -DORVANE_BUILD_TESTS=OFF -DORVANE_BUILD_BENCH=OFF "$@" >/dev/null
# The tests' sanitizer options mean nothing to this build.
unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS
rm -f "$build"/orvane_*.deb
cmake --build "$build" -j "${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}" --target package
