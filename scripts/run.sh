#!/usr/bin/env bash
# Builds Tessavo (Release) and launches it; the window needs a graphical
# session (X11 or Wayland).
#   sudo bash scripts/run.sh   the first time: installs what is needed with
#                              apt-get, then builds and launches as the user
#                              who called sudo, not as root
#   bash scripts/run.sh        afterwards, no root: builds what changed and launches
set -euo pipefail
cd "$(dirname "$0")/.."

as_user=()
if [ "$(id -u)" -eq 0 ]; then
  bash scripts/install-deps.sh
  if [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
    # The build and the window belong to the user, and the window talks to
    # that user's session bus (file manager) rather than root's.
    runtime=/run/user/$(id -u "$SUDO_USER")
    as_user=(runuser -u "$SUDO_USER" -- env)
    [ -d "$runtime" ] && as_user+=(XDG_RUNTIME_DIR="$runtime")
    [ -S "$runtime/bus" ] && as_user+=(DBUS_SESSION_BUS_ADDRESS="unix:path=$runtime/bus")
    [ -d build ] && chown -R "$SUDO_USER": build
  else
    echo "run.sh: running the window as root; run this script as a user, or through sudo, to avoid that" >&2
  fi
fi

"${as_user[@]}" cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
"${as_user[@]}" cmake --build build --parallel "$(nproc)" --target tessavo tessavo-convert
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: built ./build/src/app/tessavo, but the window needs a graphical session (no DISPLAY or WAYLAND_DISPLAY)" >&2
  exit 1
fi
exec "${as_user[@]}" ./build/src/app/tessavo
