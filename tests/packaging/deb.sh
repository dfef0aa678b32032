#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the Debian package: DEB-OR-BUILD SOURCE VERSION. Given a build tree,
# makes the package from it with cpack first. The package is unpacked into a
# throwaway root and checked like an installation.
set -euo pipefail
target=$1 source=$2 version=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "$*" >&2; exit 1; }

build=""
if [ -d "$target" ]; then
    build=$(cd "$target" && pwd)
    cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 \
        || fail "cpack failed:"$'\n'"$(cat "$work/cpack.log")"
    deb=$(echo "$work"/scrivlet_*.deb)
else
    deb=$target
fi
[ -f "$deb" ] || fail "no package at $deb"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = scrivlet ] || fail "package name: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "package version: $(field Version), project: $version"
[ "$(field Section)" = utils ] || fail "section: $(field Section)"

# What Qt loads at run time by hand, what it links from dpkg-shlibdeps (named
# with t64 from Debian 13 on).
depends=", $(field Depends),"
for package in qt6-qpa-plugins qt6-image-formats-plugins qt6-wayland 'qt6-svg-plugins | libqt6svg6' \
    libqt6widgets6 libqt6network6 libqt6dbus6 libssl3 libsqlite3-0 libsecret-1-0 libxcb-xtest0; do
    [[ $depends =~ ,\ "$package"(t64)?[\ ,] ]] || fail "Depends lacks $package: $(field Depends)"
done
[ "$(field Recommends)" = "gnome-keyring | kwalletmanager | keepassxc" ] \
    || fail "Recommends: $(field Recommends)"

owners=$(dpkg-deb -c "$deb" | awk '$2 != "root/root"')
[ -z "$owners" ] || fail "files not owned by root:"$'\n'"$owners"

dpkg -x "$deb" "$work/root"
readelf -S "$work/root/usr/bin/scrivlet" | grep -q '\.debug_info' && fail "usr/bin/scrivlet is not stripped"
"$here/check_tree.sh" "$work/root/usr" "$source" "$version" "$build" /usr
