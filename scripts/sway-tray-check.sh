#!/usr/bin/env bash
# The tray checks on a Wayland desktop: sway, headless, with swaybar as the
# StatusNotifierItem host and mako for notifications, on a private session bus.
# The app runs once natively (no X server) and, where Xwayland is installed,
# once on Xwayland. For each run it prints what it saw (the panel's place after
# the host's Activate at the icon, the menu, NewIcon over a steady and a moving head, the
# tool tip and status during an alert) and leaves screenshots in OUT.
#
#   sway-tray-check.sh [BUILD [OUT]]     (defaults: build, sway-check)
#
# sway refuses to run as root: as root the script runs itself again as nobody.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/desktop-tools.sh
if [ "${1:-}" != --inside ]; then
build=$(realpath "${1:-build}")
out=$(realpath -m "${2:-sway-check}")
require_built "$build" "$0"
for tool in sway swaybar swaymsg grim mako dbus-run-session dbus-send dbus-monitor jq; do
  command -v "$tool" >/dev/null || { echo "missing tool $tool (scripts/install-deps.sh)" >&2; exit 1; }
done

if [ "$(id -u)" -eq 0 ]; then
  mkdir -p "$out"
  chown nobody "$out"
  exec setpriv --reuid=nobody --regid=nogroup --clear-groups --reset-env -- \
    env PATH="$PATH" "$0" "$build" "$out"
fi
mkdir -p "$out"
fi

# One run: MODE is native or xwayland.
run() {
  local mode=$1 work
  work=$(mktemp -d "${TMPDIR:-/tmp}/backbeacon-sway.XXXXXX")
  mkdir -m 0700 "$work/runtime"
  XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" \
    XDG_CACHE_HOME="$work/cache" HOME="$work" \
    timeout 120 dbus-run-session -- "$0" --inside "$mode" "$build" "$out" "$work" || true
  rm -rf "$work"
}

if [ "${1:-}" = --inside ]; then
  mode=$2 build=$3 out=$4 work=$5
  xwayland=disable
  [ "$mode" = xwayland ] && xwayland=enable
  mkdir -p "$XDG_CONFIG_HOME/Backbeacon"
  printf '[General]\nsettings.alertDelay=5\n' >"$XDG_CONFIG_HOME/Backbeacon/Backbeacon.conf"
  cat >"$work/sway.conf" <<CONF
output HEADLESS-1 resolution 1280x800 position 0 0
xwayland $xwayland
default_border none
bar {
  position bottom
  height 24
  status_command while :; do echo; sleep 60; done
  tray_output *
  tray_padding 1
  colors { background #202020 }
}
CONF
  WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    sway -c "$work/sway.conf" >"$work/sway.log" 2>&1 &
  sway_pid=$!
  trap 'kill $sway_pid 2>/dev/null || true' EXIT
  wait_for 10 sh -c 'ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock >/dev/null 2>&1' || {
    echo "[$mode] sway did not start:" && cat "$work/sway.log"; exit 1; }
  SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock)
  export SWAYSOCK WAYLAND_DISPLAY=wayland-1
  unset DISPLAY
  swaymsg exec "mako >$work/mako.log 2>&1" >/dev/null
  has_owner() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q 'boolean true'
  }
  wait_for 10 has_owner org.kde.StatusNotifierWatcher || { echo "[$mode] no tray host"; exit 1; }
  # Started by sway, so it gets sway's DISPLAY when Xwayland runs.
  swaymsg exec "$build/src/app/backbeacon >$work/app.log 2>&1" >/dev/null
  items() {
    dbus-send --session --print-reply --dest=org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
      org.freedesktop.DBus.Properties.Get string:org.kde.StatusNotifierWatcher \
      string:RegisteredStatusNotifierItems 2>/dev/null | grep -o 'org.kde.StatusNotifierItem-[0-9-]*'
  }
  wait_for 15 items >/dev/null || { echo "[$mode] the item did not register"; cat "$work/app.log"; exit 1; }
  item=$(items | head -1)
  prop() {
    dbus-send --session --print-reply --dest="$item" "$1" org.freedesktop.DBus.Properties.Get \
      "string:$2" "string:$3"
  }
  echo "[$mode] $(grep -o 'running on [a-z]*' "$work/app.log")"
  sleep 1
  grim "$out/$mode-tray.png"
  # The icon is the rightmost thing in the bar at the bottom right. Headless
  # sway has no pointer to click it with, so the script calls Activate with
  # the icon's point, as swaybar does on a click.
  dbus-send --session --type=method_call --dest="$item" /StatusNotifierItem \
    org.kde.StatusNotifierItem.Activate int32:1266 int32:788
  app_pid=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.GetConnectionUnixProcessID "string:$item" | awk '/uint32/ {print $2}')
  # On Xwayland the panel bypasses sway, so it is not in sway's tree: the X
  # server the app runs on tells where it is.
  app_display=$(tr '\0' '\n' <"/proc/$app_pid/environ" | sed -n 's/^DISPLAY=//p')
  panel() {
    if [ -n "$app_display" ]; then
      DISPLAY=$app_display xwininfo -name "Backbeacon Panel" 2>/dev/null | awk '
        /Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
        /Width:/ {w=$NF} /Height:/ {h=$NF} /Map State: IsViewable/ {v=1}
        END {if (v) print x, y, w, h}' | grep .
    else
      swaymsg -t get_tree | jq -r '.. | objects | select(.name? == "Backbeacon Panel") | .rect | "\(.x) \(.y) \(.width) \(.height)"' | grep .
    fi
  }
  if wait_for 5 panel >/dev/null; then
    echo "[$mode] panel after Activate(1266, 788): $(panel) (x y width height)"
    if [ -n "$app_display" ]; then
      # Still there a second later (nothing took it away), then Escape closes
      # it; opened again, a click away from it closes it.
      sleep 1
      echo "[$mode] a second later: $(panel || echo closed)"
      DISPLAY=$app_display xdotool key Escape
      sleep 0.5
      echo "[$mode] after Escape: $(panel || echo closed)"
      panel >/dev/null && dbus-send --session --type=method_call --dest="$item" /StatusNotifierItem \
        org.kde.StatusNotifierItem.Activate int32:1266 int32:788
      dbus-send --session --type=method_call --dest="$item" /StatusNotifierItem \
        org.kde.StatusNotifierItem.Activate int32:1266 int32:788
      echo "[$mode] opened again: $(wait_for 5 panel || echo closed)"
      DISPLAY=$app_display xdotool mousemove 200 200 click 1
      sleep 0.5
      echo "[$mode] after a click away: $(panel || echo closed)"
      dbus-send --session --type=method_call --dest="$item" /StatusNotifierItem \
        org.kde.StatusNotifierItem.Activate int32:1266 int32:788
      wait_for 5 panel >/dev/null || true
    fi
  else
    echo "[$mode] no panel after Activate(1266, 788)"
  fi
  grim "$out/$mode-panel.png"
  # Closed again, so the figures below are the tray's alone.
  dbus-send --session --type=method_call --dest="$item" /StatusNotifierItem \
    org.kde.StatusNotifierItem.Activate int32:1266 int32:788
  echo "[$mode] menu: $(dbus-send --session --print-reply --dest="$item" /MenuBar \
    com.canonical.dbusmenu.GetLayout int32:0 int32:-1 array:string:label |
    grep -o 'string "[^"]*"' | grep -v '"label"' | tr '\n' ' ')"

  # NewIcon over a steady and a moving head, and the CPU of app and host.
  dbus-monitor --session "type='signal',interface='org.kde.StatusNotifierItem',member='NewIcon'" \
    >"$work/signals.log" 2>&1 &
  monitor=$!
  bar_pid=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.GetConnectionUnixProcessID string:org.kde.StatusNotifierWatcher |
    awk '/uint32/ {print $2}')
  cpu() { awk '{print $14 + $15}' "/proc/$1/stat"; }
  {
    echo "seconds,pitch,roll"
    for t in $(seq 0 0.1 6); do echo "$t,0,0"; done
    for t in $(seq 6.1 0.1 10); do
      awk -v t="$t" 'BEGIN { printf "%s,%.2f,0\n", t, 9 * sin((t - 6) / 4 * 6.2832) }'
    done
    for t in $(seq 10.1 0.1 25); do echo "$t,-24,0"; done
  } >"$work/head.csv"
  "$build/tools/backbeacon-sim/backbeacon-sim" --csv "$work/head.csv" >"$work/sim.log" 2>&1 &
  sim=$!
  sleep 3
  steady0=$(grep -c NewIcon "$work/signals.log" || true)
  sleep 3
  steady=$(($(grep -c NewIcon "$work/signals.log" || true) - steady0))
  app0=$(cpu "$app_pid") bar0=$(cpu "$bar_pid")
  sleep 4
  moving=$(($(grep -c NewIcon "$work/signals.log" || true) - steady0 - steady))
  percent() { awk -v d="$1" -v t="$(getconf CLK_TCK)" 'BEGIN { printf "%.2f %%", 100 * d / t / 4 }'; }
  echo "[$mode] NewIcon: $steady in 3 s of a steady head, $moving in 4 s of a moving one;" \
    "CPU over the moving head: app $(percent $(($(cpu "$app_pid") - app0)))," \
    "swaybar $(percent $(($(cpu "$bar_pid") - bar0)))"
  sleep 7
  echo "[$mode] during the alert: status $(prop /StatusNotifierItem org.kde.StatusNotifierItem Status |
    grep -o '"[A-Za-z]*"'), tool tip $(prop /StatusNotifierItem org.kde.StatusNotifierItem ToolTip |
    grep -o 'string "[^"]*"' | tail -1)"
  grim "$out/$mode-alert.png"
  cp "$work/app.log" "$out/$mode-app.log"
  # Nothing of this run may feed the next one's port.
  kill "$monitor" "$sim" "$app_pid" 2>/dev/null || true
  swaymsg exit >/dev/null 2>&1 || true
  exit 0
fi

run native
if command -v Xwayland >/dev/null; then
  run xwayland
else
  echo "[xwayland] skipped: Xwayland is not installed"
fi
echo "screenshots in $out"
