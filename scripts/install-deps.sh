#!/usr/bin/env bash
# Installs every Debian package Tessavo needs to build, run, test and benchmark.
# The one list of packages lives here; the README and CI call this script.
set -euo pipefail

packages=(
  # toolchain
  cmake ninja-build g++ pkg-config clang libclang-rt-14-dev
  # tests; python3 stands in for a reader of standard output that goes away,
  # and plants the faults of scripts/plant-faults.sh; bc times bench/metadata.sh
  libgtest-dev libgmock-dev python3 bc
  # Qt 6: core, Quick, Controls, dialogs, SQL (SQLite), SVG icons, D-Bus
  qt6-base-dev qt6-declarative-dev qt6-svg-dev libqt6svg6 libqt6sql6-sqlite
  qt6-l10n-tools qt6-tools-dev-tools
  # translations: CMake's LinguistTools (lupdate, lrelease), and Qt's own
  # German and French for the file dialogs and standard buttons
  qt6-tools-dev qt6-translations-l10n
  qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-layouts
  qml6-module-qtquick-window qml6-module-qtquick-templates qml6-module-qtquick-dialogs
  qml6-module-qtqml qml6-module-qtqml-models qml6-module-qtqml-workerscript
  qml6-module-qtcore qml6-module-qttest
  # imaging
  libheif-dev libheif-examples libjpeg62-turbo-dev libavcodec-dev liblcms2-dev
  # FUSE file systems without O_TMPFILE (a view, FAT and exFAT on an image), one
  # whose folder never answers (python3-fusepy), and an I/O error at an exact
  # call, for the fault tests; libjpeg's djpeg checks JPEGs
  bindfs fuse3 fusefat exfat-fuse dosfstools exfatprogs python3-fusepy strace libjpeg-turbo-progs
  # headless display for GUI tests and screenshots; independent checks; benchmarks
  xvfb xauth libimage-exiftool-perl sqlite3 time imagemagick libvips-tools
  # the window in a Wayland session: Qt's Wayland platform (which the package
  # depends on) under a headless compositor
  qt6-wayland weston
  # what a screen reader reads of the window: the accessibility bus and a
  # client of it
  at-spi2-core python3-pyatspi
  # checks the installed .desktop and AppStream files; builds the Debian
  # package (dpkg-shlibdeps, file); opens the output folder without D-Bus
  desktop-file-utils appstream dpkg-dev file xdg-utils
  # a private session bus for the reveal and launch tests; gio launches through
  # the desktop entry and asks which applications open a type, as file managers do
  dbus-daemon libglib2.0-bin
  # the desktop a person sees, for scripts/look-*.sh: a window manager, a file
  # manager to drag from, a driver for keys and mouse
  openbox thunar xdotool x11-utils dbus-x11
  # the desktop's GTK theme as Qt's palette (QT_QPA_PLATFORMTHEME=gtk3), so
  # that look-rows.sh sees the window under GTK_THEME=Adwaita:dark
  qt6-gtk-platformtheme
)

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps.sh: run as root (it calls apt-get)" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${packages[@]}"
