#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A browser's copy, HTML beside its text, is kept as rich text with its HTML,
# listed and found by its text, and pasted back with both; with RTF too, both
# are kept; a plain paste offers the text alone; HTML without text is not a copy.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/../fixtures/session" --x11 -- bash -s "$@" <<SCRIPT
set -euo pipefail
source "$here/lib.sh"
formats() { "\$dump" --formats; }
first_is() { [ "\$(formats | head -1)" = "\$(printf '%s\t%s\t%s\t%s' "\$@")" ]; }
targets() { xclip -o -selection clipboard -t TARGETS; }
offers() { targets | grep -qx -- "\$1"; }
clip() { xclip -o -selection clipboard -t "\$1"; }

start_scrivlet
wait_for has_key || fail "no key"

"\$owner" --class Browser 'text/html=<b>Gras</b> et <i>maigre</i>' 'text/plain=Gras et maigre' \
    > /dev/null &
owner_pid=\$!
wait_for count_is 1 || fail "the browser's copy was not recorded: \$(formats)"
kill \$owner_pid
first_is richText - '<b>Gras</b> et <i>maigre</i>' 'Gras et maigre' \
    || fail "not rich text with its HTML: \$(formats | cat -A)"

"\$owner" --class Writer 'text/rtf={\rtf1 {\b Fort}}' 'text/html=<b>Fort</b>' 'text/plain=Fort' \
    > /dev/null &
owner_pid=\$!
wait_for count_is 2 || fail "the copy with RTF and HTML was not recorded: \$(formats)"
kill \$owner_pid
first_is richText '{\rtf1 {\b Fort}}' '<b>Fort</b>' Fort || fail "RTF and HTML not both kept: \$(formats)"

# HTML alone is no copy to keep; the copy after it shows it was seen.
"\$owner" --class Browser 'text/html=<p>seul</p>' > "\$HOME/alone.out" &
owner_pid=\$!
wait_for grep -q ready "\$HOME/alone.out" || fail "the owner of HTML alone did not start"
sleep 0.5 # the monitor reads it as it is announced; this only spares it a race
copy_text "témoin"
wait_for count_is 3 || fail "the copy after the HTML alone: \$(formats)"
kill \$owner_pid
formats | grep -q seul && fail "HTML without text was recorded: \$(formats)"

# Listed by its text, never as markup.
"\$scrivlet" list | grep -qxF "\$(printf '3\trichText\t\tGras et maigre')" \
    || fail "list: \$("\$scrivlet" list | cat -A)"

# Written back by the command line with every format.
"\$scrivlet" copy 3
wait_for offers text/html || fail "copy did not offer HTML: \$(targets)"
[ "\$(clip text/html)" = '<b>Gras</b> et <i>maigre</i>' ] || fail "HTML written back: \$(clip text/html)"
[ "\$(clip text/plain)" = 'Gras et maigre' ] || fail "text written back: \$(clip text/plain)"
offers text/rtf && fail "an entry without RTF offered RTF: \$(targets)"

# The palette finds it by its text and pastes it with its HTML.
start_probe
open_palette
xdotool type --delay 40 "maigre"
sleep 0.3
xdotool key Return
wait_for probe_has "text Gras et maigre" || fail "Return did not paste: \$(cat \$HOME/probe.log)"
offers text/html || fail "a formatted paste did not offer HTML: \$(targets)"
[ "\$(clip text/html)" = '<b>Gras</b> et <i>maigre</i>' ] || fail "HTML pasted: \$(clip text/html)"

# Shift+Return: the text alone.
open_palette
xdotool type --delay 40 "fort"
sleep 0.3
xdotool key shift+Return
wait_for probe_has "Gras et maigreFort" || fail "Shift+Return did not paste: \$(tail -3 \$HOME/probe.log)"
offers text/html && fail "a plain paste offered HTML: \$(targets)"
offers text/rtf && fail "a plain paste offered RTF: \$(targets)"

# Return on the entry with both: both offered. (The plain paste recorded a
# plain "Fort", newest, so the rich one is second.)
open_palette
xdotool type --delay 40 "fort"; sleep 0.3; xdotool key Down Return
wait_for probe_has "Gras et maigreFortFort" || fail "the entry with both was not pasted"
offers text/html && offers text/rtf || fail "not both offered: \$(targets)"
[ "\$(clip text/html)" = '<b>Fort</b>' ] || fail "HTML beside RTF: \$(clip text/html)"

# Kept across a restart.
stop_scrivlet
start_scrivlet
formats | grep -qF "\$(printf 'richText\t-\t<b>Gras</b> et <i>maigre</i>\tGras et maigre')" \
    || fail "the HTML did not survive a restart: \$(formats)"
stop_scrivlet
kill \$probe_pid
echo "html: all checks passed"
SCRIPT
