#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every French text of the sources has its English translation: lupdate is
# run on a copy of the .ts, and nothing may come out unfinished.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
copy=$(mktemp --suffix=.ts)
trap 'rm -f "$copy"' EXIT
cp "$root/translations/scrivlet_en.ts" "$copy"
lupdate=$(command -v lupdate || echo /usr/lib/qt6/bin/lupdate)
"$lupdate" -silent -no-obsolete -locations none -source-language fr -target-language en \
    "$root/src" -ts "$copy" >/dev/null 2>&1
if grep -q 'type="unfinished"' "$copy"; then
    echo "untranslated texts (run scripts/translations, then translate them):" >&2
    grep -B1 'type="unfinished"' "$copy" | grep '<source>' >&2
    exit 1
fi
# A context the code asks for at run time must be one the .ts names, or its
# texts stay French whatever lupdate found.
missing=0
while read -r context; do
    grep -qF "<name>$context</name>" "$root/translations/scrivlet_en.ts" || {
        echo "texts translated under \"$context\", a context the .ts does not have" >&2
        missing=1
    }
done < <(grep -rhoE 'translate\("[^"]+"' "$root/src" | sed -E 's/translate\("([^"]+)"/\1/' | sort -u)
[ "$missing" -eq 0 ] || exit 1
echo "every text has its English translation"
