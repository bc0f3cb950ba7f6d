#!/bin/sh
# Times decoding a ten-minute 192 kbit/s MP3 into a 16-bit WAV file, in one run on one file:
#   ffmpeg -i IN.mp3 OUT.wav     FFmpeg's own command-line decoder
#   tarvok-decode IN.mp3 OUT.wav our decode as the import runs it (header check, FFmpeg
#                                backend, WAV written under a temporary name and renamed)
# Each is run several times on a warm cache and the best time counts. Prints the ratio.
#
# usage: bench/compare_decode.sh [BUILD_DIR] [MP3_FILE]
#   BUILD_DIR defaults to build-rel (configure it with -DCMAKE_BUILD_TYPE=Release);
#   without MP3_FILE a ten-minute stereo MP3 is made in /tmp with ffmpeg and lame.
set -eu

build=${1:-build-rel}
tool="$build/src/platform/ffmpeg/tarvok-decode"
runs=${RUNS:-5}
if [ ! -x "$tool" ]; then
    echo "compare_decode: $tool not found; build the tarvok-decode target first" >&2
    exit 1
fi

work=$(mktemp -d /tmp/tarvok-compare-decode-XXXXXX)
trap 'rm -rf "$work"' EXIT
if [ $# -ge 2 ]; then
    mp3=$2
else
    mp3="$work/in.mp3"
    ffmpeg -nostdin -v error -f lavfi \
        -i 'aevalsrc=0.4*sin(440*2*PI*t)+0.1*sin(3000*2*PI*t)|0.4*sin(660*2*PI*t)+0.1*random(0):s=44100:d=600' \
        -c:a pcm_s16le "$work/in.wav"
    lame --quiet -b 192 "$work/in.wav" "$mp3"
    rm -f "$work/in.wav"
fi

. "$(dirname "$0")/timing.sh"
# The output file is removed before each run.
before_run() { rm -f "$work/out.wav"; }

peer=$(best ffmpeg -nostdin -v error -y -i "$mp3" "$work/out.wav")
ours=$(best "$tool" "$mp3" "$work/out.wav")
rm -f "$work/out.wav"
echo "ffmpeg -i IN.mp3 OUT.wav: ${peer} s"
echo "tarvok-decode IN.mp3 OUT.wav: ${ours} s"
echo "ratio (ours / ffmpeg): $(calc "$ours / $peer") (target at most 1.2)"
