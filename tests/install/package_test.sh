#!/usr/bin/env bash
# Builds the Debian package from a finished build and checks it: what it
# holds, what it depends on, and that the host unpacked from it still finds
# libjvm through its rpath.
# Usage: package_test.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" >/dev/null
deb=$(ls "$work"/vesk_*.deb)

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for wanted in ./usr/bin/vesk ./usr/include/vesk/json/json.h ./usr/lib/libvesk_json.a \
    ./usr/lib/cmake/vesk/vesk-config.cmake ./usr/lib/cmake/vesk/vesk-targets.cmake \
    ./usr/lib/pkgconfig/vesk.pc ./usr/share/java/vesk-java.jar ./usr/lib/libvesk_java.so; do
    grep -qx "$wanted" <<<"$contents" || fail "missing $wanted"
done
# The Java kit's jar is the one jar that belongs in the package.
if grep -v -x './usr/share/java/vesk-java.jar' <<<"$contents" | grep -E 'test|bench|example|demo|\.jar$'; then
    fail "tests, benchmarks or examples in the package"
fi

depends=$(dpkg-deb -f "$deb" Depends)
grep -q 'openjdk-17-jre-headless' <<<"$depends" || fail "no JRE in Depends: $depends"
grep -q 'libcurl4' <<<"$depends" || fail "no libcurl in Depends: $depends"
if grep -q -- '-dev' <<<"$depends"; then fail "development package in Depends: $depends"; fi

dpkg -x "$deb" "$work/root"
jvm=$(ldd "$work/root/usr/bin/vesk" | awk '/libjvm.so/ {print $3}')
if [ -z "$jvm" ] || [ ! -e "$jvm" ]; then fail "the unpacked host does not find libjvm"; fi
echo "package ok: $(basename "$deb"), libjvm at $jvm"
