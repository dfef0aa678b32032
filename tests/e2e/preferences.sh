#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The preferences file as a user meets it: damaged by hand, edited while
# Scrivlet runs. History is never pruned on limits that could not be read,
# and what the user writes in the file is neither lost nor written over.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[ -n "${SCRIVLET_SESSION:-}" ] || exec env SCRIVLET_SESSION=1 "$here/../fixtures/session" --x11 -- "$0" "$@"
source "$here/lib.sh"
prefs="$XDG_CONFIG_HOME/Scrivlet/defaults.json"
mkdir -p "$(dirname "$prefs")"

# Five entries, kept for a year.
printf '{"historyLimit": 500, "retentionDays": 365}\n' >"$prefs"
start_scrivlet
wait_for has_key || fail "no key"
for i in 1 2 3 4 5; do
    copy_text "entry $i"
    wait_for count_is "$i" || fail "entry $i was not recorded"
done
stop_scrivlet

# One stray comma: the file is set aside, named in a notice, and nothing is
# pruned although the fallback limit would be 2.
printf '{"historyLimit": 2, "retentionDays": 365,}\n' >"$prefs"
start_scrivlet
wait_for grep -q 'gardé tel quel dans' "$log" || fail "no notice of the set-aside file"
aside=$(ls "$prefs".unreadable-*)
[ "$(wc -l <<<"$aside")" -eq 1 ] || fail "more than one copy: $aside"
grep -qF "$aside" "$log" || fail "the notice does not say where the file is"
grep -q '"retentionDays": 365,}' "$aside" || fail "the copy is not the user's file"
sleep 1 # a pruning would happen at launch
count_is 5 || fail "history pruned on unreadable limits: $(count) entries left"

# A choice made now is kept, and the next start adds no copy.
"$scrivlet" capture off >/dev/null
grep -q '"captureEnabled": false' "$prefs" || fail "the choice was not written"
stop_scrivlet
start_scrivlet
"$scrivlet" capture status | grep -q '^off' || fail "the choice did not survive a restart"
[ "$(ls "$prefs".unreadable-* | wc -l)" -eq 1 ] || fail "another copy was set aside"
count_is 5 || fail "history pruned at the second start"
"$scrivlet" capture on >/dev/null

# Edited by hand while running: followed at once, and a later change of
# Scrivlet's keeps the hand edit.
jq '.historyLimit = 3 | .pasteKeys = {"org.example.Term": "ctrlShiftV"}' "$prefs" >"$prefs.new"
mv "$prefs.new" "$prefs"
wait_for count_is 3 || fail "the limit edited by hand was not followed: $(count) entries"
"$scrivlet" capture off >/dev/null
jq -e '.pasteKeys["org.example.Term"] == "ctrlShiftV" and .historyLimit == 3' "$prefs" >/dev/null \
    || fail "the hand edit was written over: $(cat "$prefs")"
stop_scrivlet
echo "preferences: ok"
