#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The built program started with its keyring locked, as an autologin session
# starts: the palette's shortcut answers at once, nothing is recorded, and
# once the keyring is unlocked copies are recorded under the same key,
# without a restart.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/../fixtures/session" --x11 -- bash -s "$@" <<SCRIPT
set -euo pipefail
source "$here/lib.sh"
check() { sqlite3 "\$db" "SELECT hex(value) FROM meta WHERE key = 'keyCheck'"; }
locked_notices() { grep -c "verrouillé" "\$log" || true; }
keyring() {
    /usr/bin/python3 - "\$1" <<'PY'
import sys
import dbus
bus = dbus.SessionBus()
secrets = bus.get_object('org.freedesktop.secrets', '/org/freedesktop/secrets')
service = dbus.Interface(secrets, 'org.freedesktop.Secret.Service')
collection = service.ReadAlias('default')
if sys.argv[1] == 'lock':
    service.Lock([collection])
else:
    # What a desktop's login does with the password: no prompt.
    _, session = service.OpenSession('plain', dbus.String('', variant_level=1))
    internal = dbus.Interface(secrets, 'org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface')
    internal.UnlockWithMasterPassword(collection, (session, dbus.ByteArray(b''),
                                      dbus.ByteArray(b'scrivlet-test'), 'text/plain'))
PY
}
recorded_after_unlock() { copy_text "copied after the unlock"; has "copied after the unlock"; }

start_scrivlet
wait_for has_key || fail "no key check stored"
stop_scrivlet
first_check=\$(check)

keyring lock
: > "\$log"
start_scrivlet
wait_for grep -q "verrouillé" "\$log" || fail "no clear message for a locked keyring"
xdotool key super+shift+v
wait_for test "\$(locked_notices)" -ge 2 || fail "the shortcut did not answer while the keyring was locked"
copy_text "copied while locked"
[ "\$(sqlite3 "\$db" 'SELECT count(*) FROM ClipItem')" = 0 ] || fail "recorded without its key"

keyring unlock
wait_for recorded_after_unlock || fail "nothing recorded once the keyring was unlocked"
has "copied while locked" && fail "a copy made before the key came was recorded"
[ "\$(check)" = "\$first_check" ] || fail "the unlock brought another key"
stop_scrivlet
echo "keyring unlock: all checks passed"
SCRIPT
