#!/bin/sh
# Under a headless weston the window comes up natively, named by the desktop entry that docks and task switchers go by.
#   wayland_window.sh TESSAVO          exits 77 (skipped) where weston is not installed
set -u
command -v weston >/dev/null || { echo "weston is not installed"; exit 77; }
run=$(mktemp -d)
trap 'kill $window $compositor 2>/dev/null; rm -rf "$run"' EXIT
XDG_RUNTIME_DIR=$run weston --backend=headless-backend.so --socket=wayland-1 --idle-time=0 --log="$run/weston.log" &
compositor=$!
for _ in $(seq 100); do [ -S "$run/wayland-1" ] && break; sleep 0.1; done
# The headless compositor has no seat; Qt 6.4 would then read a keyboard that is not there for its text input.
env -i HOME="$run" XDG_RUNTIME_DIR="$run" XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=wayland-1 QT_IM_MODULE=none \
  WAYLAND_DEBUG=client "$1" 2>"$run/protocol" &
window=$!
# Drawn: a buffer attached to its surface once the compositor has configured it.
for _ in $(seq 200); do
  sed -n '/xdg_surface@[0-9]*\.ack_configure/,$p' "$run/protocol" | grep -q 'wl_surface@[0-9]*\.attach(wl_buffer' && break
  kill -0 $window 2>/dev/null || break
  sleep 0.1
done
grep -q 'set_title("Tessavo")' "$run/protocol" && grep -q 'set_app_id("io.github.tessavo.tessavo")' "$run/protocol" &&
  sed -n '/ack_configure/,$p' "$run/protocol" | grep -q 'wl_surface@[0-9]*\.attach(wl_buffer' && kill -0 $window 2>/dev/null ||
  { grep -v '^\[' "$run/protocol"; tail -5 "$run/weston.log"; echo "no Tessavo window came up under weston"; exit 1; }
