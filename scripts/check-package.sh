#!/usr/bin/env bash
# Builds the Debian package from a configured build folder, checks its
# contents and metadata, installs it with apt-get, runs the installed
# tessavo-convert and the window (offscreen), and removes the package again.
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
for file in ./usr/bin/tessavo ./usr/bin/tessavo-convert ./usr/share/applications/tessavo.desktop \
  ./usr/share/icons/hicolor/scalable/apps/tessavo.svg ./usr/share/metainfo/io.github.tessavo.Tessavo.metainfo.xml \
  ./usr/share/tessavo/translations/tessavo_de.qm ./usr/share/tessavo/translations/tessavo_fr.qm; do
  grep -qxF "$file" <<<"$contents" || fail "$deb lacks $file"
done

[ "$(dpkg-deb -f "$deb" Package)" = tessavo ] || fail "package name"
depends=$(dpkg-deb -f "$deb" Depends | tr -d ' ')
for package in xdg-utils qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-layouts \
  qml6-module-qtquick-templates qml6-module-qtquick-window libqt6svg6 libqt6sql6-sqlite libqt6quick6 libheif1 \
  libjpeg62-turbo libavcodec59; do
  [[ ",$depends," =~ ,$package[,\(] ]] || fail "Depends lacks $package: $depends"
done

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
appstreamcli validate --no-net "$unpacked"/usr/share/metainfo/*.metainfo.xml
desktop-file-validate "$unpacked"/usr/share/applications/tessavo.desktop

apt-get install -y "$(realpath "$deb")"
/usr/bin/tessavo-convert --version
# The window loads its QML from what the package pulled in, and keeps running.
status=0
HOME=$unpacked QT_QPA_PLATFORM=offscreen timeout 5 /usr/bin/tessavo || status=$?
[ "$status" -eq 124 ] || fail "the installed window ended with status $status"
apt-get remove -y tessavo
echo "check-package: $deb installs and runs"
