#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Scrivlet records what other programs copy, keeps it across restarts, runs
# once per user, prunes to the limit at launch and honours "Capture active".
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/../fixtures/session" --x11 -- bash -s "$@" <<SCRIPT
set -euo pipefail
source "$here/lib.sh"
png="\$HOME/red.png"
convert -size 9x7 xc:red "\$png"

copy_text "already there before the start"
start_scrivlet
wait_for has_key || fail "no key"
sleep 0.5
copy_text "first text"
wait_for has "first text" || fail "a text copied by xclip was not recorded"
"\$owner" --class Painter "image/png=@\$png" > "\$HOME/owner.out" &
owner_pid=\$!
wait_for count_is 2 || fail "the image was not recorded"
kill \$owner_pid
copy_text "second text"
wait_for count_is 3 || fail "the second text was not recorded"
entries | grep -q "already there" && fail "what was there before the start was recorded"
entries | grep -qP "^image\t-\tPainter\t\$(stat -c %s "\$png")\t<\$(stat -c %s "\$png") image bytes>" \
    || fail "image entry: \$(entries)"

second=\$("\$scrivlet" 2>&1) || fail "a second start failed: \$second"
[ "\$second" = "Scrivlet est déjà lancé." ] || fail "a second start said: \$second"
kill -0 "\$pid" || fail "the first one stopped"
stop_scrivlet

before=\$(entries)
start_scrivlet
sleep 0.5
[ "\$(entries)" = "\$before" ] || fail "the history changed across a restart"
stop_scrivlet

mkdir -p "\$XDG_CONFIG_HOME/Scrivlet"
printf '{"historyLimit": 2}' > "\$XDG_CONFIG_HOME/Scrivlet/defaults.json"
start_scrivlet
wait_for count_is 2 || fail "not pruned to the limit at launch: \$(count)"
stop_scrivlet

printf '{"historyLimit": 0, "captureEnabled": false}' > "\$XDG_CONFIG_HOME/Scrivlet/defaults.json"
start_scrivlet
copy_text "while capture is off"
sleep 1.5
[ "\$(count)" -eq 2 ] || fail "recorded with capture off, or pruned on a zero limit: \$(entries)"
stop_scrivlet
echo "scrivlet runs: all checks passed"
SCRIPT
