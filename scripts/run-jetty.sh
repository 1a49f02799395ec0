#!/usr/bin/env bash
# Builds the host and the Jetty example (examples/jetty) and starts the host
# on it in the foreground in run/jetty/, a runtime folder with log/, www/
# (the example's pages) and conf/: vesk.ini (the host's options), jvm.options
# (the heap) and server.ini (the example's own options: WWW <folder>,
# BIND <address>, REQUEST_LOG on for one log line per request, off by default
# as a loaded server would spend the log budget in seconds). Arguments are
# passed on as <Param> <Val> pairs, which win over the files:
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
# Written once, then yours to edit: the JIT is on unless a line says -Xint.
[ -f "$runtime/conf/jvm.options" ] || cat > "$runtime/conf/jvm.options" <<OPTIONS
# One JVM option per line, after the host's own (the later option wins).
-Xmx256m
OPTIONS
[ -f "$runtime/conf/server.ini" ] || cat > "$runtime/conf/server.ini" <<INI
# The example's own options (NAME=value); the command line wins over them.
WWW=www
BIND=127.0.0.1
REQUEST_LOG=off
INI

cd "$runtime"
echo "vesk: Jetty running in $runtime (PORT 8080 unless given); log lines go to $runtime/log/ (Ctrl-C stops it)" >&2
[ $# -gt 0 ] || set -- start
exec "$build/src/host/vesk" "$@"
