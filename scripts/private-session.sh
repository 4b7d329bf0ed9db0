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
#   dunst.log, tray.log, at-spi.log  what the daemons printed
# The tray host is trayer (XEmbed), or with PRIVATE_SESSION_TRAY=xfce4-panel
# xfce4-panel's StatusNotifierItem host in a bar along the bottom.
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
  if [ "${PRIVATE_SESSION_TRAY:-trayer}" = xfce4-panel ]; then
    # A StatusNotifierItem host (xfce4-panel's systray, which also runs the
    # watcher) in a bottom bar, configured through its settings daemon, which
    # no bus activation starts here.
    xml=$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml
    mkdir -p "$xml"
    cat >"$xml/xfce4-panel.xml" <<'PANEL'
<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="dark-mode" type="bool" value="true"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=10;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="24"/>
      <property name="icon-size" type="uint" value="22"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="systray">
      <property name="square-icons" type="bool" value="true"/>
    </property>
  </property>
</channel>
PANEL
    /usr/lib/x86_64-linux-gnu/xfce4/xfconf/xfconfd >"$dir/xfconfd.log" 2>&1 &
    xfce4-panel --disable-wm-check >"$dir/tray.log" 2>&1 &
    tray_up() { has_owner org.kde.StatusNotifierWatcher; }
  else
    # Dark like most panels, so a light glyph shows.
    trayer --edge bottom --align right --widthtype request --height 24 \
      --transparent true --alpha 0 --tint 0x202020 --SetDockType true \
      >"$dir/tray.log" 2>&1 &
    tray_up() { xdotool search --onlyvisible --class trayer >/dev/null 2>&1; }
  fi
  has_owner() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q 'boolean true'
  }
  for _ in $(seq 100); do
    has_owner org.freedesktop.Notifications && has_owner org.a11y.Bus &&
      tray_up && exec "$@"
    sleep 0.1
  done
  echo "the private desktop did not come up:" >&2
  cat "$dir/dunst.log" "$dir/tray.log" "$dir/at-spi.log" >&2
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
