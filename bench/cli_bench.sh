#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times the command line against a running Scrivlet over 200 entries, in a
# throwaway X session with its own keyring. Run from the repository after a
# release build: bench/cli_bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
exec tests/fixtures/session --x11 -- bash -s "$PWD/$build" <<'SCRIPT'
set -euo pipefail
build=$1
scrivlet=$build/src/app/scrivlet
source tests/e2e/lib.sh "$scrivlet" "$build/tests/e2e/history_dump" "" ""
start_scrivlet
wait_for has_key || fail "no key"
stop_scrivlet
"$dump" --seed 200
start_scrivlet
wait_for has_key || fail "no key"
[ "$("$scrivlet" list | wc -l)" -eq 200 ] || fail "the history was not seeded"
"$build/bench/cli_bench" "$scrivlet"
stop_scrivlet
SCRIPT
