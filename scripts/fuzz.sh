#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz and runs each of them.
#   scripts/fuzz.sh smoke            every target for a bounded run (CI): 2000 executions or
#                                    10 seconds each, whichever comes first
#   scripts/fuzz.sh long [RUNS] [SECONDS]
#                                    every target until RUNS executions (default 10000000) or
#                                    SECONDS (default 3600), whichever comes first
#   FUZZ_TARGETS="a b" limits the run to those targets.
# Corpora are kept in build-fuzz/corpus/<target>; crashes land in build-fuzz/crashes/<target>.
# The exit status is non-zero when any target found a crash, a leak or a timeout.
set -euo pipefail
cd "$(dirname "$0")/.."
mode="${1:-smoke}"
runs=2000
seconds=10
if [ "$mode" = long ]; then
  runs="${2:-10000000}"
  seconds="${3:-3600}"
elif [ "$mode" != smoke ]; then
  echo "usage: $0 smoke | long [RUNS] [SECONDS]" >&2
  exit 2
fi
targets="${FUZZ_TARGETS:-wave_info_fuzz project_file_fuzz mpeg_info_fuzz decode_audio_fuzz settings_file_fuzz envelope_file_fuzz peak_file_fuzz}"
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
if [ ! -f build-fuzz/build.ninja ]; then
  CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTARVOK_FUZZ=ON -DTARVOK_BENCH=OFF -DTARVOK_GUI=OFF >/dev/null
fi
# shellcheck disable=SC2086
flock /tmp/tarvok-build.lock cmake --build build-fuzz --target $targets >/dev/null
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
status=0
for target in $targets; do
  corpus="build-fuzz/corpus/$target"
  crashes="build-fuzz/crashes/$target"
  mkdir -p "$corpus" "$crashes"
  log="build-fuzz/$target.log"
  if ./build-fuzz/tests/fuzz/"$target" "$corpus" -runs="$runs" -max_total_time="$seconds" \
      -timeout=10 -rss_limit_mb=2048 -max_len=65536 -artifact_prefix="$crashes/" >"$log" 2>&1; then
    result=ok
  else
    result=FOUND
    status=1
  fi
  execs=$(grep -Eo 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -Eo '[0-9]+$' || true)
  if [ -z "$execs" ]; then
    execs=$(grep -Eo '#[0-9]+' "$log" | tail -1 | tr -d '#' || true)
  fi
  echo "$target: $result, ${execs:-?} executions (log $log)"
done
exit $status
