#!/usr/bin/env bash
# The shell tests' helpers (checks.sh) on conditions whose outcome is known:
# wait_for's bound and message, the tally of check, same's two ways of
# comparing and fail's status.
#   checks_test.sh
set -euo pipefail
tmp=$(mktemp -d "${TMPDIR:-/tmp}/vesk-checks-XXXXXX")
trap 'rm -rf "$tmp"' EXIT
# shellcheck source=tests/support/checks.sh
source "$(dirname "$0")/checks.sh"

# timed <command...>: runs it in a subshell; $took its milliseconds, $status
# its status, $tmp/out.txt and err.txt its output.
timed() {
  local start=${EPOCHREALTIME//[.,]/}
  status=0
  ("$@") >"$tmp/out.txt" 2>"$tmp/err.txt" || status=$?
  took=$(((${EPOCHREALTIME//[.,]/} - start) / 1000))
}

# wait_for: at once when the condition holds, as soon as it comes to hold,
# and with a message after the bound when it never does.
timed wait_for 5 true
check "wait_for, holding: status 0 at once ($took ms)" test "$status" -eq 0 -a "$took" -lt 1000
check "wait_for, holding: nothing said" test ! -s "$tmp/err.txt"
(sleep 0.5 && touch "$tmp/late") &
timed wait_for 5 test -e "$tmp/late"
check "wait_for, coming to hold: status 0 soon after ($took ms)" test "$status" -eq 0 -a "$took" -lt 2000
timed wait_for 1 test -e "$tmp/never"
check "wait_for, never holding: status 1" test "$status" -eq 1
check "wait_for, never holding: the bound kept ($took ms)" test "$took" -ge 1000 -a "$took" -lt 2000
check "wait_for, never holding: says what it waited for" \
  contains "$tmp/err.txt" "wait_for: still failing after 1 s: test -e $tmp/never"
# The condition runs in the caller's shell: what it sets is seen after.
tries=0
counted() { tries=$((tries + 1)); [ "$tries" -ge 3 ]; }
wait_for 5 counted
check "wait_for: the condition's variables reach the caller" test "$tries" -eq 3

# check counts what failed; checks_done tells by its status.
inner=$( (failures=0; check one true; check two false; check three false; checks_done) || echo "status $?")
check "check and checks_done: two failed of three" test "$inner" = $'ok: one\nFAILED: two\nFAILED: three\n2 failed\nstatus 1'

# same: the exact text, or with match=like a pattern; otherwise fail, which
# ends the script with status 1 and shows both texts.
timed same exact "a*" "a*"
check "same: equal texts pass" test "$status" -eq 0
timed same exact "a*" "ab"
check "same: a pattern is no pattern unless asked for" test "$status" -eq 1
check "same: the failure shows both texts" contains "$tmp/err.txt" $'FAIL exact\n--- expected\na*\n--- got\nab'
match=like timed same like "a*" "ab"
check "same, match=like: a matching text passes" test "$status" -eq 0
match=like timed same like "a*" "ba"
check "same, match=like: another text fails" test "$status" -eq 1

checks_done
