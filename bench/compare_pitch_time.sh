#!/bin/sh
# Times time stretch and pitch shift against sox on the same ten-minute 44.1 kHz stereo file,
# in one run, best wall time of several, for the effects' own algorithms and for the
# high-quality mode:
#   sox IN OUT tempo 1.25     against  time stretch 118 with S = 1.25 (80 % of the length)
#   sox IN OUT pitch 300      against  pitch shift 117 (ピッチ +3, 微調整 0, レベル 100, 原音 0)
#
# usage: bench/compare_pitch_time.sh [BUILD_DIR]   (BUILD_DIR defaults to build-rel, a Release
# build with TARVOK_BENCH=ON)
set -eu

build=${1:-build-rel}
bench="$build/bench/fx_bench"
runs=${RUNS:-3}
if [ ! -x "$bench" ]; then
    echo "compare_pitch_time: $bench not found; build the fx_bench target first" >&2
    exit 1
fi
if ! command -v sox >/dev/null 2>&1; then
    echo "compare_pitch_time: sox is not installed" >&2
    exit 1
fi

work=$(mktemp -d /tmp/tarvok-compare-pitch-XXXXXX)
trap 'rm -rf "$work"' EXIT
file="$work/in.wav"
"$bench" --make-file "$file"

. "$(dirname "$0")/timing.sh"

run_sox_tempo() { rm -f "$work/o.wav"; sox "$file" "$work/o.wav" tempo 1.25; }
run_sox_pitch() { rm -f "$work/o.wav"; sox "$file" "$work/o.wav" pitch 300; }
run_stretch() { rm -f "$work/o.wav"; "$bench" --fx 118 "$file" "$work/o.wav" 1.25; }
run_pitch() { rm -f "$work/o.wav"; "$bench" --fx 117 "$file" "$work/o.wav" 3 0 100 0; }
run_stretch_hq() { rm -f "$work/o.wav"; "$bench" --fx-high 118 "$file" "$work/o.wav" 1.25; }
run_pitch_hq() { rm -f "$work/o.wav"; "$bench" --fx-high 117 "$file" "$work/o.wav" 3 0 100 0; }

cat "$file" >/dev/null # warm the cache
t_sox_tempo=$(best run_sox_tempo)
t_sox_pitch=$(best run_sox_pitch)
t_stretch=$(best run_stretch)
t_pitch=$(best run_pitch)
# The high-quality mode takes far longer: one run each.
runs=1
t_stretch_hq=$(best run_stretch_hq)
t_pitch_hq=$(best run_pitch_hq)

printf 'ten minutes of 44.1 kHz stereo\n'
printf '%-40s %8.4f s\n' "sox tempo 1.25" "$t_sox_tempo"
printf '%-40s %8.4f s\n' "sox pitch 300" "$t_sox_pitch"
printf '%-40s %8.4f s\n' "time stretch (118, S = 1.25)" "$t_stretch"
printf '%-40s %8.4f s\n' "pitch shift (117, +3)" "$t_pitch"
printf '%-40s %8.4f s\n' "time stretch, high quality" "$t_stretch_hq"
printf '%-40s %8.4f s\n' "pitch shift, high quality" "$t_pitch_hq"
printf 'ratio time stretch / sox tempo: %.3f\n' "$(calc "$t_stretch / $t_sox_tempo")"
printf 'ratio pitch shift / sox pitch: %.3f\n' "$(calc "$t_pitch / $t_sox_pitch")"
printf 'ratio time stretch high quality / sox tempo: %.3f\n' "$(calc "$t_stretch_hq / $t_sox_tempo")"
printf 'ratio pitch shift high quality / sox pitch: %.3f\n' "$(calc "$t_pitch_hq / $t_sox_pitch")"
