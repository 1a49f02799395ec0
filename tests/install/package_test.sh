#!/usr/bin/env bash
# Builds the Debian packages with scripts/package.sh from a finished build and
# checks them: what each holds and where, what each depends on, that nothing
# ties them to one JDK, that the development files give consumers no libjvm,
# and that the kit's Maven artifact is laid out as Debian's Java libraries are.
# Usage: package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# shellcheck source=tests/support/checks.sh
source "$(dirname "$0")/../support/checks.sh"

debs=$(bash "$source/scripts/package.sh" "$build" "$work")
vesk=$(grep '/vesk_[^/]*_amd64\.deb$' <<<"$debs") || fail "no vesk package among: $debs"
dev=$(grep '/vesk-dev_[^/]*_amd64\.deb$' <<<"$debs") || fail "no vesk-dev package among: $debs"
version=$(dpkg-deb -f "$vesk" Version)
maven=usr/share/maven-repo/br/com/ubrontex/vesk-java

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
    usr/share/doc/vesk/java-server.md.gz "usr/share/java/vesk-java-$version.jar" \
    "$maven/$version/vesk-java-$version.jar" "$maven/$version/vesk-java-$version.pom" \
    "$maven/debian/vesk-java-debian.jar" "$maven/debian/vesk-java-debian.pom"
ide_jars=("$maven/$version/vesk-java-$version-sources.jar" "$maven/$version/vesk-java-$version-javadoc.jar")
has "$dev" usr/include/vesk/json/json.h usr/lib/libvesk_json.a usr/lib/cmake/vesk/vesk-config.cmake \
    usr/lib/cmake/vesk/vesk-targets.cmake usr/lib/pkgconfig/vesk.pc "${ide_jars[@]}"
# The host and its kit only in vesk, of the kit's jars vesk-dev has only the
# sources and the javadoc; nothing of the tests, benchmarks or examples in
# either.
if dpkg-deb -c "$vesk" | grep -E '\.(h|a|pc|cmake)$|-(sources|javadoc)\.jar$'; then
    fail "development files in vesk"
fi
if dpkg-deb -c "$dev" | awk '{print $6}' | grep -vxF -e "./${ide_jars[0]}" -e "./${ide_jars[1]}" |
    grep -E 'bin/|\.so|\.jar'; then
    fail "run-time files in vesk-dev"
fi
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
# The host loads libcurl at its first transfer: no link of the executable
# tells the dependency, so the control file must.
grep -qE 'libcurl4 \(>= [0-9.]+\)(,|$)' <<<"$depends" || fail "vesk does not depend on libcurl4: $depends"
dev_depends=$(dpkg-deb -f "$dev" Depends)
# Programs on the static libraries load libcurl too; they build without its headers.
for wanted in 'libcurl4 (' default-jdk-headless; do
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
# Each Maven folder: a relative link to the versioned jar, which the
# package's own tree resolves, and a POM of the folder's version with the
# package's home page and license and no dependencies.
license=$(sed -n 's/^License: //p' "$source/packaging/debian/copyright")
homepage=$(dpkg-deb -f "$vesk" Homepage)
for folder in "$version" debian; do
    link="$work/root/$maven/$folder/vesk-java-$folder.jar"
    case "$(readlink "$link")" in /*|"") fail "$maven/$folder: the jar is no relative link" ;; esac
    [ "$(realpath -m "$link")" = "$work/root/usr/share/java/vesk-java-$version.jar" ] ||
        fail "$maven/$folder: the jar leads to $(realpath -m "$link")"
    described=$(python3 - "$work/root/$maven/$folder/vesk-java-$folder.pom" <<'PY'
import sys
import xml.etree.ElementTree as ET
ns = {"m": "http://maven.apache.org/POM/4.0.0"}
pom = ET.parse(sys.argv[1]).getroot()
fields = ["groupId", "artifactId", "version", "packaging", "licenses/m:license/m:name", "url"]
described = [pom.findtext("m:" + field, "", ns).strip() for field in fields]
print(*described, len(pom.findall("m:dependencies/*", ns)))
PY
    )
    [ "$described" = "br.com.ubrontex vesk-java $folder jar $license $homepage 0" ] ||
        fail "$maven/$folder: the POM describes $described"
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
