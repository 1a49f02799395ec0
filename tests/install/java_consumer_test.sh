#!/usr/bin/env bash
# Builds the Debian packages and, on what they hold, a Java server of its own
# (tests/install/java_consumer) twice: with plain javac on the packaged jar,
# and with Maven, the kit resolved as br.com.ubrontex:vesk-java from Debian's
# Maven repository joined with the package's, and nothing from the network.
# Maven also builds it against the jar alone, installed with install-file.
# Runs each in the packaged host and finds its log line. Checks the kit's
# manifest and the IDE jars of vesk-dev on the way. Without mvn the Maven
# build is skipped (77) once the rest has passed.
# Usage: java_consumer_test.sh BUILD_DIR SOURCE_DIR JDK
set -euo pipefail
build=$1
source=$2
jdk=$3
umask 022 # the host trusts only what no one else may write
work=$(mktemp -d)
host_pid=
cleanup() {
    [ -z "$host_pid" ] || kill "$host_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# shellcheck source=tests/support/checks.sh
source "$(dirname "$0")/../support/checks.sh"

mapfile -t debs < <(bash "$source/scripts/package.sh" "$build" "$work")
root="$work/root"
for deb in "${debs[@]}"; do
    dpkg-deb -x "$deb" "$root"
done
version=$(dpkg-deb -f "${debs[0]}" Version)
kit="$root/usr/share/java/vesk-java.jar"
maven="$root/usr/share/maven-repo/br/com/ubrontex/vesk-java/$version"

# The manifest names the kit for tools and the module system.
mkdir "$work/manifest"
(cd "$work/manifest" && "$jdk/bin/jar" --extract --file "$kit" META-INF/MANIFEST.MF)
manifest=$(tr -d '\r' <"$work/manifest/META-INF/MANIFEST.MF")
for attribute in "Implementation-Title: vesk-java" "Implementation-Version: $version" \
    "Implementation-Vendor: Ubrontex" "Automatic-Module-Name: vesk.host"; do
    grep -qxF "$attribute" <<<"$manifest" || fail "the kit's manifest lacks '$attribute':"$'\n'"$manifest"
done
# What an IDE shows: every source of the kit, and its API's pages.
sources=$("$jdk/bin/jar" --list --file "$maven/vesk-java-$version-sources.jar" | LC_ALL=C sort)
expected=$(cd "$source/java" && find vesk/host -name '*.java' | LC_ALL=C sort)
[ "$sources" = "$expected" ] || fail "the sources jar holds"$'\n'"$sources"$'\n'"not"$'\n'"$expected"
"$jdk/bin/jar" --list --file "$maven/vesk-java-$version-javadoc.jar" | grep -qx 'vesk/host/VeskHost.html' ||
    fail "the javadoc jar has no vesk/host/VeskHost.html"

# served_or_ended FOLDER: the host's log in FOLDER, read into the caller's
# $logged, has the server's line, or the host has ended.
served_or_ended() {
    logged=$(cat "$1"/log/monitor_*.log 2>/dev/null | cut -c22-) || true
    grep -q "^KitServer|" <<<"$logged" || ! kill -0 "$host_pid" 2>/dev/null
}

# run NAME JAR: runs KitServer of JAR in the packaged host, the packaged kit
# beside it, until its log line shows that NAME built it; SIGTERM must end
# the host with 143.
run() {
    local name=$1 jar=$2 folder="$work/run-$1" line="KitServer|INFO|*|construido com $1"
    mkdir -p "$folder/conf" "$folder/log"
    cat >"$folder/conf/vesk.ini" <<INI
CLASSPATH=$jar:$kit
LIBRARY_PATH=$root/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/jni
library=vesk_java
ENTRY_CLASS=consumer/KitServer
INI
    (cd "$folder" && JAVA_HOME=$jdk exec "$root/usr/bin/vesk" BUILT "$name" >/dev/null 2>"$work/$name.err") &
    host_pid=$!
    local logged=
    wait_for 20 served_or_ended "$folder" || true
    kill -TERM "$host_pid" 2>/dev/null || true
    local status=0
    wait "$host_pid" || status=$?
    host_pid=
    [ "$status" -eq 143 ] || fail "$name: the host ended with $status, not 143: $(cat "$work/$name.err")"
    local got
    got=$(grep '^KitServer|' <<<"$logged") || true
    # shellcheck disable=SC2053
    [[ "$got" == $line ]] || fail "$name: the server logged '$got', not '$line'"$'\n'"$logged"
    echo "ok $name"
}

server="$source/tests/install/java_consumer"
mkdir "$work/javac"
quietly "$jdk/bin/javac" --release 17 -Xlint:all -Werror -cp "$kit" -d "$work/javac/classes" \
    "$server/src/main/java/consumer/KitServer.java"
quietly "$jdk/bin/jar" --create --file "$work/javac/kit-server.jar" -C "$work/javac/classes" .
run javac "$work/javac/kit-server.jar"

if ! command -v mvn >/dev/null; then
    echo "skipped: mvn is not installed (scripts/bootstrap.sh test installs it), no Maven build"
    exit 77
fi
# The one repository: Debian's, with the package's artifact laid over it.
mkdir "$work/repo"
cp -rs /usr/share/maven-repo/. "$work/repo/"
cp -rs --remove-destination "$root/usr/share/maven-repo/." "$work/repo/"
# Debian's repository has no checksum files; a profile redefining central
# lets the mirror ignore them rather than warn for each file.
policy="<releases><checksumPolicy>ignore</checksumPolicy></releases><snapshots><enabled>false</enabled></snapshots>"
cat >"$work/settings.xml" <<XML
<settings>
  <localRepository>$work/local</localRepository>
  <mirrors>
    <mirror><id>packages</id><mirrorOf>*</mirrorOf><url>file://$work/repo</url></mirror>
  </mirrors>
  <profiles>
    <profile>
      <id>unsigned</id>
      <repositories><repository><id>central</id><url>file://$work/repo</url>$policy</repository></repositories>
      <pluginRepositories>
        <pluginRepository><id>central</id><url>file://$work/repo</url>$policy</pluginRepository>
      </pluginRepositories>
    </profile>
  </profiles>
  <activeProfiles><activeProfile>unsigned</activeProfile></activeProfiles>
</settings>
XML
# The documented dependency (the "debian" version) and the release's own.
for wanted in debian "$version"; do
    cp -r "$server" "$work/maven-$wanted"
    (cd "$work/maven-$wanted" && MAVEN_SKIP_RC=1 JAVA_HOME=$jdk quietly mvn -B -s "$work/settings.xml" \
        -gs "$work/settings.xml" -Dvesk.version="$wanted" package)
done
run maven "$work/maven-debian/target/kit-server.jar"
run "maven-$version" "$work/maven-$version/target/kit-server.jar"

# With the jar alone, as the Windows installer ships it: install-file takes
# the coordinate from the POM inside it, into a local repository of its own,
# and the build finds the kit there and nothing of the package's repository.
sed -e "s|<localRepository>.*</localRepository>|<localRepository>$work/alone</localRepository>|" \
    -e "s|file://$work/repo|file:///usr/share/maven-repo|g" "$work/settings.xml" >"$work/alone.xml"
cp -r "$server" "$work/maven-alone"
(cd "$work/maven-alone" && MAVEN_SKIP_RC=1 JAVA_HOME=$jdk quietly mvn -B -s "$work/alone.xml" \
    -gs "$work/alone.xml" install:install-file -Dfile="$kit")
[ -f "$work/alone/br/com/ubrontex/vesk-java/$version/vesk-java-$version.pom" ] ||
    fail "install-file did not take br.com.ubrontex:vesk-java:$version from the jar"
(cd "$work/maven-alone" && MAVEN_SKIP_RC=1 JAVA_HOME=$jdk quietly mvn -B -s "$work/alone.xml" \
    -gs "$work/alone.xml" -Dvesk.version="$version" package)
run maven-alone "$work/maven-alone/target/kit-server.jar"
