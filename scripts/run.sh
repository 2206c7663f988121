#!/usr/bin/env bash
# Starts Orlet on the current display; on a machine without one, inside a virtual X server.
set -uo pipefail
program=$1
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR=$(mktemp -d)
    export XDG_RUNTIME_DIR
fi
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$program"
fi
display=:$((90 + RANDOM % 9))
echo "No display here: starting Orlet inside a virtual X server ($display, 1440x900)."
echo "See it with: DISPLAY=$display import -window root notch.png    Ctrl+C ends both."
# A session of its own: Ctrl+C reaches Orlet, which quits before its display goes away.
setsid Xvfb "$display" -screen 0 1440x900x24 -wr -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do DISPLAY=$display xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done
# A handler, not an ignore: Orlet must still see Ctrl+C (an ignored signal would be inherited).
trap ':' INT
DISPLAY=$display "$program"
status=$?
kill "$xvfb" 2>/dev/null
wait "$xvfb" 2>/dev/null
exit "$status"
