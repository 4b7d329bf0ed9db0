#!/usr/bin/env bash
# Seeds known faults into the sources one at a time, rebuilds, runs every test
# suite and records whether any suite failed: a measure of what the tests
# catch, to compare one version of the test suite with another.
#
#   seeded-faults.sh [-b BUILD] [-o TABLE] [-s REGEX] [-q] [-l] [ID...]
#     -b BUILD  build directory (default build-faults; configured as CI does,
#               without sanitizers or benchmarks, when it does not exist yet)
#     -o TABLE  also write the result table to this file
#     -s REGEX  run only the suites whose names match (a quick check while
#               working on some suites; the full table needs them all)
#     -q        quick: a fault is caught at its first suite that fails (and
#               fails again); the rest are not run, so the table names only it
#     -l        list the faults and exit
#     ID...     run only these faults (default: all)
#
# Each fault replaces one text that must occur exactly once in its file; the
# script stops before touching anything if one does not, so a change to the
# code shows up here instead of silently seeding nothing. The file is put back
# after each fault, also on an interrupt or an error.
#
# Every suite runs for every fault, as `ctest -j2` would run them. Suites
# other than the desktop ones get 150 s together, the desktop ones 300 s (each
# keeps its own 120 s limit): a hang counts as a failure without stalling the
# run, and suites the limit kept from starting run afterwards. A failing suite
# is run once more with the fault still in place and counts only if it fails
# again; one that passes then is listed as flaky. A fault that does not
# compile is reported as such, not as caught. Build and test logs go to
# BUILD/faults/.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build-faults
table_file=
suites=()
stop=()
quick=false
list_only=false
while getopts b:o:s:qlh opt; do
  case $opt in
    b) build=$OPTARG ;;
    o) table_file=$OPTARG ;;
    s) suites=(-R "$OPTARG") ;;
    q) quick=true stop=(--stop-on-failure) ;;
    l) list_only=true ;;
    *) sed -n '2,16s/^# \{0,1\}//p' "$0"; exit 2 ;;
  esac
done
shift $((OPTIND - 1))

ids=() files=() finds=() replacements=() descriptions=()
fault() {
  ids+=("$1") files+=("$2") descriptions+=("$3") finds+=("$4") replacements+=("$5")
}

# --- model
fault M01 src/model/AppSettings.cpp 'a stored sensitivity of 30° (the maximum) is dropped at start' \
  'sensitivity <= kMaxSensitivityDegrees' 'sensitivity < kMaxSensitivityDegrees'
fault M02 src/model/AppSettings.cpp 'alert sound off by default on a first run' \
  'readBool(settingsKey::soundEnabled).value_or(true)' 'readBool(settingsKey::soundEnabled).value_or(false)'
fault M03 src/model/AppSettings.cpp 'at start a snooze still ahead is dropped, a past one kept' \
  'if (deadline > m_clock.now()) {' 'if (deadline < m_clock.now()) {'
fault M04 src/model/AppSettings.cpp 'the baseline is not stored: lost at the next start' \
  $'    persistGoodPosture();\n' ''
fault M05 src/model/AppSettings.cpp 'launch at login: switching it on removes the autostart entry' \
  'enabled ? m_loginItem.registerItem() : m_loginItem.unregisterItem()' \
  'enabled ? m_loginItem.unregisterItem() : m_loginItem.registerItem()'
fault M06 src/model/AtomicFile.cpp 'no fsync before the rename: a crash can leave an empty file' \
  $'    if (error == 0 && m_posix.fsync(fd) != 0) {\n        error = errno;\n    }\n' ''
fault M07 src/model/XdgAutostartLoginItem.cpp 'an autostart entry with Hidden=true reads as enabled' \
  '(key == "Hidden" && value == "true")' '(key == "Hidden" && value == "false")'
fault M08 src/model/QSettingsPreferences.cpp 'a failed settings save does not put the previous file back' \
  $'        ::rename(previous.constData(), path.constData());\n' ''
fault M09 src/model/RecordJson.cpp 'out-of-line time stored as the monitored time' \
  'object["slouchedSeconds"] = d.slouchedSeconds;' 'object["slouchedSeconds"] = d.monitoredSeconds;'

# --- stats
fault S01 src/stats/StatisticsStore.cpp 'negative ticks (clock set back) are added to the day' \
  'return seconds >= 0.0 && seconds < 5.0;' 'return seconds < 5.0;'
fault S02 src/stats/StatisticsStore.cpp 'a slouch or fix waits for the 5 s throttle instead of saving' \
  $'    setToday(day);\n    m_lastSave = Instant::distantPast();\n' $'    setToday(day);\n'
fault S03 src/stats/StatisticsStore.cpp 'clock set back into an earlier day opens a second record' \
  'if (m_today.date < day.start) {' 'if (m_today.date != day.start) {'
fault S04 src/stats/StatisticsStore.cpp 'after a file was kept aside, every save moves the file aside' \
  $'    m_keepFileAside = false;\n    m_unsaved = false;' '    m_unsaved = false;'
fault S05 src/stats/StatsFile.cpp 'a stats file that cannot be opened is taken as missing' \
  'errno == ENOENT ? Loaded::Outcome::missing : Loaded::Outcome::unreadable' \
  'errno == ENOENT ? Loaded::Outcome::unreadable : Loaded::Outcome::missing'
fault S06 src/stats/Insights.cpp 'drift load counted per minute, shown per hour' \
  '(m_today.monitoredSeconds / 3600.0)' '(m_today.monitoredSeconds / 60.0)'
fault S07 src/stats/LocalCalendar.cpp 'the search for a skipped midnight never narrows (hangs)' \
  '            low = middle + 1;' '            low = middle;'
fault S08 src/stats/StatsInfographicRenderer.cpp 'card signal cells: integer division lights none below 100%' \
  'std::clamp(average, 0, 100) * kSignalCells / 100' 'std::clamp(average, 0, 100) / 100 * kSignalCells'

# --- engine
fault E01 src/engine/PostureMonitor.cpp 'drift exactly at the sensitivity counts as bad posture' \
  'if (combined > sensitivity) {' 'if (combined >= sensitivity) {'
fault E02 src/engine/PostureMonitor.cpp 'an alert is not counted as a slouch in the statistics' \
  $'        m_stats.recordSlouch();\n' ''
fault E03 src/engine/PostureMonitor.cpp 'any return from bad posture counts as a fix, alerted or not' \
  'if (m_state.is(Kind::bad) && m_notifiedForCurrentBadStreak) {' 'if (m_state.is(Kind::bad)) {'
fault E04 src/engine/PostureMonitor.cpp 'snoozed time is counted as slouched' \
  'tickStats(now, false);' 'tickStats(now, true);'
fault E05 src/engine/PostureMonitor.cpp 'snooze minutes taken as seconds' \
  'static_cast<double>(minutes) * 60.0' 'static_cast<double>(minutes)'
fault E06 src/engine/PostureMonitor.cpp 'the baseline roll is averaged from the pitch samples' \
  'rollSum += sample.roll;' 'rollSum += sample.pitch;'
fault E07 src/engine/PostureMonitor.cpp 'a live stream reads as disconnected, a silent one never' \
  'if (m_clock.now() - *m_lastMotionAt > kStalenessLimit) {' \
  'if (m_clock.now() - *m_lastMotionAt < kStalenessLimit) {'
fault E08 src/engine/OpentrackDatagram.cpp "opentrack's roll taken with the wrong sign" \
  '-rollDegrees * kPi / 180.0' 'rollDegrees * kPi / 180.0'
fault E09 src/engine/UdpMotionManager.cpp 'the last sample of a batch claims more follow' \
  'samples[i]->batchContinues = i < last;' 'samples[i]->batchContinues = i <= last;'
fault E10 src/engine/CameraSupervisor.cpp 'camera busy (exit 75) reported as camera lost' \
  $'    case kExitCameraBusy:\n        return Status::cameraBusy;' \
  $'    case kExitCameraBusy:\n        return Status::cameraLost;'

# --- notify
fault N01 src/notify/NotificationManager.cpp 'the cooldown test is inverted' \
  'm_settings.notificationCooldown() > elapsed' 'm_settings.notificationCooldown() < elapsed'
fault N02 src/notify/NotificationManager.cpp 'a clock set back silences alerts until it catches up' \
  'if (elapsed >= 0 && m_settings.notificationCooldown()' 'if (m_settings.notificationCooldown()'
fault N03 src/notify/NotificationManager.cpp 'the alert sound plays even when switched off' \
  'request.sound = m_settings.soundEnabled();' 'request.sound = true;'
fault N04 src/notify/NotificationManager.cpp '"Pause 10 min" pauses for 600 minutes' \
  'm_snoozeHandler(kSnoozeMinutes);' 'm_snoozeHandler(kSnoozeMinutes * 60);'
fault N05 src/notify/FreedesktopNotificationCenter.cpp 'where the server plays no sounds, the app plays none either' \
  'setSoundPlayedBy(m_soundPlayer ? SoundPlayedBy::app : SoundPlayedBy::unknown);' \
  'setSoundPlayedBy(SoundPlayedBy::unknown);'
fault N06 src/notify/CanberraSoundPlayer.cpp 'only the first alert ever plays its sound' \
  $'            m_busy = false;\n' ''

# --- app
fault A01 src/app/StatusIndicator.cpp 'the tray shows the alert mood whenever connected' \
  'if (alerted && connected) {' 'if (alerted || connected) {'
fault A02 src/app/StatusBarController.cpp 'with no tray host the panel never opens as a window' \
  'if (!m_statusItem.isShown() && !m_views.isPanelShown()) {' \
  'if (m_statusItem.isShown() && !m_views.isPanelShown()) {'
fault A03 src/app/BackbeaconApp.cpp 'monitoring starts at launch though auto start is off' \
  'monitoringEnabled() && self->m_settings->autoStart()' 'monitoringEnabled() || self->m_settings->autoStart()'
fault A04 src/app/BackbeaconApp.cpp 'quitting drops the seconds not yet saved' \
  $'    m_stats->savePendingChanges();\n' ''
fault A05 src/app/SingleInstance.cpp 'a second launch runs unguarded instead of handing over' \
  'if (m_lock->error() == QLockFile::LockFailedError) {' 'if (m_lock->error() != QLockFile::LockFailedError) {'
fault A06 src/app/QtProcessLauncher.cpp 'the camera tool outlives an app that was killed' \
  $'            ::prctl(PR_SET_PDEATHSIG, SIGTERM);\n' ''
fault A07 src/app/TimeZoneWatch.cpp 'a change of time zone is never applied' \
  'zone.id() == m_calendar.timeZone().id()' 'zone.id() != m_calendar.timeZone().id()'
fault A08 src/app/StatusNotifierItem.cpp 'tray menu layout asked for all levels (-1) has no entries' \
  'parentId == kRoot && recursionDepth != 0' 'parentId == kRoot && recursionDepth > 0'

# --- ui
fault U01 src/ui/ViewRules.cpp 'headline reads "Aligned" up to 80% of the threshold, not 60%' \
  'driftFraction > 0.6 ?' 'driftFraction > 0.8 ?'
fault U02 src/ui/ViewRules.cpp 'the weekly bad time adds up monitored time' \
  'total.slouchedSeconds += day.slouchedSeconds;' 'total.slouchedSeconds += day.monitoredSeconds;'
fault U03 src/ui/PanelPlacement.cpp 'the panel overlaps the tray icon by a pixel' \
  'int y = anchor.bottom() + 1 + kGap;' 'int y = anchor.bottom() + kGap;'
fault U04 src/ui/ViewModel.cpp '"Cancel Snooze" stays 1000 times as long as the snooze' \
  'm_snoozeEnd->start(*until - now,' 'm_snoozeEnd->start((*until - now) * 1000,'
fault U05 src/ui/SymbolImageProvider.cpp 'symbols painted as filled squares of their colour' \
  'CompositionMode_SourceIn' 'CompositionMode_SourceOver'
fault U06 src/ui/SymbolImageProvider.cpp 'symbol sizes no longer capped at 512 pixels' \
  'return {std::min(width, kMaxSide), std::min(height, kMaxSide)};' 'return {width, height};'
fault U07 src/ui/qml/MenuBarRootView.qml 'Escape no longer closes the panel' \
  'Keys.onEscapePressed: app.closePanel()' ''
fault U08 src/ui/qml/SettingsRootView.qml 'the camera status shows for the head tracker, not the camera' \
  'visible: viewModel.headSourceIndex === 1' 'visible: viewModel.headSourceIndex === 0'
fault U09 src/ui/qml/SettingsRootView.qml '"Cancel Snooze" shows only when there is no snooze' \
  'visible: viewModel.snoozeLiesAhead' 'visible: !viewModel.snoozeLiesAhead'
fault U10 src/ui/qml/SettingSwitch.qml "clicking a switch's label does not change it" \
  'onTapped: row.toggled(!row.checked)' 'onTapped: row.toggled(row.checked)'
fault U11 src/ui/qml/ActionList.qml '"Remap Baseline" captures a baseline instead of clearing it' \
  'onTriggered: viewModel.resetCalibration()' 'onTriggered: viewModel.captureBaseline()'

# --- backbeacon-sim
fault T01 tools/backbeacon-sim/Playback.cpp 'noisy angles are not kept within ±180°' \
  'return std::clamp(degrees, -kMaxPoseDegrees, kMaxPoseDegrees);' 'return degrees;'
fault T02 tools/backbeacon-sim/SimScript.cpp 'the slouch phase raises the head instead of dropping it' \
  '{-shape.slouchDegrees, 0.0}' '{shape.slouchDegrees, 0.0}'
fault T03 tools/backbeacon-sim/PoseCsv.cpp 'CSV rows with the same time are rejected' \
  'since < keyframes.back().seconds' 'since <= keyframes.back().seconds'
fault T04 tools/backbeacon-sim/PoseCsv.cpp 'CSV comments are not stripped' \
  "line = trimmed(line.substr(0, line.find('#')));" 'line = trimmed(line);'
fault T05 tools/backbeacon-sim/PoseCsv.cpp 'CSV times no longer count from the first row' \
  $'        if (keyframes.empty()) {\n            origin = seconds;\n        }\n' ''
fault T06 tools/backbeacon-sim/main.cpp 'the default port is 4243' \
  'QStringLiteral("port"), QStringLiteral("4242"));' 'QStringLiteral("port"), QStringLiteral("4243"));'

# --- backbeacon-camera
fault C01 tools/backbeacon-camera/OneEuroFilter.cpp 'low-pass time constant missing its factor 2' \
  '1.0 / (2 * kPi * cutoffHz)' '1.0 / (kPi * cutoffHz)'
fault C02 tools/backbeacon-camera/OneEuroFilter.cpp 'two frames with the same time divide by zero' \
  'if (seconds <= *m_lastSeconds) {' 'if (seconds < *m_lastSeconds) {'
fault C03 tools/backbeacon-camera/HeadPoseEstimator.cpp 'pitch sent with the wrong sign' \
  'pose.pitch = -cameraPitch * kDegrees;' 'pose.pitch = cameraPitch * kDegrees;'
fault C04 tools/backbeacon-camera/HeadPipeline.cpp 'the filters start over on every frame seen in time' \
  'seconds - *m_lastSeenSeconds > kForgetAfterSeconds' 'seconds - *m_lastSeenSeconds < kForgetAfterSeconds'
fault C05 tools/backbeacon-camera/CameraOptions.cpp '--device alone is refused as if given with --input' \
  '!options.device.empty() && !options.input.empty()' '!options.device.empty() || !options.input.empty()'
fault C06 tools/backbeacon-camera/UdpSender.cpp 'the port is sent without byte-order conversion' \
  'to.sin_port = htons(static_cast<std::uint16_t>(m_port));' 'to.sin_port = static_cast<std::uint16_t>(m_port);'

subsystem() {
  case $1 in
    src/ui/qml/*) echo ui/qml ;;
    src/*) cut -d/ -f2 <<<"$1" ;;
    tools/backbeacon-*) cut -d/ -f2 <<<"$1" | sed 's/^backbeacon-//' ;;
  esac
}

if $list_only; then
  for i in "${!ids[@]}"; do
    printf '%s  %-10s %s\n' "${ids[$i]}" "$(subsystem "${files[$i]}")" "${descriptions[$i]}"
  done
  exit 0
fi

# Replaces FIND with REPLACEMENT in FILE, or fails when FIND is not there
# exactly once. With --check, only checks.
edit() {
  python3 - "$@" <<'EOF'
import sys
check = sys.argv[1] == "--check"
path, find, replacement = sys.argv[2:] if check else sys.argv[1:]
text = open(path, encoding="utf-8").read()
count = text.count(find)
if count != 1:
    sys.exit(f"{path}: the text to replace occurs {count} times, not once:\n{find}")
if not check:
    open(path, "w", encoding="utf-8").write(text.replace(find, replacement))
EOF
}

# Which faults: all, or those named.
selected=()
if [ $# -eq 0 ]; then
  selected=("${!ids[@]}")
else
  for want in "$@"; do
    found=
    for i in "${!ids[@]}"; do [ "${ids[$i]}" = "$want" ] && found=$i; done
    [ -n "$found" ] || { echo "no fault $want (see -l)" >&2; exit 2; }
    selected+=("$found")
  done
fi
if [ "$(printf '%s\n' "${ids[@]}" | sort | uniq -d)" != "" ]; then
  echo "fault ids are not unique" >&2
  exit 2
fi
# Every fault, not only the selected ones: the list must stay in step with the code.
broken=0
for i in "${!ids[@]}"; do
  edit --check "${files[$i]}" "${finds[$i]}" "${replacements[$i]}" || broken=1
done
[ "$broken" -eq 0 ] || { echo "the fault list no longer matches the code" >&2; exit 1; }

if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DBACKBEACON_WERROR=ON -DBACKBEACON_BENCH=OFF
fi
logs=$build/faults
mkdir -p "$logs"

# The file being faulted and its original bytes, put back whatever happens.
# Rewritten rather than copied with its old date, so the next build sees it.
saved=$(mktemp)
current=
restore() {
  if [ -n "$current" ]; then
    cat "$saved" >"$current"
    current=
  fi
}
trap 'restore; rm -f "$saved"' EXIT
trap 'exit 130' INT TERM

build_tree() {
  cmake --build "$build" -j2 >"$1" 2>&1
}

# ctest_run LIMIT ARGS...: ctest over the suites ARGS select, stopped after
# LIMIT seconds, its output appended to $log. Prints each failing suite, as
# "name" or with how it failed ("name(Timeout)"). Suites the limit kept from
# starting run next, under a limit of their own.
ctest_run() {
  local limit=$1 out left
  shift
  out=$(mktemp)
  ctest --test-dir "$build" --output-on-failure \
    --stop-time "$(date -d "+$limit sec" +%H:%M:%S)" "$@" >"$out" 2>&1 || true
  cat "$out" >>"$log"
  sed -n 's/^[[:space:]]*[0-9][0-9]* - \([^ ]*\) (\(.*\))$/\1(\2)/p' "$out" |
    sed 's/(Failed)$//; s/ /-/g'
  if grep -q 'The stop time has been passed' "$out"; then
    left=$(comm -23 <(ctest --test-dir "$build" -N "$@" | sed -n 's/^ *Test *#[0-9]*: //p' | sort) \
      <(sed -n 's/^.*Test *#[0-9]*: \([^ ]*\) .*/\1/p' "$out" | sort) | paste -sd'|')
    [ -z "$left" ] || ctest_run "$limit" -j2 -R "^($left)\$"
  fi
  rm -f "$out"
}

# Runs every suite into the log $1, the desktop ones after the rest; prints
# the failing ones, those that passed when run again marked "(flaky)". With
# -q it stops at the first group with a confirmed failure.
run_suites() {
  local log=$1 group limit first names again entry found=
  : >"$log"
  for group in "-LE desktop -j2" "-L desktop"; do
    limit=150
    [ "$group" = "-L desktop" ] && limit=300
    # shellcheck disable=SC2086 # the group is two or three words on purpose
    first=$(ctest_run $limit $group "${stop[@]}" "${suites[@]}")
    [ -n "$first" ] || continue
    echo "== the failing suites once more" >>"$log"
    names="^($(sed 's/(.*//' <<<"$first" | paste -sd'|'))\$"
    # shellcheck disable=SC2086
    again=$(ctest_run $limit $group -R "$names")
    while read -r entry; do
      if grep -qx "${entry%%(*}\(([^)]*)\)\{0,1\}" <<<"$again"; then
        echo "$entry"
        found=1
      else
        echo "${entry%%(*}(flaky)"
      fi
    done <<<"$first"
    if $quick && [ -n "$found" ]; then
      return 0
    fi
  done
}

# Whether the failures read from stdin include one that held when run again.
confirmed() {
  [ -n "$(grep -v '(flaky)$')" ]
}

started=$SECONDS
echo "== the unchanged tree: build and run every suite" >&2
build_tree "$logs/baseline-build.log" || { echo "the unchanged tree does not build" >&2; exit 1; }
failing=$(run_suites "$logs/baseline-test.log")
if confirmed <<<"$failing"; then
  echo "the unchanged tree fails: $(echo $failing)" >&2
  exit 1
fi
[ -z "$failing" ] || echo "flaky on the unchanged tree: $(echo $failing)" >&2

results=()
caught=0
n=0
for i in "${selected[@]}"; do
  n=$((n + 1))
  id=${ids[$i]} file=${files[$i]}
  fault_started=$SECONDS
  cp "$file" "$saved"
  current=$file
  edit "$file" "${finds[$i]}" "${replacements[$i]}"
  if ! build_tree "$logs/$id-build.log"; then
    result="did not build" failing=
  else
    failing=$(run_suites "$logs/$id-test.log")
    if confirmed <<<"$failing"; then
      result=caught
      caught=$((caught + 1))
    else
      result=missed
    fi
  fi
  restore
  failing=$(paste -sd' ' <<<"$failing")
  results+=("| $id | $(subsystem "$file") | ${descriptions[$i]} | $result | ${failing:--} |")
  printf '[%d/%d] %s %s (%ds)\n' "$n" "${#selected[@]}" "$id" "$result" \
    $((SECONDS - fault_started)) >&2
done

# Leaves the build as the sources are.
build_tree "$logs/final-build.log" || echo "warning: the restored tree did not rebuild" >&2

minutes=$(((SECONDS - started) / 60))
{
  echo "| id | subsystem | fault | result | failing suites |"
  echo "|---|---|---|---|---|"
  printf '%s\n' "${results[@]}"
  echo
  echo "caught $caught of ${#selected[@]} ($(git rev-parse --short HEAD), ${minutes} min)"
} | if [ -n "$table_file" ]; then tee "$table_file"; else cat; fi
