#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# `cmake --install` of this build tree into a throwaway root, at a prefix
# other than /usr so that nothing relies on it. The build has its tests on,
# so the exact file list also shows that no test program is installed.
set -euo pipefail
build=$1 source=$2 version=$3
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR=$root cmake --install "$build" --prefix /opt/scrivlet >/dev/null
"$(dirname "$0")/check_tree.sh" "$root/opt/scrivlet" "$source" "$version" "$build" /opt/scrivlet
