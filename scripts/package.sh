#!/usr/bin/env bash
# Builds the Debian packages vesk (the host, the Java kit, also as a Maven
# artifact, and the service) and vesk-dev (headers, static libraries, CMake
# and pkg-config files, the kit's sources and javadoc jars) from a build
# folder, configuring and building it as needed, and prints their paths. The
# packaging files are those of packaging/debian.
# Usage: scripts/package.sh [BUILD_DIR [OUT_DIR]]
#   BUILD_DIR defaults to build/, OUT_DIR to BUILD_DIR/packages.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build}")
out=$(realpath -m "${2:-$build/packages}")
debian="$root/packaging/debian"

fail() { echo "package.sh: $*" >&2; exit 1; }

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
# A package falls back on no JDK of the build machine: where the system
# keeps its Java, or nowhere.
fallback=$(sed -n 's/^VESK_JAVA_FALLBACK:STRING=//p' "$build/CMakeCache.txt")
case "$fallback" in
    ""|/usr/lib/jvm/*) ;;
    *) fail "the build falls back on the JDK at $fallback; configure it with -DVESK_JAVA_FALLBACK= for a package" ;;
esac
cmake --build "$build" --target vesk vesk_java vesk_java_classes vesk_java_sources vesk_java_javadoc >/dev/null

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
logged=$(dpkg-parsechangelog -l "$debian/changelog" -S Version)
[ "$version" = "$logged" ] ||
    fail "version $version has no entry in packaging/debian/changelog (its latest is $logged)"
arch=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
# Every file gets the changelog's date, so that the same sources give the
# same packages.
epoch=$(dpkg-parsechangelog -l "$debian/changelog" -S Timestamp)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stage="$work/stage"
DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null
# jni.h for pkg-config users: the JDK that vesk-dev depends on, under the
# name Debian gives the default one, not the build machine's JDK.
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
sed -i 's|^java_home=.*|java_home=/usr/lib/jvm/default-java|' "$stage/usr/$libdir/pkgconfig/vesk.pc"

# take PACKAGE PATH...: moves the installed paths (relative to the stage)
# into the package's tree at the same place.
take() {
    local package=$1 path
    shift
    for path in "$@"; do
        [ -e "$stage/$path" ] || fail "the install has no $path"
        mkdir -p "$work/$package/$(dirname "$path")"
        mv "$stage/$path" "$work/$package/$path"
    done
}
# put PACKAGE SOURCE DESTINATION MODE: a packaging file into the tree.
put() {
    install -D -m "$4" "$2" "$work/$1/$3"
}

take vesk usr/bin/vesk
# Debian's Java policy: the jar carries its version, the plain name is a link.
mkdir -p "$work/vesk/usr/share/java"
mv "$stage/usr/share/java/vesk-java.jar" "$work/vesk/usr/share/java/vesk-java-$version.jar"
ln -s "vesk-java-$version.jar" "$work/vesk/usr/share/java/vesk-java.jar"
# The kit as the Maven artifact br.com.ubrontex:vesk-java, laid out as
# maven-repo-helper lays out Debian's Java libraries: the release's folder and
# the "debian" one, each a link to the jar above and a POM of that version.
# The sources and javadoc jars, for IDEs, go with the development files.
maven=usr/share/maven-repo/br/com/ubrontex/vesk-java
pom="$build/java/vesk-java-$version.pom"
[ -f "$pom" ] || fail "the build has no $pom"
for folder in "$version" debian; do
    mkdir -p "$work/vesk/$maven/$folder"
    ln -s "../../../../../../java/vesk-java-$version.jar" "$work/vesk/$maven/$folder/vesk-java-$folder.jar"
    sed "s|<version>$version</version>|<version>$folder</version>|" "$pom" >"$work/$folder.pom"
    grep -qF "<version>$folder</version>" "$work/$folder.pom" || fail "$pom has no version $version"
    put vesk "$work/$folder.pom" "$maven/$folder/vesk-java-$folder.pom" 0644
done
for kind in sources javadoc; do
    put vesk-dev "$build/java/vesk-java-$kind.jar" "$maven/$version/vesk-java-$version-$kind.jar" 0644
done
# The kit's JNI library goes where Debian keeps JNI libraries: loaded by
# path through java.library.path, it needs no ldconfig.
jni=$(find "$stage" -name libvesk_java.so -type f)
[ -n "$jni" ] || fail "the install has no libvesk_java.so"
put vesk "$jni" "usr/lib/$multiarch/jni/libvesk_java.so" 0644
rm "$jni"
take vesk-dev usr/include "usr/$libdir/cmake" "usr/$libdir/pkgconfig"
for archive in "$stage/usr/$libdir"/libvesk_*.a; do
    take vesk-dev "usr/$libdir/$(basename "$archive")"
done
left=$(find "$stage" -type f)
[ -z "$left" ] || fail "installed files that no package takes:"$'\n'"$left"

put vesk "$debian/vesk.service" lib/systemd/system/vesk.service 0644
put vesk "$debian/config-check" usr/libexec/vesk/config-check 0755
put vesk "$debian/sysusers.conf" usr/lib/sysusers.d/vesk.conf 0644
put vesk "$debian/tmpfiles.conf" usr/lib/tmpfiles.d/vesk.conf 0644
# The configuration's templates: postinst makes /etc/vesk/* and the log
# folder's rule from them where they are missing, and never touches them
# again (no conffiles: an upgrade asks nothing).
for template in vesk.ini jvm.options server.ini tmpfiles-log.conf; do
    put vesk "$debian/$template" "usr/share/vesk/$template" 0644
done
sed "s/@VERSION@/$version/" "$debian/vesk.8" | gzip -9n >"$work/vesk.8.gz"
put vesk "$work/vesk.8.gz" usr/share/man/man8/vesk.8.gz 0644
for script in postinst prerm postrm; do
    put vesk "$debian/$script" "DEBIAN/$script" 0755
done
# The operator's pages, readable on the machine.
put vesk "$debian/README.Debian" usr/share/doc/vesk/README.Debian 0644
for page in operating java-server; do
    gzip -9n <"$root/docs/$page.md" >"$work/$page.md.gz"
    put vesk "$work/$page.md.gz" "usr/share/doc/vesk/$page.md.gz" 0644
done

# Debian strips as dh_strip does: the programs of their symbol tables (the
# host keeps the dynamic symbols it exports to native modules), the static
# libraries of their debugging information.
strip --strip-unneeded --remove-section=.comment --remove-section=.note \
    "$work/vesk/usr/bin/vesk" "$work/vesk/usr/lib/$multiarch/jni/libvesk_java.so"
strip --strip-debug --remove-section=.comment --remove-section=.note --enable-deterministic-archives \
    "$work/vesk-dev/usr/$libdir"/libvesk_*.a

gzip -9n <"$debian/changelog" >"$work/changelog.gz"
mkdir -p "$out"
for package in vesk vesk-dev; do
    tree="$work/$package"
    put "$package" "$debian/copyright" "usr/share/doc/$package/copyright" 0644
    put "$package" "$work/changelog.gz" "usr/share/doc/$package/changelog.gz" 0644
    if [ -f "$debian/$package.lintian-overrides" ]; then
        put "$package" "$debian/$package.lintian-overrides" "usr/share/lintian/overrides/$package" 0644
    fi
    find "$tree" -type d -exec chmod 0755 {} +
    mkdir -p "$tree/DEBIAN"
    size=$(du -sk --exclude=DEBIAN "$tree" | cut -f1)
    sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" -e "s/@SIZE@/$size/" \
        "$debian/control.$package" >"$tree/DEBIAN/control"
    (cd "$tree" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | LC_ALL=C sort -z |
        xargs -0 md5sum >DEBIAN/md5sums)
    find "$tree" -exec touch -h -d "@$epoch" {} +
    deb="$out/${package}_${version}_$arch.deb"
    dpkg-deb --root-owner-group -Zxz --build "$tree" "$deb" >/dev/null
    echo "$deb"
done
