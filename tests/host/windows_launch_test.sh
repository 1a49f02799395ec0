#!/usr/bin/env bash
# The launch of vesk.exe under wine against the stand-in jvm.dll (fake_jvm.c),
# laid out as a Java runtime shipped beside the executable:
#   windows_launch_test.sh <vesk.exe> <fake jvm.dll> <wine runner>
set -euo pipefail
vesk=$1 fake=$2 wine=$3
tmp=$(mktemp -d "${TMPDIR:-/tmp}/vesk-windows-launch-XXXXXX")
trap 'rm -rf "$tmp"' EXIT

app=$tmp/app
mkdir -p "$app/jre/bin/server"
cp "$vesk" "$app/vesk.exe"
cp "$fake" "$app/jre/bin/server/jvm.dll"

failures=0
check() { # check <what> <command...>: reports and counts a failed condition
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
contains() { grep -qF -- "$2" "$1"; }

# run <dir> <exe> <words...>: status, out.txt and err.txt in dir (CR LF as LF).
run() {
  local dir=$1 exe=$2
  shift 2
  set +e
  (cd "$dir" && "$wine" "$exe" "$@" >out.raw 2>err.raw)
  status=$?
  set -e
  tr -d '\r' <"$dir/out.raw" >"$dir/out.txt"
  tr -d '\r' <"$dir/err.raw" >"$dir/err.txt"
}

# A working folder with conf\vesk.ini and, unless told otherwise, log\.
workdir() {
  local dir=$tmp/$1
  mkdir -p "$dir/conf"
  [ "${2:-}" = nolog ] || mkdir -p "$dir/log"
  printf 'VERBOSITY=4\nCLASSPATH=app.jar\n' >"$dir/conf/vesk.ini"
  echo "$dir"
}
todays_log() { echo "$1/log/monitor_$(date +%Y%m%d).log"; }

dir=$(workdir usage)
run "$dir" "$app/vesk.exe"
check "no words: status 2" test "$status" -eq 2
check "no words: banner" contains "$dir/err.txt" "Descricao:"
check "no words: usage" contains "$dir/err.txt" "<Param 1> <Val 1> ... <Param N> <Val N>"

run "$dir" "$app/vesk.exe" PORT 1 X
check "odd words: status 3" test "$status" -eq 3
check "odd words: message" contains "$dir/err.txt" "Parametros devem vir em pares."

dir=$(workdir refused)
run "$dir" "$app/vesk.exe" CLASSPATH refuse
check "refused JVM: status 2" test "$status" -eq 2
check "refused JVM: message" contains "$dir/err.txt" "Erro ao tentar carregar JVM."
printf 'Parametros JVM\n\t-Djava.compiler=NONE\n\t-Djava.class.path=refuse\n\t-Djava.library.path=bin\n\t-Xss1m\n\t-XX:-CreateMinidumpOnCrash\nInicia JVM\n' >"$tmp/options.txt"
check "refused JVM: option listing on standard output" cmp -s "$dir/out.txt" "$tmp/options.txt"
check "refused JVM: logged" contains "$(todays_log "$dir")" "|VESK| Falha ao tentar iniciar JVM."

dir=$(workdir missing)
run "$dir" "$app/vesk.exe" ENTRY_CLASS missing/Entry PORT 8080
check "missing class: status 3" test "$status" -eq 3
check "missing class: message" contains "$dir/err.txt" "Classe 'missing/Entry' nao encontrada."
log=$(todays_log "$dir")
check "missing class: logged" contains "$log" "|VESK| Falha ao tentar iniciar VESKServer."
check "merged parameters: from the ini file" contains "$log" "|VESK| 	'CLASSPATH' = 'app.jar'"
check "merged parameters: from the command line" contains "$log" "|VESK| 	'PORT' = '8080'"
check "daily file name" test -f "$dir/log/monitor_$(date +%Y%m%d).log"

# Without log\ every line goes to c:\ubrontex.log after a notice.
dir=$(workdir fallback nolog)
marker="fallback-$RANDOM$RANDOM"
run "$dir" "$app/vesk.exe" ENTRY_CLASS missing/Entry MARK "$marker"
check "no log folder: status 3" test "$status" -eq 3
(cd "$dir" && "$wine" cmd /c type 'c:\ubrontex.log' 2>/dev/null | tr -d '\r' >fallback.txt) || true
check "no log folder: notice in the fallback file" contains "$dir/fallback.txt" "Falha ao tentar abrir log em: '"
check "no log folder: line in the fallback file" contains "$dir/fallback.txt" "'MARK' = '$marker'"

# A launch that succeeds: the stand-in's start relays a line through the
# callback, and the host sleeps on until it is stopped.
dir=$(workdir started)
(cd "$dir" && exec "$wine" "$app/vesk.exe" ENTRY_CLASS fake/Entry >/dev/null 2>&1) &
host=$!
log=$(todays_log "$dir")
for _ in $(seq 300); do
  grep -qF "fake|INFO|0|started" "$log" 2>/dev/null && break
  sleep 0.1
done
check "started: relayed line in the log" contains "$log" ": fake|INFO|0|started"
check "started: host still running" kill -0 "$host"
kill "$host" 2>/dev/null || true
wait "$host" 2>/dev/null || true

# No jvm.dll anywhere: the JVM cannot start.
dir=$(workdir nojvm)
run "$dir" "$vesk" CLASSPATH app.jar
check "no jvm.dll: status 2" test "$status" -eq 2
check "no jvm.dll: message" contains "$dir/err.txt" "Erro ao tentar carregar JVM."

echo "$failures failed"
[ "$failures" -eq 0 ]
