#!/usr/bin/env bash
# Installs the Debian 12 packages Backbeacon needs to build, test and run, when
# any is missing. The one list of what the project depends on.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config
  # libraries
  qt6-base-dev qt6-declarative-dev qt6-svg-dev nlohmann-json3-dev libpng-dev
  # the alert sound where the notification server plays none, the sound theme
  # it comes from, and ALSA (its messages go to the app's log)
  libcanberra-dev sound-theme-freedesktop libasound2-dev
  # backbeacon-camera: face landmarks and their model, capture, pose fitting
  libdlib-dev libdlib-data libopencv-videoio-dev libopencv-calib3d-dev
  libopencv-imgproc-dev libopencv-imgcodecs-dev
  # the views' QML modules at run time
  qml6-module-qtquick qml6-module-qtquick-window qml6-module-qtqml-workerscript
  qml6-module-qtquick-controls qml6-module-qtquick-templates qml6-module-qtquick-layouts
  libgtest-dev libgmock-dev libbenchmark-dev
  # fuzzing and formatting
  clang libclang-rt-14-dev clang-format
  # test helpers: time zones, fault injection, private mounts and networks, a
  # fixed font
  tzdata strace util-linux iproute2 fonts-dejavu-core
  # desktop notification tests: a private session bus, its monitor, dunst
  # (with dunstctl) and a virtual X server for dunst's window
  dbus-daemon dbus-bin dunst xvfb
  # the private desktop of the demo and the end-to-end test: a tray host, clicks
  # and window look-ups, screenshots (xwd, netpbm), reading the JSON files
  trayer xdotool x11-apps x11-utils netpbm jq
  # a StatusNotifierItem host for the tray tests (its settings daemon, xfconf,
  # comes with it)
  xfce4-panel
  # native Wayland where no Xwayland is reachable; the sway check script's
  # compositor, bar, notification daemon and screenshots
  qt6-wayland sway grim mako-notifier xwayland
  # the accessibility bus a screen reader listens on, and a client of it
  at-spi2-core python3-pyatspi
  # checkers for the installed desktop entry and AppStream metainfo
  desktop-file-utils appstream
  # checker for the Debian package
  lintian
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing missing packages: ${missing[*]}"
  if [ "$(id -u)" -eq 0 ]; then
    sudo=()
  elif command -v sudo >/dev/null; then
    sudo=(sudo)
  else
    echo "Missing packages and no root or sudo to install them: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The portraits the camera tests replay, taken from Debian's packages.
"$(dirname "$0")/test-photos.sh"
