#!/usr/bin/env bash
# Runs each libFuzzer target for a bounded time from the seeds in fuzz/corpus; any crash, leak
# or undefined behaviour fails the run and leaves the reproducer in build-fuzz/crashes.
set -euo pipefail
seconds=${1:-60}
mkdir -p build-fuzz/crashes
for pair in DecodeFuzzer:decode AgentHookFuzzer:agent-hook TextFuzzer:text ActivityFuzzer:activity; do
    target=${pair%%:*}
    seeds=${pair#*:}
    corpus=$(mktemp -d)
    log=$(mktemp)
    cp "fuzz/corpus/$seeds/"* "$corpus/"
    if ! "build-fuzz/bin/$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
        -print_final_stats=1 -artifact_prefix=build-fuzz/crashes/ "$corpus" >"$log" 2>&1; then
        tail -n 60 "$log"
        echo "$target failed; reproducer in build-fuzz/crashes/"
        exit 1
    fi
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
    echo "$target: $runs inputs in ${seconds}s, no failure"
    rm -rf "$corpus" "$log"
done
