#!/usr/bin/env bash
# The media helper watching mpv play on a private session bus: its CPU time as a share of one
# core, its memory and the number of lines it wrote. Nothing is polled, so a steady track should
# cost almost nothing and give a handful of lines.
# usage: bench/media_helper_idle.sh BUILD_DIR [SECONDS]
set -euo pipefail
build=${1:-build-bench}
seconds=${2:-60}
helper_dir=$build/share/orlet/OrletMedia
work=$(mktemp -d)
pids=()
cleanup() {
    exec 3>&- 2>/dev/null || true
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

if ! command -v mpv >/dev/null || [ ! -r /usr/lib/mpv-mpris/mpris.so ]; then
    echo "media helper idle: mpv with its MPRIS plugin is missing, skipped"
    exit 0
fi

# A tone that outlasts the measurement, so mpv never changes track.
/usr/bin/python3 - "$work/tone.wav" "$((seconds + 60))" <<'PY'
import math, sys, wave
rate = 8000
period = bytes(int(128 + 60 * math.sin(2 * math.pi * 440 * i / rate)) for i in range(rate // 40))
with wave.open(sys.argv[1], "wb") as out:
    out.setnchannels(1); out.setsampwidth(1); out.setframerate(rate)
    out.writeframes(period * (40 * int(sys.argv[2])))
PY

mkdir -p "$work/runtime" && chmod 700 "$work/runtime"
export XDG_RUNTIME_DIR=$work/runtime
dbus-daemon --session --nofork --print-address=1 >"$work/bus" 2>/dev/null &
pids+=($!)
for _ in $(seq 200); do [ -s "$work/bus" ] && break; sleep 0.05; done
export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus")

mpv --no-config --really-quiet --idle=no --vo=null --ao=null \
    --script=/usr/lib/mpv-mpris/mpris.so --force-media-title="Orlet Tone" "$work/tone.wav" \
    >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 200); do [ "$(playerctl -p mpv status 2>/dev/null)" = Playing ] && break; sleep 0.05; done

mkfifo "$work/input"
"$helper_dir/orlet-media" "$helper_dir/libOrletMedia.so" <"$work/input" >"$work/out" 2>/dev/null &
helper=$!
pids+=($helper)
exec 3>"$work/input"
for _ in $(seq 200); do [ "$(wc -l <"$work/out")" -ge 2 ] && break; sleep 0.05; done

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
start_ticks=$(cpu_ticks "$helper")
start_lines=$(wc -l <"$work/out")
sleep "$seconds"
end_ticks=$(cpu_ticks "$helper")
end_lines=$(wc -l <"$work/out")
rss=$(awk '/^Rss:/ {printf "%.1f MB", $2 / 1024}' "/proc/$helper/smaps_rollup")
awk -v t=$((end_ticks - start_ticks)) -v hz="$ticks" -v s="$seconds" -v l=$((end_lines - start_lines)) \
    -v total="$end_lines" -v rss="$rss" 'BEGIN {
    printf "media helper with mpv playing, %d s: CPU %.3f %% of a core (%d ticks), %d lines while measuring (%d in all, start-up included), RSS %s\n",
        s, 100 * t / hz / s, t, l, total, rss }'
