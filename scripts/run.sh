#!/usr/bin/env bash
# Builds the host and starts it in the foreground in run/, a runtime folder
# with conf/vesk.ini and log/. Arguments are passed on as <Param> <Val> pairs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

bash "$root/scripts/bootstrap.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j "$(nproc)" --target vesk

runtime="$root/run"
mkdir -p "$runtime/conf" "$runtime/log"
if [ ! -f "$runtime/conf/vesk.ini" ]; then
  cat > "$runtime/conf/vesk.ini" <<'INI'
# Options of the VESK service; command-line pairs override them.
VERBOSITY=4
PORT=9000
INI
fi

cd "$runtime"
echo "vesk: running in $runtime; log lines go to $runtime/log/ (Ctrl-C stops it)" >&2
# Without pairs, one word starts the host on the ini file alone (a single
# word is ignored; no words at all would only print the usage).
[ $# -gt 0 ] || set -- start
exec "$root/build/src/host/vesk" "$@"
