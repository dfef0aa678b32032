#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks our protocol files on the wire against a headless sway: builds
# probe.c from them in a temporary folder, then, in tests/fixtures/sway-session,
# reads what wl-copy offers, serves what wl-paste reads, lists a window through
# foreign toplevels and types Ctrl+V into it through a virtual keyboard.
# Not part of the main build.
#   tests/wayland/check.sh
set -euo pipefail

if [ "${1:-}" != --inside ]; then
    here=$(cd "$(dirname "$0")" && pwd)
    protocols="$here/../../src/platform/wayland/protocols"
    build=$(mktemp -d /tmp/scrivlet-wayland.XXXXXX)
    trap 'rm -rf "$build"' EXIT
    # The session's user reads the probe from here.
    chmod 755 "$build"
    for xml in "$protocols"/*.xml /usr/share/wayland-protocols/stable/xdg-shell/xdg-shell.xml; do
        name=$(basename "$xml" .xml)
        wayland-scanner --strict client-header "$xml" "$build/$name-client.h"
        wayland-scanner --strict private-code "$xml" "$build/$name-protocol.c"
    done
    cc -O0 -g -std=c11 -Wall -Wextra -Werror -I"$build" -o "$build/probe" \
        "$here/probe.c" "$build"/*-protocol.c -lwayland-client -lxkbcommon
    # A 1x1 PNG.
    base64 -d >"$build/pixel.png" <<<'iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg=='
    chmod -R a+rX "$build"
    "$here/../fixtures/sway-session" -- bash "$here/check.sh" --inside "$build"
    exit
fi

build=$2
probe="$build/probe"
passed=0 failed=0
ok() { echo "ok - $1"; passed=$((passed + 1)); }
not_ok() {
    echo "not ok - $1"
    [ -n "${2:-}" ] && sed 's/^/    /' <<<"$2"
    failed=$((failed + 1))
}
# wl-copy hands its copy to a child that sets the selection a moment later:
# the probe is asked again until its output has the line, for up to 5 s.
read_until() {
    local line=$1 out=
    shift
    for _ in $(seq 25); do
        out=$("$probe" --timeout 2000 "$@" 2>&1) || true
        grep -qxF -- "$line" <<<"$out" && { printf '%s\n' "$out"; return 0; }
        sleep 0.2
    done
    printf '%s\n' "$out"
    return 1
}
wait_for() { for _ in $(seq 50); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done; return 1; }

# Reading: the offer's types and its bytes, through the wlr manager at v2.
wl-copy 'bonjour'
out=$(read_until 'text bonjour') && grep -qx 'manager zwlr_data_control_manager_v1 2' <<<"$out" \
    && grep -qxF 'type text/plain;charset=utf-8' <<<"$out" && grep -qxF 'type text/plain' <<<"$out" \
    && ok "wl-copy text: types and text read" || not_ok "wl-copy text" "$out"

text='crème brûlée'
wl-copy "$text"
out=$(read_until "text $text") && grep -qx "data $(printf '%s' "$text" | wc -c) bytes" <<<"$out" \
    && ok "UTF-8 text read byte for byte" || not_ok "UTF-8 text" "$out"

wl-copy --type image/png <"$build/pixel.png"
out=$(read_until "data $(wc -c <"$build/pixel.png") bytes" --type image/png) \
    && grep -qxF 'type image/png' <<<"$out" && ! grep -q '^type text/' <<<"$out" \
    && ok "wl-copy image: image/png listed and read whole" || not_ok "wl-copy image" "$out"

wl-copy --primary 'salut'
out=$(read_until 'text salut' --primary) && ok "primary selection read (v2 event)" \
    || not_ok "primary selection" "$out"

wl-copy --clear
out=$("$probe" --timeout 1000 2>&1) && status=0 || status=$?
[ "$status" -eq 1 ] && grep -q 'stayed empty' <<<"$out" \
    && ok "empty clipboard: the deadline ends the wait" || not_ok "empty clipboard ($status)" "$out"

# Owning: a source offering text and the password manager hint together,
# read back by wl-paste, then replaced by a copy of another client.
"$probe" --timeout 20000 --serve 'servi par la sonde' --offer x-kde-passwordManagerHint=secret \
    >"$HOME/serve.log" 2>&1 &
serve_pid=$!
wait_for grep -qx serving "$HOME/serve.log" || not_ok "the probe never served" "$(cat "$HOME/serve.log")"
types=$(wl-paste --list-types 2>&1 || true)
[ "$(wl-paste --no-newline 2>&1)" = 'servi par la sonde' ] && grep -qx x-kde-passwordManagerHint <<<"$types" \
    && [ "$(wl-paste --no-newline --type x-kde-passwordManagerHint 2>&1)" = secret ] \
    && ok "served selection read by wl-paste, hint included" \
    || not_ok "served selection" "$types"$'\n'"$(cat "$HOME/serve.log")"
wl-copy 'remplacé'
wait "$serve_pid" && grep -qx cancelled "$HOME/serve.log" \
    && ok "a later copy cancels the source" || not_ok "source cancelled" "$(cat "$HOME/serve.log")"

# A window, seen through foreign toplevels, then typed into by a virtual keyboard.
"$probe" --timeout 30000 --window org.scrivlet.Probe >"$HOME/window.log" 2>&1 &
window_pid=$!
if wait_for grep -qx ready "$HOME/window.log"; then
    out=$("$probe" --toplevels 2>&1) || true
    grep -qxF 'toplevel org.scrivlet.Probe activated Scrivlet probe' <<<"$out" \
        && ok "foreign toplevel: the focused window's app id" || not_ok "foreign toplevel" "$out"
    out=$("$probe" --ctrl-v 2>&1) || true
    control=$(sed -n 's/^sent ctrl+v mods //p' <<<"$out")
    wait_for grep -qx "key 47 ${control:-none}" "$HOME/window.log" && sleep 0.3
    [ "$(grep -c '^key ' "$HOME/window.log")" -eq 2 ] && grep -qx 'key 29 0' "$HOME/window.log" \
        && grep -qx "key 47 ${control:-none}" "$HOME/window.log" \
        && ok "virtual keyboard: one Ctrl+V reaches the focused window" \
        || not_ok "virtual keyboard" "$out"$'\n'"$(cat "$HOME/window.log")"
else
    not_ok "the probe window never showed" "$(cat "$HOME/window.log")"
fi
kill "$window_pid" 2>/dev/null || true

[ "$failed" -eq 0 ] || tail -n 20 "$SWAY_SESSION_LOG" | sed 's/^/    sway: /'
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
