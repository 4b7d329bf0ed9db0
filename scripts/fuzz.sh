#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, replays the committed corpus (every
# past crash lives there), then fuzzes each target for a bounded time. New
# interesting inputs go to a scratch folder; crashes are left as
# build-fuzz/crash-* for adding to fuzz/corpus/<target>/.
set -euo pipefail
seconds=${1:-30}
build=build-fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DBACKBEACON_FUZZ=ON >/dev/null
cmake --build "$build" --target fuzz_record_json fuzz_stats_file fuzz_opentrack_datagram fuzz_pose_csv

for target in record_json stats_file opentrack_datagram pose_csv; do
  exe="$build/fuzz/fuzz_$target"
  corpus="fuzz/corpus/$target"
  scratch="$build/corpus-$target"
  mkdir -p "$scratch"
  echo "== fuzz_$target: replaying $(ls "$corpus" | wc -l) corpus inputs"
  "$exe" -runs=0 "$corpus"
  echo "== fuzz_$target: fuzzing for ${seconds}s"
  (cd "$build" && "./fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=4096 \
    -print_final_stats=1 "corpus-$target" "../$corpus" 2>&1 | tail -n 12)
done
