# Timing helpers shared by the compare_*.sh scripts (sourced, not run). The caller sets
# $runs; best() runs "$@" that many times and prints the best wall time in seconds. When
# the caller defines before_run(), it runs before each timed run (outside the timing).

now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }
less() { awk "BEGIN { exit !($1 < $2) }"; }

best() {
    best_time=""
    i=0
    while [ "$i" -lt "$runs" ]; do
        if command -v before_run >/dev/null 2>&1; then before_run; fi
        start=$(now)
        "$@" >/dev/null 2>&1
        end=$(now)
        t=$(calc "$end - $start")
        if [ -z "$best_time" ] || less "$t" "$best_time"; then
            best_time=$t
        fi
        i=$((i + 1))
    done
    echo "$best_time"
}
