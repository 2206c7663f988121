#!/usr/bin/env bash
# Keep-awake on and the clipboard history watching, on a virtual X server with private buses
# where python3-dbusmock plays logind and the session's screen saver: CPU share and event-loop
# wake-ups of the measuring program alone.
# usage: bench/awake-clipboard-idle.sh BUILD_DIR [SECONDS]
set -euo pipefail
build=${1:-build-bench}
seconds=${2:-60}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
display=:$((300 + RANDOM % 100))
pids=()
cleanup() {
    kill "${pids[@]}" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do DISPLAY=$display xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done

bus() { # a private bus in $work/$1; its address lands in $work/$1/address
    local dir=$work/$1
    mkdir -p "$dir"
    cat >"$dir/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>session</type><listen>unix:dir=$dir</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
<allow own="*"/></policy></busconfig>
CONF
    dbus-daemon --config-file="$dir/bus.conf" --nofork --print-address=3 3>"$dir/address" 2>/dev/null &
    pids+=($!)
    for _ in $(seq 100); do [[ -s $dir/address ]] && break; sleep 0.05; done
}
bus system
bus session
system_bus=$(head -n1 "$work/system/address")
session_bus=$(head -n1 "$work/session/address")

DBUS_SYSTEM_BUS_ADDRESS=$system_bus /usr/bin/python3 -m dbusmock --template logind >"$work/logind.log" 2>&1 &
pids+=($!)
DBUS_SESSION_BUS_ADDRESS=$session_bus /usr/bin/python3 -m dbusmock \
    --template "$source_dir/tests/Awake/screensaver_template.py" >"$work/screensaver.log" 2>&1 &
pids+=($!)
owned() { # bus name
    [[ $(dbus-send --bus="$1" --print-reply --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.NameHasOwner "string:$2" 2>/dev/null) == *true* ]]
}
for _ in $(seq 200); do
    owned "$system_bus" org.freedesktop.login1 && owned "$session_bus" org.freedesktop.ScreenSaver && break
    sleep 0.05
done

mkdir -p "$work/home" "$work/runtime" && chmod 700 "$work/runtime"
DISPLAY=$display HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/runtime \
    QT_QPA_PLATFORM=xcb DBUS_SYSTEM_BUS_ADDRESS=$system_bus DBUS_SESSION_BUS_ADDRESS=$session_bus \
    QT_LOGGING_RULES="com.brambleowl.orlet.*=true" \
    "$build/bin/AwakeClipboardIdle" "$seconds" >"$work/out" 2>"$work/err" &
program=$!
pids+=($program)
for _ in $(seq 200); do grep -q measuring "$work/err" 2>/dev/null && break; sleep 0.05; done
timeout "$((seconds - 1))" strace -f -p "$program" -e trace=poll,ppoll -c -o "$work/strace" >/dev/null 2>&1 || true
wait "$program"
cat "$work/out"
awk -v s="$seconds" '/poll/ {sum += $4} END {printf "event-loop wake-ups over %d s: %d\n", s - 1, sum + 0}' "$work/strace"
grep -o 'Keep awake on: .*' "$work/err" || echo "keep-awake did not report its assertions" >&2
