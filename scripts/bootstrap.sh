#!/usr/bin/env bash
# Installs the Debian packages that one use of the tree needs, and nothing when all are there.
#   scripts/bootstrap.sh SET [PACKAGE...]
# SET is one of:
#   build    building the host, the Java kit and the demo (scripts/run.sh)
#   test     build + the Linux suites, the Jetty and Tomcat examples, packaging and the booted service test
#   windows  build + the mingw-w64 cross build and 64-bit wine (scripts/test-windows.sh)
# Further package names are wanted too (scripts/fuzz.sh asks for clang, scripts/valgrind.sh for valgrind).
set -euo pipefail

build=(
  cmake ninja-build g++ gcc bison re2c pkgconf
  libcurl4-openssl-dev
  openjdk-17-jdk-headless
)
test=(
  python3 googletest libgtest-dev
  # The benchmarks' peers (cJSON, OpenSSL), found by the build when present.
  libcjson-dev libssl-dev
  # Jetty 9.4 for the Jetty example (examples/jetty) and its test.
  libjetty9-java
  # Embedded Tomcat 10.1 and the jakarta.annotation API it needs for the Tomcat example (examples/tomcat).
  libtomcat10-embed-java libjakarta-annotation-api-java
  # SLF4J and its java.util.logging binding for the logging suite (tests/logging).
  libslf4j-java
  # The packages, their checks and the service test in a booted Debian root.
  dpkg-dev lintian systemd mmdebstrap systemd-container
  # setfacl, for the host's refusal of a configuration folder an access list opens to others.
  acl
  # Maven and the plugins of a plain jar build (mvn package) and of install:install-file, for the builds of a
  # server on the packaged kit.
  maven libmaven-resources-plugin-java libmaven-compiler-plugin-java libsurefire-java libmaven-jar-plugin-java
  libmaven-install-plugin-java
)
windows=(
  # mingw-w64 (posix threads), 64-bit wine, dpkg-source for libcurl's source package,
  # wixl and msitools (msibuild, msiinfo, msiextract) for the Windows installer packages.
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine64 dpkg-dev wixl msitools
)

case "${1:-}" in
  build) packages=("${build[@]}") ;;
  test) packages=("${build[@]}" "${test[@]}") ;;
  windows) packages=("${build[@]}" "${windows[@]}") ;;
  *) echo "usage: $0 build|test|windows [PACKAGE...]" >&2; exit 2 ;;
esac
shift
packages+=("$@")

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
