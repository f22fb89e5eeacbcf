#!/usr/bin/env bash
# Builds the Debian package korvit_VERSION_ARCH.deb and prints its path on the last line.
#   scripts/package.sh [BUILD_DIR]
# BUILD_DIR (default build/package) is configured as a plain Release build when it holds none
# yet; an existing build there (CI's Clang build) is reused as it is.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
build="${1:-build/package}"

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DKORVIT_BUILD_TESTS=OFF -DKORVIT_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$build"
(cd "$build" && cpack -G DEB >/dev/null)
deb="$(ls -t "$build"/korvit_*.deb | head -n 1)"
echo "$deb"
