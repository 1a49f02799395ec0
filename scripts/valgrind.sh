#!/usr/bin/env bash
# Runs every test program without the jvm label (the JVM's own memory
# handling drowns valgrind), the install, service or docs label (scripts) under
# valgrind --leak-check=full, each program once over all its tests: the
# GoogleTest suites whole, the fuzz replay drivers over their whole corpus.
# Fails when any program shows an error or a leak. Its own build, build-valgrind,
# gives every JSON record a malloc block of its own, so valgrind sees each.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/bootstrap.sh test valgrind
cmake -S . -B build-valgrind -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESK_WERROR=ON -DBUILD_TESTING=ON \
  -DVESK_JSON_MALLOC_RECORDS=ON >/dev/null
cmake --build build-valgrind -j "$(nproc)"

# One line per program: the command to run (program and arguments, tab-separated).
programs=$(ctest --test-dir build-valgrind --show-only=json-v1 -LE "jvm|install|service|docs" | python3 -c '
import json, sys
runs = {}
for test in json.load(sys.stdin)["tests"]:
    command = test.get("command")
    if not command:
        continue
    if any(arg.startswith("--gtest_filter") for arg in command[1:]):
        runs.setdefault(command[0], [])
    else:
        runs.setdefault(command[0], []).extend(command[1:])
for program, args in runs.items():
    print("\t".join([program] + args))
')

# valgrind keeps descriptors of its own, so the tests that run the cleanup
# under a lowered descriptor limit cannot run under it.
export GTEST_FILTER='-DeleteDeep.TreesDeeperThanTheDescriptorLimitAreWhollyCleaned:DeleteDeep.AFolderThatCannotBeOpenedLeavesTheRunIncomplete'
failed=0
while IFS=$'\t' read -r -a command; do
  echo "== ${command[*]:0:2}" >&2
  if ! valgrind --quiet --leak-check=full --errors-for-leak-kinds=definite,indirect \
      --error-exitcode=1 "${command[@]}" >/dev/null; then
    echo "valgrind: FAILED ${command[0]}" >&2
    failed=1
  fi
done <<<"$programs"
exit $failed
