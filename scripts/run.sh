#!/usr/bin/env bash
# Builds the host and the demo Java server and starts the host on the demo in
# the foreground in run/, a runtime folder with conf/vesk.ini and log/.
# Arguments are passed on as <Param> <Val> pairs (for example PORT 9100).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"

bash "$root/scripts/bootstrap.sh" build
# A new build folder is made without the tests, which need more packages
# (scripts/test.sh turns them on); an existing one keeps its settings.
testing=()
[ -f "$build/CMakeCache.txt" ] || testing=(-DBUILD_TESTING=OFF)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${testing[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" --target vesk vesk_java vesk_java_classes vesk_demo_classes

runtime="$root/run"
mkdir -p "$runtime/conf" "$runtime/log"
# Rewritten on every start so that it always names this build's demo; put
# other options on the command line, which overrides the file.
cat > "$runtime/conf/vesk.ini" <<INI
VERBOSITY=4
PORT=9000
CLASSPATH=$build/examples/vesk-demo.jar:$build/java/vesk-java.jar
LIBRARY_PATH=$build/java
library=vesk_java
ENTRY_CLASS=vesk/demo/StatusServer
INI

cd "$runtime"
echo "vesk: running in $runtime; log lines go to $runtime/log/ (Ctrl-C stops it)" >&2
# Without pairs, one word starts the host on the ini file alone (a single
# word is ignored; no words at all would only print the usage).
[ $# -gt 0 ] || set -- start
exec "$build/src/host/vesk" "$@"
