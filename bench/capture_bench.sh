#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times capture in a throwaway X session (Xvfb, openbox) with its own keyring:
# copy to record for copies 200 ms apart, how many of 1,000 distinct copies at
# 20 a second are recorded and the CPU they cost, and what Scrivlet does over
# 60 idle seconds. Run from the repository after a release build:
#   bench/capture_bench.sh [BUILD] [IDLE_SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
idle=${2:-60}
exec tests/fixtures/session --x11 -- bash -s "$PWD/$build" "$idle" <<'SCRIPT'
set -euo pipefail
build=$1 idle=$2
source tests/e2e/lib.sh "$build/src/app/scrivlet" "$build/tests/e2e/history_dump" "" ""
copier=$build/tests/e2e/burst_copier
mkdir -p "$XDG_CONFIG_HOME/Scrivlet"
printf '{"historyLimit": 5000, "retentionDays": 365}' > "$XDG_CONFIG_HOME/Scrivlet/defaults.json"

# Seconds of CPU (user and system) the process has used so far.
cpu() { awk -v hz="$(getconf CLK_TCK)" '{ print ($14 + $15) / hz }' "/proc/$pid/stat"; }
# Context switches of all its threads so far.
switches() { cat /proc/"$pid"/task/*/status | awk '/ctxt_switches/ { n += $2 } END { print n }'; }
recorded() { sqlite3 "$db" "SELECT count(*) FROM ClipItem"; }

start_scrivlet
wait_for has_key || fail "no key"
sleep 1

# Each copy's record time against the moment it was made.
"$copier" 100 200 Latence 500 > "$HOME/latency.txt"
wait_for count_is 100 || fail "only $(recorded) of 100 spaced copies were recorded"
sqlite3 "$db" "SELECT createdAt FROM ClipItem ORDER BY seq" > "$HOME/recorded.txt"
paste -d' ' "$HOME/latency.txt" "$HOME/recorded.txt" | awk '{ print ($3 - $2) * 1000 }' | sort -n > "$HOME/delays.txt"
awk '{ d[NR] = $1 } END { printf "copy to recorded (100 copies 200 ms apart): median %.1f ms, p95 %.1f ms, max %.1f ms\n", d[int(NR / 2) + 1], d[int(NR * 0.95)], d[NR] }' "$HOME/delays.txt"

# A script that copies fast.
before=$(recorded) cpu0=$(cpu)
"$copier" 1000 50 Rafale 1000 > /dev/null
sleep 1
got=$(( $(recorded) - before )) cpu1=$(cpu)
awk -v n="$got" -v a="$cpu0" -v b="$cpu1" 'BEGIN { printf "1,000 distinct copies at 20 a second: %d recorded, CPU %.2f s, %.2f ms a recorded copy\n", n, b - a, n ? (b - a) * 1000 / n : 0 }'

# Nothing happens.
sleep 2
cpu0=$(cpu) sw0=$(switches)
sleep "$idle"
cpu1=$(cpu) sw1=$(switches)
awk -v s="$idle" -v a="$cpu0" -v b="$cpu1" -v x="$sw0" -v y="$sw1" 'BEGIN { printf "idle over %d s: CPU %.3f %% of a core (%.0f ms), %.2f context switches a second\n", s, (b - a) * 100 / s, (b - a) * 1000, (y - x) / s }'
stop_scrivlet
SCRIPT
