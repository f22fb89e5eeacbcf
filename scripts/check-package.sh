#!/usr/bin/env bash
# Checks a built korvit .deb: its file list, lintian (no errors), and a real installation with
# dpkg into a fresh root, from which the installed programs then run.
#   scripts/check-package.sh build/package/korvit_0.1.0_amd64.deb
set -euo pipefail
deb="$(realpath "$1")"
cd "$(dirname "$0")/.."

echo "-- Contents"
dpkg-deb --info "$deb" | sed -n '/Package:/,$p'
dpkg-deb --contents "$deb" | awk '{print $6}' | sed 's|^\./|/|' | grep -v '/$' | sort | tee /tmp/korvit-deb-files.$$
expected=(
    /usr/bin/korvit /usr/bin/korvit-cli /usr/bin/korvit-ecusim
    /usr/lib/korvit/libDefcrafter.so
    /usr/share/applications/korvit.desktop
    /usr/share/icons/hicolor/scalable/apps/korvit.svg
    /usr/share/mime/packages/korvit.xml
    /usr/share/metainfo/org.korvit.korvit.metainfo.xml
    /usr/share/man/man1/korvit.1.gz /usr/share/man/man1/korvit-cli.1.gz
    /usr/share/man/man1/korvit-ecusim.1.gz
    /usr/share/doc/korvit/copyright /usr/share/doc/korvit/changelog.gz
    /usr/share/korvit/samples/demo.adx
)
missing=0
for f in "${expected[@]}"; do
    grep -qx "$f" /tmp/korvit-deb-files.$$ || { echo "missing from the package: $f"; missing=1; }
done
rm -f /tmp/korvit-deb-files.$$
[ "$missing" -eq 0 ]
depends="$(dpkg-deb --field "$deb" Depends)"
echo "Depends: $depends"
for lib in libc6 libstdc++6 libqt6widgets6; do
    [[ "$depends" == *"$lib"* ]] || { echo "Depends lacks $lib"; exit 1; }
done

echo "-- AppStream"
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/metainfo/org.korvit.korvit.metainfo.xml \
    >/tmp/korvit-metainfo.$$.xml
appstreamcli validate --no-net /tmp/korvit-metainfo.$$.xml
rm -f /tmp/korvit-metainfo.$$.xml

echo "-- lintian"
lintian --fail-on error --tag-display-limit 0 "$deb"

echo "-- Install into a fresh root"
root="$(mktemp -d /tmp/korvit-root-XXXXXX)"
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
# The fresh root has no libraries: the dependencies are checked against this machine instead,
# and the installed programs run with this machine's libraries.
dpkg --dry-run --install "$deb" >/dev/null
dpkg --root="$root" --force-depends --force-script-chrootless --install "$deb"
dpkg --root="$root" --listfiles korvit | grep -q '^/usr/bin/korvit-cli$'

"$root/usr/bin/korvit-cli" --version
"$root/usr/bin/korvit-ecusim" --version
"$root/usr/bin/korvit" --version
reply="$(for i in $(seq 0 66); do printf '%02X' $((i * 7 % 256)); done)"
"$root/usr/bin/korvit-cli" decode "$root/usr/share/korvit/samples/demo.adx" --reply "mode1=$reply" \
    >"$root/decoded.json"
grep -q '"id": *"cts"' "$root/decoded.json" || { echo "decode printed no values"; exit 1; }
echo "The installed korvit-cli decoded $(grep -c '"id"' "$root/decoded.json") items."
