#!/usr/bin/env bash
# The Jetty example (examples/jetty) loaded with wrk on loopback. Run by
# hand, never by the tests. Two uses:
#
#   bench/server_bench.sh [rounds] [seconds]      (defaults 3 and 10)
# The comparison: four ways in alternation, round after round: under vesk
# and under the plain java launcher with the same JVM options (the host's,
# then the heap from conf/jvm.options), each interpreted (-Xint) and with the
# JIT (what the host keeps on). Reports requests per second and the
# server's resident memory (after the load, and its peak), the medians over
# the rounds, and vesk's share of plain java's speed, round by round and its
# median.
#
#   bench/server_bench.sh budget [seconds]        (default 300)
# The log budget check: vesk alone, with the JIT and the example's default
# settings (the VERBOSITY of scripts/run-jetty.sh, the request log off),
# under wrk for the given time, then SIGTERM. Reports the bytes of the day's
# log, whether the host's daily 10 MiB budget was spent and whether Jetty's
# stop lines reached the log; exits 1 when the budget was spent or they did
# not.
#
# Environment: BENCH_PORT (18090), BENCH_PATH (/, the static page;
# /api/status is the servlet), BENCH_CONNECTIONS (8), BENCH_WARMUP (seconds,
# 5; the comparison only), BENCH_HEAP (-Xmx, 256m), BENCH_VERBOSITY (the
# comparison's, 4 as in scripts/run-jetty.sh; vesk logs into its daily log,
# plain java to standard error), BENCH_REQUEST_LOG (off; on logs a line per
# request, on both sides of the comparison).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
budget=""
if [ "${1:-}" = budget ]; then
  budget=yes
  seconds=${2:-300}
else
  rounds=${1:-3}
  seconds=${2:-10}
fi
port=${BENCH_PORT:-18090}
path=${BENCH_PATH:-/}
connections=${BENCH_CONNECTIONS:-8}
warmup=${BENCH_WARMUP:-5}
heap=${BENCH_HEAP:-256m}
verbosity=${BENCH_VERBOSITY:-4}
request_log=${BENCH_REQUEST_LOG:-off}
if [ -n "$budget" ]; then
  # What an operator starting the example gets.
  verbosity=$(sed -n 's/^VERBOSITY=//p' "$root/scripts/run-jetty.sh")
  request_log=off
fi
# The example's own option, given only when it differs from its default.
request_pairs=()
[ "$request_log" = off ] || request_pairs=(REQUEST_LOG "$request_log")

bash "$root/scripts/bootstrap.sh" build libjetty9-java wrk curl
testing=()
[ -f "$build/CMakeCache.txt" ] || testing=(-DBUILD_TESTING=OFF)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${testing[@]}" >/dev/null
cmake --build "$build" --target vesk vesk_java vesk_java_classes vesk_jetty_classes >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/vesk-server-bench.XXXXXX")
server=""
cleanup() {
  if [ -n "$server" ]; then kill -KILL "$server" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/conf" "$work/log"
ln -s "$root/examples/jetty/www" "$work/www"
lib="$build/examples/jetty/lib"
cat >"$work/conf/vesk.ini" <<INI
VERBOSITY=$verbosity
CLASSPATH=$lib/*
LIBRARY_PATH=$build/java
library=vesk_java
ENTRY_CLASS=vesk/jetty/JettyServer
INI

# start <way>: starts the server the named way in the background; its pid.
start() {
  local extra=(-Xmx"$heap")
  case $1 in *-int) extra=(-Xint "${extra[@]}") ;; esac
  printf '%s\n' "${extra[@]}" >"$work/conf/jvm.options"
  cd "$work"
  case $1 in
    vesk-*)
      "$build/src/host/vesk" PORT "$port" "${request_pairs[@]}" >"$work/$1.out" 2>"$work/$1.err" &
      ;;
    java-*)
      # The options the host gives its JVM, in the same order; the launcher
      # names the main class itself.
      java -Djava.compiler=NONE -cp "$lib/*" -Djava.library.path="$build/java" -Xss1m \
        -XX:-CreateCoredumpOnCrash -Xdebug "${extra[@]}" \
        vesk.jetty.JettyServer PORT "$port" VERBOSITY "$verbosity" "${request_pairs[@]}" \
        >"$work/$1.out" 2>"$work/$1.err" &
      ;;
  esac
  server=$!
  cd - >/dev/null
  for _ in $(seq 300); do
    if curl -s -o /dev/null "http://127.0.0.1:$port$path"; then return 0; fi
    sleep 0.1
  done
  echo "server_bench: $1 did not start:" >&2
  cat "$work/$1.err" >&2
  exit 1
}

stop() {
  kill -TERM "$server"
  wait "$server" 2>/dev/null || true
  server=""
}

# kib <field> <pid>: a memory figure of the process from /proc, in KiB.
kib() { awk -v f="$1:" '$1 == f { print $2 }' "/proc/$2/status"; }

if [ -n "$budget" ]; then
  budget_bytes=10485760
  echo "server_bench: log budget, vesk with the JIT and -Xmx$heap, VERBOSITY=$verbosity, request log off," \
    "wrk -t1 -c$connections for $seconds s on http://127.0.0.1:$port$path" >&2
  start vesk-jit
  wrk -t1 -c"$connections" -d"${seconds}s" "http://127.0.0.1:$port$path" | grep -E 'requests in|Requests/sec' >&2
  stop
  # A run across midnight writes two days' files, each with a budget of its
  # own; the host tells a spent one on standard error.
  bytes=$(cat "$work"/log/monitor_*.log | wc -c)
  lines=$(cat "$work"/log/monitor_*.log | wc -l)
  spent=no
  if grep -q 'limite diario do log atingido' "$work/vesk-jit.err"; then spent=yes; fi
  stopped=no
  if grep -q 'Stopped ServerConnector' "$work"/log/monitor_*.log; then stopped=yes; fi
  printf 'bytes logged: %d in %d lines (%.2f%% of the %d-byte budget)\n' "$bytes" "$lines" \
    "$(awk -v b="$bytes" -v t="$budget_bytes" 'BEGIN { print 100 * b / t }')" "$budget_bytes"
  echo "budget spent: $spent; stop lines logged: $stopped"
  [ "$spent" = no ] && [ "$stopped" = yes ]
  exit
fi

ways=(vesk-int java-int vesk-jit java-jit)
declare -A rps rss hwm ratio
echo "server_bench: $rounds rounds of $seconds s (after $warmup s of warm-up), wrk -t1 -c$connections" \
  "on http://127.0.0.1:$port$path, -Xmx$heap, VERBOSITY=$verbosity, request log $request_log" >&2
for round in $(seq "$rounds"); do
  # The two sides of a mode run back to back, so that each pair meets the
  # same load on the machine; which side and which mode go first alternates.
  modes=(int jit)
  sides=(vesk java)
  if [ $((round % 2)) -eq 0 ]; then modes=(jit int); sides=(java vesk); fi
  for mode in "${modes[@]}"; do
    declare -A rate=()
    for side in "${sides[@]}"; do
      way=$side-$mode
      start "$way"
      wrk -t1 -c"$connections" -d"${warmup}s" "http://127.0.0.1:$port$path" >/dev/null
      result=$(wrk -t1 -c"$connections" -d"${seconds}s" "http://127.0.0.1:$port$path")
      rate[$side]=$(awk '/^Requests\/sec:/ { print $2 }' <<<"$result")
      rps[$way]+="${rate[$side]} "
      rss[$way]+="$(kib VmRSS "$server") "
      hwm[$way]+="$(kib VmHWM "$server") "
      stop
      printf '  round %d  %-8s %10.0f requests/s\n' "$round" "$way" "${rate[$side]}" >&2
    done
    ratio[$mode]+="$(awk -v v="${rate[vesk]}" -v j="${rate[java]}" 'BEGIN { print v / j }') "
  done
done

median() { tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
printf '%-8s %12s %14s %14s\n' way requests/s "RSS MiB" "peak RSS MiB"
for way in "${ways[@]}"; do
  printf '%-8s %12.0f %14.1f %14.1f\n' "$way" "$(median <<<"${rps[$way]}")" \
    "$(median <<<"${rss[$way]}" | awk '{ print $1 / 1024 }')" \
    "$(median <<<"${hwm[$way]}" | awk '{ print $1 / 1024 }')"
done
for mode in int jit; do
  printf 'vesk / java, %s: %.3f (median of the rounds: %s)\n' "$mode" "$(median <<<"${ratio[$mode]}")" \
    "$(printf '%.3f ' ${ratio[$mode]})"
done
