#!/usr/bin/env bash
# Builds everything with warnings as errors and runs the whole suite, in
# which every suite that starts a JVM runs once more under -Xcheck:jni (the
# tests labelled check-jni) and the packages are installed and run as a
# service in a booted Debian root (label service); then runs the suites that
# start no JVM and install nothing again under AddressSanitizer and
# UndefinedBehaviorSanitizer; then the Windows build under wine
# (scripts/test-windows.sh). Every run goes on when one before it failed; the
# last line adds them all up, "N passed, N failed, N skipped", and the exit
# status is non-zero when anything failed.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
root=$PWD

if ! bash scripts/bootstrap.sh test; then
  echo "0 passed, 1 failed, 0 skipped"
  exit 1
fi

jobs=$(nproc)
results=$root/build-results
rm -rf "$results"
mkdir -p "$results"
failed_steps=0
runs=()

step() { # step NAME COMMAND...: runs the command, counting its failure
  local name=$1 start=$SECONDS
  shift
  echo "test: $name" >&2
  if "$@"; then
    echo "test: $name done in $((SECONDS - start)) s" >&2
    return 0
  fi
  echo "test: $name FAILED after $((SECONDS - start)) s" >&2
  failed_steps=$((failed_steps + 1))
  return 1
}

suites() { # suites NAME BUILD_DIR CTEST_ARGUMENT...: ctest, its results kept for the summary
  local name=$1 dir=$2 start=$SECONDS
  shift 2
  echo "test: $name suites" >&2
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --output-junit "$results/$name.xml" "$@"
  echo "test: $name suites done in $((SECONDS - start)) s" >&2
  runs+=("$name=$results/$name.xml")
}

build() { # build DIR CMAKE_OPTION...
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DVESK_WERROR=ON -DBUILD_TESTING=ON "$@" >/dev/null &&
    cmake --build "$dir" -j "$jobs"
}

# The machine's own fallback log file: every test that reaches the fallback
# runs with a /tmp of its own, so a whole run leaves this one as it was.
machine_fallback=/tmp/ubrontex.log
fallback_state() {
  stat -c 'size %s, modified %y, inode %i' "$machine_fallback" 2>/dev/null || echo absent
}
fallback_before=$(fallback_state)
fallback_untouched() {
  local after
  after=$(fallback_state)
  [ "$after" = "$fallback_before" ] && return 0
  echo "test: the run changed $machine_fallback (before: $fallback_before; after: $after)" >&2
  return 1
}

if step "Linux build" build build -DCMAKE_BUILD_TYPE=RelWithDebInfo; then
  suites linux build
fi

if step "sanitizer build" build build-asan -DCMAKE_BUILD_TYPE=Debug -DVESK_SANITIZE=ON; then
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    suites sanitizer build-asan -LE "jvm|install|service"
fi

# The same tree for Windows: i686 built and inspected, x86_64 tested under
# wine; its checks outside ctest count as one step.
export VESK_JUNIT=$results/windows.xml
step "Windows build and checks" bash scripts/test-windows.sh
[ ! -f "$VESK_JUNIT" ] || runs+=("windows=$VESK_JUNIT")

step "$machine_fallback left as it was" fallback_untouched

summary=$(python3 scripts/junit_summary.py "$failed_steps" "${runs[@]}")
status=$?
# Above the total, the wine suites' tests that passed only on their second
# run (scripts/test-windows.sh lists them beside its results).
sed '$d' <<<"$summary"
retried=${VESK_JUNIT%.xml}-retried.txt
[ ! -s "$retried" ] || sed 's/^/  passed only on its second run: /' "$retried"
tail -n 1 <<<"$summary"
exit "$status"
