#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real xdg-desktop-portal answers a process hardened as Scrivlet is.
# Run as an ordinary user: root may look at any process, so as root the
# check would pass whatever the hardening did.
#   portal_access.sh PROBE
set -euo pipefail
probe=$1
portal=/usr/libexec/xdg-desktop-portal
[ -x "$portal" ] || { echo "portal_access: $portal is not installed" >&2; exit 1; }

root=$(mktemp -d /tmp/scrivlet-portal.XXXXXX)
trap 'rm -rf "$root"' EXIT
cp "$probe" "$root/probe"
mkdir -p "$root/home" "$root/run" "$root/services"
chmod 700 "$root/run"
# A bus that activates nothing: the portal answers alone, without backends.
cat >"$root/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$root/run</listen>
  <servicedir>$root/services</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
as_user=()
if [ "$(id -u)" -eq 0 ]; then
    user=scrivlet-test
    getent passwd "$user" >/dev/null \
        || useradd --system --user-group --no-create-home --home-dir /nonexistent \
            --shell /usr/sbin/nologin "$user" 2>/dev/null \
        || getent passwd "$user" >/dev/null
    chown -R "$user:" "$root"
    chmod 755 "$root"
    as_user=(runuser -u "$user" --)
fi

"${as_user[@]}" env -i PATH="$PATH" HOME="$root/home" XDG_RUNTIME_DIR="$root/run" \
    ASAN_OPTIONS="${ASAN_OPTIONS:-}" UBSAN_OPTIONS="${UBSAN_OPTIONS:-}" \
    LSAN_OPTIONS="${LSAN_OPTIONS:-}" \
    dbus-run-session --config-file="$root/bus.conf" -- sh -c '
        "$1" >"$2/portal.log" 2>&1 &
        "$2/probe"; status=$?
        kill $! 2>/dev/null
        [ "$status" -eq 0 ] || cat "$2/portal.log" >&2
        exit "$status"' sh "$portal" "$root"
