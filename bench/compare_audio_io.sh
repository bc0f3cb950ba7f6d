#!/bin/sh
# Times playing and recording on a sound server against peer tools on the same material,
# in one run, on a private PulseAudio server with one null sink at 44.1 kHz (its monitor
# the default source), so that every stream runs on a real clock without a sound card:
#   play:    a 64-track project played by "tarvok2-cli play" (it mixes the 64 tracks as it
#            plays) beside "sox -m" mixing the same 64 files to the same ALSA device and
#            "paplay" playing their mix, mixed beforehand
#   record:  8 stereo inputs recorded into 8 tracks while 8 tracks play (audio_io_bench)
#            beside 8 "parec" recordings and one "paplay" of the 8 tracks' mix
#   stop:    STOP until every stream is closed (audio_io_bench, play only and while
#            recording) beside the time from SIGINT until "paplay" and "sox" have exited
# CPU is user + system seconds of the process and its children over the wall time, as a
# percentage of one core. Prints a table with the ratios (ours / peer).
#
# usage: bench/compare_audio_io.sh [BUILD_DIR]
#   BUILD_DIR defaults to build-rel (configure it with -DCMAKE_BUILD_TYPE=Release
#   -DTARVOK_BENCH=ON and build the tarvok2-cli and audio_io_bench targets). Needs
#   pulseaudio, paplay, parec and sox. SECONDS_PLAYED=<n> sets how long each run plays (10).
set -eu

build=${1:-build-rel}
cli="$(cd "$build" && pwd)/src/cli/tarvok2-cli"
bench="$(cd "$build" && pwd)/bench/audio_io_bench"
seconds=${SECONDS_PLAYED:-10}
for tool in pulseaudio paplay parec sox; do
    command -v "$tool" > /dev/null || { echo "compare_audio_io: $tool is needed" >&2; exit 1; }
done
[ -x "$cli" ] || { echo "compare_audio_io: $cli not found; build it first" >&2; exit 1; }
# Without the benchmark program (a build without -DTARVOK_BENCH=ON) its rows are left out.
[ -x "$bench" ] || { echo "compare_audio_io: $bench not found: recording and STOP rows left out" >&2; bench=""; }

work=$(mktemp -d /tmp/tarvok-compare-io-XXXXXX)
pulse_pid=""
cleanup() {
    if [ -n "$pulse_pid" ]; then kill "$pulse_pid" 2> /dev/null || true; wait "$pulse_pid" 2> /dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/share" \
    XDG_STATE_HOME="$work/state" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$HOME" "$XDG_CONFIG_HOME/alsa" "$XDG_RUNTIME_DIR" "$work/data"
data="$work/data"

# The private server: a null sink at 44.1 kHz, reached through PULSE_SERVER.
socket="$work/pulse-native"
cat > "$work/default.pa" << EOF2
load-module module-null-sink sink_name=nul rate=44100
set-default-sink nul
set-default-source nul.monitor
load-module module-native-protocol-unix auth-anonymous=1 socket=$socket
EOF2
pulseaudio -n -F "$work/default.pa" --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
    --disallow-exit > "$work/pulseaudio.log" 2>&1 &
pulse_pid=$!
export PULSE_SERVER="unix:$socket"
n=0
while [ ! -S "$socket" ] && [ "$n" -lt 300 ]; do sleep 0.1; n=$((n + 1)); done
[ -S "$socket" ] || { echo "compare_audio_io: the PulseAudio server did not start" >&2; cat "$work/pulseaudio.log" >&2; exit 1; }
# ALSA devices on the server: one output, eight inputs (each its own device, as slots need).
{
    echo "pcm.tvk_out { type pulse }"
    k=1
    while [ "$k" -le 8 ]; do echo "pcm.tvk_in$k { type pulse }"; k=$((k + 1)); done
} > "$XDG_CONFIG_HOME/alsa/asoundrc"

. "$(dirname "$0")/timing.sh"
ratio() { case "$1$2" in *-*|*'?'*) echo "-" ;; *) awk "BEGIN { if ($2 > 0) printf \"%.2f\", $1 / $2; else print \"-\" }" ;; esac; }

# CPU percent of one core of "$@" (the process and the children it waits for).
cpu_percent() {
    /usr/bin/time -f "%U %S %e" -o "$work/time.txt" "$@" > /dev/null 2>&1 || true
    awk '{ if ($3 > 0) printf "%.2f", 100 * ($1 + $2) / $3; else print "?" }' "$work/time.txt"
}

# Milliseconds from SIGINT to the exit of "$@", started 2 s before.
stop_ms() {
    "$@" > /dev/null 2>&1 &
    pid=$!
    sleep 2
    start=$(now)
    kill -INT "$pid" 2> /dev/null || true
    wait "$pid" 2> /dev/null || true
    end=$(now)
    calc "($end - $start) * 1000"
}

echo "making 64 tracks of ${seconds} s..."
files=""
n=0
while [ "$n" -lt 64 ]; do
    f="$work/t$n.wav"
    sox -n -r 44100 -b 16 -c 2 "$f" synth "$seconds" sine $((110 + 17 * n)) sine $((165 + 13 * n)) vol 0.01
    files="$files $f"
    n=$((n + 1))
done
# shellcheck disable=SC2086
sox -m $files -b 16 "$work/mix64.wav"
eight=$(echo $files | cut -d' ' -f1-8)
# shellcheck disable=SC2086
sox -m $eight -b 16 "$work/mix8.wav"
"$cli" --data-folder "$data" new mix64 --tracks 64 > /dev/null
"$cli" --data-folder "$data" new mix8 --tracks 16 > /dev/null
n=0
for f in $files; do
    "$cli" --data-folder "$data" import mix64 "$f" --track "$n" --at 0 > /dev/null
    if [ "$n" -lt 8 ]; then "$cli" --data-folder "$data" import mix8 "$f" --track "$n" --at 0 > /dev/null; fi
    n=$((n + 1))
done

ours_play=$(cpu_percent "$cli" --data-folder "$data" play mix64 --device tvk_out)
# shellcheck disable=SC2086
sox_play=$(cpu_percent sox -q -m $files -t alsa tvk_out)
paplay_play=$(cpu_percent paplay "$work/mix64.wav")

inputs="tvk_in1,tvk_in2,tvk_in3,tvk_in4,tvk_in5,tvk_in6,tvk_in7,tvk_in8"
bench_line() { if [ -n "$bench" ]; then "$bench" "$@"; else echo "cpu_percent=- stop_ms=-"; fi; }
ours_rec_line=$(bench_line "$data/mix8.tvp" --output tvk_out --inputs "$inputs" --seconds "$seconds")
ours_rec=$(echo "$ours_rec_line" | sed 's/.*cpu_percent=\([0-9.-]*\).*/\1/')
ours_rec_stop=$(echo "$ours_rec_line" | sed 's/.*stop_ms=\([0-9.-]*\).*/\1/')
cat > "$work/peer_rec.sh" << EOF2
k=1
while [ "\$k" -le 8 ]; do
    timeout -s INT $seconds parec --channels=2 --rate=44100 --format=s16le --file-format=wav "$work/rec\$k.wav" &
    k=\$((k + 1))
done
paplay "$work/mix8.wav"
wait
EOF2
peer_rec=$(cpu_percent sh "$work/peer_rec.sh")

ours_play_line=$(bench_line "$data/mix64.tvp" --output tvk_out --seconds 3)
ours_stop=$(echo "$ours_play_line" | sed 's/.*stop_ms=\([0-9.-]*\).*/\1/')
paplay_stop=$(stop_ms paplay "$work/mix64.wav")
sox_stop=$(stop_ms sox -q "$work/mix64.wav" -t alsa tvk_out)

printf '%-44s %10s %22s %10s\n' "measure" "tarvok2" "peer" "ratio"
printf '%-44s %9s%% %12s %8s%% %10s\n' "CPU, play 64 tracks" "$ours_play" "sox -m" "$sox_play" "$(ratio "$ours_play" "$sox_play")"
printf '%-44s %9s%% %12s %8s%% %10s\n' "" "" "paplay mix" "$paplay_play" "$(ratio "$ours_play" "$paplay_play")"
printf '%-44s %9s%% %12s %8s%% %10s\n' "CPU, record 8 stereo while playing 8 tracks" "$ours_rec" "8 parec+paplay" "$peer_rec" "$(ratio "$ours_rec" "$peer_rec")"
printf '%-44s %8sms %12s %7sms %10s\n' "STOP to streams closed, play" "$ours_stop" "paplay" "$paplay_stop" "$(ratio "$ours_stop" "$paplay_stop")"
printf '%-44s %8sms %12s %7sms %10s\n' "" "" "sox" "$sox_stop" "$(ratio "$ours_stop" "$sox_stop")"
printf '%-44s %8sms %12s %9s %10s\n' "STOP to streams closed, record (takes placed)" "$ours_rec_stop" "-" "" ""
echo "($seconds s per run; ours: $ours_rec_line)"
