#!/bin/sh
# Times the mixdown against peer tools on the same material, in one run:
#   start: "tarvok2-cli settings get nFreq" (start-up alone) and "sox --version"
#   mix:  eight 1-minute and eight 10-minute 44.1 kHz 16-bit stereo tracks (unity levels,
#         flat envelopes) mixed to one 16-bit stereo WAV by "tarvok2-cli mixdown" and by
#         "sox -m" (SECONDS_PER_TRACK="60 600" sets the lengths)
#   mp3:  one 10-minute file encoded at 192 kbps by "tarvok2-cli mixdown -o x.mp3"
#         (render + encode) and by "lame -b 192"
# Each is run several times on a warm cache and the best wall time counts. Prints the
# ratios (ours / peer) and our peak resident size.
#
# usage: bench/compare_mixdown.sh [BUILD_DIR]
#   BUILD_DIR defaults to build-rel (configure it with -DCMAKE_BUILD_TYPE=Release and build
#   the tarvok2-cli target). Needs sox; the MP3 comparison also needs lame.
set -eu

build=${1:-build-rel}
cli="$(cd "$build" && pwd)/src/cli/tarvok2-cli"
runs=${RUNS:-3}
lengths=${SECONDS_PER_TRACK:-60 600}
if [ ! -x "$cli" ]; then
    echo "compare_mixdown: $cli not found; build the tarvok2-cli target first" >&2
    exit 1
fi
command -v sox > /dev/null || { echo "compare_mixdown: sox is needed" >&2; exit 1; }

work=$(mktemp -d /tmp/tarvok-compare-mix-XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/share" XDG_STATE_HOME="$work/state"
data="$work/data"
mkdir -p "$data"

. "$(dirname "$0")/timing.sh"
ratio() { awk "BEGIN { printf \"%.3f\", $1 }"; }

# Peak resident size in KiB of one run of "$@".
peak_kib() {
    if [ -x /usr/bin/time ]; then
        /usr/bin/time -v "$@" 2>&1 > /dev/null | awk -F: '/Maximum resident/ { gsub(/ /, "", $2); print $2 }'
    else
        echo "?"
    fi
}

ours=$(best "$cli" --data-folder "$data" settings get nFreq)
peer=$(best sox --version)
echo "start-up:         tarvok2 settings get nFreq ${ours}s  sox --version ${peer}s"

for seconds in $lengths; do
    echo "making eight ${seconds}-second tracks..."
    inputs=""
    n=0
    while [ "$n" -lt 8 ]; do
        f="$work/in$n.wav"
        sox -n -r 44100 -b 16 -c 2 "$f" synth "$seconds" sine $((220 + 110 * n)) sine $((330 + 50 * n)) vol 0.1
        inputs="$inputs $f"
        n=$((n + 1))
    done

    "$cli" --data-folder "$data" new "mix$seconds" > /dev/null
    n=0
    for f in $inputs; do
        "$cli" --data-folder "$data" import "mix$seconds" "$f" --track "$n" --at 0 > /dev/null
        n=$((n + 1))
    done

    ours=$(best "$cli" --data-folder "$data" mixdown "mix$seconds" -o "$work/ours.wav")
    # shellcheck disable=SC2086
    peer=$(best sox -m $inputs -b 16 "$work/sox.wav")
    rss=$(peak_kib "$cli" --data-folder "$data" mixdown "mix$seconds" -o "$work/ours.wav")
    if [ "$seconds" -le 60 ]; then target=0.5; else target=0.15; fi
    echo "mix of 8 x ${seconds}s:  tarvok2 ${ours}s  sox -m ${peer}s  ratio $(ratio "$ours / $peer")  (target <= $target)"
    echo "                  tarvok2 peak resident size ${rss} KiB"
    rm -f "$work/ours.wav" "$work/sox.wav"
done

if command -v lame > /dev/null; then
    "$cli" --data-folder "$data" new one > /dev/null
    "$cli" --data-folder "$data" import one "$work/in0.wav" --track 0 --at 0 > /dev/null
    ours=$(best "$cli" --data-folder "$data" mixdown one -o "$work/ours.mp3" --bitrate 192)
    peer=$(best lame --quiet -b 192 "$work/in0.wav" "$work/lame.mp3")
    echo "mp3 at 192 kbps:  tarvok2 ${ours}s  lame -b 192 ${peer}s  ratio $(ratio "$ours / $peer")  (target <= 1.1)"
else
    echo "mp3: lame not installed, skipped"
fi
