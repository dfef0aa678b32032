#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copies as fast as a script makes them: forty copies 50 ms apart are forty
# entries, in the order they were made.
#   capture.sh SCRIVLET HISTORY_DUMP BURST_COPIER
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
copier=$3
exec "$here/../fixtures/session" --x11 -- bash -s "$1" "$2" "$copier" <<SCRIPT
set -euo pipefail
source "$here/lib.sh"
copier=\$3

start_scrivlet
wait_for has_key || fail "no key"
sleep 0.5

# A copy replaced before Scrivlet could read it is gone for good; a machine
# stalled past 50 ms can lose one. Once can be the machine; twice is Scrivlet.
burst() { # prefix
    "\$copier" 40 50 "\$1" 500 > "\$HOME/copies.txt" || fail "the copier failed"
    wait_for recorded_all "\$1" || true
    [ "\$(recorded "\$1")" = "\$(seq 40 -1 1 | sed "s/^/\$1 /")" ]
}
recorded() { entries | cut -f5 | grep "^\$1 " || true; }
recorded_all() { [ "\$(recorded "\$1" | wc -l)" -eq 40 ]; }
if ! burst Rafale; then
    echo "capture: first burst, \$(recorded Rafale | wc -l) of 40 recorded; once more" >&2
    burst Reprise || fail "not every copy was recorded in order, twice: \$(recorded Reprise | wc -l) of 40: \$(recorded Reprise | tr '\n' ' ')"
fi
stop_scrivlet
echo "capture: 40 copies 50 ms apart, all recorded in order"
SCRIPT
