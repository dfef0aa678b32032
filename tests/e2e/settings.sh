#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The settings window, driven from the keyboard and the mouse as a user
# would: a typed history limit applies once, when the field is left (typing
# 150 over 200 never prunes to 15); the wheel scrolls the window past the
# steppers and pickers without changing them; a lower limit prunes, capture
# switched off records nothing, an excluded application's copies are
# skipped; English at the next start is English everywhere.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/../fixtures/session" --x11 -- bash -s "$@" <<SCRIPT
set -euo pipefail
source "$here/lib.sh"
defaults="\$XDG_CONFIG_HOME/Scrivlet/defaults.json"
setting() { python3 -c "import json,sys; print(json.load(open('\$defaults')).get(sys.argv[1]))" "\$1"; }
setting_is() { [ "\$(setting "\$1")" = "\$2" ]; }
settings_window() { xdotool search --onlyvisible --name "^\$1\\\$" 2>/dev/null | head -1; }
tab() { for _ in \$(seq "\$1"); do xdotool key Tab; sleep 0.05; done; }
backtab() { for _ in \$(seq "\$1"); do xdotool key shift+Tab; sleep 0.05; done; }
# Every preference but the history limit.
preferences() { python3 -c "import json; d=json.load(open('\$defaults')); d.pop('historyLimit', None); print(json.dumps(d, sort_keys=True))"; }

mkdir -p "\$XDG_CONFIG_HOME/Scrivlet"
printf '{"historyLimit": 200}' > "\$defaults"
start_scrivlet
wait_for has_key || fail "no key"
start_probe
for i in \$(seq 60); do copy_text "entry \$i"; wait_for count_is \$i || fail "entry \$i not recorded"; done

"\$scrivlet" settings || fail "scrivlet settings failed"
wait_for settings_window "Réglages — Scrivlet" || fail "the settings window did not open"
window=\$(settings_window "Réglages — Scrivlet")
xdotool windowactivate --sync "\$window"
sleep 0.3

# Focus moves from the first picker to the history limit. 150 typed over
# 200 passes through 1 and 15, which must never apply (each applied value
# prunes at once, so by the time 150 is stored, 15 would have pruned).
tab 5
xdotool key ctrl+a; xdotool type --delay 150 150
xdotool key Tab
wait_for setting_is historyLimit 150 || fail "the typed limit did not apply on leaving the field"
count_is 60 || fail "typing pruned the history to \$(count) entries"
# Retention, typed 90 over 30 (through 9), applied by Return.
xdotool key ctrl+a; xdotool type --delay 150 90
xdotool key Return
wait_for setting_is retentionDays 90 || fail "the typed retention did not apply on Return"
count_is 60 || fail "entries were lost: \$(count)"

# The wheel over every control of the window, none of them focused (the
# focus is on the clear button): the window scrolls, nothing changes.
tab 1
before=\$(preferences)
eval "\$(xdotool getwindowgeometry --shell "\$window")"
x=\$((X + WIDTH - 70))
top=\$((Y + 20))
for button in 5 4; do
    for y in \$(seq "\$top" 12 \$((top + HEIGHT - 90))); do
        xdotool mousemove "\$x" "\$y" click "\$button"
    done
done
# A request answered by the running Scrivlet comes after the wheel's turns.
"\$scrivlet" settings || fail "scrivlet settings failed"
[ "\$(preferences)" = "\$before" ] || fail "the wheel changed a setting: \$(preferences)"
count_is 60 || fail "the wheel pruned the history to \$(count) entries"

# Back to the history limit, typed as 10.
backtab 2
xdotool key ctrl+a; xdotool type 10; xdotool key Return
wait_for count_is 10 || fail "a lower limit did not prune the history: \$(count)"
[ "\$(setting historyLimit)" = 10 ] || fail "historyLimit is \$(setting historyLimit)"

# On to the capture switch; Space turns it off.
tab 4
xdotool key space
wait_for setting_is captureEnabled False || fail "capture was not switched off"
copy_text "while capture is off"
sleep 1.5
has "while capture is off" && fail "recorded with capture off"
xdotool key space
wait_for setting_is captureEnabled True || fail "capture was not switched on"

# On to "Ajouter une app…", past the selection and login switches: the
# chooser finds LXTerminal by name.
tab 4
xdotool key space
sleep 1
xdotool type LXTerminal
xdotool key Return
wait_for setting_is excludedApps "['lxterminal']" || fail "lxterminal was not excluded: \$(setting excludedApps)"
xdotool key Escape

lxterminal --title=Terminal >/dev/null 2>&1 &
terminal_pid=\$!
wait_for xdotool search --onlyvisible --class lxterminal || fail "no terminal"
xdotool windowactivate --sync "\$(xdotool search --onlyvisible --class lxterminal | head -1)"
sleep 0.5
copy_text "copied in the terminal"
sleep 1.5
has "copied in the terminal" && fail "a copy from an excluded application was recorded"
xdotool windowactivate --sync "\$probe_window"
sleep 0.3
copy_text "copied in the probe"
wait_for has "copied in the probe" || fail "a copy from another application was not recorded"
kill \$terminal_pid
stop_scrivlet

# English, at the next start.
python3 -c "import json; d=json.load(open('\$defaults')); d['AppleLanguages']=['en']; json.dump(d, open('\$defaults','w'))"
start_scrivlet
second=\$("\$scrivlet" 2>&1)
[ "\$second" = "Scrivlet is already running." ] || fail "a second start said: \$second"
wait_for xdotool search --onlyvisible --name '^Clipboard\$' || fail "the palette is not in English"
xdotool key Escape
"\$scrivlet" settings
wait_for settings_window "Settings — Scrivlet" || fail "the settings window is not in English"
stop_scrivlet
echo "settings: all checks passed"
SCRIPT
