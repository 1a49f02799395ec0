#!/usr/bin/env bash
# The packages as a service on a fresh Debian 12: makes a root with
# mmdebstrap (a JRE and systemd in it), copies the built packages and a test
# entry class into it, boots it with systemd-nspawn on a private network, and
# reads what checks.sh found inside. Everything it writes stays under
# BUILD_DIR/tests/service. Skipped (77), with the reason, where the root
# cannot be made or booted: not root, no systemd-nspawn or mmdebstrap, no
# Debian mirror.
# Usage: service_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(realpath "$1")
source=$(realpath "$2")
here="$source/tests/service"
# shellcheck source=tests/support/checks.sh
source "$source/tests/support/checks.sh"
skip() { echo "skipped: $*"; exit 77; }

[ "$(id -u)" -eq 0 ] || skip "systemd-nspawn boots a root only as root"
for tool in systemd-nspawn mmdebstrap; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
done

base="$build/tests/service"
mkdir -p "$base/cache"
work=$(mktemp -d "$base/run.XXXXXX")
trap 'rm -rf --one-file-system "$work"' EXIT
export TMPDIR="$work"

# The Debian root, kept as a tar file that is never booted itself: each run
# boots a fresh copy. It is made again when the way it is made changes (the
# name holds a digest of the command) or after a week (security updates).
# The JDK's headless tools for the jcmd recipe of README.Debian, Jetty for the
# example served under the unit.
packages=systemd-sysv,dbus,default-jre-headless,openjdk-17-jdk-headless,libcurl4,libjetty9-java
options=(--quiet --variant=apt --include="$packages" --skip=output/dev)
# The machine's own apt sources for Debian 12, as apt uses them here.
mirrors=()
for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -f "$list" ] && grep -qs '^[^#]*bookworm' "$list" && mirrors+=("$list")
done
[ ${#mirrors[@]} -gt 0 ] || skip "no Debian 12 (bookworm) source in /etc/apt"
key=$(cat <(printf '%s\n' "${options[@]}") "${mirrors[@]}" | sha256sum | cut -c1-16)
cached="$base/cache/debian12-$key.tar"
find "$base/cache" -name 'debian12-*.tar' \( -mtime +6 -o ! -name "${cached##*/}" \) -delete
if [ ! -f "$cached" ]; then
    echo "making the Debian 12 root (a few minutes; kept for a week in $base/cache)"
    if ! timeout 900 mmdebstrap "${options[@]}" bookworm "$work/root.tar" "${mirrors[@]}" >"$work/mmdebstrap.log" 2>&1; then
        if grep -qiE 'fetch|resolve|connect|unreachable|temporary failure' "$work/mmdebstrap.log"; then
            tail -n 5 "$work/mmdebstrap.log"
            skip "mmdebstrap cannot reach the Debian mirror"
        fi
        cat "$work/mmdebstrap.log" >&2
        fail "mmdebstrap failed"
    fi
    mv "$work/root.tar" "$cached"
fi

# What goes in: the packages, a newer package whose shipped configuration
# changed, the demo server, the Jetty example and the test's entry class.
cmake --build "$build" --target vesk_demo_classes vesk_jetty_classes >/dev/null
bash "$source/scripts/package.sh" "$build" "$work/debs" >/dev/null
newer="$work/newer"
mkdir -p "$newer"
dpkg-deb -R "$work/debs/"vesk_*.deb "$newer/tree"
version="$(dpkg-deb -f "$work/debs/"vesk_*.deb Version)+1"
sed -i "s/^Version: .*/Version: $version/" "$newer/tree/DEBIAN/control"
for template in vesk.ini jvm.options server.ini; do
    echo "# changed template" >>"$newer/tree/usr/share/vesk/$template"
done
(cd "$newer/tree" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | LC_ALL=C sort -z |
    xargs -0 md5sum >DEBIAN/md5sums)
# The same build shaped as the release 7.25.2 was packaged (its unit,
# maintainer scripts, tmpfiles rule and conffile; none of the templates):
# the upgrade from it is the one that sites meet.
old_shape="$here/v7.25.2"
older="$work/older"
mkdir -p "$older"
dpkg-deb -R "$work/debs/"vesk_*.deb "$older/tree"
sed -i "s/^Version: .*/Version: 7.25.2/" "$older/tree/DEBIAN/control"
rm -r "$older/tree/usr/share/vesk" "$older/tree/usr/libexec/vesk" "$older/tree/usr/share/doc/vesk/README.Debian" \
    "$older/tree/usr/share/doc/vesk/"*.md.gz
install -D -m 0644 "$old_shape/vesk.ini" "$older/tree/etc/vesk/vesk.ini"
install -m 0644 "$old_shape/vesk.service" "$older/tree/lib/systemd/system/vesk.service"
install -m 0644 "$old_shape/tmpfiles.conf" "$older/tree/usr/lib/tmpfiles.d/vesk.conf"
install -m 0644 "$old_shape/conffiles" "$older/tree/DEBIAN/conffiles"
for script in postinst prerm postrm; do
    install -m 0755 "$old_shape/$script" "$older/tree/DEBIAN/$script"
done
(cd "$older/tree" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | LC_ALL=C sort -z |
    xargs -0 md5sum >DEBIAN/md5sums)
root="$work/root"
mkdir -p "$root"
tar -C "$root" -xf "$cached"
checks="$root/checks"
mkdir -p "$checks" "$work/classes"
cp "$work/debs/vesk_"*.deb "$build/examples/vesk-demo.jar" "$build/examples/vesk-jetty.jar" "$checks/"
cp -r "$source/examples/jetty/www" "$checks/www"
mkdir -p "$checks/newer"
dpkg-deb --root-owner-group -Zxz --build "$newer/tree" "$checks/newer/vesk_${version}_amd64.deb" >/dev/null
echo "$version" >"$checks/newer/version"
mkdir -p "$checks/older"
dpkg-deb --root-owner-group -Zxz --build "$older/tree" "$checks/older/vesk_7.25.2_amd64.deb" >/dev/null
javac --release 17 -Xlint:all -Werror -cp "$build/examples/vesk-demo.jar:$build/java/vesk-java.jar" \
    -d "$work/classes" "$here/ServiceProbe.java"
jar cf "$checks/probe.jar" -C "$work/classes" .
install -m 0755 "$here/checks.sh" "$checks/checks.sh"
install -m 0644 "$source/tests/support/checks.sh" "$checks/support-checks.sh"
cat >"$root/etc/systemd/system/vesk-checks.service" <<'UNIT'
[Unit]
Description=vesk service checks
After=multi-user.target
[Service]
Type=oneshot
ExecStart=/checks/checks.sh
TimeoutStartSec=900
ExecStopPost=/bin/systemctl --no-block poweroff
[Install]
WantedBy=multi-user.target
UNIT
ln -s /etc/systemd/system/vesk-checks.service "$root/etc/systemd/system/multi-user.target.wants/"

echo "booting the root ($SECONDS s)"
status=0
timeout --kill-after=10 1000 systemd-nspawn --register=no --keep-unit --private-network --quiet \
    -D "$root" -b </dev/null >"$work/boot.log" 2>&1 || status=$?
if [ ! -f "$checks/results.txt" ]; then
    tail -n 20 "$work/boot.log"
    grep -q 'Welcome to' "$work/boot.log" || skip "systemd-nspawn cannot boot the root (status $status)"
    fail "the checks did not run"
fi
cat "$checks/results.txt"
if grep -q '^FAIL' "$checks/results.txt" || [ "$(tail -n 1 "$checks/results.txt")" != "done" ]; then
    echo "--- the unit's journal" >&2
    cat "$checks/journal.txt" >&2 2>/dev/null || true
    fail "service checks"
fi
echo "service ok ($SECONDS s)"
