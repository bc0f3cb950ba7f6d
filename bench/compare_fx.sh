#!/bin/sh
# Times the effect processor against sox on the same ten-minute 44.1 kHz stereo file, in
# one run, best wall time of several:
#   sox IN OUT echo 0.8 0.88 100 0.5      against  echo 108 (遅延 100 ms, レベル 50)
#                                         and      delay 106 (遅延 100 ms, レベル 50, 原音 100)
#   sox IN OUT reverb                     against  reverb 109 (the dialog's defaults)
#   sox IN OUT equalizer 1000 1q 6 (x15)  against  graphic equaliser 130, every band +6 dB
#   sox IN OUT compand 0.3,1 6:-70,-60,-20 -5 -90 0.2
#                                         against  compressor 123, overdrive 121, maximize 124
#                                                  (the dialog's defaults)
#
# usage: bench/compare_fx.sh [BUILD_DIR]   (BUILD_DIR defaults to build-rel, a Release build)
set -eu

build=${1:-build-rel}
bench="$build/bench/fx_bench"
runs=${RUNS:-3}
if [ ! -x "$bench" ]; then
    echo "compare_fx: $bench not found; build the fx_bench target first" >&2
    exit 1
fi
if ! command -v sox >/dev/null 2>&1; then
    echo "compare_fx: sox is not installed" >&2
    exit 1
fi

work=$(mktemp -d /tmp/tarvok-compare-fx-XXXXXX)
trap 'rm -rf "$work"' EXIT
file="$work/in.wav"
"$bench" --make-file "$file"

. "$(dirname "$0")/timing.sh"

run_sox_echo() { rm -f "$work/o.wav"; sox "$file" "$work/o.wav" echo 0.8 0.88 100 0.5; }
run_sox_reverb() { rm -f "$work/o.wav"; sox "$file" "$work/o.wav" reverb; }
run_echo() { rm -f "$work/o.wav"; "$bench" --fx 108 "$file" "$work/o.wav" 100 50; }
run_delay() { rm -f "$work/o.wav"; "$bench" --fx 106 "$file" "$work/o.wav" 100 50 100; }
run_sox_eq() {
    rm -f "$work/o.wav"
    # shellcheck disable=SC2046
    sox "$file" "$work/o.wav" $(for _ in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15; do printf 'equalizer 1000 1q 6 '; done)
}
run_geq() { rm -f "$work/o.wav"; "$bench" --fx 130 "$file" "$work/o.wav" 6 6 6 6 6 6 6 6 6 6 6 6 6 6 6 0; }
run_reverb() { rm -f "$work/o.wav"; "$bench" --fx 109 "$file" "$work/o.wav" 50 50 50 32 50 30 50; }

cat "$file" >/dev/null # warm the cache
t_sox_echo=$(best run_sox_echo)
t_sox_reverb=$(best run_sox_reverb)
t_echo=$(best run_echo)
t_delay=$(best run_delay)
t_reverb=$(best run_reverb)
t_sox_eq=$(best run_sox_eq)
t_geq=$(best run_geq)

printf 'ten minutes of 44.1 kHz stereo, best of %d runs\n' "$runs"
printf '%-40s %8.4f s\n' "sox echo 0.8 0.88 100 0.5" "$t_sox_echo"
printf '%-40s %8.4f s\n' "sox reverb" "$t_sox_reverb"
printf '%-40s %8.4f s\n' "echo (108)" "$t_echo"
printf '%-40s %8.4f s\n' "delay (106)" "$t_delay"
printf '%-40s %8.4f s\n' "reverb (109, 32 taps)" "$t_reverb"
printf '%-40s %8.4f s\n' "sox equalizer 1000 1q 6, 15 times" "$t_sox_eq"
printf '%-40s %8.4f s\n' "graphic equaliser (130, 15 x +6 dB)" "$t_geq"
printf 'ratio echo / sox echo: %.3f\n' "$(calc "$t_echo / $t_sox_echo")"
printf 'ratio delay / sox echo: %.3f\n' "$(calc "$t_delay / $t_sox_echo")"
printf 'ratio reverb / sox reverb: %.3f\n' "$(calc "$t_reverb / $t_sox_reverb")"
printf 'ratio graphic equaliser / sox equalizer x15: %.3f\n' "$(calc "$t_geq / $t_sox_eq")"

# Dynamics and distortion.
run_sox_compand() { rm -f "$work/o.wav"; sox "$file" "$work/o.wav" compand 0.3,1 6:-70,-60,-20 -5 -90 0.2; }
run_compressor() { rm -f "$work/o.wav"; "$bench" --fx 123 "$file" "$work/o.wav" 50 200 100 100 0; }
run_overdrive() { rm -f "$work/o.wav"; "$bench" --fx 121 "$file" "$work/o.wav" 50 50 50; }
run_maximize() { rm -f "$work/o.wav"; "$bench" --fx 124 "$file" "$work/o.wav" 4 10 50 0; }
t_sox_compand=$(best run_sox_compand)
t_compressor=$(best run_compressor)
t_overdrive=$(best run_overdrive)
t_maximize=$(best run_maximize)
printf '%-40s %8.4f s\n' "sox compand 0.3,1 6:-70,-60,-20 -5 -90 0.2" "$t_sox_compand"
printf '%-40s %8.4f s\n' "compressor (123)" "$t_compressor"
printf '%-40s %8.4f s\n' "overdrive (121)" "$t_overdrive"
printf '%-40s %8.4f s\n' "maximize (124)" "$t_maximize"
printf 'ratio compressor / sox compand: %.3f\n' "$(calc "$t_compressor / $t_sox_compand")"
printf 'ratio overdrive / sox compand: %.3f\n' "$(calc "$t_overdrive / $t_sox_compand")"
printf 'ratio maximize / sox compand: %.3f\n' "$(calc "$t_maximize / $t_sox_compand")"
