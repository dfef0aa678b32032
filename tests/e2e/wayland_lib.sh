# SPDX-License-Identifier: GPL-3.0-or-later
# Helpers for the Wayland end-to-end scripts (wayland.sh, gnome.sh), sourced
# once they have set scrivlet, dump and fail.
wait_for() { for _ in $(seq 100); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done; return 1; }
has() { "$dump" | grep -qF -- "$1"; }
kind_of() { "$dump" | grep -F -- "$1" | head -1 | cut -f1; }
# The source application of the entry with this text, from `scrivlet list`.
source_of() {
    "$scrivlet" list --json | python3 -c 'import json, sys
print(next((e["sourceApp"] for e in json.load(sys.stdin) if e.get("text") == sys.argv[1]), "none"))' "$1"
}
kind_recorded() { "$dump" | cut -f1 | grep -qx "$1"; }

# Text, an image and a file list from wl-copy, each recorded with its kind.
# Leaves $HOME/pixel.png, the image.
check_wl_copy_kinds() { # text
    wl-copy "$1"
    wait_for has "$1" || fail "wl-copy text was not recorded: $("$scrivlet" list)"
    [ "$(kind_of "$1")" = text ] || fail "text kind: $(kind_of "$1")"
    base64 -d >"$HOME/pixel.png" <<<'iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg=='
    wl-copy --type image/png <"$HOME/pixel.png"
    wait_for kind_recorded image || fail "wl-copy image was not recorded: $("$dump")"
    printf 'file://%s\r\n' "$HOME/pixel.png" | wl-copy --type text/uri-list
    wait_for kind_recorded file || fail "wl-copy file list was not recorded: $("$dump")"
    echo "ok - wl-copy text, image and file list recorded with their kinds"
}
