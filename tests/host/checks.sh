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
