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

"\$copier" 40 50 Rafale 500 > "\$HOME/copies.txt" || fail "the copier failed"
wait_for count_is 40 || fail "not every copy was recorded: \$(count) of 40"
expected=\$(seq 40 -1 1 | sed 's/^/Rafale /')
actual=\$(entries | cut -f5)
[ "\$actual" = "\$expected" ] || fail "the copies were recorded out of order: \$actual"
stop_scrivlet
echo "capture: 40 copies 50 ms apart, all recorded in order"
SCRIPT
