#!/bin/sh
# Times loudness normalisation against ffmpeg on the same material, in one run: one
# 10-minute 44.1 kHz 16-bit stereo track (a chord with a slow level swell) brought to
# -23 LUFS.
#   fx:       "tarvok2-cli fx one 134 --lufs -23" (measure the block, then the gain pass
#             into a new working file, with the project read and written)
#   mixdown:  "tarvok2-cli mixdown one -o x.wav --loudness -23" (render, measure, gain pass
#             measuring the result)
#   peers:    ffmpeg's two-pass equivalent ("-af ebur128=peak=true" to measure, then
#             "-af volume=GAIN" to apply), and its one-pass "-af loudnorm=I=-23:TP=-1"
# Each is run several times on a warm cache and the best wall time counts. Prints the
# ratios (ours / peer).
#
# usage: bench/compare_loudness.sh [BUILD_DIR]
#   BUILD_DIR defaults to build-bench (configure it with -DCMAKE_BUILD_TYPE=Release and
#   build the tarvok2-cli target). Needs sox and ffmpeg.
set -eu

build=${1:-build-bench}
cli="$(cd "$build" && pwd)/src/cli/tarvok2-cli"
runs=${RUNS:-3}
seconds=${SECONDS_PER_TRACK:-600}
if [ ! -x "$cli" ]; then
    echo "compare_loudness: $cli not found; build the tarvok2-cli target first" >&2
    exit 1
fi
command -v sox > /dev/null || { echo "compare_loudness: sox is needed" >&2; exit 1; }
command -v ffmpeg > /dev/null || { echo "compare_loudness: ffmpeg is needed" >&2; exit 1; }

work=$(mktemp -d /tmp/tarvok-compare-loud-XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/share" XDG_STATE_HOME="$work/state"
data="$work/data"
mkdir -p "$data"

. "$(dirname "$0")/timing.sh"
ratio() { awk "BEGIN { printf \"%.3f\", $1 }"; }

echo "making a ${seconds}-second track..."
in="$work/in.wav"
sox -n -r 44100 -b 16 -c 2 "$in" synth "$seconds" sine 220 sine 331 tremolo 0.05 60 vol 0.3

"$cli" --data-folder "$data" new one > /dev/null
"$cli" --data-folder "$data" import one "$in" --track 0 --at 0 > /dev/null

# ffmpeg's two passes: measure, then apply the gain that reaches -23 LUFS.
ffmpeg_two_pass() {
    lufs=$(ffmpeg -hide_banner -nostats -i "$in" -af ebur128=peak=true -f null - 2>&1 \
        | awk '/I:/ { v = $2 } END { print v }')
    gain=$(awk "BEGIN { printf \"%.2f\", -23 - ($lufs) }")
    ffmpeg -hide_banner -loglevel error -y -i "$in" -af "volume=${gain}dB" -c:a pcm_s16le \
        "$work/ff.wav"
}

ours_fx=$(best "$cli" --data-folder "$data" fx one 134 --lufs -23)
ours_mix=$(best "$cli" --data-folder "$data" mixdown one -o "$work/ours.wav" --loudness -23)
peer_two=$(best ffmpeg_two_pass)
peer_norm=$(best ffmpeg -hide_banner -loglevel error -y -i "$in" -af loudnorm=I=-23:TP=-1 \
    -ar 44100 -c:a pcm_s16le "$work/loudnorm.wav")

ours_reading=$("$cli" --data-folder "$data" mixdown one -o "$work/ours.wav" --loudness -23 | grep loudness)
peer_reading=$(ffmpeg -hide_banner -nostats -i "$work/ours.wav" -af ebur128=peak=true -f null - 2>&1 \
    | awk '/I:/ { i = $2 } /Peak:/ { p = $2 } END { print i " LUFS, true peak " p " dBTP" }')
echo "result of --loudness -23: ours ${ours_reading#loudness: }; ffmpeg ebur128 reads ${peer_reading}"
echo "fx --lufs -23:          tarvok2 ${ours_fx}s  ffmpeg ebur128+volume ${peer_two}s  ratio $(ratio "$ours_fx / $peer_two")"
echo "mixdown --loudness -23: tarvok2 ${ours_mix}s  ffmpeg ebur128+volume ${peer_two}s  ratio $(ratio "$ours_mix / $peer_two")"
echo "                        ffmpeg loudnorm (one pass) ${peer_norm}s  ratio fx/loudnorm $(ratio "$ours_fx / $peer_norm")  mixdown/loudnorm $(ratio "$ours_mix / $peer_norm")"
