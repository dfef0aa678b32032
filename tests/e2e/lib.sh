# SPDX-License-Identifier: GPL-3.0-or-later
# Helpers for the end-to-end scripts, sourced inside tests/fixtures/session.
scrivlet=$1 dump=$2 owner=$3
db="$XDG_DATA_HOME/Scrivlet/history.sqlite"
log="$HOME/scrivlet.log"
fail() { echo "FAIL: $*" >&2; [ -f "$log" ] && sed 's/^/  scrivlet: /' "$log" >&2; exit 1; }

# Waits until the command succeeds, up to about ten seconds.
wait_for() { for _ in $(seq 100); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done; return 1; }

start_scrivlet() {
    "$scrivlet" >>"$log" 2>&1 &
    pid=$!
    wait_for test -S "$XDG_RUNTIME_DIR/scrivlet.socket" || fail "scrivlet did not start"
}
stop_scrivlet() {
    kill -TERM "$pid"
    wait "$pid" || fail "scrivlet did not end cleanly on SIGTERM"
}
entries() { "$dump"; }
count() { "$dump" | wc -l; }
count_is() { [ "$("$dump" | wc -l)" -eq "$1" ]; }
has() { "$dump" | grep -q -- "$1"; }
copy_text() { printf '%s' "$1" | xclip -selection clipboard; }
has_key() { [ -n "$(sqlite3 "$db" "SELECT hex(value) FROM meta WHERE key = 'keyCheck'" 2>/dev/null)" ]; }
probe=${4:-} holder=${5:-} hostile=${6:-}

# The key probe: a window of the given class that logs the keys it gets.
start_probe() {
    : > "$HOME/probe.log"
    "$probe" --class "${1:-KeyProbe}" >> "$HOME/probe.log" 2>&1 &
    probe_pid=$!
    wait_for grep -q '^ready' "$HOME/probe.log" || fail "the key probe never got the focus"
    probe_window=$(grep '^ready' "$HOME/probe.log" | head -1 | cut -d' ' -f2)
}
palette_window() { xdotool search --onlyvisible --name '^Presse-papiers$' 2>/dev/null | head -1; }
palette_shown() { [ -n "$(palette_window)" ]; }
palette_hidden() { [ -z "$(palette_window)" ]; }
open_palette() {
    sleep 0.8 # lets the monitor record what the last paste put on the clipboard
    "$scrivlet" >/dev/null || fail "could not reach the running Scrivlet"
    wait_for palette_shown || fail "the palette did not open (line ${BASH_LINENO[0]})"
    sleep 0.2
}
probe_has() { grep -qF -- "$1" "$HOME/probe.log"; }
# Ctrl+V as the probe saw it: keysym v, state Control alone.
ctrl_v_count() { grep -c '^key 76 4$' "$HOME/probe.log" || true; }
