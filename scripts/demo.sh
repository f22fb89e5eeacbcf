#!/usr/bin/env bash
# Builds Korvit and starts its demo: the window scanning a simulated engine-control unit on a
# pseudo-terminal. Without a display the same demo runs headless through korvit-cli scan and
# shows the live values as a table in the terminal (KORVIT_DEMO_SECONDS, default 10).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
cmake --preset release >/dev/null
cmake --build --preset release
bin=build/release/apps

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec "$bin/korvit" --demo
fi

seconds="${KORVIT_DEMO_SECONDS:-10}"
echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): running the demo headless for" \
     "$seconds s with korvit-cli scan."
link="$(mktemp -u /tmp/korvit-demo-XXXXXX)"
"$bin/korvit-ecusim/korvit-ecusim" samples/demo.adx --link "$link" >/dev/null &
sim=$!
trap 'kill "$sim" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
    [ -e "$link" ] && break
    sleep 0.1
done
"$bin/korvit-cli" scan samples/demo.adx --port "$link" --seconds "$seconds" --watch
