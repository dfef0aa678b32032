#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The built program in a throwaway session: first and second start make one
# key, a locked keyring records nothing and changes nothing, no display fails.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/../fixtures/session" --x11 -- bash -s "$@" <<SCRIPT
set -euo pipefail
source "$here/lib.sh"
key() { secret-tool lookup service org.scrivlet.Scrivlet account content-encryption-key | od -An -tx1 | tr -d ' \n'; }
check() { sqlite3 "\$db" "SELECT hex(value) FROM meta WHERE key = 'keyCheck'"; }

start_scrivlet
wait_for has_key || fail "no key check stored"
stop_scrivlet
[ "\$(stat -c %a "\$XDG_DATA_HOME/Scrivlet")" = 700 ] || fail "data folder mode"
[ "\$(stat -c %a "\$db")" = 600 ] || fail "database mode"
first_key=\$(key)
[ \${#first_key} -eq 64 ] || fail "the keyring should hold 32 bytes, holds \${#first_key} hex digits"
first_check=\$(check)

start_scrivlet
stop_scrivlet
[ "\$(key)" = "\$first_key" ] || fail "the second start changed the key"
[ "\$(check)" = "\$first_check" ] || fail "the second start changed the key check"

/usr/bin/python3 - <<'PY'
import dbus
service = dbus.Interface(dbus.SessionBus().get_object('org.freedesktop.secrets', '/org/freedesktop/secrets'),
                         'org.freedesktop.Secret.Service')
service.Lock([service.ReadAlias('default')])
PY
: > "\$log"
start_scrivlet
wait_for grep -q "verrouillé" "\$log" || fail "no clear message for a locked keyring"
copy_text "copied while locked"
sleep 1
stop_scrivlet
[ "\$(check)" = "\$first_check" ] || fail "a locked keyring changed the history"
[ "\$(sqlite3 "\$db" 'SELECT count(*) FROM ClipItem')" = 0 ] || fail "recorded without its key"

if message=\$(env -u DISPLAY "\$scrivlet" 2>&1); then fail "started without a display"; fi
grep -q "no display here (neither WAYLAND_DISPLAY nor DISPLAY is set)" <<<"\$message" || fail "unclear message without a display: \$message"
echo "first start: all checks passed"
SCRIPT
