#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times Scrivlet in a headless sway: from wl-copy to the entry in the history,
# and from `scrivlet toggle` to the palette focused, 20 runs each, as seen
# from outside (polling every 5 ms). Run from the repository after a build:
#   bench/wayland_bench.sh [build folder, default build/release]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/release}")
if [ "${2:-}" != --inside ]; then
    exec tests/fixtures/sway-session -- tests/fixtures/session --wayland -- \
        bash "$PWD/bench/wayland_bench.sh" "$build" --inside
fi
scrivlet=$build/src/app/scrivlet
now() { date +%s%N; }
stats() { sort -n | awk '{a[NR]=$1} END {printf "median %.1f ms, p90 %.1f ms (%d runs)\n", a[int((NR+1)/2)]/1e6, a[int(NR*0.9+0.5)]/1e6, NR}'; }
"$scrivlet" >"$HOME/scrivlet.log" 2>&1 &
pid=$!
for _ in $(seq 100); do "$scrivlet" list >/dev/null 2>&1 && break; sleep 0.1; done

for i in $(seq 20); do
    start=$(now)
    wl-copy "mesure $i"
    until "$scrivlet" list --limit 1 | grep -q "mesure $i\$"; do sleep 0.005; done
    echo $(($(now) - start))
done | stats | sed 's/^/wl-copy to recorded: /'

focused() {
    swaymsg -t get_tree | jq -e '.. | objects | select(.app_id? == "org.scrivlet.Scrivlet"
        and .name == "Presse-papiers" and .focused == true)' >/dev/null
}
for _ in $(seq 20); do
    start=$(now)
    "$scrivlet" toggle
    until focused; do sleep 0.005; done
    echo $(($(now) - start))
    "$scrivlet" hide
    while focused; do sleep 0.005; done
done | stats | sed 's/^/toggle to palette focused: /'
kill "$pid" 2>/dev/null || true
