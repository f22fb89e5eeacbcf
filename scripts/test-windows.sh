#!/usr/bin/env bash
# Cross-builds Korvit for Windows and tests it under Wine:
#   scripts/test-windows.sh [LINUX_BUILD_DIR]
# 1. the core, platform, evaluation, definition, datalog and app test programs, run by ctest
#    through Wine;
# 2. a scan through COM7, mapped to korvit-ecusim's pseudo-terminal: the values korvit-cli.exe
#    decodes live equal what the Linux korvit-cli decodes from the recording, which both play
#    alike;
# 3. korvit-cli.exe answers decode, xdl and play --json byte for byte as the Linux program does;
# 4. with a Qt for Windows, korvit.exe --screenshot under Xvfb draws the Dash of a played log.
# LINUX_BUILD_DIR (default build/release) holds korvit-cli and korvit-ecusim; it is built when
# missing. The Windows build goes to build/windows, its Wine prefix to build/windows/wine.
set -euo pipefail
cd "$(dirname "$0")/.."
linux_build="${1:-build/release}"
win_build=build/windows
root="$PWD"

export WINEDEBUG=-all WINEARCH=win64
export WINEPREFIX="$root/$win_build/wine"
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

echo "-- Linux programs ($linux_build)"
if [ ! -x "$linux_build/apps/korvit-cli" ] || [ ! -x "$linux_build/apps/korvit-ecusim/korvit-ecusim" ]; then
    [ -f "$linux_build/CMakeCache.txt" ] || cmake --preset release >/dev/null
    cmake --build "$linux_build" --target korvit-cli korvit-ecusim
fi
cli_linux="$root/$linux_build/apps/korvit-cli"
ecusim="$root/$linux_build/apps/korvit-ecusim/korvit-ecusim"

echo "-- Cross build ($win_build)"
cmake -S . -B "$win_build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DKORVIT_WERROR=ON -DKORVIT_BUILD_TESTS=ON "${launcher[@]}" >/dev/null
cmake --build "$win_build"
cli_win="$root/$win_build/apps/korvit-cli.exe"

echo "-- Fresh Wine prefix"
rm -rf "$WINEPREFIX"
timeout -k 10 300 "$wine" wineboot -i >/dev/null 2>&1 || true
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
timeout -k 10 120 "$wineserver" -w || true
# A program that crashes must fail its check, not wait for someone to close Wine's crash dialog.
timeout -k 10 120 "$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    >/dev/null 2>&1 || true
# The MinGW runtime DLLs for programs run from the build tree.
gcc_dlls=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
export WINEPATH="Z:${gcc_dlls//\//\\};Z:\\usr\\x86_64-w64-mingw32\\lib"
# Qt's DLLs and plugins for korvit.exe, from the Qt the build used.
qt=$(sed -n 's/^KORVIT_QT_WINDOWS_DIR:PATH=//p' "$win_build/CMakeCache.txt")
if [ -n "$qt" ] && [ -d "$qt/bin" ]; then
    export WINEPATH="$WINEPATH;Z:${qt//\//\\}\\bin"
    export QT_PLUGIN_PATH="Z:${qt//\//\\}\\plugins"
fi

echo "-- Tests under Wine"
(cd "$win_build" && ctest --output-on-failure --timeout 300)

work="$root/$win_build/wine-checks"
rm -rf "$work" && mkdir -p "$work"
cp samples/demo.adx "$work/"
checks="python3 $root/scripts/windows/wine_checks.py"
# Every Windows program run here is bounded, so a hang fails the stage instead of stalling CI.
win() { (cd "$work" && timeout -k 10 300 "$wine" "$@"); }

# Starts korvit-ecusim on a pseudo-terminal and sets $pty to its line.
start_simulator() {
    "$ecusim" "$work/demo.adx" >"$work/ecusim.out" 2>&1 &
    sim=$!
    pty=""
    for _ in $(seq 200); do
        pty=$(grep -o '/dev/pts/[0-9]*' "$work/ecusim.out" | head -n 1 || true)
        [ -n "$pty" ] && return 0
        sleep 0.1
    done
    echo "korvit-ecusim gave no line:"
    cat "$work/ecusim.out"
    return 1
}
# On the way out, whatever happened: the simulator, Xvfb and the Wine processes end.
cleanup() {
    kill "${sim:-}" "${xvfb:-}" 2>/dev/null || true
    timeout -k 5 30 "$wineserver" -k 2>/dev/null || true
}
trap cleanup EXIT

echo "-- A recording made on Linux"
start_simulator
(cd "$work" && "$cli_linux" scan demo.adx --port "$pty" --seconds 2 --record linux.xdl \
    >/dev/null 2>"$work/linux-scan.err")
kill "$sim"
wait "$sim" 2>/dev/null || true

echo "-- korvit-cli.exe answers as on Linux"
same() {  # name, then the arguments for both programs
    local name=$1
    shift
    (cd "$work" && "$cli_linux" "$@") >"$work/$name.linux"
    win "$cli_win" "$@" >"$work/$name.windows"
    cmp "$work/$name.linux" "$work/$name.windows"
    echo "   $name: $(wc -c <"$work/$name.linux") bytes alike"
}
same xdl xdl linux.xdl
same play play demo.adx linux.xdl --speed 0 --json
same decode decode demo.adx --reply "$($checks reply "$work/xdl.linux")"

echo "-- korvit-cli.exe export writes the same CSV, and replaces one only with --force"
win "$cli_win" export demo.adx linux.xdl --csv export.csv >/dev/null
if win "$cli_win" export demo.adx linux.xdl --csv export.csv >/dev/null 2>&1; then
    echo "export replaced a CSV without --force"
    exit 1
fi
win "$cli_win" export demo.adx linux.xdl --csv export.csv --force >/dev/null
(cd "$work" && "$cli_linux" export demo.adx linux.xdl --csv export.linux.csv >/dev/null)
cmp "$work/export.csv" "$work/export.linux.csv"

echo "-- Scan through COM7"
start_simulator
ln -sf "$pty" "$WINEPREFIX/dosdevices/com7"
win "$cli_win" scan demo.adx --port COM7 --seconds 4 --json --record windows.xdl \
    >"$work/scan.windows" 2>"$work/scan.err" || { cat "$work/scan.err"; exit 1; }
kill "$sim"
wait "$sim" 2>/dev/null || true
# The recording plays alike on both systems, and replays exactly what was decoded live.
(cd "$work" && "$cli_linux" play demo.adx windows.xdl --speed 0 --json) >"$work/scan.played.linux"
win "$cli_win" play demo.adx windows.xdl --speed 0 --json >"$work/scan.played.windows"
cmp "$work/scan.played.linux" "$work/scan.played.windows"
$checks same-values "$work/scan.windows" "$work/scan.played.linux"

if [ -x "$win_build/apps/korvit.exe" ] || [ -f "$win_build/apps/korvit.exe" ]; then
    echo "-- korvit.exe --screenshot under Xvfb"
    # Xvfb is started here rather than through xvfb-run, which waits for a signal from the server
    # and hangs for good where that signal is blocked. The wait for its socket is bounded.
    display=""
    for n in $(seq 90 120); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=$n; break; }
    done
    Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.out" 2>&1 &
    xvfb=$!
    for _ in $(seq 100); do
        [ -e "/tmp/.X11-unix/X$display" ] && break
        sleep 0.1
    done
    # korvit.exe under Wine may not finish closing after the picture (it never gets to write its
    # settings); the time-out ends it, and the check is on the picture.
    (cd "$work" && DISPLAY=":$display" timeout -k 10 90 "$wine" \
        "$root/$win_build/apps/korvit.exe" --screenshot dash.png --tab Dash --play --after 6000 demo.adx windows.xdl \
        >"$work/screenshot.out" 2>&1) || true
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
    [ -s "$work/dash.png" ] || { echo "no screenshot:"; cat "$work/screenshot.out"; exit 1; }
    $checks screenshot "$work/dash.png"
fi
echo "-- Windows build passes under Wine"
