#!/usr/bin/env bash
# Verifies the systemd unit with systemd-analyze, its ExecStart pointed at
# the built host (the unit names the installed one). Skipped (77) where the
# command does not exist.
# Usage: unit_test.sh UNIT_FILE VESK_EXE
set -euo pipefail
if ! command -v systemd-analyze >/dev/null; then
    echo "skipped: systemd-analyze is not installed"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sed "s|/usr/bin/vesk|$2|" "$1" >"$work/vesk.service"
systemd-analyze verify "$work/vesk.service"
echo "unit ok"
