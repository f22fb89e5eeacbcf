#!/usr/bin/env bash
# Installs every Debian package that building, testing, benchmarking, fuzzing and packaging Korvit
# needs. With --windows also what cross-building for Windows and testing it under Wine need
# (MinGW-w64, Wine, NSIS, Xvfb).
# Safe to run again: it only calls apt-get when something is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    clang libclang-rt-14-dev libfuzzer-14-dev
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    libexpat1-dev libcli11-dev nlohmann-json3-dev
    qt6-base-dev libgl-dev fonts-liberation
    dpkg-dev file lintian appstream ccache
)
if [ "${1:-}" = "--windows" ]; then
    packages+=(g++-mingw-w64-x86-64-posix wine64 nsis zip xvfb xauth python3)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
