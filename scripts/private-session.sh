#!/usr/bin/env bash
# Runs a command on a private D-Bus session bus and, with --display, beside a
# private X server; with --desktop, also with a notification daemon (dunst) and
# a tray host (trayer) on them, the smallest desktop Backbeacon lives on, in a
# network of its own where the privilege allows, and the accessibility bus
# (at-spi2-core) a screen reader reads the apps through.
# Nothing of the caller's desktop is used (CI runs as root with neither), and
# whatever way the command ends, everything started here is stopped again.
#
#   private-session.sh [--display | --desktop] -- command [arguments...]
#
# With --desktop the command finds in $PRIVATE_SESSION_DIR (removed at the end):
#   dunst.log, trayer.log, at-spi.log  what the daemons printed
#   menu.offered           the last action menu dunst offered; its menu command
#                          picks Backbeacon's pause action, as a user would
set -euo pipefail

# Second stage, already inside the session: the daemons, then the command.
if [ "${1:-}" = --inside-desktop ]; then
  shift
  [ "${1:-}" = -- ] && shift
  dir=$PRIVATE_SESSION_DIR
  dunst -conf "$dir/dunstrc" >"$dir/dunst.log" 2>&1 &
  # The accessibility bus, as a desktop session starts it; the registry on it
  # is started by that bus itself when first asked for.
  # Its switches live in memory: the private bus starts no settings service.
  GSETTINGS_BACKEND=memory /usr/libexec/at-spi-bus-launcher --launch-immediately >"$dir/at-spi.log" 2>&1 &
  # Dark like most panels, so a light glyph shows.
  trayer --edge bottom --align right --widthtype request --height 24 \
    --transparent true --alpha 0 --tint 0x202020 --SetDockType true \
    >"$dir/trayer.log" 2>&1 &
  has_owner() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q 'boolean true'
  }
  for _ in $(seq 100); do
    has_owner org.freedesktop.Notifications && has_owner org.a11y.Bus &&
      xdotool search --onlyvisible --class trayer >/dev/null 2>&1 && exec "$@"
    sleep 0.1
  done
  echo "the private desktop did not come up:" >&2
  cat "$dir/dunst.log" "$dir/trayer.log" "$dir/at-spi.log" >&2
  exit 1
fi

own_network=false
if [ "${1:-}" = --in-own-network ]; then
  shift
  ip link set lo up
  own_network=true
fi

mode=bus
case "${1:-}" in
--display) mode=display && shift ;;
--desktop) mode=desktop && shift ;;
esac
[ "${1:-}" = -- ] && shift
[ $# -ge 1 ] || {
  echo "usage: $0 [--display | --desktop] -- command [arguments...]" >&2
  exit 2
}

needed="dbus-daemon dbus-run-session setsid"
[ $mode != bus ] && needed+=" Xvfb dunst dunstctl dbus-monitor"
[ $mode = desktop ] && needed+=" trayer dbus-send xdotool /usr/libexec/at-spi-bus-launcher"
for tool in $needed; do
  command -v "$tool" >/dev/null || { echo "missing tool $tool (scripts/install-deps.sh)" >&2; exit 1; }
done

# Backbeacon listens on a fixed UDP port. In a network of the desktop's own
# (loopback only), a Backbeacon the user is running, or another test's, cannot
# hold it first. Without the privilege for one, the shared network serves.
if [ $mode = desktop ] && ! $own_network && command -v ip >/dev/null &&
  unshare --net true 2>/dev/null; then
  exec unshare --net -- "$0" --in-own-network --desktop -- "$@"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/backbeacon-session.XXXXXX")
xvfb=
session=
cleanup() {
  local status=$?
  trap - EXIT INT TERM
  # The command leads a process group of its own, with the bus daemon and
  # every helper started in it (dunst, trayer, dbus-monitor, the menu script):
  # end them all.
  [ -n "$session" ] && kill -KILL -- "-$session" 2>/dev/null || true
  [ -n "$xvfb" ] && kill -TERM "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null || true
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The command's own user folders, so nothing lands in the caller's home.
mkdir -m 0700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache"
unset DBUS_SESSION_BUS_ADDRESS DISPLAY WAYLAND_DISPLAY

if [ $mode != bus ]; then
  # Xvfb picks a free display itself and reports its number through the pipe.
  mkfifo "$work/display"
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x800x24 3>"$work/display" 2>"$work/xvfb.log" &
  xvfb=$!
  number=
  read -r -t 20 number <"$work/display" || true
  [ -n "$number" ] || { echo "Xvfb did not start:" >&2; cat "$work/xvfb.log" >&2; exit 1; }
  export DISPLAY=":$number"
fi

# No service folders: a call to a missing notification server fails at once
# instead of starting whatever daemon the machine has installed.
cat >"$work/session.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$work</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF

command=("$@")
if [ $mode = desktop ]; then
  export PRIVATE_SESSION_DIR=$work
  # A click on a bubble opens its action menu, like dunstctl context does.
  cat >"$work/menu.sh" <<'MENU'
#!/bin/sh
tee "$PRIVATE_SESSION_DIR/menu.offered" | awk '/,backbeacon\.snooze10\]$/ && !found { print; found = 1 }'
MENU
  chmod 0700 "$work/menu.sh"
  cat >"$work/dunstrc" <<DUNSTRC
[global]
    dmenu = $work/menu.sh
    follow = none
    origin = top-right
    offset = 10x10
    width = 340
    font = DejaVu Sans 10
    mouse_left_click = context
[urgency_normal]
    timeout = 0
DUNSTRC
  command=("$0" --inside-desktop -- "$@")
fi

# In the background (so not a group leader), setsid makes the new group without
# forking: its id is $!.
setsid dbus-run-session --config-file="$work/session.conf" -- "${command[@]}" &
session=$!
status=0
wait "$session" || status=$?
exit "$status"
