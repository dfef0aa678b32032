#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The built program in a throwaway session: first and second start, a locked
# keyring, and no display. Usage: first_start.sh path/to/scrivlet
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/../fixtures/session" --x11 -- bash -s "$1" <<'SCRIPT'
set -euo pipefail
scrivlet=$1
fail() { echo "FAIL: $*" >&2; exit 1; }
db="$XDG_DATA_HOME/Scrivlet/history.sqlite"
key() { secret-tool lookup service org.scrivlet.Scrivlet account content-encryption-key | od -An -tx1 | tr -d ' \n'; }
check() { sqlite3 "$db" "SELECT hex(value) FROM meta WHERE key = 'keyCheck'"; }

"$scrivlet" >/dev/null || fail "first start"
[ "$(stat -c %a "$XDG_DATA_HOME/Scrivlet")" = 700 ] || fail "data folder mode"
[ "$(stat -c %a "$db")" = 600 ] || fail "database mode"
first_key=$(key)
[ ${#first_key} -eq 64 ] || fail "the keyring should hold 32 bytes, holds ${#first_key} hex digits"
first_check=$(check)
[ -n "$first_check" ] || fail "no key check stored"

"$scrivlet" >/dev/null || fail "second start"
[ "$(key)" = "$first_key" ] || fail "the second start changed the key"
[ "$(check)" = "$first_check" ] || fail "the second start changed the key check"

/usr/bin/python3 - <<'PY'
import dbus
service = dbus.Interface(dbus.SessionBus().get_object('org.freedesktop.secrets', '/org/freedesktop/secrets'),
                         'org.freedesktop.Secret.Service')
service.Lock([service.ReadAlias('default')])
PY
if message=$("$scrivlet" 2>&1); then fail "started with a locked keyring"; fi
grep -q "verrouillé" <<<"$message" || fail "unclear message for a locked keyring: $message"
[ "$(check)" = "$first_check" ] || fail "a locked keyring changed the history"

if message=$(env -u DISPLAY "$scrivlet" 2>&1); then fail "started without a display"; fi
grep -q "no desktop session" <<<"$message" || fail "unclear message without a display: $message"
echo "first start: all checks passed"
SCRIPT
