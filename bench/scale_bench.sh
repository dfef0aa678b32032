#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Scrivlet over a large history, in a throwaway X session (Xvfb, openbox) with
# its own keyring, for each SIZE (default 10000 and 100000 entries of about
# 200 characters, one in twenty an image, the history limit set to SIZE):
#  - start-up to recording: from the exec of scrivlet to the first copy it
#    records, while a copier copies a new text every 10 ms from that exec on
#    (median of 5 starts; the key is looked up in the keyring each time);
#  - memory: the proportional set size of Scrivlet's processes once the
#    palette has been shown and hidden again;
#  - idle: CPU and context switches (all threads) over IDLE_SECONDS, twice:
#    just after the palette was used, and after that.
# Run from the repository after a release build:
#   bench/scale_bench.sh [BUILD] [IDLE_SECONDS] [SIZE...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath -m "${1:-build/release}")
idle=${2:-60}
shift $(($# > 2 ? 2 : $#))
sizes=${*:-10000 100000}
exec tests/fixtures/session --x11 -- bash -s "$build" "$idle" "$sizes" <<'SCRIPT'
set -euo pipefail
build=$1 idle=$2 sizes=$3
source tests/e2e/lib.sh "$build/src/app/scrivlet" "$build/tests/e2e/history_dump" "" ""
copier=$build/tests/e2e/burst_copier

# Seconds of CPU (user and system) the process has used so far.
cpu() { awk -v hz="$(getconf CLK_TCK)" '{ print ($14 + $15) / hz }' "/proc/$pid/stat"; }
# Context switches so far, one line per thread: TID COUNT.
switches() { for t in /proc/"$pid"/task/*; do awk -v t="${t##*/}" '/ctxt_switches/ { n += $2 } END { print t, n }' "$t/status"; done; }
# The switches between two samples, over the threads alive at both.
switched() { awk 'NR == FNR { a[$1] = $2; next } ($1 in a) { n += $2 - a[$1] } END { print n }' "$1" "$2"; }
# Scrivlet and every process below it.
family() { echo "$pid"; pgrep -P "$pid" | while read -r child; do echo "$child"; pgrep -P "$child" || true; done; }
pss_mb() { for p in $(family); do cat "/proc/$p/smaps_rollup"; done | awk '/^Pss:/ { kb += $2 } END { printf "%.1f", kb / 1024 }'; }
first_since() { sqlite3 "$db" "SELECT createdAt FROM ClipItem WHERE seq > $1 ORDER BY seq LIMIT 1"; }
recorded_since() { [ -n "$(first_since "$1")" ]; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", b - a }'; }
newest_seq() { sqlite3 "$db" "SELECT coalesce(max(seq), 0) FROM ClipItem"; }

for size in $sizes; do
    rm -rf "$XDG_DATA_HOME/Scrivlet" "$HOME/scrivlet.log"
    mkdir -p "$XDG_CONFIG_HOME/Scrivlet"
    printf '{"historyLimit": %d}' "$size" > "$XDG_CONFIG_HOME/Scrivlet/defaults.json"
    start_scrivlet
    wait_for has_key || fail "no key"
    stop_scrivlet
    seeding=$(date +%s.%N)
    "$dump" --seed "$size"
    echo "$size entries: seeded in $(elapsed "$seeding" "$(date +%s.%N)") s"

    : > "$HOME/startups.txt"
    for _ in 1 2 3 4 5; do
        seq0=$(newest_seq)
        t0=$(date +%s.%N)
        "$scrivlet" >>"$log" 2>&1 &
        pid=$!
        "$copier" 300 10 Depart 0 > /dev/null
        wait_for recorded_since "$seq0" || fail "no copy recorded after start"
        awk -v a="$t0" -v b="$(first_since "$seq0")" 'BEGIN { printf "%.1f\n", (b - a) * 1000 }' >> "$HOME/startups.txt"
        stop_scrivlet
    done
    sort -n "$HOME/startups.txt" | awk '{ d[NR] = $1 } END { printf "  start-up to recording: median %.0f ms (min %.0f, max %.0f, 5 starts)\n", d[3], d[1], d[5] }'

    start_scrivlet
    wait_for has_key || fail "no key"
    sleep 2
    "$scrivlet" show >/dev/null || fail "could not reach the running Scrivlet"
    wait_for palette_shown || fail "the palette did not open"
    sleep 1
    "$scrivlet" hide >/dev/null
    wait_for palette_hidden || fail "the palette did not close"
    sleep 2
    echo "  memory, palette shown once: PSS $(pss_mb) MB ($(family | wc -l) processes)"

    # The first minute after the palette's use holds Qt's own clean-up (its
    # pixmap cache and idle pool threads go after 30 s); the next is idle.
    for minute in "the minute after the palette" "the minute after that"; do
        cpu0=$(cpu)
        switches > "$HOME/switches0.txt"
        sleep "$idle"
        cpu1=$(cpu)
        switches > "$HOME/switches1.txt"
        awk -v m="$minute" -v s="$idle" -v a="$cpu0" -v b="$cpu1" -v n="$(switched "$HOME/switches0.txt" "$HOME/switches1.txt")" -v t="$(wc -l < "$HOME/switches1.txt")" 'BEGIN { printf "  idle, %s (%d s): CPU %.3f %% of a core (%.0f ms), %.2f context switches a second (%d threads)\n", m, s, (b - a) * 100 / s, (b - a) * 1000, n / s, t }'
    done
    [ "$(sqlite3 "$db" "SELECT count(*) FROM ClipItem")" -eq "$size" ] || fail "the history did not keep $size entries"
    stop_scrivlet
done
SCRIPT
