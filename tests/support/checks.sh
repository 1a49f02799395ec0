# shellcheck shell=bash
# Shared by the shell tests (sourced): counted checks and the closing tally,
# fatal comparisons, and waiting on a condition instead of sleeping.
failures=0
check() { # check <what> <command...>: reports and counts a failed condition
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
# checks_done: the number of failed checks, and the script's status.
checks_done() {
  echo "$failures failed"
  [ "$failures" -eq 0 ]
}
contains() { grep -qF -- "$2" "$1"; }
lacks() { ! grep -qF -- "$2" "$1"; }
not() { ! "$@"; }

# fail <message...>: ends the test with status 1, the message on standard error.
fail() {
  printf 'FAIL %s\n' "$*" >&2
  exit 1
}
# quietly <command...>: runs a step, showing what it printed only when it fails.
quietly() {
  local out
  out=$("$@" 2>&1) || fail "$*"$'\n'"$out"
}
# same <name> <expected> <got>: "ok <name>", or fails showing both texts.
# With match=like, expected is a [[ ]] pattern instead of the exact text.
same() {
  local name=$1 expected=$2 got=$3
  if [ "${match:-exact}" = like ]; then
    # shellcheck disable=SC2053
    [[ "$got" == $expected ]] || fail "$name"$'\n--- expected\n'"$expected"$'\n--- got\n'"$got"
  else
    [ "$got" = "$expected" ] || fail "$name"$'\n--- expected\n'"$expected"$'\n--- got\n'"$got"
  fi
  echo "ok $name"
}

# wait_for <seconds> <command...>: runs the command every 0.1 s until it
# succeeds; after that many seconds of failing, says so on standard error and
# returns 1. The command runs in this shell, so it may set the caller's
# variables.
wait_for() {
  local seconds=$1 deadline
  shift
  deadline=$((${EPOCHREALTIME//[.,]/} + seconds * 1000000))
  until "$@"; do
    if [ "${EPOCHREALTIME//[.,]/}" -ge "$deadline" ]; then
      echo "wait_for: still failing after $seconds s: $*" >&2
      return 1
    fi
    sleep 0.1
  done
}

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

# Ends the test as skipped (77) when a folder above dir is one that every
# user may write: wine reads such a folder's mode (that of /tmp, say) as an
# access list that lets Everyone change anything below it, so the host
# trusts nothing there, from the JVM's library to its working folder.
skip_below_open_folder() {
  local folder=$1
  while [ "$folder" != / ]; do
    folder=$(dirname "$folder")
    if [ -n "$(find "$folder" -maxdepth 0 -perm -0002)" ]; then
      echo "SKIPPED: $folder, above the test's folder, reads under wine as a folder everyone may change; run the Windows suites from a checkout outside it"
      exit 77
    fi
  done
}
