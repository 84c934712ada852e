#!/usr/bin/env bash
# Builds the Debian package from a configured build folder, checks its
# contents and metadata, installs it with apt-get, runs the installed
# tessavo-convert and the window (offscreen), checks that the desktop's
# MIME cache offers the window for HEIC photos, and removes the package again.
# Needs root (apt-get).
#   bash scripts/check-package.sh [build dir]      (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

rm -f "$build"/tessavo_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/tessavo_*.deb)
deb=${debs[0]}
fail() { echo "check-package: $*" >&2; exit 1; }

contents=$(dpkg-deb -c "$deb" | awk '{print $NF}')
app_id=io.github.tessavo.tessavo
for file in ./usr/bin/tessavo ./usr/bin/tessavo-convert ./usr/share/applications/$app_id.desktop \
  ./usr/share/icons/hicolor/scalable/apps/tessavo.svg ./usr/share/metainfo/$app_id.metainfo.xml \
  ./usr/share/tessavo/translations/tessavo_de.qm ./usr/share/tessavo/translations/tessavo_fr.qm \
  ./usr/share/doc/tessavo/copyright; do
  grep -qxF "$file" <<<"$contents" || fail "$deb lacks $file"
done

[ "$(dpkg-deb -f "$deb" Package)" = tessavo ] || fail "package name"
depends=$(dpkg-deb -f "$deb" Depends | tr -d ' ')
for package in xdg-utils qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-layouts \
  qml6-module-qtquick-templates qml6-module-qtquick-window libqt6svg6 libqt6sql6-sqlite qt6-wayland libqt6quick6 libheif1 \
  libjpeg62-turbo libavcodec59; do
  [[ ",$depends," =~ ,$package[,\(] ]] || fail "Depends lacks $package: $depends"
done

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
# Clean means no remark at all, not even a pedantic one.
remarks=$(appstreamcli validate --pedantic --no-net "$unpacked/usr/share/metainfo/$app_id.metainfo.xml" | grep -v '^✔' || true)
[ -z "$remarks" ] || fail "appstreamcli: $remarks"
grep -qF "<release version=\"$(dpkg-deb -f "$deb" Version)\"" "$unpacked/usr/share/metainfo/$app_id.metainfo.xml" \
  || fail "the AppStream releases lack this version"
remarks=$(desktop-file-validate "$unpacked/usr/share/applications/$app_id.desktop" 2>&1) || fail "desktop-file-validate failed: $remarks"
[ -z "$remarks" ] || fail "desktop-file-validate: $remarks"
head -n1 "$unpacked/usr/share/doc/tessavo/copyright" \
  | grep -qxF 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  || fail "the copyright file is not machine-readable"

apt-get install -y "$(realpath "$deb")"
# desktop-file-utils' trigger refreshes the cache that "Open With" reads;
# Debian's MIME database calls .heic, .heif and .hif photos image/heif.
for type in image/heic image/heif; do
  grep -qE "^$type=(.*;)?$app_id.desktop;" /usr/share/applications/mimeinfo.cache \
    || fail "mimeinfo.cache does not offer $app_id.desktop for $type"
done
/usr/bin/tessavo-convert --version
# The window loads its QML from what the package pulled in, and keeps running.
status=0
HOME=$unpacked QT_QPA_PLATFORM=offscreen timeout 5 /usr/bin/tessavo || status=$?
[ "$status" -eq 124 ] || fail "the installed window ended with status $status"
apt-get remove -y tessavo
echo "check-package: $deb installs and runs"
