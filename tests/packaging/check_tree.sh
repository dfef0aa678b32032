#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks an installed Scrivlet: PREFIX SOURCE VERSION BUILD RUNS_FROM. BUILD
# must not be referred to by the installed program; RUNS_FROM is the prefix
# it runs from once installed (PREFIX without the staging folder).
set -euo pipefail
prefix=$1 source=$2 version=$3 build=$4 runs_from=$5
here=$(cd "$(dirname "$0")" && pwd)
docdir=$prefix/share/doc/scrivlet
fail() { echo "$*" >&2; exit 1; }

# The README's screenshots follow the README; everything else is listed.
unexpected=$(diff <(sort "$here/installed-files.txt") \
    <(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' \
        | grep -v '^share/doc/scrivlet/docs/screenshots/[^/]*\.png$' | sort)) \
    || fail "installed files differ from installed-files.txt (< missing, > extra):"$'\n'"$unexpected"

# The settings window opens the installed README, which must read as the
# source one, pictures included.
cmp -s "$source/README.md" "$docdir/README.md" || fail "the installed README.md differs from the source"
grep -o '](\([^)#:]*\))' "$docdir/README.md" | sed 's/^](\(.*\))$/\1/' | while read -r link; do
    [ -e "$docdir/$link" ] || fail "README.md links to $link, which is not installed"
done
grep -q 'GPL-3.0-or-later' "$docdir/copyright" || fail "the copyright file names no license"

for png in "$prefix"/share/icons/hicolor/*x*/apps/org.scrivlet.Scrivlet.png; do
    size=$(basename "$(dirname "$(dirname "$png")")")
    file -b "$png" | grep -q "^PNG image data, ${size/x/ x }," \
        || fail "$png is not a ${size} PNG: $(file -b "$png")"
done

entry=$prefix/share/applications/org.scrivlet.Scrivlet.desktop
out=$(desktop-file-validate "$entry") && [ -z "$out" ] || fail "installed desktop entry: $out"
# KWin grants its paste keyboard and window list to the entry that asks for
# them and names the program by its real path.
grep -qx 'X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input,org_kde_plasma_window_management' "$entry" \
    || fail "the installed desktop entry asks KWin for nothing: $(cat "$entry")"
[ "$(grep '^Exec=' "$entry" | cut -d' ' -f1 | sort -u)" = "Exec=$runs_from/bin/scrivlet" ] \
    || fail "the installed desktop entry does not name $runs_from/bin/scrivlet: $(grep '^Exec=' "$entry")"
# Also finds the desktop entry that the metainfo launches. Scrivlet has no
# web page to name, which newer appstream warns of (older ones know no such
# warning, nor let it be overridden).
overrides=(--override=url-homepage-missing=info)
[[ $(appstreamcli validate-tree --no-net "${overrides[@]}" "$prefix" 2>&1) != *'not recognized'* ]] || overrides=()
appstreamcli validate-tree --no-net --strict "${overrides[@]}" "$prefix" >/dev/null \
    || fail "appstreamcli validate-tree: $(appstreamcli validate-tree --no-net "$prefix")"
page=$(man --manpath="$prefix/share/man" -w scrivlet) || fail "man does not find scrivlet(1) under $prefix"
lexgrog "$page" >/dev/null || fail "the installed man page cannot be read"
# GNOME Shell loads an extension only from the folder its uuid names, and
# only for the Shell versions it lists.
extension=$prefix/share/gnome-shell/extensions/scrivlet@scrivlet.org
python3 - "$extension" <<'PY' || fail "the installed GNOME Shell extension's metadata is wrong"
import json, os, sys
meta = json.load(open(os.path.join(sys.argv[1], "metadata.json")))
assert meta["uuid"] == os.path.basename(sys.argv[1]), meta["uuid"]
assert {"48", "49", "50"} <= set(meta["shell-version"]), meta["shell-version"]
PY

binary=$prefix/bin/scrivlet
if [ -n "$build" ] && readelf -d "$binary" | grep -E 'R(UN)?PATH' | grep -qF "$build"; then
    fail "the installed scrivlet still looks for libraries in the build tree"
fi
# No display: --version must not need one.
got=$(env -u DISPLAY -u WAYLAND_DISPLAY "$binary" --version)
[ "$got" = "scrivlet $version" ] || fail "installed scrivlet --version printed '$got'"
