#!/usr/bin/env bash
# Makes a release: writes VERSION (the version given, the revision after the
# current one, the release time now) and puts the Debian changelog entry of
# that version at the top of packaging/debian/changelog, one item per change
# text, for bookworm, urgency medium, signed by the maintainer of the entry
# before it. scripts/package.sh refuses a version without its entry.
# Usage: scripts/bump-version.sh <version> <change text>...
#   version: major.minor.patch, above the current one.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
file="$root/VERSION"
changelog="$root/packaging/debian/changelog"

fail() { echo "bump-version.sh: $*" >&2; exit 1; }

[ $# -ge 2 ] || fail "usage: scripts/bump-version.sh <version> <change text>..."
version=$1
shift
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "version '$version' is not major.minor.patch"
for change in "$@"; do
    [ -n "${change//[[:space:]]/}" ] || fail "a change text is empty"
done

current=$(sed -n 's/^version=//p' "$file")
revision=$(sed -n 's/^revision=//p' "$file")
[[ $revision =~ ^[0-9]+$ ]] || fail "VERSION has no revision line"
package=$(sed -n '1s/ .*//p' "$changelog")
latest=$(sed -n '1s/^[^ ]* (\([^)]*\)).*/\1/p' "$changelog")
maintainer=$(sed -n 's/^ -- \(.*>\)  .*$/\1/p' "$changelog" | head -n 1)
[ -n "$latest" ] && [ -n "$maintainer" ] || fail "packaging/debian/changelog has no entry to follow"
for before in "$current" "$latest"; do
    dpkg --compare-versions "$version" gt "$before" || fail "version $version is not above $before"
done

time=$(date +%s)
work=$(mktemp -d "$root/.bump-version.XXXXXX")
trap 'rm -rf "$work"' EXIT

cat >"$work/VERSION" <<END
# The release this tree builds: CMake's project version, the banner, the
# version text, the Debian packages and the MSI all take it from here.
# Written by scripts/bump-version.sh; time is in seconds since 1970 (UTC).
version=$version
revision=$((revision + 1))
time=$time
END

# Each change is one item, wrapped at 78 columns under its bullet.
{
    echo "$package ($version) bookworm; urgency=medium"
    echo
    for change in "$@"; do
        text=$(printf '%s' "$change" | tr -s '[:space:]' ' ')
        text=${text# }
        printf '%s\n' "${text% }" | fold -s -w 74 | sed 's/ *$//; 1s/^/  * /; 2,$s/^/    /'
    done
    echo
    echo " -- $maintainer  $(LC_ALL=C date -R -d "@$time")"
    echo
    cat "$changelog"
} >"$work/changelog"

mv "$work/VERSION" "$file"
mv "$work/changelog" "$changelog"
echo "$version r$((revision + 1)): VERSION and packaging/debian/changelog written"
