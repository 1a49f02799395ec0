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
# wine_run <dir> <exe> <words...>: the program under $wine (the sourcing
# script's), started in dir; status, out.txt and err.txt in dir (CR LF as LF).
wine_run() {
  local dir=$1 exe=$2
  shift 2
  set +e
  (cd "$dir" && "$wine" "$exe" "$@" >out.raw 2>err.raw)
  status=$?
  set -e
  tr -d '\r' <"$dir/out.raw" >"$dir/out.txt"
  tr -d '\r' <"$dir/err.raw" >"$dir/err.txt"
}
lacks() { ! grep -qF -- "$2" "$1"; }
# checks_done: the number of failed checks, and the script's status.
checks_done() {
  echo "$failures failed"
  [ "$failures" -eq 0 ]
}
