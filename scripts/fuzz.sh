#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (plus AddressSanitizer and
# UndefinedBehaviorSanitizer, every JSON record its own malloc block) into
# build-fuzz/ and runs one target, or every target in turn, for SECONDS each
# (default 60) on a copy of its corpus, so the committed corpus is never
# rewritten. Findings land in build-fuzz/.
#   scripts/fuzz.sh TARGET|all [SECONDS [LIBFUZZER-OPTION...]]
# e.g. scripts/fuzz.sh all 600 -runs=10000000 stops each target at whichever
# limit comes first.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() { echo "usage: $0 TARGET|all [SECONDS [LIBFUZZER-OPTION...]]" >&2; exit 2; }
[ $# -ge 1 ] || usage
target=$1
seconds=${2:-60}
shift $(($# < 2 ? $# : 2))

bash scripts/bootstrap.sh build clang

targets=$(sed -n 's/^ *\([a-z_0-9]*\):vesk_.*/\1/p' fuzz/CMakeLists.txt)
if [ "$target" = all ]; then
  run=$targets
elif grep -qx "$target" <<<"$targets"; then
  run=$target
else
  echo "unknown target '$target'; one of: all" $targets >&2
  exit 2
fi

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DVESK_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
# shellcheck disable=SC2086
cmake --build build-fuzz --target $(printf 'fuzz_%s ' $run)

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=""
for t in $run; do
  work=build-fuzz/runs/$t
  rm -rf "$work/corpus"
  mkdir -p "$work/corpus" "$work/findings"
  cp fuzz/corpus/"$t"/* "$work/corpus/"
  echo "== $t: $seconds s" >&2
  build-fuzz/fuzz/fuzz_"$t" -max_total_time="$seconds" -print_final_stats=1 \
    -timeout=20 -artifact_prefix="$work/findings/" "$@" "$work/corpus" || failed="$failed $t"
done
if [ -n "$failed" ]; then
  echo "findings in:$failed (see build-fuzz/runs/<target>/findings/)" >&2
  exit 1
fi
