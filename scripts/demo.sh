#!/usr/bin/env bash
# Builds Korvit and shows the bundled demo definition.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
cmake --preset release >/dev/null
cmake --build --preset release
./build/release/apps/korvit-cli dump samples/demo.adx
