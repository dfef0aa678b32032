#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Scrivlet in a Wayland session with real Wayland clients: copies made with
# wl-copy and a GTK 4 program are recorded with their kinds and source, a
# secret is not even read, an excluded application's copy is not recorded,
# `scrivlet copy` is what wl-paste reads, and an entry chosen in the palette
# reaches the window it was opened from as one Ctrl+V, never another one.
#   wayland.sh [--desktop kwin|sway] SCRIVLET HISTORY_DUMP PROBE [COPIER]
# Without --desktop, in the host's headless sway (tests/fixtures/sway-session);
# with it, in that desktop's own compositor (tests/fixtures/session), as an
# unprivileged user in tests/fixtures/desktop-root. On KWin, Scrivlet is first
# run without the desktop entry that grants it the paste keyboard and the
# window list, then with it, and its shortcut goes through KDE's service.
# COPIER (tests/e2e/gtk_copier.py) is left out where GTK 4 is missing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
case "${1:-}" in
    --inside) shift ;;
    --desktop)
        desktop=$2
        shift 2
        exec "$here/../fixtures/session" --"$desktop" -- bash "$here/wayland.sh" --inside "$desktop" "$@"
        ;;
    *)
        exec "$here/../fixtures/sway-session" -- \
            "$here/../fixtures/session" --wayland -- bash "$here/wayland.sh" --inside sway "$@"
        ;;
esac
desktop=$1 scrivlet=$2 dump=$3 probe=$4 copier=${5:-}
log="$HOME/scrivlet.log"
fail() {
    echo "FAIL: $*" >&2
    [ -f "$log" ] && sed 's/^/  scrivlet: /' "$log" >&2
    for window in "$HOME"/window-*.log; do
        [ -f "$window" ] && sed "s/^/  $(basename "$window" .log): /" "$window" >&2
    done
    exit 1
}
source "$here/wayland_lib.sh"
start_scrivlet() {
    "$scrivlet" >>"$log" 2>&1 &
    pid=$!
    wait_for test -S "$XDG_RUNTIME_DIR/scrivlet.socket" || fail "scrivlet did not start"
    wait_for "$scrivlet" list || fail "scrivlet does not answer"
}
stop_scrivlet() {
    kill -TERM "$pid"
    wait "$pid" || fail "scrivlet did not end cleanly on SIGTERM"
}

# Probe windows log their keys and their focus; the last focus line tells.
open_window() { # name, app id
    # Appended to, so that the log can be emptied under it.
    : >"$HOME/window-$1.log"
    "$probe" --timeout 120000 --window "$2" >>"$HOME/window-$1.log" 2>&1 &
    eval "window_$1=\$!"
    wait_for grep -qx ready "$HOME/window-$1.log" || fail "window $1 never showed"
    wait_for focused "$1" || fail "window $1 never got the focus"
}
focused() { [ "$(grep '^focus ' "$HOME/window-$1.log" | tail -1)" = "focus in" ]; }
unfocused() { [ "$(grep '^focus ' "$HOME/window-$1.log" | tail -1)" = "focus out" ]; }
keys_of() { grep '^key ' "$HOME/window-$1.log" || true; }
# Control and Shift alone, which fake input sends as keys of their own, are
# no keystroke of the paste.
paste_keys_of() { keys_of "$1" | grep -v -E '^key (29|42) '; }
press() { "$probe" --key "$1" --hold "${2:-300}" >/dev/null || fail "no key $1 could be pressed"; }

# KWin gives the paste keyboard and the window list only to a program whose
# desktop entry asks for them and names it; it notices a new entry by itself.
grant() { # desktop id, program, interfaces
    mkdir -p "$XDG_DATA_HOME/applications"
    printf '[Desktop Entry]\nType=Application\nName=%s\nExec=%s\nX-KDE-Wayland-Interfaces=%s\n' \
        "$1" "$(realpath "$2")" "$3" >"$XDG_DATA_HOME/applications/$1.desktop"
}

mkdir -p "$XDG_CONFIG_HOME/Scrivlet"
printf '{"excludedApps": ["org.scrivlet.Excluded"]}' >"$XDG_CONFIG_HOME/Scrivlet/defaults.json"

if [ "$desktop" = kwin ]; then
    start_scrivlet
    status=$("$scrivlet" capture status)
    grep -q '^no paste keyboard: KWin gives it only to a Scrivlet whose installed desktop entry' <<<"$status" \
        || fail "without its desktop entry, capture status: $status"
    grep -qF "runs from $(realpath "$scrivlet")" <<<"$status" || fail "capture status names no path: $status"
    grep -q '^no front window: ' <<<"$status" || fail "capture status: $status"
    stop_scrivlet
    echo "ok - without its desktop entry, capture status says what KWin withholds and why"
    grant org.scrivlet.Scrivlet "$scrivlet" org_kde_kwin_fake_input,org_kde_plasma_window_management
    grant org.scrivlet.Probe "$probe" org_kde_kwin_fake_input
    granted() {
        start_scrivlet
        ! "$scrivlet" capture status | grep -q '^no ' && return 0
        stop_scrivlet
        return 1
    }
    wait_for granted || fail "KWin never granted Scrivlet its desktop entry: $("$scrivlet" capture status)"
else
    start_scrivlet
fi
[ "$("$scrivlet" capture status)" = on ] || fail "capture status: $("$scrivlet" capture status)"
echo "ok - Scrivlet runs on $desktop, capture on"
# A keyboard for the whole session, as a desktop has: windows know their
# focus only once the seat has one.
"$probe" --timeout 600000 --keymap us --hold 600000 >"$HOME/keyboard.log" 2>&1 &
wait_for grep -q '^keymap' "$HOME/keyboard.log" || fail "no keyboard: $(cat "$HOME/keyboard.log")"

check_wl_copy_kinds 'bonjour de Wayland'

# The copy outlives its program: Scrivlet offers it again, with no new entry.
wl-copy 'reste après wl-copy'
wait_for has 'reste après wl-copy' || fail "the copy to keep was not recorded"
before=$("$dump" | wc -l)
pkill -x wl-copy
kept() { [ "$(wl-paste --no-newline 2>/dev/null)" = 'reste après wl-copy' ]; }
wait_for kept || fail "the copy went with wl-copy: $(wl-paste -n 2>&1)"
sleep 0.7
[ "$("$dump" | wc -l)" -eq "$before" ] || fail "offering it again made an entry"
echo "ok - a copy stays pasteable after wl-copy quits"

# A script that copies fast: each copy is an entry, in the order made.
for i in $(seq 10); do wl-copy "vite $i"; sleep 0.05; done
wait_for has 'vite 10' || fail "the last fast copy was not recorded"
fast=$("$dump" | cut -f5 | grep '^vite ' | tr '\n' ' ')
[ "$fast" = "$(seq 10 -1 1 | sed 's/^/vite /' | tr '\n' ' ')" ] || fail "fast copies lost or out of order: $fast"
echo "ok - ten copies 50 ms apart are ten entries, in order"

# A password manager's copy carries the hint: never recorded.
"$probe" --timeout 30000 --serve 'mot-de-passe-42' --offer x-kde-passwordManagerHint=secret \
    >"$HOME/secret.log" 2>&1 &
secret_pid=$!
wait_for grep -q serving "$HOME/secret.log" || fail "the secret owner did not start: $(cat "$HOME/secret.log")"
wait_for grep -q '^send x-kde-passwordManagerHint' "$HOME/secret.log" \
    || fail "Scrivlet never looked at the secret copy"
wl-copy 'après le secret'
wait_for has 'après le secret' || fail "the copy after the secret was not recorded"
! has 'mot-de-passe-42' || fail "the secret was recorded"
! grep -q '^send text/plain' "$HOME/secret.log" || fail "Scrivlet read the secret's text"
kill "$secret_pid" 2>/dev/null || true
echo "ok - a copy with the password manager hint is not recorded, not even read"

# An owner that never answers costs one deadline; the next copy is recorded.
"$probe" --timeout 30000 --mute --serve 'jamais lu' >"$HOME/mute.log" 2>&1 &
mute_pid=$!
wait_for grep -q '^send' "$HOME/mute.log" || fail "Scrivlet never asked the mute owner"
wait_for grep -q 'clipboard not recorded: .*did not answer' "$log" \
    || fail "no line about the mute owner"
"$scrivlet" list >/dev/null || fail "Scrivlet stopped answering under a mute owner"
wl-copy 'après le muet'
wait_for has 'après le muet' || fail "the copy after the mute owner was not recorded"
kill "$mute_pid" 2>/dev/null || true
echo "ok - a mute owner is given up on; Scrivlet goes on"

# A toolkit program's copy, made as a user makes one: a key in its window.
# The source application is the window in front; an excluded one's copy is
# not recorded.
copy_from() { # app id, text
    GSK_RENDERER=cairo python3 "$copier" "$1" "$2" >"$HOME/copier.log" 2>&1 &
    copier_pid=$!
    wait_for grep -qx active "$HOME/copier.log" || fail "the GTK window never got the focus: $(cat "$HOME/copier.log")"
    press 30
    wait_for grep -qx copied "$HOME/copier.log" || fail "the GTK program did not copy"
}
if [ -n "$copier" ] && python3 -c 'import gi; gi.require_version("Gtk", "4.0")' 2>/dev/null; then
    copy_from org.scrivlet.Copier 'copié depuis GTK'
    wait_for has 'copié depuis GTK' || fail "the GTK program's copy was not recorded"
    [ "$(source_of 'copié depuis GTK')" = org.scrivlet.Copier ] \
        || fail "source of the GTK copy: $(source_of 'copié depuis GTK')"
    kill "$copier_pid"
    wait "$copier_pid" 2>/dev/null || true
    echo "ok - a GTK 4 program's copy is recorded with its application"
    copy_from org.scrivlet.Excluded 'copié depuis une application exclue'
    kill "$copier_pid"
    wait "$copier_pid" 2>/dev/null || true
    wl-copy 'après l’exclue'
    wait_for has 'après l’exclue' || fail "the copy after the excluded application was not recorded"
    ! has 'copié depuis une application exclue' || fail "an excluded application's copy was recorded"
    echo "ok - an excluded application's copy is not recorded"
else
    echo "ok - # skip: no GTK 4 here for a toolkit program's copy"
fi

# Written back: what wl-paste reads.
position=$("$scrivlet" search 'bonjour de Wayland' | head -1 | cut -f1)
"$scrivlet" copy "$position" || fail "scrivlet copy $position"
pasted() { [ "$(wl-paste --no-newline)" = 'bonjour de Wayland' ]; }
wait_for pasted || fail "wl-paste after scrivlet copy: $(wl-paste --no-newline 2>&1)"
wl-paste --list-types | grep -qx 'text/plain;charset=utf-8' || fail "types: $(wl-paste -l)"
echo "ok - scrivlet copy N, then wl-paste reads the entry"
# Not recorded again: it is our own copy.
sleep 1
[ "$("$dump" | grep -cF 'bonjour de Wayland')" -eq 1 ] || fail "our own copy was recorded again"

# The palette takes the focus from the window in front; Return pastes there.
open_window other org.scrivlet.Other
open_window front org.scrivlet.Probe
"$scrivlet" toggle || fail "scrivlet toggle"
wait_for unfocused front || fail "the palette did not take the focus"
echo "ok - scrivlet toggle opens the palette, focused"
# The keyboard stays, as a real one does, while Scrivlet types into the window.
press 28 4000 &
keyboard_pid=$!
wait_for focused front || fail "the window in front never got the focus back"
got_ctrl_v() { keys_of front | grep -q '^key 47 '; }
wait_for got_ctrl_v || fail "no Ctrl+V reached the window"
wait "$keyboard_pid" || fail "the keyboard probe failed"
# V with Control held and nothing else.
[ "$(paste_keys_of front)" = 'key 47 4' ] || fail "not one Ctrl+V: $(keys_of front)"
[ "$(wl-paste --no-newline)" = 'bonjour de Wayland' ] || fail "the pasted entry: $(wl-paste -n)"
echo "ok - Return in the palette: the entry on the clipboard and one Ctrl+V in the window"

# The window it was opened from goes while the palette is up: the paste goes
# nowhere, not into the window that takes the focus instead.
: >"$HOME/window-other.log"
"$scrivlet" toggle || fail "scrivlet toggle"
wait_for unfocused front || fail "the palette did not open again"
kill "$window_front"
wait "$window_front" 2>/dev/null || true
press 28
wait_for focused other || fail "the other window never got the focus"
sleep 1.5 # longer than Scrivlet waits for its window to come back
[ -z "$(paste_keys_of other)" ] || fail "the paste landed in another window: $(keys_of other)"
echo "ok - with its window gone, the paste lands in no other window"

if [ "$desktop" = kwin ]; then
    # The palette's key through KDE's own service: invoked as the desktop's
    # shortcut settings do, then typed as a user types it.
    component=$(gdbus call --session --dest org.kde.kglobalaccel --object-path /kglobalaccel \
        --method org.kde.KGlobalAccel.getComponent org.scrivlet.Scrivlet | sed -E "s/^\(objectpath '(.*)',\)$/\1/")
    [ -n "$component" ] || fail "Scrivlet's shortcut is not in KDE's shortcut service"
    gdbus call --session --dest org.kde.kglobalaccel --object-path "$component" \
        --method org.kde.kglobalaccel.Component.invokeShortcut togglePalette >/dev/null \
        || fail "invoking Scrivlet's shortcut over D-Bus"
    wait_for unfocused other || fail "the shortcut invoked over D-Bus did not open the palette"
    press 1
    wait_for focused other || fail "Escape did not close the palette"
    # Super+Shift+V: KEY_LEFTMETA, KEY_LEFTSHIFT, KEY_V.
    press 125,42,47
    wait_for unfocused other || fail "Super+Shift+V did not open the palette"
    press 1
    wait_for focused other || fail "Escape did not close the palette"
    # Its modifiers reach the window first, as on any desktop; its V never.
    ! keys_of other | grep -q '^key 47 ' || fail "the shortcut's V reached the window: $(keys_of other)"
    echo "ok - the palette's shortcut, through KDE's service: invoked over D-Bus and typed"
fi

kill "$window_other" 2>/dev/null || true
stop_scrivlet
echo "ok - ends cleanly"
