#!/bin/sh
# How long tarvok2 takes from its start to its main window being mapped on an X display,
# for an empty start and a 64-track project, optionally with a private JACK server
# (jackd -d dummy) running, which makes the sound library's device listing much slower.
# Each case runs $runs times; the best and the median are printed. Any build of the window
# program can be timed this way (no option of its own is needed), so two builds compare.
#
#   bench/startup_time.sh TARVOK2 TARVOK2_CLI [--jack] [--runs N]
#
# Needs Xvfb and xwininfo. Everything it writes goes into a temporary folder (its own XDG
# homes and data folder); it ends the processes it started by their IDs.
set -eu

gui=${1:?usage: bench/startup_time.sh TARVOK2 TARVOK2_CLI [--jack] [--runs N]}
cli=${2:?usage: bench/startup_time.sh TARVOK2 TARVOK2_CLI [--jack] [--runs N]}
shift 2
jack=0
runs=5
while [ $# -gt 0 ]; do
    case "$1" in
    --jack) jack=1 ;;
    --runs) runs=$2; shift ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
    esac
    shift
done

work=$(mktemp -d)
xpid=""
jackpid=""
cleanup() {
    for pid in $jackpid $xpid; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
export XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
# A sanitizer build keeps the leak check for the tests; timing runs do without it.
export ASAN_OPTIONS=detect_leaks=0

display=":$((200 + $$ % 500))"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xpid=$!
export DISPLAY="$display"
i=0
until xwininfo -root >/dev/null 2>&1; do
    i=$((i + 1)); [ "$i" -lt 500 ] || { echo "Xvfb did not start" >&2; exit 1; }
    sleep 0.01
done

if [ "$jack" = 1 ]; then
    export JACK_DEFAULT_SERVER="tvkbench$$" JACK_NO_AUDIO_RESERVATION=1 JACK_NO_START_SERVER=1
    jackd -n "$JACK_DEFAULT_SERVER" -d dummy -r 44100 -p 1024 >"$work/jackd.log" 2>&1 &
    jackpid=$!
    jack_wait -s "$JACK_DEFAULT_SERVER" -w -t 30 >/dev/null
fi

data="$work/data-folder"
"$cli" --data-folder "$data" new big --tracks 64 >/dev/null
project="$data/big.tvp"

now_ms() { date +%s%3N; }

# The milliseconds from starting "$@" to its main window being viewable.
one_start() {
    start=$(now_ms)
    "$gui" --data-folder "$data" "$@" >"$work/gui.log" 2>&1 &
    pid=$!
    shown=""
    while [ -z "$shown" ]; do
        id=$(xwininfo -root -tree 2>/dev/null | awk '/\("tarvok2" "tarvok2"\)/ && $0 !~ /1x1\+/ { print $1; exit }')
        if [ -n "$id" ] && xwininfo -id "$id" 2>/dev/null | grep -q "IsViewable"; then
            shown=$(now_ms)
        elif ! kill -0 "$pid" 2>/dev/null; then
            echo "tarvok2 ended before showing its window:" >&2; grep -v "^ALSA\|^Cannot\|^jack\|^Jack" "$work/gui.log" >&2; return 1
        fi
    done
    echo $((shown - start))
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    # Ended by a signal, it leaves its project lock and its instance socket behind.
    rm -f "$data"/*.lock
}

measure() {
    : >"$work/times"
    i=0
    while [ "$i" -lt "$runs" ]; do
        one_start "$@" >>"$work/times" || true
        i=$((i + 1))
    done
    sort -n "$work/times" | awk '{ v[NR] = $1 } END { if (NR == 0) { print "no start"; exit }
        printf "best %d ms, median %d ms (%d runs)\n", v[1], v[int((NR + 1) / 2)], NR }'
}

echo "sound server: $([ "$jack" = 1 ] && echo "private JACK (dummy driver)" || echo "none started")"
printf 'empty start:       '; measure
printf '64-track project:  '; measure "$project"
