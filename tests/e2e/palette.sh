#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The palette driven as a person would, with xdotool: it opens at the
# pointer, filters, pastes into the window that was in front with the key that
# window wants, pins, deletes, hides, and keeps its size.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/../fixtures/session" --x11 -- bash -s "$@" <<SCRIPT
set -euo pipefail
source "$here/lib.sh"
start_scrivlet
wait_for has_key || fail "no key"
copy_text "alpha"; wait_for count_is 1 || fail "alpha not recorded"
"\$owner" --class Writer 'text/rtf={\rtf1 {\b Gras}}' 'text/plain=Gras' > /dev/null &
owner_pid=\$!
wait_for count_is 2 || fail "rich text not recorded"
kill \$owner_pid
copy_text "Café crème"; wait_for count_is 3
copy_text "beta"; wait_for count_is 4

start_probe
xdotool mousemove 200 150
open_palette
geometry=\$(xdotool getwindowgeometry "\$(palette_window)")
grep -q "Position: 20[0-9],15[0-9]" <<<"\$geometry" || fail "not opened at the pointer: \$geometry"
xdotool type --delay 40 "CAFE"
sleep 0.3
xdotool key Return
wait_for probe_has "text Café crème" || fail "Return did not paste into the window in front: \$(cat \$HOME/probe.log)"
wait_for palette_hidden || fail "the palette stayed open after pasting"
[ "\$(ctrl_v_count)" -eq 1 ] || fail "expected exactly one Ctrl+V: \$(cat \$HOME/probe.log)"

# Shift+Return: plain text, and Shift is let go for the keystroke.
open_palette
xdotool type --delay 40 "gras"
sleep 0.3
xdotool key shift+Return
wait_for probe_has "Café crèmeGras" || fail "Shift+Return did not paste: \$(tail -3 \$HOME/probe.log)"
targets=\$(xclip -o -selection clipboard -t TARGETS)
grep -q "text/rtf" <<<"\$targets" && fail "a plain paste offered RTF: \$targets"
[ "\$(ctrl_v_count)" -eq 2 ] || fail "Shift+Return sent more than Ctrl+V: \$(cat \$HOME/probe.log)"

# Return on the rich entry: formatted, so RTF is offered. (The plain paste
# above recorded a plain "Gras" too, newest, so the rich one is second.)
open_palette
xdotool type --delay 40 "gras"; sleep 0.3; xdotool key Down Return
wait_for probe_has "Café crèmeGrasGras" || fail "the rich entry was not pasted"
xclip -o -selection clipboard -t TARGETS | grep -q "text/rtf" || fail "a formatted paste did not offer RTF"

# Ctrl+digit pastes that row, whatever the selection. Pasted entries moved
# up: Gras (rich), Gras, Café crème, beta, alpha.
open_palette
xdotool key Down Down ctrl+4
wait_for probe_has "GrasGrasbeta" || fail "Ctrl+4 did not paste the fourth row: \$(tail -2 \$HOME/probe.log)"

# Ctrl+P pins the selected entry; Ctrl+Backspace deletes one entry (the
# last one, alpha).
open_palette
xdotool key Down ctrl+p
sleep 0.3
entries | head -1 | grep -qP "^\w+\tpinned" || fail "Ctrl+P did not pin: \$(entries)"
xdotool key End ctrl+BackSpace
wait_for count_is 4 || fail "Ctrl+Backspace did not delete one entry: \$(count)"

# Escape clears the query, then hides; a click elsewhere hides.
xdotool type "zz"; xdotool key Escape; sleep 0.3
palette_shown || fail "the first Escape closed the palette"
xdotool key Escape
wait_for palette_hidden || fail "the second Escape did not hide the palette"
open_palette
xdotool mousemove 300 620 click 1
wait_for palette_hidden || fail "a click into another window did not hide the palette"

# Near the bottom-right corner it stays inside the screen.
xdotool mousemove 1590 990
open_palette
eval "\$(xdotool getwindowgeometry --shell "\$(palette_window)")"
[ \$((X + WIDTH)) -le 1592 ] && [ \$((Y + HEIGHT)) -le 992 ] || fail "outside the screen: \$X,\$Y \${WIDTH}x\$HEIGHT"
xdotool windowsize "\$(palette_window)" 640 460
sleep 0.5
xdotool key Escape

# A terminal gets Ctrl+Shift+V.
lxterminal --no-remote -e "sh -c 'cat > \$HOME/terminal.out'" &
wait_for xdotool search --onlyvisible --class lxterminal || fail "no terminal"
sleep 1
xdotool windowactivate --sync "\$(xdotool search --onlyvisible --class lxterminal | head -1)"
open_palette
xdotool type --delay 40 "beta"; sleep 0.3; xdotool key Return
sleep 1
xdotool key Return ctrl+d
wait_for grep -q "^beta\\\$" "\$HOME/terminal.out" || fail "the terminal did not paste: \$(cat -v \$HOME/terminal.out)"

# The pin survives a restart and pruning; the size survives a restart.
stop_scrivlet
/usr/bin/python3 -c "import json,sys; d=json.load(open('\$XDG_CONFIG_HOME/Scrivlet/defaults.json')); d['historyLimit']=1; json.dump(d, open('\$XDG_CONFIG_HOME/Scrivlet/defaults.json','w'))"
start_scrivlet
wait_for count_is 2 || fail "pruning at launch: \$(entries)"
entries | head -1 | grep -qP "^\w+\tpinned" || fail "the pin did not survive: \$(entries)"
xdotool mousemove 100 100
open_palette
eval "\$(xdotool getwindowgeometry --shell "\$(palette_window)")"
[ "\$WIDTH" -eq 640 ] && [ "\$HEIGHT" -eq 460 ] || fail "the size was not kept: \${WIDTH}x\$HEIGHT"
xdotool key Escape
stop_scrivlet

# A search looks through the whole history: an entry older than the 200
# newest is found by the palette and by the command line.
/usr/bin/python3 -c "import json,sys; d=json.load(open('\$XDG_CONFIG_HOME/Scrivlet/defaults.json')); d['historyLimit']=1000; json.dump(d, open('\$XDG_CONFIG_HOME/Scrivlet/defaults.json','w'))"
"\$dump" --seed 300
start_scrivlet
wait_for count_is 302 || fail "the history was not seeded: \$(count)"
"\$scrivlet" search "entree 5 :" | grep -qF "\$(printf '296\ttext\t\tEntrée 5 : le café')" \
    || fail "search did not find an old entry: \$("\$scrivlet" search "entree 5 :")"
xdotool windowactivate --sync "\$probe_window"
open_palette
xdotool type --delay 40 "ENTREE 5 :"; sleep 0.3; xdotool key Return
wait_for probe_has "Entrée 5 : le café" || fail "the palette did not find an old entry: \$(tail -2 \$HOME/probe.log)"
stop_scrivlet
kill \$probe_pid
echo "palette: all checks passed"
SCRIPT
