#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need, and nothing when all are there.
# Package names given as arguments are wanted too (scripts/fuzz.sh asks for clang,
# scripts/valgrind.sh for valgrind).
set -euo pipefail

packages=(
  cmake ninja-build g++ gcc bison re2c python3 pkgconf
  libcurl4-openssl-dev libcjson-dev
  libssl-dev
  openjdk-17-jdk-headless
  # Jetty 9.4 for the Jetty example (examples/jetty) and its test.
  libjetty9-java
  googletest libgtest-dev
  # The Windows build: mingw-w64 (posix threads), 64-bit wine, dpkg-source.
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine64 dpkg-dev
  "$@"
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
