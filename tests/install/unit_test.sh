#!/usr/bin/env bash
# Verifies the packaged systemd unit with systemd-analyze (its commands
# pointed at the built host and the packaging's condition script; the unit
# names the installed ones) and requires
# its exposure to be "OK", 2.5 or lower. Skipped (77) where the command does
# not exist.
# Usage: unit_test.sh UNIT_FILE VESK_EXE
set -euo pipefail
if ! command -v systemd-analyze >/dev/null; then
    echo "skipped: systemd-analyze is not installed"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sed -e "s|/usr/bin/vesk|$2|" -e "s|/usr/libexec/vesk/config-check|$(dirname "$1")/config-check|" \
    "$1" >"$work/vesk.service"
systemd-analyze verify --man=no "$work/vesk.service"
# The threshold is the exposure times ten.
systemd-analyze security --offline=yes --threshold=25 "$work/vesk.service" | tail -n 1 ||
    { echo "FAIL the unit's exposure is above 2.5" >&2; exit 1; }
echo "unit ok"
