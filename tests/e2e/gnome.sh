#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Scrivlet on GNOME Shell, through its Shell extension, with real programs:
# with the extension off it records nothing and says why; turned on, it is
# followed without a restart. Then copies from wl-copy and a GTK 4 program are
# recorded with their kind and source, a secret is not read, an excluded
# application's copy is not recorded, a copy outlives its program with all
# its formats, `scrivlet copy` is what wl-paste reads, Super+Shift+V opens the
# palette and Return pastes into the GTK window as one Ctrl+V, and a program
# that is not Scrivlet is refused by the extension.
#   gnome.sh SCRIVLET HISTORY_DUMP COPIER EXTENSION_FOLDER
# Runs in a headless GNOME Shell (tests/fixtures/session --gnome), as an
# unprivileged user in tests/fixtures/desktop-root.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ "${1:-}" != --inside ]; then
    exec "$here/../fixtures/session" --gnome --extension "$4" -- bash "$here/gnome.sh" --inside "$@"
fi
shift
scrivlet=$1 dump=$2 copier=$3
uuid=scrivlet@scrivlet.org
log="$HOME/scrivlet.log"
fail() {
    echo "FAIL: $*" >&2
    [ -f "$log" ] && sed 's/^/  scrivlet: /' "$log" >&2
    for window in "$HOME"/gtk-*.log; do
        [ -f "$window" ] && sed "s/^/  $(basename "$window" .log): /" "$window" >&2
    done
    grep -i 'scrivlet' "$DESKTOP_SESSION_LOG" | tail -20 | sed 's/^/  shell: /' >&2 || true
    exit 1
}
source "$here/wayland_lib.sh"
status() { "$scrivlet" capture status; }

# Keys typed on the seat's keyboard: evdev codes, pressed in turn and
# released in reverse.
presses=0
press() {
    presses=$((presses + 1))
    local reply="$HOME/press-$presses"
    echo "key $1 $reply" >"$GNOME_KEYBOARD"
    wait_for grep -q . "$reply" || fail "the keyboard did not answer for $1"
    grep -q '^ok' "$reply" || fail "keys $1: $(cat "$reply")"
}
# A GTK 4 window of this application id, logging its focus and keys, that
# copies TEXT at its first key when given one.
open_gtk() { # name, options and app id and text for gtk_copier.py
    local name=$1
    shift
    : >"$HOME/gtk-$name.log"
    GSK_RENDERER=cairo GTK_A11Y=none python3 "$copier" --keys "$@" >>"$HOME/gtk-$name.log" 2>&1 &
    eval "gtk_$name=\$!"
    wait_for active "$name" || fail "the GTK window $name never got the focus"
}
active() { [ "$(grep -x -E 'active|inactive' "$HOME/gtk-$1.log" | tail -1)" = active ]; }
inactive() { [ "$(grep -x -E 'active|inactive' "$HOME/gtk-$1.log" | tail -1)" = inactive ]; }
close_gtk() {
    local pid
    eval "pid=\$gtk_$1"
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}
copy_from() { # name, options and app id and text
    local name=$1
    open_gtk "$@"
    press 30
    wait_for grep -qx copied "$HOME/gtk-$name.log" || fail "the GTK program $name did not copy"
}
# Keys other than modifiers alone, as the window saw them.
keys_of() { grep '^key ' "$HOME/gtk-$1.log" | grep -v -E '^key (Control|Shift|Super|Alt|Meta)_[LR] ' || true; }

mkdir -p "$XDG_CONFIG_HOME/Scrivlet"
# Asked once whether to turn the extension on: answered here by the test.
printf '{"excludedApps": ["org.scrivlet.Excluded"], "shellExtensionOffered": true}' \
    >"$XDG_CONFIG_HOME/Scrivlet/defaults.json"

# Without the extension: nothing recorded, and Scrivlet says what it lacks.
gnome-extensions disable "$uuid"
"$scrivlet" >>"$log" 2>&1 &
pid=$!
wait_for test -S "$XDG_RUNTIME_DIR/scrivlet.socket" || fail "scrivlet did not start"
wait_for "$scrivlet" list || fail "scrivlet does not answer"
off=$(status)
grep -q "^on, but nothing is recorded: GNOME Shell shows the clipboard only to Scrivlet's Shell extension" <<<"$off" \
    || fail "with the extension off, capture status: $off"
grep -qF "gnome-extensions enable $uuid" <<<"$off" || fail "capture status says not how: $off"
wl-copy 'pendant que l’extension est éteinte'
sleep 1
! has 'pendant que l’extension est éteinte' || fail "recorded without the extension?"
echo "ok - with its Shell extension off, Scrivlet records nothing and says what it lacks"

gnome-extensions enable "$uuid"
capture_on() { [ "$(status)" = on ]; }
wait_for capture_on || fail "the extension turned on was not followed: $(status)"
echo "ok - the extension turned on is followed without a restart"

# Only Scrivlet is answered.
if refused=$(gdbus call --session --dest org.gnome.Shell --object-path /org/scrivlet/Scrivlet/Shell \
    --method org.scrivlet.Scrivlet.Shell.Selection 2>&1); then
    fail "the extension answered a program that is not Scrivlet: $refused"
fi
grep -q 'org.scrivlet.Scrivlet.Shell.Error.NotScrivlet' <<<"$refused" || fail "refused how: $refused"
echo "ok - the extension refuses a caller that is not Scrivlet"

check_wl_copy_kinds 'bonjour de GNOME'

# The copy outlives its program. The Shell keeps one type of it; Scrivlet
# puts back all of them, with no new entry.
wl-copy 'reste après wl-copy'
wait_for has 'reste après wl-copy' || fail "the copy to keep was not recorded"
before=$("$dump" | wc -l)
pkill -x wl-copy
restored() {
    [ "$(wl-paste --no-newline 2>/dev/null)" = 'reste après wl-copy' ] \
        && wl-paste --list-types | grep -qx 'text/plain;charset=utf-8' \
        && wl-paste --list-types | grep -qx UTF8_STRING
}
wait_for restored || fail "not put back with all its types: $(wl-paste -l 2>&1)"
sleep 0.7
[ "$("$dump" | wc -l)" -eq "$before" ] || fail "putting it back made an entry"
echo "ok - a copy outlives its program, put back with all its types"

# A password manager's copy: never recorded. GTK offers the hint but cannot
# serve a name that is not a MIME type, which Scrivlet takes as secret. The
# Shell itself reads the text once, to keep; Scrivlet must not be a second
# reader.
copy_from secret --offer x-kde-passwordManagerHint=secret org.scrivlet.Secrets 'mot-de-passe-42'
sleep 1 # a few of Scrivlet's looks at the clipboard, so that this copy is one
close_gtk secret
wl-copy 'après le secret'
wait_for has 'après le secret' || fail "the copy after the secret was not recorded"
! has 'mot-de-passe-42' || fail "the secret was recorded"
[ "$(grep -c '^send text/plain' "$HOME/gtk-secret.log")" -le 1 ] || fail "Scrivlet read the secret's text"
echo "ok - a copy with the password manager hint is not recorded, not even read"

# An owner that never answers costs one deadline.
copy_from mute --mute org.scrivlet.Mute 'jamais lu'
wait_for grep -q 'clipboard not recorded: .*did not answer' "$log" || fail "no line about the mute owner"
close_gtk mute
wl-copy 'après le muet'
wait_for has 'après le muet' || fail "the copy after the mute owner was not recorded"
echo "ok - a mute owner is given up on; Scrivlet goes on"

# A toolkit program's copy has its application; an excluded one's is not kept.
copy_from copier org.scrivlet.Copier 'copié depuis GTK'
wait_for has 'copié depuis GTK' || fail "the GTK program's copy was not recorded"
[ "$(source_of 'copié depuis GTK')" = org.scrivlet.Copier ] \
    || fail "source of the GTK copy: $(source_of 'copié depuis GTK')"
close_gtk copier
copy_from excluded org.scrivlet.Excluded 'copié depuis une application exclue'
close_gtk excluded
wl-copy 'après l’exclue'
wait_for has 'après l’exclue' || fail "the copy after the excluded application was not recorded"
! has 'copié depuis une application exclue' || fail "an excluded application's copy was recorded"
echo "ok - a GTK 4 program's copy is recorded with its application; an excluded one's is not"

# Written back with no window of ours in front: what wl-paste reads.
position=$("$scrivlet" search 'bonjour de GNOME' | head -1 | cut -f1)
"$scrivlet" copy "$position" || fail "scrivlet copy $position"
pasted() { [ "$(wl-paste --no-newline)" = 'bonjour de GNOME' ]; }
wait_for pasted || fail "wl-paste after scrivlet copy: $(wl-paste --no-newline 2>&1)"
sleep 1
[ "$("$dump" | grep -cF 'bonjour de GNOME')" -eq 1 ] || fail "our own copy was recorded again"
echo "ok - scrivlet copy N, then wl-paste reads the entry"

# Super+Shift+V (KEY_LEFTMETA, KEY_LEFTSHIFT, KEY_V) opens the palette over
# the GTK window; Return pastes there as one Ctrl+V.
open_gtk other org.scrivlet.Other
open_gtk front org.scrivlet.Front
press 125,42,47
wait_for inactive front || fail "Super+Shift+V did not open the palette"
[ -z "$(keys_of front)" ] || fail "the shortcut's keys reached the window: $(keys_of front)"
echo "ok - Super+Shift+V opens the palette, focused"
press 28
wait_for active front || fail "the window in front never got the focus back"
got_paste() { [ -n "$(keys_of front)" ]; }
wait_for got_paste || fail "no Ctrl+V reached the window"
sleep 0.5
[ "$(keys_of front)" = 'key v 4' ] || fail "not one Ctrl+V: $(keys_of front)"
[ "$(wl-paste --no-newline)" = 'bonjour de GNOME' ] || fail "the pasted entry: $(wl-paste -n)"
echo "ok - Return in the palette: the entry on the clipboard and one Ctrl+V in the GTK window"

# The window it was opened from goes while the palette is up: the paste goes
# nowhere, not into the window that takes the focus instead.
press 125,42,47
wait_for inactive front || fail "the palette did not open again"
close_gtk front
press 28
wait_for active other || fail "the other window never got the focus"
sleep 1.5 # longer than Scrivlet waits for its window to come back
[ -z "$(keys_of other)" ] || fail "the paste landed in another window: $(keys_of other)"
echo "ok - with its window gone, the paste lands in no other window"

close_gtk other
kill -TERM "$pid"
wait "$pid" || fail "scrivlet did not end cleanly on SIGTERM"
echo "ok - ends cleanly"
