#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The palette under the mouse, with xdotool: a double click pastes the row
# it was made on; the hover buttons pin and delete one entry each; a pending
# single-click paste is dropped by Escape, by Return (one paste, not two) and
# by a click into another window; a held Ctrl+Backspace deletes one entry.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/../fixtures/session" --x11 -- bash -s "$@" <<SCRIPT
set -euo pipefail
source "$here/lib.sh"
defaults="\$XDG_CONFIG_HOME/Scrivlet/defaults.json"
set_click_paste() {
    mkdir -p "\$(dirname "\$defaults")"
    /usr/bin/python3 - "\$defaults" "\$1" <<'PY'
import json, os, sys
path, on = sys.argv[1], sys.argv[2] == "on"
data = json.load(open(path)) if os.path.exists(path) else {}
data["pasteOnSingleClick"] = on
json.dump(data, open(path, "w"))
PY
}
# The first row's middle, from the palette's top; one-line rows are 53 apart.
row_y() { echo \$((Y + 76 + 53 * \$1)); }
# Opens the palette at the same place each time, so that rows keep theirs.
open_here() { xdotool mousemove 100 100; open_palette; }
ctrl_v_is() { [ "\$(ctrl_v_count)" -eq "\$1" ]; }
active_is() { [ "\$(xdotool getactivewindow)" = "\$1" ]; }
first_pinned() { entries | head -1 | grep -qP "^\w+\tpinned"; }

set_click_paste off
start_scrivlet
wait_for has_key || fail "no key"
for i in \$(seq -w 1 15); do copy_text "item \$i"; wait_for count_is \$((10#\$i)) || fail "item \$i not recorded"; done
start_probe
xdotool mousemove 100 100

# Which entry sits low in the list: a click selects it, Return pastes it.
open_palette
eval "\$(xdotool getwindowgeometry --shell "\$(palette_window)")"
low=\$((Y + HEIGHT - 90))
xdotool mousemove 300 \$low click 1
sleep 0.3
xdotool key Return
wait_for probe_has "text item" || fail "the clicked row was not pasted"
clicked=\$(grep '^text item' "\$HOME/probe.log" | tail -1 | sed 's/^text item //')
# Pasted, it moved to the top: the row there now holds the next newer one.
expected=\$(printf 'item %02d' \$((10#\$clicked + 1)))
: > "\$HOME/probe.log"
xdotool windowactivate --sync "\$probe_window" key ctrl+a BackSpace

# The same place, double-clicked in a fresh palette: the same row.
open_here
xdotool mousemove 300 \$low click --repeat 2 --delay 60 1
wait_for probe_has "text \$expected" || fail "the double click pasted another row: \$(cat \$HOME/probe.log), not \$expected"
[ "\$(ctrl_v_count)" -eq 1 ] || fail "a double click pasted more than once: \$(cat \$HOME/probe.log)"

# Hover buttons, each clicked once or twice: one pin, one delete. They sit
# at the row's right end, left of the list's scroll bar.
open_here
xdotool mousemove \$((X + WIDTH - 74)) \$(row_y 1) click 1
wait_for first_pinned || fail "the pin button did not pin: \$(entries)"
xdotool mousemove \$((X + WIDTH - 48)) \$(row_y 2) click --repeat 2 --delay 60 1
wait_for count_is 14 || fail "the delete button did not delete: \$(count)"
xdotool key Escape
wait_for palette_hidden || fail "Escape did not hide the palette"
count_is 14 || fail "a double click on delete deleted more than one entry: \$(count)"

# Held Ctrl+Backspace: one entry, however long it is held (Escape after it
# is read after every repeat).
open_palette
xdotool keydown ctrl keydown BackSpace; sleep 1.5; xdotool keyup BackSpace keyup ctrl
xdotool key Escape
wait_for palette_hidden || fail "Escape did not hide the palette"
count_is 13 || fail "a held Ctrl+Backspace deleted \$((14 - \$(count))) entries"

stop_scrivlet
set_click_paste on
start_scrivlet
xdotool windowactivate --sync "\$probe_window"
: > "\$HOME/probe.log"

# A single click pastes.
open_here
xdotool mousemove 300 \$(row_y 0) click 1
wait_for probe_has "text " || fail "a single click did not paste"
before=\$(ctrl_v_count)

# Click, then Escape: nothing, by the time the palette is open again (its
# opening outlasts the click's wait).
open_here
xdotool mousemove 300 \$(row_y 1) click 1 key Escape
wait_for palette_hidden || fail "Escape did not hide the palette"
open_here
[ "\$(ctrl_v_count)" -eq "\$before" ] || fail "the click before Escape pasted: \$(cat \$HOME/probe.log)"
xdotool key Escape

# Click, then Return: one paste.
open_here
xdotool mousemove 300 \$(row_y 1) click 1 key Return
wait_for ctrl_v_is \$((before + 1)) || fail "Return after a click did not paste: \$(cat \$HOME/probe.log)"
open_here
xdotool key Escape
wait_for palette_hidden
[ "\$(ctrl_v_count)" -eq \$((before + 1)) ] || fail "a click and Return pasted twice: \$(cat \$HOME/probe.log)"

# Click, then a click into another window B: nothing pasted into A, and A
# stays behind; the next paste goes to B.
"\$probe" --class OtherProbe > "\$HOME/other.log" 2>&1 &
other_pid=\$!
wait_for grep -q '^ready' "\$HOME/other.log" || fail "the other probe never got the focus"
other=\$(grep '^ready' "\$HOME/other.log" | head -1 | cut -d' ' -f2)
xdotool windowmove --sync "\$other" 700 700
xdotool windowactivate --sync "\$probe_window"
open_here
xdotool mousemove 300 \$(row_y 2) click 1 mousemove 760 715 click 1
wait_for palette_hidden || fail "a click into another window did not hide the palette"
wait_for active_is "\$other" || fail "the other window did not keep the focus"
open_here
xdotool type --delay 40 "item 05"; sleep 0.3; xdotool key Return
wait_for grep -q "^text item 05" "\$HOME/other.log" || fail "the paste after did not reach B: \$(cat \$HOME/other.log)"
[ "\$(ctrl_v_count)" -eq \$((before + 1)) ] || fail "the click before leaving pasted into A: \$(cat \$HOME/probe.log)"
kill \$other_pid

stop_scrivlet
kill \$probe_pid
echo "palette_mouse: all checks passed"
SCRIPT
