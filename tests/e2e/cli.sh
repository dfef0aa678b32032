#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every command of the command line against a running Scrivlet: what it
# prints, its exit status, and the clipboard afterwards.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/../fixtures/session" --x11 -- bash -s "$@" <<SCRIPT
set -euo pipefail
source "$here/lib.sh"
cli() { "\$scrivlet" "\$@"; }
# Runs a command that must fail; prints its standard error.
refused() { if out=\$(cli "\$@" 2>&1); then fail "scrivlet \$* succeeded: \$out"; fi; echo "\$out"; }
clipboard() { xclip -o -selection clipboard; }
# Where an entry is now: what Scrivlet writes back comes first again.
position() { sleep 0.8; cli search "\$1" | head -1 | cut -f1; }

[ "\$(refused list)" = "scrivlet: Scrivlet is not running" ] || fail "list without Scrivlet"
[ "\$(refused frobnicate)" = 'scrivlet: unknown command "frobnicate" (see scrivlet --help)' ] \
    || fail "an unknown command"
cli --help | grep -q "capture on|off|toggle|status" || fail "--help"
[ "\$(cli --version)" = "scrivlet 0.1.0" ] || fail "--version"

# toggle starts Scrivlet when none runs, and shows the palette once it can.
"\$scrivlet" toggle >>"\$log" 2>&1 &
pid=\$!
wait_for palette_shown || fail "toggle did not start Scrivlet with its palette"
cli hide
wait_for palette_hidden || fail "hide"
start_probe
xdotool windowactivate --sync "\$probe_window"
for text in "un" "deux" "trois café"; do copy_text "\$text"; sleep 0.6; done
wait_for count_is 3 || fail "the copies were not recorded: \$(entries)"

expected=\$(printf '1\ttext\t\ttrois café\n2\ttext\t\tdeux\n3\ttext\t\tun')
[ "\$(cli list)" = "\$expected" ] || fail "list: \$(cli list | cat -A)"
[ "\$(cli list --limit 1)" = "\$(printf '1\ttext\t\ttrois café')" ] || fail "list --limit"
[ "\$(cli search CAFE)" = "\$(printf '1\ttext\t\ttrois café')" ] || fail "search ignores case and accents"
[ "\$(cli search deux)" = "\$(printf '2\ttext\t\tdeux')" ] || fail "search keeps the positions"
[ "\$(cli list --null | tr '\0' '|')" = "\$(printf '1\ttext\t\ttrois café|2\ttext\t\tdeux|3\ttext\t\tun|')" ] \
    || fail "list --null"
cli list --json | python3 -c '
import json, sys
entries = json.load(sys.stdin)
assert [e["position"] for e in entries] == [1, 2, 3], entries
assert entries[0]["text"] == "trois café" and entries[0]["kind"] == "text", entries[0]
assert entries[0]["sourceApp"] == "KeyProbe" and entries[0]["pinned"] is False, entries[0]
assert entries[0]["createdAt"].endswith("Z") and entries[0]["byteSize"] == 11, entries[0]
' || fail "list --json"

cli copy 3
[ "\$(clipboard)" = "un" ] || fail "copy 3 put \$(clipboard) on the clipboard"
sleep 0.8
[ "\$(cli list --limit 1 | cut -f4)" = "un" ] || fail "what copy wrote back is not first: \$(cli list)"
id=\$(cli list --json | python3 -c 'import json, sys; print([e["id"] for e in json.load(sys.stdin) if e["text"] == "deux"][0])')
cli copy "id:\$id"
[ "\$(clipboard)" = "deux" ] || fail "copy id:"
[ "\$(refused copy 9)" = "scrivlet: no entry at position 9 (the history has 3)" ] || fail "copy 9"
refused copy id:00000000-0000-0000-0000-000000000001 >/dev/null

# paste: onto the clipboard, then Ctrl+V into the window in front.
sleep 0.8
xdotool windowactivate --sync "\$probe_window"
: > "\$HOME/probe.log"
cli paste "\$(position "trois café")"
[ "\$(clipboard)" = "trois café" ] || fail "paste put \$(clipboard) on the clipboard"
one_ctrl_v() { [ "\$(ctrl_v_count)" -eq 1 ]; }
wait_for one_ctrl_v || fail "paste sent no Ctrl+V: \$(cat \$HOME/probe.log)"

# pin, unpin, delete; positions follow the pins.
sleep 0.8
first=\$(cli list --limit 1 | cut -f4)
last=\$(cli list | tail -1 | cut -f4)
cli pin 3
[ "\$(cli list --limit 1)" = "\$(printf '1\ttext\t*\t%s' "\$last")" ] || fail "pin 3: \$(cli list)"
cli pin 1
cli unpin 1
[ "\$(cli list --limit 1 | cut -f3,4)" = "\$(printf '\t%s' "\$first")" ] || fail "unpin 1: \$(cli list)"
cli delete 1
has "\$first" && fail "delete 1 left \$first"

# capture
[ "\$(cli capture status)" = on ] || fail "capture status"
cli capture off
[ "\$(cli capture status)" = off ] || fail "capture off"
copy_text "while capture is off"
sleep 1
has "while capture is off" && fail "recorded with capture off"
cli capture toggle
[ "\$(cli capture status)" = on ] || fail "capture toggle"
refused capture maybe >/dev/null

# clear asks on a terminal; elsewhere it needs --yes.
[ "\$(refused clear </dev/null)" = "scrivlet: clear: not on a terminal; add --yes to clear without asking" ] \
    || fail "clear without a terminal"
before=\$(count)
printf 'n\n' | script -qec "\$scrivlet clear" /dev/null > "\$HOME/clear.out" 2>&1 || true
grep -q "Clear the whole history? \[y/N\]" "\$HOME/clear.out" || fail "clear did not ask: \$(cat \$HOME/clear.out)"
grep -q "declined" "\$HOME/clear.out" || fail "clear was not declined: \$(cat \$HOME/clear.out)"
[ "\$(count)" -eq "\$before" ] || fail "a declined clear cleared"
printf 'y\n' | script -qec "\$scrivlet clear" /dev/null >/dev/null 2>&1
count_is 0 || fail "clear answered yes left \$(count) entries"
cli clear --yes || fail "clear --yes"

# Whatever arrives on the socket, Scrivlet answers the next request.
python3 - "\$XDG_RUNTIME_DIR/scrivlet.socket" <<'PY'
import os, random, socket, sys
random.seed(11)
for i in range(200):
    s = socket.socket(socket.AF_UNIX)
    s.settimeout(10)
    s.connect(sys.argv[1])
    junk = os.urandom(random.randint(1, 2000)) if i % 3 else b"{" * 100000
    try:
        s.sendall(junk + (b"\n" if i % 2 else b""))
        s.shutdown(socket.SHUT_WR)
        s.recv(65536)
    except OSError:
        pass
    s.close()
PY
[ "\$(cli capture status)" = on ] || fail "Scrivlet stopped answering after junk on its socket"

# Another user's process is refused, even where the folders let it through.
if [ "\$(id -u)" -eq 0 ]; then
    socket_path="\$XDG_RUNTIME_DIR/scrivlet.socket"
    opened=()
    dir=\$(dirname "\$socket_path")
    while [ "\$dir" != / ]; do opened+=("\$dir:\$(stat -c %a "\$dir")"); chmod o+x "\$dir"; dir=\$(dirname "\$dir"); done
    chmod 777 "\$socket_path"
    other=\$(setpriv --reuid=65534 --regid=65534 --clear-groups /usr/bin/python3 -c '
import socket, sys
s = socket.socket(socket.AF_UNIX)
s.connect(sys.argv[1])
try:
    s.sendall(b"{\"command\":\"list\"}\n")
except OSError:
    pass  # refused before the request was read
print(s.recv(65536).decode().strip())
' "\$socket_path" 2>&1) || true
    for entry in "\${opened[@]}"; do chmod "\${entry##*:}" "\${entry%:*}"; done
    [ "\$other" = '{"error":"refused: another user'"'"'s process","ok":false}' ] || fail "another user: \$other"
fi

cli settings
wait_for xdotool search --onlyvisible --name '^Réglages — Scrivlet\$' || fail "settings"
kill -0 "\$pid" || fail "Scrivlet stopped"
stop_scrivlet
echo "cli: all checks passed"
SCRIPT
