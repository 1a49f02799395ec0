#!/usr/bin/env bash
# Builds the host and the Jetty example (examples/jetty) and starts the host
# on it in the foreground in run/jetty/, a runtime folder with conf/vesk.ini,
# log/ and www/ (the example's pages). Arguments are passed on as
# <Param> <Val> pairs: PORT 8180, and the example's own options, which
# conf/vesk.ini does not take (it holds only the host's option names):
# REQUEST_LOG on (one log line per request; off by default, as a loaded
# server would spend the log budget in seconds), WWW <folder>, BIND <address>.
#   scripts/run-jetty.sh PORT 8180 REQUEST_LOG on
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"

bash "$root/scripts/bootstrap.sh" build libjetty9-java
testing=()
[ -f "$build/CMakeCache.txt" ] || testing=(-DBUILD_TESTING=OFF)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${testing[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" --target vesk vesk_java vesk_java_classes vesk_jetty_classes

runtime="$root/run/jetty"
mkdir -p "$runtime/conf" "$runtime/log"
ln -sfn "$root/examples/jetty/www" "$runtime/www"
# Rewritten on every start so that it always names this build's example;
# build/examples/jetty/lib/ holds a link to every jar it needs.
cat > "$runtime/conf/vesk.ini" <<INI
VERBOSITY=4
PORT=8080
CLASSPATH=$build/examples/jetty/lib/*
LIBRARY_PATH=$build/java
library=vesk_java
ENTRY_CLASS=vesk/jetty/JettyServer
INI

# A server wants the JIT: -Xdebug lifts the interpreted mode that the host
# asks for, and -Xmx bounds the heap. Set JAVA_TOOL_OPTIONS to change both.
export JAVA_TOOL_OPTIONS="${JAVA_TOOL_OPTIONS--Xdebug -Xmx256m}"

cd "$runtime"
echo "vesk: Jetty running in $runtime (PORT 8080 unless given); log lines go to $runtime/log/ (Ctrl-C stops it)" >&2
[ $# -gt 0 ] || set -- start
exec "$build/src/host/vesk" "$@"
