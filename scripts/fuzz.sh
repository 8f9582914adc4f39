#!/usr/bin/env bash
# scripts/fuzz.sh [SECONDS]
# Builds the fuzz preset (build-fuzz/) and runs every fuzz target for SECONDS
# seconds (default 60), two at a time, then prints one line per target from
# libFuzzer's final figures: runs, runs per second, coverage (cov), features
# (ft) and whether it crashed.
#
# Each target starts from its seeds (fuzz/corpus/<target>/, only read) in a
# fresh temporary corpus, so tables of different runs compare. Logs go to
# build-fuzz/fuzz-logs/<target>.log, the input of a crash to
# build-fuzz/fuzz-artifacts/. Exit status 1 when a target crashed.
set -euo pipefail
seconds=${1:-60}
case $seconds in
  '' | *[!0-9]*)
    echo "usage: scripts/fuzz.sh [SECONDS]" >&2
    exit 2
    ;;
esac
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=$root/build-fuzz

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

# The fuzz targets are the ctest entries labelled "fuzz" (fuzz.<target>).
mapfile -t targets < <(ctest --test-dir "$build" -N -L fuzz | sed -n 's/^ *Test *#[0-9]*: fuzz\.//p')
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz.sh: no fuzz targets in $build" >&2
  exit 1
fi

logs=$build/fuzz-logs
artifacts=$build/fuzz-artifacts
mkdir -p "$logs" "$artifacts"
work=$(mktemp -d "${TMPDIR:-/tmp}/tarvo-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT

run_target() {
  local target=$1
  local seeds=()
  [ -d "fuzz/corpus/$target" ] && seeds=("fuzz/corpus/$target")
  mkdir -p "$work/$target"
  local status=0
  "$build/bin/$target" "$work/$target" "${seeds[@]}" -max_total_time="$seconds" \
    -rss_limit_mb=1024 -print_final_stats=1 -artifact_prefix="$artifacts/$target-" \
    >"$logs/$target.log" 2>&1 || status=$?
  echo "$status" >"$logs/$target.status"
}

echo "Running ${#targets[@]} fuzz targets for $seconds s each, two at a time..."
for target in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge 2 ]; do wait -n || true; done
  run_target "$target" &
done
wait

# One line per target. cov and ft come from libFuzzer's last status line,
# runs and runs per second from its final statistics.
crashed_any=0
printf '%-28s %12s %9s %6s %7s  %s\n' target execs exec/s cov ft crashed
for target in "${targets[@]}"; do
  log=$logs/$target.log
  status=$(cat "$logs/$target.status")
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  crashed=no
  if [ "$status" != 0 ] || grep -q '^==[0-9]*==ERROR\|deadly signal' "$log"; then
    crashed_any=1
    unit=$(sed -n 's/.*Test unit written to //p' "$log" | tail -n 1)
    crashed="YES (exit $status${unit:+, input $unit}; log $log)"
  fi
  printf '%-28s %12s %9s %6s %7s  %s\n' "$target" "${execs:--}" "${rate:--}" "${cov:--}" \
    "${ft:--}" "$crashed"
done
exit $crashed_any
