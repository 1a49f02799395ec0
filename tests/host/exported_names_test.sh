#!/usr/bin/env bash
# The names that native modules loaded by the Java side resolve from the
# executable: every name of exported_names.txt must be a function that vesk
# exports, and must be named in docs/library.md or a public header, so that
# the list follows what the library promises.
#   exported_names_test.sh <vesk> <nm> <source tree>
set -euo pipefail
vesk=$1 nm=$2 root=$3
list=$root/tests/host/exported_names.txt

# shellcheck source=tests/support/checks.sh
source "$(dirname "$0")/../support/checks.sh"

# Functions of the dynamic symbol table: code (T), weak (W), indirect (i).
exported=$("$nm" -D --defined-only "$vesk" | awk '$2 ~ /^[TWi]$/ { print $3 }' | LC_ALL=C sort -u)
[ -n "$exported" ] || fail "$nm -D --defined-only $vesk: no function"

mapfile -t names <"$list"
public_headers=("$root"/src/*/*.h)
missing=() undocumented=()
for name in "${names[@]}"; do
  grep -qxF -- "$name" <<<"$exported" || missing+=("$name")
  grep -qwF -- "$name" "$root/docs/library.md" "${public_headers[@]}" || undocumented+=("$name")
done
for name in "${missing[@]}"; do echo "not exported by vesk: $name"; done
for name in "${undocumented[@]}"; do echo "named in neither docs/library.md nor a public header: $name"; done

sorted() { LC_ALL=C sort -uc "$list"; }
check "the list holds one name a line" not grep -qvE '^[A-Za-z_][A-Za-z0-9_]*$' "$list"
check "the list is sorted, without repeats" sorted
check "vesk exports all ${#names[@]} listed names" test "${#missing[@]}" -eq 0
check "every listed name is documented" test "${#undocumented[@]}" -eq 0
checks_done
