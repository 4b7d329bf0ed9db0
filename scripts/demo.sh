#!/usr/bin/env bash
# The headless demo of `make run`: Backbeacon on a private desktop (Xvfb,
# trayer, dunst, a private session bus), fed a scripted session by
# backbeacon-sim: a neutral start, good posture, a slouch until the alert, the
# alert paused from its bubble, a recovery. Ends by itself within 2 minutes and
# leaves in BUILD/demo/ the screenshots, the statistics and preferences files,
# the logs and report.md. Exits non-zero when a step fails.
#
#   demo.sh [BUILD]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
tools=$root/scripts/desktop-tools.sh
# shellcheck source=desktop-tools.sh
source "$tools"

if [ "${1:-}" != --inside ]; then
  build=$(realpath "${1:-build}")
  require_built "$build" demo
  rm -rf "$build/demo"
  mkdir -p "$build/demo"
  status=0
  # Every step below waits a bounded time; this bounds the whole.
  timeout --kill-after=5 110 "$root/scripts/private-session.sh" --desktop -- \
    "$0" --inside "$build" || status=$?
  [ $status -eq 124 ] && echo "demo: stopped after 110 s; see $build/demo/" >&2
  exit $status
fi

build=$2
demo=$build/demo
conf=$demo/config/Backbeacon/Backbeacon.conf
stats=$demo/data/Backbeacon/stats.json
mkdir -p "$demo/config/Backbeacon" "$demo/data" "$demo/cache"
mkdir -m 0700 "$demo/runtime"

start=$(now_ms)
since() { # seconds since the launch, or since the given millisecond mark
  local ms=$(($(now_ms) - ${1:-$start}))
  printf '%d.%d' $((ms / 1000)) $((ms % 1000 / 100))
}
timeline=$demo/timeline.part
: >"$timeline"
note() {
  echo "| $(since) | $* |" >>"$timeline"
  echo "demo: $*" >&2
}
failure=
fail() {
  failure=$*
  exit 1
}

# The preferences as stored; records come as @ByteArray(<JSON>).
preference() {
  sed -n "s/^settings\\.$1=//p" "$conf" 2>/dev/null |
    sed 's/^"\(.*\)"$/\1/; s/^@ByteArray(\(.*\))$/\1/; s/\\"/"/g'
}
degrees() { jq -r "(.$1 * 180 / 3.141592653589793 * 100 | round) / 100"; }

sim_options="--session demo --neutral-seconds 3 --good-seconds 8 --slouch-seconds 12 --recovery-seconds 5 --noise 0.3 --seed 7"
app=
sim=
finish() {
  local status=$?
  trap - EXIT
  set +e # whatever fails here, the report gets written
  [ -n "$sim" ] && kill "$sim" 2>/dev/null
  [ -n "$app" ] && kill -KILL "$app" 2>/dev/null
  cp "$PRIVATE_SESSION_DIR/menu.offered" "$demo/dunst-menu.txt" 2>/dev/null || true
  cp "$conf" "$demo/Backbeacon.conf" 2>/dev/null || true
  cp "$stats" "$demo/stats.json" 2>/dev/null || true
  {
    echo "# Backbeacon demo, $(date -d "@$((start / 1000))" '+%Y-%m-%d %H:%M:%S %Z')"
    echo
    if [ -n "$failure" ] || [ $status -ne 0 ]; then
      echo "**FAILED: ${failure:-exit status $status}**"
    else
      echo "Every step passed."
    fi
    echo
    echo "Alert delay preset to 5 s; sensitivity at its default (20°)."
    echo "backbeacon-sim: $sim_options."
    echo
    echo "| seconds after launch | what happened |"
    echo "|---|---|"
    sort -t'|' -k2 -n "$timeline"
    if [ -s "$demo/stats.json" ]; then
      echo
      echo "Statistics file after the quit (today):"
      echo
      jq -r '.[-1] | "- monitored \(.monitoredSeconds * 10 | round / 10) s, out of line \(.slouchedSeconds * 10 | round / 10) s\n- slouches \(.slouches), fixes \(.fixes)"' "$demo/stats.json"
      echo
      echo "A fix counts a return to good posture after an alert; while paused the"
      echo "monitor only counts time, so a head that comes back during the pause adds none."
    fi
    echo
    echo "Files: tray.png, tray-zoom.png (8x), tray-slouch-zoom.png, panel-uncalibrated.png,"
    echo "panel.png, settings.png, settings-2.png, settings-3.png (scrolled), notification.png,"
    echo "stats.json, Backbeacon.conf, app.log, sim.log, dunst-menu.txt."
  } >"$demo/report.md"
  rm -f "$timeline"
  echo "demo: report in $demo/report.md" >&2
  exit $status
}
trap finish EXIT

# The tray around the icon at its real size, and enlarged for a look.
shoot_tray() {
  local x y w h width height
  read -r x y w h <<<"$icon"
  read -r width height < <(xdotool getdisplaygeometry)
  x=$((x > 16 ? x - 16 : 0)) y=$((y > 16 ? y - 16 : 0))
  w=$((x + w + 32 > width ? width - x : w + 32)) h=$((y + h + 32 > height ? height - y : h + 32))
  "$tools" shot "$demo/$1.png" $x $y $w $h
  pngtopam "$demo/$1.png" | pamscale 8 | pnmtopng >"$demo/$1-zoom.png"
}

# Diagnostics on, so the Settings window shows all of its cards.
printf '[General]\nsettings.alertDelay=5\nsettings.collectDiagnostics=true\n' >"$conf"
XDG_CONFIG_HOME=$demo/config XDG_DATA_HOME=$demo/data XDG_CACHE_HOME=$demo/cache \
  XDG_RUNTIME_DIR=$demo/runtime QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=1 \
  "$build/src/app/backbeacon" 2>"$demo/app.log" &
app=$!
note "Backbeacon launched"
icon=$("$tools" wait 10 tray-icon) || fail "no tray icon within 10 s"
note "tray icon shown at ($icon)"

# Before any head motion there is no baseline: the panel asks for one.
# shellcheck disable=SC2086
"$tools" click $icon
panel=$("$tools" wait 5 window "Backbeacon Panel") || fail "no panel after a click on the icon"
sleep 1 # drawn in the next frames, after the window is shown
# shellcheck disable=SC2086
"$tools" shot "$demo/panel-uncalibrated.png" $panel
note "panel without a baseline opened, at ($panel)"
# shellcheck disable=SC2086
"$tools" click $icon
wait_for 3 sh -c "! '$tools' window 'Backbeacon Panel'" || fail "the panel stayed open after a second click"

# shellcheck disable=SC2086
"$build/tools/backbeacon-sim/backbeacon-sim" $sim_options 2>&1 |
  while read -r line; do
    echo "$line" >>"$demo/sim.log"
    echo "| $(since) | backbeacon-sim: $line |" >>"$timeline"
  done &
sim=$!
sim_line() { grep -q "$1" "$demo/sim.log"; }

wait_for 8 grep -q '^settings.goodPosture=' "$conf" || fail "no baseline stored within 8 s"
baseline=$(preference goodPosture)
note "baseline stored: pitch $(degrees pitch <<<"$baseline")°, roll $(degrees roll <<<"$baseline")°"
shoot_tray tray

wait_for 5 sim_line 'phase good' || fail "the simulator did not reach good posture"
# shellcheck disable=SC2086
"$tools" click $icon
panel=$("$tools" wait 5 window "Backbeacon Panel") || fail "no panel after a click on the icon"
note "panel opened by a click on the icon, at ($panel)"
sleep 1 # drawn in the next frames, after the window is shown
# shellcheck disable=SC2086
"$tools" shot "$demo/panel.png" $panel
# shellcheck disable=SC2086
"$tools" click $icon
wait_for 3 sh -c "! '$tools' window 'Backbeacon Panel'" || fail "the panel stayed open after a second click"
note "panel closed by a second click"

# shellcheck disable=SC2086
"$tools" click $icon 3
sleep 0.5 # the menu takes the keyboard once it is shown
xdotool key Down Down Return
settings=$("$tools" wait 5 window Backbeacon) || fail "no Settings window from the menu"
note "Settings window opened from the tray menu (\"Settings...\"), at ($settings)"
sleep 1
# shellcheck disable=SC2086
"$tools" shot "$demo/settings.png" $settings
# Scrolled down with the wheel, a screenful at a time, to the last card.
read -r sx sy sw sh <<<"$settings"
xdotool mousemove $((sx + sw / 2)) $((sy + sh / 2))
for page in 2:1 3:12; do
  xdotool click --repeat "${page#*:}" --delay 30 5
  page=${page%:*}
  sleep 0.8
  # shellcheck disable=SC2086
  "$tools" shot "$demo/settings-$page.png" $settings
done
note "Settings window scrolled down twice: settings-2.png, settings-3.png"

wait_for 15 sim_line 'phase slouch' || fail "the simulator did not reach the slouch"
slouch=$(now_ms)
bubble=$("$tools" wait 12 bubble) || fail "no notification within 12 s of the slouch"
note "notification shown, $(since "$slouch") s after the slouch began"
shoot_tray tray-slouch
rm "$demo/tray-slouch.png"
sleep 0.5
# shellcheck disable=SC2086
"$tools" shot "$demo/notification.png" $bubble

# A click on the bubble opens its action menu; the user picks "Pause 10 min".
# shellcheck disable=SC2086
"$tools" click $bubble
wait_for 5 grep -q '^settings.snoozeUntil=' "$conf" || fail "no pause stored within 5 s of the click"
until=$(preference snoozeUntil)
note "\"Pause 10 min\" chosen on the bubble: paused until $(date -d "@${until%.*}" '+%H:%M:%S'), $(((${until%.*} - $(date +%s)))) s ahead"

wait_for 30 sim_line 'done' || fail "the simulator did not finish"
kill -TERM "$app"
status=0
wait_for 10 sh -c "! kill -0 $app 2>/dev/null" || fail "Backbeacon did not quit within 10 s of SIGTERM"
wait "$app" || status=$?
app=
note "Backbeacon quit on SIGTERM, exit status $status"
[ $status -eq 0 ] || fail "Backbeacon exited with status $status"
[ -s "$stats" ] || fail "no statistics file"
