#!/usr/bin/env bash
# Orlet left alone on a virtual X server: CPU time, event-loop wake-ups, RSS and PSS, and the
# time to the first frame, side by side with a bare Qt Quick window of the same size.
# usage: bench/idle.sh BUILD_DIR [SECONDS]
set -euo pipefail
build=${1:-build-bench}
seconds=${2:-60}
work=$(mktemp -d)
display=:$((200 + RANDOM % 100))
cleanup() {
    kill "${pids[@]}" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
pids=()
trap cleanup EXIT

Xvfb "$display" -screen 0 1440x900x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do DISPLAY=$display xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done

mkdir -p "$work/home" "$work/runtime" && chmod 700 "$work/runtime"
export DISPLAY=$display HOME=$work/home XDG_CONFIG_HOME=$work/home/.config \
    XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=xcb
ticks=$(getconf CLK_TCK)

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
memory() { awk '/^Rss:/ {r=$2} /^Pss:/ {p=$2} END {printf "RSS %.1f MB, PSS %.1f MB", r/1024, p/1024}' "/proc/$1/smaps_rollup"; }

measure() {
    local name=$1 pid=$2
    sleep 3 # let start-up work finish
    local before wakeups after
    before=$(cpu_ticks "$pid")
    wakeups=$( (timeout "$seconds" strace -f -p "$pid" -e trace=poll,ppoll -c -o "$work/strace-$name" >/dev/null 2>&1 || true; \
        awk '/poll/ {sum += $4} END {print sum + 0}' "$work/strace-$name") )
    after=$(cpu_ticks "$pid")
    awk -v n="$name" -v d=$((after - before)) -v t="$ticks" -v s="$seconds" -v w="$wakeups" -v m="$(memory "$pid")" \
        'BEGIN {printf "%-22s CPU %.3f %% of one core over %d s, %d event-loop wake-ups, %s\n", n, 100 * d / t / s, s, w, m}'
}

ORLET_REPORT_STARTUP=1 "$build/bin/Orlet" 2>"$work/orlet.log" &
orlet=$!
pids+=($orlet)
measure "Orlet" "$orlet"
grep -o 'first frame after [0-9]* ms' "$work/orlet.log" | sed 's/^/Orlet: /' || true
kill -TERM "$orlet"
wait "$orlet" || true # alone: shared pages would otherwise lower the next one's PSS

"$build/bin/BareQuickWindow" 2>/dev/null &
bare=$!
pids+=($bare)
measure "bare Qt Quick window" "$bare"
echo "renderer: ${QT_QUICK_BACKEND:-software (default)}"
