#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Scrivlet in a Wayland session (a headless sway) with real Wayland clients:
# copies made with wl-copy are recorded with their kinds, a secret is not,
# `scrivlet copy` is what wl-paste reads, and an entry chosen in the palette
# reaches a Wayland window as one Ctrl+V.
#   wayland.sh SCRIVLET HISTORY_DUMP PROBE
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ "${1:-}" != --inside ]; then
    exec "$here/../fixtures/sway-session" -- \
        "$here/../fixtures/session" --wayland -- bash "$here/wayland.sh" --inside "$@"
fi
shift
scrivlet=$1 dump=$2 probe=$3
log="$HOME/scrivlet.log"
fail() {
    echo "FAIL: $*" >&2
    [ -f "$log" ] && sed 's/^/  scrivlet: /' "$log" >&2
    [ -f "$HOME/window.log" ] && sed 's/^/  window: /' "$HOME/window.log" >&2
    exit 1
}
wait_for() { for _ in $(seq 100); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done; return 1; }
has() { "$dump" | grep -qF -- "$1"; }
kind_of() { "$dump" | grep -F -- "$1" | head -1 | cut -f1; }
# A window of ours in sway's tree: "name focused" of the palette, if shown.
palette_state() {
    swaymsg -t get_tree | jq -r '.. | objects | select(.app_id? == "org.scrivlet.Scrivlet"
        and .name == "Presse-papiers" and .visible == true) | "\(.name) \(.focused)"'
}
palette_focused() { [ "$(palette_state)" = "Presse-papiers true" ]; }
palette_gone() { [ -z "$(palette_state)" ]; }
focused_app() { swaymsg -t get_tree | jq -r '.. | objects | select(.focused? == true) | .app_id'; }

"$scrivlet" >>"$log" 2>&1 &
pid=$!
wait_for test -S "$XDG_RUNTIME_DIR/scrivlet.socket" || fail "scrivlet did not start"
wait_for "$scrivlet" list || fail "scrivlet does not answer"
[ "$("$scrivlet" capture status)" = on ] || fail "capture status: $("$scrivlet" capture status)"
echo "ok - Scrivlet runs on Wayland, capture on"

# Text, an image and a file list, each with its kind.
wl-copy 'bonjour de Wayland'
wait_for has 'bonjour de Wayland' || fail "wl-copy text was not recorded"
[ "$(kind_of 'bonjour de Wayland')" = text ] || fail "text kind: $(kind_of 'bonjour de Wayland')"
base64 -d >"$HOME/pixel.png" <<<'iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg=='
wl-copy --type image/png <"$HOME/pixel.png"
image_recorded() { "$dump" | cut -f1 | grep -qx image; }
wait_for image_recorded || fail "wl-copy image was not recorded: $("$dump")"
printf 'file://%s\r\n' "$HOME/pixel.png" | wl-copy --type text/uri-list
files_recorded() { "$dump" | cut -f1 | grep -qx file; }
wait_for files_recorded || fail "wl-copy file list was not recorded: $("$dump")"
echo "ok - wl-copy text, image and file list recorded with their kinds"

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

# A password manager's copy carries the hint: never recorded.
"$probe" --timeout 30000 --serve 'mot-de-passe-42' --offer x-kde-passwordManagerHint=secret \
    >"$HOME/secret.log" 2>&1 &
secret_pid=$!
wait_for grep -q serving "$HOME/secret.log" || fail "the secret owner did not start"
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

# The palette on `scrivlet toggle`, focused; Return pastes into the window in front.
"$probe" --timeout 60000 --window org.scrivlet.Probe >"$HOME/window.log" 2>&1 &
window_pid=$!
wait_for grep -qx ready "$HOME/window.log" || fail "the probe window never showed"
wait_for test "$(focused_app)" = org.scrivlet.Probe
"$scrivlet" toggle || fail "scrivlet toggle"
wait_for palette_focused || fail "the palette did not open with the focus: $(palette_state)"
echo "ok - scrivlet toggle opens the palette, focused"
# The keyboard stays, as a real one does, while Scrivlet types into the window.
"$probe" --key 28 --hold 4000 >/dev/null &
keyboard_pid=$!
wait_for palette_gone || fail "the palette stayed open"
got_ctrl_v() { grep -q '^key 47 ' "$HOME/window.log"; }
wait_for got_ctrl_v || fail "no Ctrl+V reached the window"
sleep 0.5
keys=$(grep '^key ' "$HOME/window.log")
# V with Control held and nothing else (Control alone, if sent, is no key).
[ "$(grep -v '^key 29 ' <<<"$keys")" = 'key 47 4' ] || fail "not one Ctrl+V: $keys"
wait "$keyboard_pid" || fail "the keyboard probe failed"
# The top entry: the one copied back last.
[ "$(wl-paste --no-newline)" = 'bonjour de Wayland' ] || fail "the pasted entry: $(wl-paste -n)"
echo "ok - Return in the palette: the entry on the clipboard and one Ctrl+V in the window"
kill "$window_pid" 2>/dev/null || true

kill -TERM "$pid"
wait "$pid" || fail "scrivlet did not end cleanly on SIGTERM"
echo "ok - ends cleanly"
