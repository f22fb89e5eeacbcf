#!/usr/bin/env bash
# Builds Korvit and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
cmake --preset release >/dev/null
cmake --build --preset release
ctest --preset release
