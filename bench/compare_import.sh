#!/bin/sh
# Times the import's rate conversion against sox on the same file, in one run:
#   sox FILE -r 44100 OUT rate -q          sox's quick resampler
#   import_bench --time-conv FILE OUT      our ConvWave (interpolating, 16-bit stereo)
#   import_bench --time-import FILE DIR    the whole import: conversion, peaks, placing
# Each is run several times on a warm cache and the best wall time counts. Prints ratios.
#
# usage: bench/compare_import.sh [BUILD_DIR] [WAV_FILE]
#   BUILD_DIR defaults to build-rel (configure it with -DCMAKE_BUILD_TYPE=Release);
#   without WAV_FILE a ten-minute 48 kHz 16-bit stereo file is made in /tmp.
set -eu

build=${1:-build-rel}
bench="$build/bench/import_bench"
runs=${RUNS:-5}
if [ ! -x "$bench" ]; then
    echo "compare_import: $bench not found; build the import_bench target first" >&2
    exit 1
fi
if ! command -v sox >/dev/null 2>&1; then
    echo "compare_import: sox is not installed" >&2
    exit 1
fi

work=$(mktemp -d /tmp/tarvok-compare-import-XXXXXX)
trap 'rm -rf "$work"' EXIT
if [ $# -ge 2 ]; then
    file=$2
else
    file="$work/in.wav"
    "$bench" --make-file "$file"
fi

. "$(dirname "$0")/timing.sh"

run_sox() { rm -f "$work/sox.wav"; sox "$file" -r 44100 "$work/sox.wav" rate -q; }
run_conv() { rm -f "$work/conv.wav"; "$bench" --time-conv "$file" "$work/conv.wav"; }
run_import() { rm -rf "$work/import"; mkdir -p "$work/import"; "$bench" --time-import "$file" "$work/import"; }

size=$(stat -c %s "$file")
cat "$file" >/dev/null # warm the cache
t_sox=$(best run_sox)
t_conv=$(best run_conv)
t_import=$(best run_import)

printf 'file: %s (%d bytes), best of %d runs\n' "$file" "$size" "$runs"
printf '%-40s %8.4f s\n' "sox FILE -r 44100 OUT rate -q" "$t_sox"
printf '%-40s %8.4f s\n' "ConvWave 48000 -> 44100 (process)" "$t_conv"
printf '%-40s %8.4f s\n' "ImportSoundFile (process)" "$t_import"
printf 'ratio ConvWave / sox: %.3f\n' "$(calc "$t_conv / $t_sox")"
printf 'ratio ImportSoundFile / sox: %.3f\n' "$(calc "$t_import / $t_sox")"
