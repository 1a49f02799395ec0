#!/usr/bin/env bash
# Start-up of the host beside the plain java launcher, in alternation round
# after round: the time from exec to the entry class's start() (the moment it
# writes its mark line on standard output) and the resident memory right
# after it (VmRSS). Both start the same JVM with the host's options and the
# same class (bench/java/vesk/bench/StartupMark.java). A third side, for a
# host that links libcurl (as vesk did before the HTTP client loaded it at
# its first transfer; BENCH_VESK names such a build), is java with that
# libcurl preloaded: what the host maps beyond the JVM at exec.
# Reports the medians and vesk's time over java's, round by round and its
# median. Run by hand, never by the tests:
#   bench/startup_bench.sh [rounds]               (default 21)
# Environment: BENCH_VESK (the host to measure; build/src/host/vesk),
# BENCH_JAVA (the java launcher; the first on PATH, whose JDK is also given
# to vesk as JAVA_HOME), BENCH_VERBOSITY (the ini's VERBOSITY, 4).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
rounds=${1:-21}
verbosity=${BENCH_VERBOSITY:-4}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target vesk vesk_startup_classes >/dev/null
vesk=${BENCH_VESK:-$build/src/host/vesk}
java=$(readlink -f "${BENCH_JAVA:-$(command -v java)}")
jdk=$(dirname "$(dirname "$java")")
jar="$build/bench/vesk-startup-classes.jar"

work=$(mktemp -d "${TMPDIR:-/tmp}/vesk-startup-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/conf" "$work/log"
cat >"$work/conf/vesk.ini" <<INI
VERBOSITY=$verbosity
CLASSPATH=$jar
ENTRY_CLASS=vesk/bench/StartupMark
INI

libcurl=$(ldd "$vesk" | awk '/libcurl/ { print $3 }')
echo "startup_bench: $rounds rounds, $vesk beside $java" >&2
# The options the host gives its JVM, in the same order; the launcher names
# the main class itself.
JAVA_HOME=$jdk python3 - "$rounds" "$work" "$vesk" "$libcurl" "$java" -Djava.compiler=NONE \
  -Djava.class.path="$jar" -Djava.library.path=bin -Xss1m -XX:-CreateCoredumpOnCrash -Xdebug \
  vesk.bench.StartupMark <<'PY'
import os, signal, statistics, subprocess, sys, time

rounds, work, vesk, libcurl = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
java = sys.argv[5:]
commands = {"vesk": ([vesk, "start"], {}), "java": (java, {})}
if libcurl:
    commands["java+libcurl"] = (java, {"LD_PRELOAD": libcurl})
sides = list(commands)

def once(side):
    """Milliseconds from exec to the mark, and VmRSS in MiB right after it."""
    command, extra = commands[side]
    begin = time.perf_counter_ns()
    process = subprocess.Popen(command, cwd=work, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, env={**os.environ, **extra})
    try:
        for line in process.stdout:
            if line.startswith(b"vesk-bench-started"):
                break
        else:
            sys.exit(f"startup_bench: {side} ended without reaching start()")
        elapsed = (time.perf_counter_ns() - begin) / 1e6
        with open(f"/proc/{process.pid}/status") as status:
            rss = next(int(l.split()[1]) for l in status if l.startswith("VmRSS:")) / 1024
    finally:
        process.send_signal(signal.SIGKILL)
        process.wait()
    return elapsed, rss

for side in sides:  # warm the page cache; not counted
    once(side)
results = {side: [] for side in sides}
ratios = []
for round_ in range(rounds):
    # Each side goes first in turn.
    order = sides[round_ % len(sides):] + sides[:round_ % len(sides)]
    got = {side: once(side) for side in order}
    for side in order:
        results[side].append(got[side])
    ratios.append(got["vesk"][0] / got["java"][0])
    print(f"  round {round_ + 1:2d}  " + "  ".join(f"{side} {got[side][0]:6.1f} ms" for side in sides),
          file=sys.stderr)

print(f"{'side':12} {'start() ms':>11} {'RSS MiB':>8}")
for side in sides:
    print(f"{side:12} {statistics.median(t for t, _ in results[side]):11.1f} "
          f"{statistics.median(r for _, r in results[side]):8.1f}")
print(f"vesk / java: {statistics.median(ratios):.3f} "
      f"(rounds: {' '.join(f'{r:.3f}' for r in ratios)})")
PY
