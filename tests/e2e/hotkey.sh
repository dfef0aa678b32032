#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Super+Shift+V toggles the palette from any window, also with Num Lock and
# Caps Lock on; holding it toggles once; near misses reach the window in front.
# Held by another program, it is reported once, Scrivlet carries on, and takes
# it when the other program lets go.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/../fixtures/session" --x11 -- bash -s "$@" <<SCRIPT
set -euo pipefail
source "$here/lib.sh"
start_scrivlet
wait_for has_key || fail "no key"
start_probe
sleep 0.5
toggle() { xdotool key --clearmodifiers super+shift+v; sleep 0.4; }

toggle
wait_for palette_shown || fail "Super+Shift+V did not show the palette"
toggle
wait_for palette_hidden || fail "Super+Shift+V did not hide the palette"

for lock in Num_Lock Caps_Lock; do
    xdotool key \$lock
    toggle
    wait_for palette_shown || fail "Super+Shift+V with \$lock on did not show the palette"
    toggle
    wait_for palette_hidden || fail "Super+Shift+V with \$lock on did not hide the palette"
    xdotool key \$lock
done

# Held down (the keyboard repeats), it toggles once.
xdotool keydown super+shift+v; sleep 1.2; xdotool keyup v shift super
sleep 0.5
palette_shown || fail "holding the shortcut did not leave the palette shown once"
xdotool key Escape
wait_for palette_hidden

# Near misses are not Scrivlet's.
xdotool windowactivate --sync "\$probe_window"
: > "\$HOME/probe.log"
xdotool key super+v super+shift+b
sleep 0.5
palette_hidden || fail "a near miss opened the palette"
grep -qE '^key (76|56) ' "\$HOME/probe.log" || fail "Super+V did not reach the window in front: \$(cat \$HOME/probe.log)"
grep -qE '^key (62|42) ' "\$HOME/probe.log" || fail "Super+Shift+B did not reach the window in front"
stop_scrivlet
grep -q "Error registering hotkey" "\$log" && fail "the shortcut was refused"

# Another program holds it first.
"\$holder" '{"carbonKeyCode":9,"carbonModifiers":768}' > "\$HOME/holder.log" &
holder_pid=\$!
wait_for grep -q '^held' "\$HOME/holder.log" || fail "the other program could not take the shortcut"
: > "\$log"
start_scrivlet
wait_for grep -q "^Error registering hotkey Shift+Super+V: " "\$log" || fail "the refusal was not reported"
toggle
palette_hidden || fail "the shortcut reached Scrivlet while another program held it"
open_palette
xdotool key Escape
wait_for palette_hidden || fail "the palette did not close"
# Once the other program lets go, the shortcut is Scrivlet's without a restart.
kill \$holder_pid
wait \$holder_pid 2>/dev/null || true
shown=0
for _ in \$(seq 30); do
    toggle
    if palette_shown; then shown=1; break; fi
done
[ "\$shown" -eq 1 ] || fail "the shortcut was never taken after the other program let it go"
[ "\$(grep -c "^Error registering hotkey" "\$log")" -eq 1 ] || fail "the refusal was reported more than once"
stop_scrivlet
echo "hotkey: all checks passed"
SCRIPT
