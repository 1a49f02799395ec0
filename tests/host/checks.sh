# shellcheck shell=bash
# Shared by the host's shell tests (sourced): counted checks and the closing
# tally.
failures=0
check() { # check <what> <command...>: reports and counts a failed condition
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
contains() { grep -qF -- "$2" "$1"; }
lacks() { ! grep -qF -- "$2" "$1"; }
# checks_done: the number of failed checks, and the script's status.
checks_done() {
  echo "$failures failed"
  [ "$failures" -eq 0 ]
}
