#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The clipboard outlives the program that copied: text, image and file list
# stay pasteable, with their formats, once their owner has gone; a secret
# goes with its owner. Owners that misbehave leave Scrivlet responsive.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/../fixtures/session" --x11 -- bash -s "$@" <<SCRIPT
set -euo pipefail
source "$here/lib.sh"
targets() { xclip -o -selection clipboard -t TARGETS 2>/dev/null; }
offers() { targets | grep -qx "\$1"; }
owner_gone_restored() { [ "\$(xclip -o -selection clipboard 2>/dev/null)" = "\$1" ]; }

start_scrivlet
wait_for has_key || fail "no key"
sleep 0.5

# A text, from a program that then quits.
printf 'survit' | xclip -selection clipboard -quiet 2>/dev/null &
xclip_pid=\$!
wait_for has survit || fail "the text was not recorded"
kill \$xclip_pid
wait_for owner_gone_restored survit || fail "the text went with its owner"
offers UTF8_STRING || fail "the text is offered without UTF8_STRING: \$(targets)"
[ "\$(count)" -eq 1 ] || fail "putting it back made a record: \$(entries)"

# An image.
png="\$HOME/blue.png"
convert -size 12x9 xc:blue "\$png"
"\$owner" --class Painter "image/png=@\$png" > /dev/null &
owner_pid=\$!
wait_for count_is 2 || fail "the image was not recorded"
kill \$owner_pid
wait_for offers image/png || fail "the image went with its owner: \$(targets)"
xclip -o -selection clipboard -t image/png > "\$HOME/pasted.png"
cmp -s "\$png" "\$HOME/pasted.png" || fail "the image came back changed"

# A file list.
touch "\$HOME/report.txt"
"\$owner" --class Files "text/uri-list=file://\$HOME/report.txt" > /dev/null &
owner_pid=\$!
wait_for count_is 3 || fail "the file list was not recorded"
kill \$owner_pid
wait_for offers text/uri-list || fail "the file list went with its owner: \$(targets)"
xclip -o -selection clipboard -t text/uri-list | grep -q "file://\$HOME/report.txt" \
    || fail "the file list came back changed"
offers x-special/gnome-copied-files || fail "no file-manager format: \$(targets)"

# A secret goes with its owner.
"\$owner" --class Vault 'x-kde-passwordManagerHint=secret' 'text/plain=hunter2' > /dev/null &
owner_pid=\$!
wait_for offers x-kde-passwordManagerHint || fail "the secret was not on the clipboard"
sleep 1
kill \$owner_pid
sleep 1.5
[ -z "\$(xclip -o -selection clipboard 2>/dev/null)" ] || fail "the secret outlived its owner"
has hunter2 && fail "the secret was recorded"

# Programs that quit the toolkits' way hand their clipboard to the manager.
"\$hostile" "remis en main" --save-after 1500 > "\$HOME/handover.out"
[ "\$(cat "\$HOME/handover.out")" = "$(printf 'owning\nsaved')" ] || fail "handover: \$(cat \$HOME/handover.out)"
has "remis en main" || fail "the handed-over copy is not in the history"
wait_for owner_gone_restored "remis en main" || fail "the handed-over copy went with its owner"
"\$hostile" "motdepasse" --secret --save-after 1500 > "\$HOME/handover.out"
[ "\$(cat "\$HOME/handover.out")" = "$(printf 'owning\nrefused')" ] || fail "secret handover: \$(cat \$HOME/handover.out)"
sleep 1
[ -z "\$(xclip -o -selection clipboard 2>/dev/null)" ] || fail "a secret was kept at its owner's exit"
has motdepasse && fail "a handed-over secret was recorded"

# Owners that misbehave: Scrivlet answers meanwhile, keeps what it has,
# stays within its caps, and records the next copy.
rss() { ps -o rss= -p "\$pid" | tr -d ' '; }
rss_before=\$(rss)
for mode in "--mute" "--slow 3000" "--incr 200000000" "--incr 3000000 --die-mid" "--targets 5000"; do
    "\$hostile" "x" \$mode > "\$HOME/hostile.out" &
    hostile_pid=\$!
    wait_for grep -q owning "\$HOME/hostile.out" || fail "the owner (\$mode) did not start"
    sleep 0.5
    [ "\$("\$scrivlet" capture status)" = on ] || fail "Scrivlet did not answer under an owner \$mode"
    "\$scrivlet" show
    wait_for palette_shown || fail "the palette did not open under an owner \$mode"
    xdotool key Escape
    wait_for palette_hidden
    kill \$hostile_pid 2>/dev/null || true
    wait \$hostile_pid 2>/dev/null || true
    before=\$(count)
    copy_text "after \$mode"
    wait_for has "after \$mode" || fail "the copy after an owner \$mode was not recorded"
    [ "\$(count)" -eq \$((before + 1)) ] || fail "entries were lost under an owner \$mode: \$(entries)"
    # The caps are 64 MB for images and 16 MB for the rest.
    [ -n "\${SCRIVLET_SANITIZED:-}" ] || [ \$((\$(rss) - rss_before)) -lt 65536 ] || fail "memory grew by \$((\$(rss) - rss_before)) kB under \$mode"
done
grep -q "clipboard not recorded" "\$log" || fail "no line said why a copy was skipped"
kill -0 "\$pid" || fail "Scrivlet stopped"
stop_scrivlet

# Started while an owner that never answers holds the clipboard.
"\$hostile" "x" --mute > "\$HOME/hostile.out" &
hostile_pid=\$!
wait_for grep -q owning "\$HOME/hostile.out"
start_scrivlet
"\$scrivlet" show
wait_for palette_shown || fail "the palette did not open with a mute owner at start"
kill \$hostile_pid
stop_scrivlet
echo "persistence: all checks passed"
SCRIPT
