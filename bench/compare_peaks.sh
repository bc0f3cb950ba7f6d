#!/bin/sh
# Times peak extraction against tools that read the same WAV file, in one run on one file:
#   cat FILE > /dev/null    the cost of reading the file at all
#   sox FILE -n stat        another program's full scan of the samples (when sox is installed)
#   peaks_bench --time-file our BuildPeaks, "WFMode" 0 and 1
# Each is run several times on a warm cache and the best time counts. Prints the ratios.
#
# usage: bench/compare_peaks.sh [BUILD_DIR] [WAV_FILE]
#   BUILD_DIR defaults to build-rel (configure it with -DCMAKE_BUILD_TYPE=Release);
#   without WAV_FILE a ten-minute 44.1 kHz 16-bit stereo file is made in /tmp.
set -eu

build=${1:-build-rel}
bench="$build/bench/peaks_bench"
runs=${RUNS:-5}
if [ ! -x "$bench" ]; then
    echo "compare_peaks: $bench not found; build the peaks_bench target first" >&2
    exit 1
fi

made=""
if [ $# -ge 2 ]; then
    file=$2
else
    file=$(mktemp /tmp/tarvok-compare-XXXXXX.wav)
    made=$file
    "$bench" --make-file "$file"
fi
trap '[ -n "$made" ] && rm -f "$made"' EXIT

. "$(dirname "$0")/timing.sh"

# Best time the program itself reports (excludes process start-up and the file summary).
best_reported() {
    best_time=""
    i=0
    while [ "$i" -lt "$runs" ]; do
        t=$("$@")
        if [ -z "$best_time" ] || less "$t" "$best_time"; then
            best_time=$t
        fi
        i=$((i + 1))
    done
    echo "$best_time"
}

cat_file() { cat "$file" >/dev/null; }

size=$(stat -c %s "$file")
cat "$file" >/dev/null # warm the cache
t_cat=$(best cat_file)
t_ours0=$(best "$bench" --time-file "$file" 0)
t_ours1=$(best "$bench" --time-file "$file" 1)
t_in0=$(best_reported "$bench" --time-file "$file" 0)

printf 'file: %s (%d bytes), best of %d runs\n' "$file" "$size" "$runs"
printf '%-34s %8.4f s\n' "cat FILE > /dev/null" "$t_cat"
printf '%-34s %8.4f s\n' "BuildPeaks WFMode 0 (process)" "$t_ours0"
printf '%-34s %8.4f s\n' "BuildPeaks WFMode 1 (process)" "$t_ours1"
printf '%-34s %8.4f s\n' "BuildPeaks WFMode 0 (in-process)" "$t_in0"
printf 'ratio BuildPeaks(0) / cat: %.2f\n' "$(calc "$t_ours0 / $t_cat")"
printf 'ratio BuildPeaks(1) / cat: %.2f\n' "$(calc "$t_ours1 / $t_cat")"
if command -v sox >/dev/null 2>&1; then
    t_sox=$(best sox "$file" -n stat)
    printf '%-34s %8.4f s\n' "sox FILE -n stat" "$t_sox"
    printf 'ratio BuildPeaks(0) / sox stat: %.3f\n' "$(calc "$t_ours0 / $t_sox")"
    printf 'ratio BuildPeaks(1) / sox stat: %.3f\n' "$(calc "$t_ours1 / $t_sox")"
else
    echo "sox not installed: no sox comparison"
fi
