#!/usr/bin/env bash
# Builds the Debian packages with scripts/package.sh and runs lintian on
# them: no error and no warning (those that remain are overridden, with the
# reason, in packaging/debian/*.lintian-overrides). Skipped (77) without
# lintian.
# Usage: lintian_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
if ! command -v lintian >/dev/null; then
    echo "skipped: lintian is not installed"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mapfile -t debs < <(bash "$2/scripts/package.sh" "$1" "$work")
report=$(lintian --allow-root --fail-on none "${debs[@]}")
printf '%s\n' "$report"
if grep -E '^[EW]: ' <<<"$report" >/dev/null; then
    echo "FAIL lintian reports errors or warnings" >&2
    exit 1
fi
echo "lintian ok: ${debs[*]##*/}"
