#!/usr/bin/env bash
# Runs one test on a private D-Bus session bus and, with --display, beside a
# private X server for the notification daemon the test starts. Nothing of the
# caller's desktop is used (CI runs as root with neither), and whatever way the
# test ends, everything started here is stopped again.
#
#   run-private-session.sh [--display] -- test-binary [arguments...]
set -euo pipefail

with_display=false
[ "${1:-}" = --display ] && with_display=true && shift
[ "${1:-}" = -- ] && shift
[ $# -ge 1 ] || { echo "usage: $0 [--display] -- test-binary [arguments...]" >&2; exit 2; }

needed="dbus-daemon dbus-run-session setsid"
$with_display && needed+=" Xvfb dunst dunstctl dbus-monitor"
for tool in $needed; do
  command -v "$tool" >/dev/null || { echo "missing test tool $tool (scripts/install-deps.sh)" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/backbeacon-session.XXXXXX")
xvfb=
session=
cleanup() {
  local status=$?
  trap - EXIT INT TERM
  # The test leads a process group of its own, with the bus daemon and every
  # helper it starts (dunst, dbus-monitor, the menu script): end them all.
  [ -n "$session" ] && kill -KILL -- "-$session" 2>/dev/null || true
  [ -n "$xvfb" ] && kill -TERM "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null || true
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The test's own user folders, so nothing lands in the caller's home.
mkdir -m 0700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache"
unset DBUS_SESSION_BUS_ADDRESS DISPLAY WAYLAND_DISPLAY

if $with_display; then
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

# In the background (so not a group leader), setsid makes the new group without
# forking: its id is $!.
setsid dbus-run-session --config-file="$work/session.conf" -- "$@" &
session=$!
status=0
wait "$session" || status=$?
exit "$status"
