#!/usr/bin/env bash
# Cross-builds Korvit for 64-bit Windows and packs korvit-VERSION-win64.zip (and, when makensis is
# there, the installer korvit-VERSION-setup.exe); prints the zip's path on the last line.
#   scripts/package-windows.sh [BUILD_DIR]
# BUILD_DIR (default build/windows-package) is configured as a Release cross build. The Qt for
# Windows comes from $KORVIT_QT_WINDOWS_DIR (default ../shared/qt-windows); without it only
# korvit-cli.exe is built and packed.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
build="${1:-build/windows-package}"
qt="${KORVIT_QT_WINDOWS_DIR:-$root/../shared/qt-windows}"
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

gui=ON
if [ ! -d "$qt/lib/cmake/Qt6" ]; then
    echo "No Qt for Windows at $qt (set KORVIT_QT_WINDOWS_DIR): packing korvit-cli.exe alone." >&2
    gui=OFF
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DKORVIT_QT_WINDOWS_DIR="$qt" -DKORVIT_BUILD_GUI="$gui" \
    -DKORVIT_BUILD_TESTS=OFF -DKORVIT_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
targets=(korvit-cli)
[ "$gui" = ON ] && targets+=(korvit Defcrafter)
cmake --build "$build" --target "${targets[@]}" >&2

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name="korvit-$version-win64"
stage="$build/$name"
rm -rf "$stage" && mkdir -p "$stage/samples"
strip=x86_64-w64-mingw32-strip
for exe in korvit-cli.exe korvit.exe Defcrafter.dll; do
    [ -f "$build/apps/$exe" ] && $strip -o "$stage/$exe" "$build/apps/$exe"
done
# The MinGW runtime every program needs.
for dll in libstdc++-6.dll libgcc_s_seh-1.dll; do
    cp "$(x86_64-w64-mingw32-g++-posix -print-file-name=$dll)" "$stage/"
done
cp /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll "$stage/"
if [ "$gui" = ON ]; then
    mkdir -p "$stage/platforms" "$stage/styles"
    cp "$qt"/bin/Qt6Core.dll "$qt"/bin/Qt6Gui.dll "$qt"/bin/Qt6Widgets.dll "$stage/"
    cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
    cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
fi
cp samples/*.adx "$stage/samples/"
sed "s/@VERSION@/$version/" packaging/windows/README.txt | sed 's/$/\r/' >"$stage/README.txt"

zip_path="$build/$name.zip"
rm -f "$zip_path"
(cd "$build" && zip -qr9 "$name.zip" "$name")

if [ "$gui" = ON ] && command -v makensis >/dev/null; then
    makensis -V2 -DVERSION="$version" -DSTAGE="$root/$stage" \
        -DOUTFILE="$root/$build/korvit-$version-setup.exe" packaging/windows/korvit.nsi >&2
    echo "Installer: $build/korvit-$version-setup.exe" >&2
fi
echo "$zip_path"
