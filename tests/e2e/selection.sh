#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Recording the selection, as a user who turned it on meets it: text dragged
# across in a real window is one entry, the whole text; a selection that
# grows while the button is down is not recorded on the way; turned off, or
# before it is turned on, nothing selected is recorded.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[ -n "${SCRIVLET_SESSION:-}" ] || exec env SCRIVLET_SESSION=1 "$here/../fixtures/session" --x11 -- "$0" "$@"
source "$here/lib.sh"
prefs="$XDG_CONFIG_HOME/Scrivlet/defaults.json"
mkdir -p "$(dirname "$prefs")"
texts() { "$dump" | cut -f5-; }
only_entry_is() { [ "$(texts)" = "$1" ]; }
# Longer than a selection takes to settle: what would be recorded by then is.
past_settling() { sleep 1.5; }
set_option() {
    jq ".recordSelection = $1" "$prefs" >"$prefs.new"
    mv "$prefs.new" "$prefs"
    sleep 1.5 # the file's change reaches Scrivlet, even on a busy machine
}

# Drags across the probe's whole field, a few pixels at each step.
drag_across_field() {
    xdotool mousemove --window "$probe_window" 3 20
    xdotool mousedown 1
    for x in $(seq 10 20 490); do
        xdotool mousemove --window "$probe_window" "$x" 20
        sleep 0.05
    done
    xdotool mouseup 1
}
type_in_field() {
    # Emptied without selecting: a selection made here would be recorded.
    xdotool key --window "$probe_window" End
    xdotool key --window "$probe_window" --repeat 40 BackSpace
    xdotool type --window "$probe_window" "$1"
    wait_for probe_has "text $1" || fail "the probe's field did not get '$1'"
}

printf '{"recordSelection": true}\n' >"$prefs"
start_scrivlet
wait_for has_key || fail "no key"
start_probe SelectionProbe

# A drag in a Qt line edit: one entry, the whole text.
type_in_field "the quick brown fox"
drag_across_field
wait_for has "the quick brown fox" || fail "the dragged selection was not recorded: $(texts)"
past_settling
only_entry_is "the quick brown fox" || fail "the drag is not exactly one entry: $(texts)"

# A selection that changes while a button is held, each step settled in
# time, is recorded once the button is up, and only then; grown from the
# entry just recorded, it replaces it.
xdotool mousemove 900 100
xdotool mousedown 1
for words in "the quick brown fox jumps" "the quick brown fox jumps over"; do
    printf '%s' "$words" | xclip -selection primary
    past_settling
done
only_entry_is "the quick brown fox" || fail "recorded while the button was held: $(texts)"
xdotool mouseup 1
wait_for only_entry_is "the quick brown fox jumps over" \
    || fail "the grown selection did not replace the one before: $(texts)"

# Turned off: nothing selected is recorded, and no restart is needed.
set_option false
type_in_field "while off"
drag_across_field
past_settling
only_entry_is "the quick brown fox jumps over" || fail "recorded while off: $(texts)"

# On again, without a restart; what was selected meanwhile is not recorded.
set_option true
type_in_field "on again"
drag_across_field
wait_for has "on again" || fail "not recorded once turned on again: $(texts)"
[ "$(count)" -eq 2 ] || fail "expected two entries: $(texts)"
kill "$probe_pid"
stop_scrivlet

# Off by default: a fresh preferences file records no selection.
rm -f "$prefs"
start_scrivlet
# Copies are recorded only once the key is in; a slow start records the
# first ones late or not at all.
recorded_copy() { copy_text "$1"; sleep 0.3; has "$1"; }
wait_for recorded_copy "a copy" || fail "the copy was not recorded"
printf '%s' "by default" | xclip -selection primary
past_settling
copy_text "a later copy"
wait_for has "a later copy" || fail "the later copy was not recorded"
has "by default" && fail "a selection was recorded with the option never set"
stop_scrivlet
echo "selection: ok"
