#!/usr/bin/env bash
# What a user does and sees on the private desktop of private-session.sh
# --desktop, for the demo, the end-to-end test and the measuring script.
# Areas are "X Y WIDTH HEIGHT" in screen pixels.
#
#   desktop-tools.sh tray-icon          Backbeacon's icon in the tray host
#   desktop-tools.sh bar                xfce4-panel's bar (its StatusNotifierItem
#                                       host), when that is the tray host
#   desktop-tools.sh window TITLE       the shown window with exactly this title
#   desktop-tools.sh bubble             the notification daemon's bubble
#   desktop-tools.sh shot FILE [AREA]   a PNG of the screen, or of an area of it
#   desktop-tools.sh click AREA [BUTTON]  a click in the middle of an area
#   desktop-tools.sh wait SECONDS SUBCOMMAND...  repeats a look-up until it
#                                       answers, for at most SECONDS
# A look-up that finds nothing prints nothing and exits 1. Sourced, it only
# defines these as functions (and now_ms, wait_for, require_built) for the
# scripts that drive the desktop.
set -euo pipefail

# Exits unless BUILD holds the app and the simulator; NAME says who asks.
require_built() { # BUILD NAME
  local binary
  for binary in src/app/backbeacon tools/backbeacon-sim/backbeacon-sim; do
    [ -x "$1/$binary" ] || { echo "$2: $1/$binary is not built" >&2; exit 1; }
  done
}

geometry() {
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$1")"
  echo "$X $Y $WIDTH $HEIGHT"
}

inside() { # area, outer area
  local x=$1 y=$2 w=$3 h=$4 ox=$5 oy=$6 ow=$7 oh=$8
  [ "$x" -ge "$ox" ] && [ "$y" -ge "$oy" ] && [ $((x + w)) -le $((ox + ow)) ] &&
    [ $((y + h)) -le $((oy + oh)) ]
}

tray_icon() {
  local panel window area
  # trayer keeps a few unmapped helper windows; the shown one is its panel.
  for panel in $(xdotool search --onlyvisible --class '^trayer$' 2>/dev/null); do
    local outer
    outer=$(geometry "$panel")
    for window in $(xdotool search --onlyvisible --class '^backbeacon$' 2>/dev/null); do
      area=$(geometry "$window")
      # shellcheck disable=SC2086
      if inside $area $outer; then
        echo "$area"
        return 0
      fi
    done
  done
  return 1
}

bar() {
  local window
  for window in $(xdotool search --onlyvisible --class '^xfce4-panel$' 2>/dev/null); do
    geometry "$window"
    return 0
  done
  return 1
}

window() {
  local window
  for window in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
    geometry "$window"
    return 0
  done
  return 1
}

bubble() {
  local window area
  for window in $(xdotool search --onlyvisible --class '^dunst$' 2>/dev/null); do
    area=$(geometry "$window")
    # Without notifications dunst keeps a one-pixel-high window.
    [ "$(echo "$area" | cut -d' ' -f4)" -gt 1 ] && { echo "$area"; return 0; }
  done
  return 1
}

shot() {
  local file=$1
  shift
  if [ $# -eq 4 ]; then
    xwd -root -silent | xwdtopnm 2>/dev/null |
      pamcut -left "$1" -top "$2" -width "$3" -height "$4" | pnmtopng >"$file.part"
  else
    xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng >"$file.part"
  fi
  mv "$file.part" "$file"
}

click() {
  # No --sync: it waits for a motion event, which never comes when the
  # pointer is already there.
  xdotool mousemove $(($1 + $3 / 2)) $(($2 + $4 / 2)) click "${5:-1}"
}

now_ms() { echo $(($(date +%s%N) / 1000000)); }

wait_for() {
  local deadline=$(($(now_ms) + $1 * 1000))
  shift
  until "$@"; do
    [ "$(now_ms)" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

[ "${BASH_SOURCE[0]}" = "$0" ] || return 0

case "${1:-}" in
tray-icon) tray_icon ;;
bar) bar ;;
window) window "$2" ;;
bubble) bubble ;;
shot) shift && shot "$@" ;;
click) shift && click "$@" ;;
wait)
  seconds=$2
  shift 2
  case "$1" in
  tray-icon) wait_for "$seconds" tray_icon ;;
  bar) wait_for "$seconds" bar ;;
  window) wait_for "$seconds" window "$2" ;;
  bubble) wait_for "$seconds" bubble ;;
  *) echo "cannot wait for: $*" >&2 && exit 2 ;;
  esac
  ;;
*)
  sed -n '2,14p' "$0" >&2
  exit 2
  ;;
esac
