#!/usr/bin/env bash
# Builds the fuzz targets (clang, ASan + UBSan) and runs each for a bounded time.
# Usage: scripts/fuzz.sh [SECONDS_PER_TARGET]
# A failing target prints the fault, its stack and the input (hex) so that it can be reproduced.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
shopt -s nullglob
failed=0
for fuzzer in build/fuzz/fuzz/fuzz_*; do
    name=${fuzzer##*/fuzz_}
    corpus=fuzz/corpus/$name
    work=$(mktemp -d)
    mkdir "$work/corpus" "$work/artifacts"
    echo "== fuzz_$name for ${seconds}s"
    [ -d "$corpus" ] && cp -r "$corpus"/. "$work/corpus"/
    if "$fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$work/artifacts/" "$work/corpus" >"$work/log" 2>&1; then
        tail -n 6 "$work/log"
    else
        failed=1
        echo "fuzz_$name FAILED:"
        grep -m1 -B2 -A40 -E "ERROR: |runtime error|ALARM|SUMMARY" "$work/log" || tail -n 60 "$work/log"
        for artifact in "$work"/artifacts/*; do
            echo "-- input $(basename "$artifact") ($(stat -c %s "$artifact") bytes):"
            head -c 8192 "$artifact" | od -An -tx1 -v
        done
    fi
    rm -rf "$work"
done
exit "$failed"
