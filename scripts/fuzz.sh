#!/usr/bin/env bash
# Builds the fuzz targets (clang, ASan + UBSan) and runs each for a bounded time.
# Usage: scripts/fuzz.sh [SECONDS_PER_TARGET]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
shopt -s nullglob
for fuzzer in build/fuzz/fuzz/fuzz_*; do
    name=${fuzzer##*/fuzz_}
    corpus=fuzz/corpus/$name
    work=$(mktemp -d)
    echo "== fuzz_$name for ${seconds}s"
    [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
    "$fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 "$work" \
        2>&1 | tail -n 15
    rm -rf "$work"
done
