#!/usr/bin/env bash
# Fetches the face photographs the camera tests and measurements replay: two
# portraits Debian ships as sample data, taken out of their packages with
# apt-get download and dpkg-deb, so nothing else of the packages is installed.
# Usage: scripts/test-photos.sh [DIR]   (default .cache/test-photos)
set -euo pipefail

dir=${1:-$(cd "$(dirname "$0")/.." && pwd)/.cache/test-photos}

# package  path inside it  name kept
photos=(
  "python3-skimage ./usr/lib/python3/dist-packages/skimage/data/astronaut.png astronaut.png"
  "python-matplotlib-data ./usr/share/matplotlib/mpl-data/sample_data/grace_hopper.jpg grace_hopper.jpg"
)

mkdir -p "$dir"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# As root, apt downloads as its own user, who must be able to write there.
if [ "$(id -u)" -eq 0 ] && id _apt >/dev/null 2>&1; then
  chown _apt "$work"
fi
for entry in "${photos[@]}"; do
  read -r package path name <<<"$entry"
  [ -s "$dir/$name" ] && continue
  echo "Fetching $name from Debian's $package"
  if ! (cd "$work" && apt-get download -qq "$package" >/dev/null 2>&1); then
    # A fresh system may not know the package lists yet.
    if [ "$(id -u)" -eq 0 ]; then apt-get update -qq; else sudo apt-get update -qq; fi
    (cd "$work" && apt-get download -qq "$package" >/dev/null)
  fi
  dpkg-deb --fsys-tarfile "$work"/"${package}"_*.deb | tar -x -C "$work" "$path"
  mv "$work/$path" "$dir/$name"
  rm -f "$work"/"${package}"_*.deb
done
