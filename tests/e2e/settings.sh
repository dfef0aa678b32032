#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The settings window, driven from the keyboard as a user would: a lower
# history limit prunes, capture switched off records nothing, an excluded
# application's copies are skipped; English at the next start is English
# everywhere.
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

mkdir -p "\$XDG_CONFIG_HOME/Scrivlet"
printf '{"historyLimit": 20}' > "\$defaults"
start_scrivlet
wait_for has_key || fail "no key"
start_probe
for i in \$(seq 15); do copy_text "entry \$i"; wait_for count_is \$i || fail "entry \$i not recorded"; done

"\$scrivlet" settings || fail "scrivlet settings failed"
wait_for settings_window "Réglages — Scrivlet" || fail "the settings window did not open"
window=\$(settings_window "Réglages — Scrivlet")
xdotool windowactivate --sync "\$window"
sleep 0.3

# Focus moves from the first picker to the history limit, typed as 10.
tab 5
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

# On to "Ajouter une app…": the chooser finds LXTerminal by name.
tab 3
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
