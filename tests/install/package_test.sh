#!/usr/bin/env bash
# Builds the Debian packages with scripts/package.sh from a finished build and
# checks them: what each holds and where, what each depends on, that nothing
# ties them to one JDK, and that the development files give consumers no
# libjvm.
# Usage: package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL $*" >&2; exit 1; }

debs=$(bash "$source/scripts/package.sh" "$build" "$work")
vesk=$(grep '/vesk_[^/]*_amd64\.deb$' <<<"$debs") || fail "no vesk package among: $debs"
dev=$(grep '/vesk-dev_[^/]*_amd64\.deb$' <<<"$debs") || fail "no vesk-dev package among: $debs"

# has DEB PATH...: the package holds each path.
has() {
    local deb=$1 contents path
    shift
    contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
    for path in "$@"; do
        grep -qx "./$path" <<<"$contents" || fail "$(basename "$deb") lacks $path"
    done
}
has "$vesk" usr/bin/vesk usr/share/java/vesk-java.jar usr/lib/x86_64-linux-gnu/jni/libvesk_java.so \
    lib/systemd/system/vesk.service usr/lib/sysusers.d/vesk.conf usr/lib/tmpfiles.d/vesk.conf \
    usr/libexec/vesk/config-check usr/share/vesk/vesk.ini usr/share/vesk/jvm.options \
    usr/share/vesk/server.ini usr/share/vesk/tmpfiles-log.conf usr/share/doc/vesk/copyright \
    usr/share/doc/vesk/changelog.gz usr/share/doc/vesk/README.Debian usr/share/doc/vesk/operating.md.gz \
    usr/share/doc/vesk/java-server.md.gz
has "$dev" usr/include/vesk/json/json.h usr/lib/libvesk_json.a usr/lib/cmake/vesk/vesk-config.cmake \
    usr/lib/cmake/vesk/vesk-targets.cmake usr/lib/pkgconfig/vesk.pc
# The host and its kit only in vesk; nothing of the tests, benchmarks or
# examples in either.
if dpkg-deb -c "$vesk" | grep -E '\.(h|a|pc|cmake)$'; then fail "development files in vesk"; fi
if dpkg-deb -c "$dev" | grep -E 'bin/|\.so|\.jar'; then fail "run-time files in vesk-dev"; fi
for deb in "$vesk" "$dev"; do
    if dpkg-deb -c "$deb" | grep -E 'test|bench|example|demo'; then
        fail "tests, benchmarks or examples in $(basename "$deb")"
    fi
done
# The configuration is made from templates by postinst: nothing under /etc
# is shipped, so no upgrade stops at dpkg's conffile prompt.
if dpkg-deb -c "$vesk" | grep -E ' \./etc/'; then fail "vesk ships files under /etc"; fi
if dpkg-deb -I "$vesk" conffiles 2>/dev/null; then fail "vesk has conffiles"; fi

depends=$(dpkg-deb -f "$vesk" Depends)
grep -qE 'default-jre-headless \(>= 2:1.17\)(,|$)' <<<"$depends" ||
    fail "vesk does not depend on a JRE of 17 or later: $depends"
if grep -q 'openjdk' <<<"$depends"; then fail "vesk depends on one JDK: $depends"; fi
if grep -q -- '-dev' <<<"$depends"; then fail "development package in Depends: $depends"; fi
version=$(dpkg-deb -f "$vesk" Version)
dev_depends=$(dpkg-deb -f "$dev" Depends)
for wanted in libcurl4-openssl-dev default-jdk-headless; do
    grep -qF "$wanted" <<<"$dev_depends" || fail "vesk-dev does not depend on $wanted: $dev_depends"
done
# The development files build native code; they do not install the service.
if grep -q 'vesk' <<<"$dev_depends"; then fail "vesk-dev depends on the service: $dev_depends"; fi

dpkg-deb -x "$vesk" "$work/root"
dpkg-deb -x "$dev" "$work/root"
cmp "$work/root/lib/systemd/system/vesk.service" "$source/packaging/debian/vesk.service" ||
    fail "the packaged unit is not packaging/debian/vesk.service"
for binary in usr/bin/vesk usr/lib/x86_64-linux-gnu/jni/libvesk_java.so; do
    if readelf -d "$work/root/$binary" | grep -E 'RPATH|RUNPATH'; then fail "$binary has a run path"; fi
    if readelf -S "$work/root/$binary" | grep -E '\.symtab|\.debug_'; then fail "$binary is not stripped"; fi
done
# Consumers get neither libjvm nor a link or run path into the build
# machine's JDK; jni.h's folders come only through the java_home variable,
# which a user can point at another JDK.
pc="$work/root/usr/lib/pkgconfig/vesk.pc"
if grep -E -- '-ljvm|rpath|-L[^ ]*/jvm/' "$pc"; then fail "vesk.pc links libjvm"; fi
if grep -v '^java_home=' "$pc" | grep -F /jvm/; then fail "vesk.pc names a JDK outside java_home"; fi
grep -qx 'java_home=/usr/lib/jvm/default-java' "$pc" || fail "vesk.pc does not point at the default JDK"
if grep -E 'JNI::JVM|libjvm' "$work/root/usr/lib/cmake/vesk/"*.cmake; then
    fail "the CMake package links libjvm"
fi
echo "packages ok: $(basename "$vesk") $(basename "$dev")"
