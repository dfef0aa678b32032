#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The man page renders without a warning, whatis can index it, and it and the
# AppStream releases name the project's version.
set -euo pipefail
source=$1 version=$2
page=$source/docs/scrivlet.1
fail() { echo "$*" >&2; exit 1; }

warnings=$(groff -man -ww -z "$page" 2>&1)
[ -z "$warnings" ] || fail "scrivlet.1 has troff warnings:"$'\n'"$warnings"
lexgrog "$page" >/dev/null || fail "scrivlet.1: whatis cannot read its NAME section"
grep -q "^\.TH SCRIVLET 1 .*\"Scrivlet $version\"" "$page" || fail "scrivlet.1 does not say version $version"

newest=$(grep -o '<release version="[^"]*"' "$source/resources/org.scrivlet.Scrivlet.metainfo.xml" \
    | head -1 | cut -d'"' -f2)
[ "$newest" = "$version" ] || fail "the metainfo's newest release is '$newest', the project is $version"
