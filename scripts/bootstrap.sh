#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need, and nothing when all are there.
set -euo pipefail

packages=(
  cmake ninja-build g++ gcc flex bison python3 pkgconf
  libcurl4-openssl-dev libcjson-dev
  libssl-dev
  openjdk-17-jdk-headless
  googletest libgtest-dev
  # fuzzing (scripts/fuzz.sh) and the leak check (scripts/valgrind.sh)
  clang valgrind
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "bootstrap: installing ${missing[*]}" >&2
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq >/dev/null
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
