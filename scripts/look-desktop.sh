# The desktop a person sees, for scripts/look-*.sh to source: Xvfb at
# 1280x800, Openbox, a private session bus, optionally Thunar, and a scratch
# HOME with its own XDG folders, all gone again when the script exits.
#
#   source "$(dirname "$0")/look-desktop.sh"
#   desktop_start :93             # exports DISPLAY, HOME, XDG_*, the bus; sets $desktop
#   desktop_run thunar "$dir"     # in the background, ended with the desktop; pid in $desktop_pid
#   desktop_shot "$out/1-x.png"   # the whole screen
#
# $desktop is the scratch folder (HOME is $desktop/home); put the script's
# own files there too. The bus is started with this environment, so what it
# starts (Thunar as the file manager of a reveal) opens on this display and
# this HOME.

desktop_pids=()

desktop_cleanup() {
  local i
  # Newest first: the display goes last.
  for ((i = ${#desktop_pids[@]} - 1; i >= 0; i--)); do kill "${desktop_pids[i]}" 2>/dev/null || true; done
  for ((i = ${#desktop_pids[@]} - 1; i >= 0; i--)); do wait "${desktop_pids[i]}" 2>/dev/null || true; done
  [ -n "${desktop:-}" ] && rm -rf "$desktop"
  return 0
}

desktop_run() {
  "$@" &
  desktop_pid=$!
  desktop_pids+=("$desktop_pid")
}

desktop_start() {
  local display=${1:?desktop_start DISPLAY}
  desktop=$(mktemp -d)
  trap desktop_cleanup EXIT
  export DISPLAY=$display HOME=$desktop/home
  export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_CACHE_HOME=$HOME/.cache
  export XDG_RUNTIME_DIR=$desktop/run
  mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME"
  mkdir -m 700 "$XDG_RUNTIME_DIR"
  desktop_run Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp
  local _
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  eval "$(dbus-launch --sh-syntax)"
  desktop_pids+=("$DBUS_SESSION_BUS_PID")
  desktop_run openbox
  sleep 1
}

desktop_shot() { import -window root "$1"; }

# The id of the first visible window whose title matches $1, once there is one.
desktop_window() { for _ in $(seq 100); do xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 && return; sleep 0.2; done; return 1; }

# Thunar (its title matching $1) at the left and Tessavo at the right, as a
# person arranges them to drag; sets thunarWin and tessavoWin.
desktop_side_by_side() {
  thunarWin=$(desktop_window "$1")
  tessavoWin=$(desktop_window "^Tessavo$")
  xdotool windowsize "$thunarWin" 600 500 windowmove "$thunarWin" 0 0
  xdotool windowsize "$tessavoWin" 640 600 windowmove "$tessavoWin" 630 30
  sleep 1
}
