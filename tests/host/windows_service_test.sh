#!/usr/bin/env bash
# vesk.exe as a service of wine's service manager, against the stand-in
# jvm.dll (fake_jvm.c): install, start, stop through the Java side's exit, a
# failed launch, a stop that reaches its bound, uninstall:
#   windows_service_test.sh <vesk.exe> <fake jvm.dll> <wine runner>
# The prefix must run one wineserver kept alive (wineserver -p), as
# scripts/test-windows.sh starts it. Exits 77 (skipped) when the prefix has
# a vesk service of its own.
set -euo pipefail
vesk=$1 fake=$2 wine=$3
tmp=$(mktemp -d "${TMPDIR:-/tmp}/vesk-windows-service-XXXXXX")
app=$tmp/app
installed=no
cleanup() {
  if [ "$installed" = yes ]; then "$wine" "$app/vesk.exe" uninstall >/dev/null 2>&1 || true; fi
  rm -rf "$tmp"
}
trap cleanup EXIT
unset JAVA_HOME

# shellcheck source=tests/support/checks.sh
source "$(dirname "$0")/../support/checks.sh"
skip_below_open_folder "$tmp"

# no_service: the prefix has no service vesk.
no_service() { ! "$wine" sc query vesk >/dev/null 2>&1; }
# A service left by an earlier run of this test that was killed (its
# program is in a folder of this test's) is removed; any other is not ours.
if ! no_service; then
  image=$("$wine" reg query 'HKLM\System\CurrentControlSet\Services\vesk' /v ImagePath 2>/dev/null |
    tr -d '\r' | sed -n 's/^ *ImagePath *REG_[A-Z_]* *//p')
  case $image in
  *'\vesk-windows-service-'??????'\app\vesk.exe"'*)
    "$wine" sc stop vesk >/dev/null 2>&1 || true
    "$wine" sc delete vesk >/dev/null 2>&1 || true
    wait_for 20 no_service || true
    ;;
  esac
  if ! no_service; then
    echo "SKIPPED: this prefix has a service vesk of its own ($image; remove it with: sc delete vesk)"
    exit 77
  fi
fi

mkdir -p "$app/jre/bin/server" "$app/conf" "$app/log"
cp "$vesk" "$app/vesk.exe"
cp "$fake" "$app/jre/bin/server/jvm.dll"
printf 'VERBOSITY=4\nENTRY_CLASS=fake/Entry\n' >"$app/conf/vesk.ini"
log=$app/log/monitor_$(date +%Y%m%d).log

# vesk_exe <words...>: vesk.exe from a command line; status, out.txt and err.txt.
vesk_exe() { wine_run "$tmp" "$app/vesk.exe" "$@"; }

# state: the service's state, Win32 exit code and service-specific code
# ("RUNNING 0 0"), or "absent".
state() {
  local text
  text=$("$wine" sc query vesk 2>/dev/null | tr -d '\r') || { echo absent; return; }
  awk '/ STATE / { s = $4 } / WIN32_EXIT_CODE / { w = $3 } / SERVICE_EXIT_CODE / { c = $3 }
    END { print s, w, c }' <<<"$text"
}

# in_state <state>: $now is the state, which begins with the one given.
in_state() {
  now=$(state)
  case $now in "$1"*) return 0 ;; esac
  return 1
}
# await <state>: polls until the state begins with it (20 s at most);
# $now is the last state seen, $elapsed the milliseconds since $since.
await() {
  wait_for 20 in_state "$1" || true
  elapsed=$((($(date +%s%N) - since) / 1000000))
}

# running: the service's process runs (wine shows processes by their
# Windows paths).
running() { pgrep -f "${tmp##*/}.app.vesk.exe" >/dev/null; }

# after <text> <later>: the log holds later on a line after one holding text.
after() { awk -v a="$1" -v b="$2" 'index($0, a) { seen = 1 } seen && index($0, b) { found = 1 }
  END { exit !found }' "$log"; }

vesk_exe uninstall
check "uninstall when absent: status 6" test "$status" -eq 6
check "uninstall when absent: message" contains "$tmp/err.txt" "Servico 'vesk' nao esta instalado."

vesk_exe uninstall PORT
check "uninstall with words: status 3" test "$status" -eq 3
check "uninstall with words: message" contains "$tmp/err.txt" "O comando uninstall nao recebe parametros."

vesk_exe install PORT
check "install, words not in pairs: status 3" test "$status" -eq 3
check "install, words not in pairs: message" contains "$tmp/err.txt" "Parametros devem vir em pares."

# Kept pairs: words that need quoting (blanks, a trailing backslash, a
# quote, nothing at all), and a key that is a command word, which the
# service's start takes as a pair.
vesk_exe install install 1 PORT 9100 NAME "a b" DIR 'C:\a b\' QUOTE 'x\"y' EMPTY ''
[ "$status" -ne 0 ] || installed=yes
check "install: status 0" test "$status" -eq 0
check "install: message" contains "$tmp/out.txt" "Servico 'vesk' (VESK - Service) instalado"
"$wine" reg query 'HKLM\System\CurrentControlSet\Services\vesk' 2>/dev/null | tr -d '\r' >"$tmp/reg.txt"
windows_exe="Z:${app//\//\\}\\vesk.exe"
check "install: the pairs kept as the command line" contains "$tmp/reg.txt" \
  "\"$windows_exe\" install 1 PORT 9100 NAME \"a b\" DIR \"C:\\a b\\\\\" QUOTE \"x\\\\\\\"y\" EMPTY \"\""
check "install: display name" contains "$tmp/reg.txt" "VESK - Service"
check "install: automatic start" grep -qE 'Start[[:space:]]+REG_DWORD[[:space:]]+0x2$' "$tmp/reg.txt"

vesk_exe install PORT 9200
check "install twice: status 5" test "$status" -eq 5
check "install twice: message" contains "$tmp/err.txt" "Servico 'vesk' ja esta instalado."
"$wine" reg query 'HKLM\System\CurrentControlSet\Services\vesk' 2>/dev/null | tr -d '\r' >"$tmp/reg.txt"
check "install twice: the first command line stays" contains "$tmp/reg.txt" "PORT 9100 NAME"

# Started by the manager: in the folder of vesk.exe (its log\ receives the
# launch), with the installed pairs.
since=$(date +%s%N)
"$wine" sc start vesk >/dev/null 2>&1 || true
await RUNNING
check "start: RUNNING ($now)" test "$now" = "RUNNING 0 0"
check "start: its process seen" running
check "start: launch lines in the day's log" contains "$log" "|VESK| Init Params:"
for pair in "'install' = '1'" "'NAME' = 'a b'" "'DIR' = 'C:\\a b\\'" "'QUOTE' = 'x\\\"y'" "'EMPTY' = ''"; do
  check "start: the installed pair $pair" contains "$log" "|VESK| 	$pair"
done
check "start: the Java side's line" contains "$log" ": fake|INFO|0|started"

# A stop: the JVM is asked to exit with 143, its shutdown hook logs, and
# STOPPED reaches the manager with exit code 0.
since=$(date +%s%N)
"$wine" sc stop vesk >/dev/null 2>&1 || true
await STOPPED
echo "STOP to STOPPED: $elapsed ms"
check "stop: STOPPED with exit code 0 ($now)" test "$now" = "STOPPED 0 0"
check "stop: the request logged" contains "$log" "|VESK| Parada pedida pelo gerenciador de servicos."
check "stop: the JVM asked to exit with 143" after "Parada pedida" ": fake|INFO|3|exit 143"
check "stop: the shutdown hook's line" after "fake|INFO|3|exit 143" ": fake|INFO|4|shutdown hook"

# A failed launch: STOPPED with the status as the service-specific code.
# (Wine's manager has no recovery actions, so that it restarts nothing
# proves nothing here; the installed flag says a code-bearing STOPPED is no
# crash.)
since=$(date +%s%N)
"$wine" sc start vesk ENTRY_CLASS missing/Entry >/dev/null 2>&1 || true
await STOPPED
check "failed launch: STOPPED, service-specific code 3 ($now)" test "$now" = "STOPPED 1066 3"
check "failed launch: logged" contains "$log" "|VESK| Falha ao tentar iniciar VESKServer."
# The JVM still runs after a failed entry call, and is asked to end the
# process: it ends.
check "failed launch: the process ends" wait_for 5 not running

since=$(date +%s%N)
"$wine" sc start vesk PORT 1 X >/dev/null 2>&1 || true
await STOPPED
check "start parameters not in pairs: code 3 ($now)" test "$now" = "STOPPED 1066 3"
check "start parameters not in pairs: logged" contains "$log" ": Parametros devem vir em pares."

# A Java side whose shutdown never ends: the bound (STOP_TIMEOUT, from the
# start parameters, which override the installed pairs) ends the process.
since=$(date +%s%N)
"$wine" sc start vesk CLASSPATH stuck STOP_TIMEOUT 2 PORT 9300 >/dev/null 2>&1 || true
await RUNNING
check "start parameters: RUNNING ($now)" test "$now" = "RUNNING 0 0"
check "start parameters: override the installed pairs" contains "$log" "|VESK| 	'PORT' = '9300'"
since=$(date +%s%N)
"$wine" sc stop vesk >/dev/null 2>&1 || true
await STOPPED
echo "STOP to STOPPED at the bound of 2 s: $elapsed ms"
check "bound: STOPPED with the timeout error ($now)" test "$now" = "STOPPED 1460 0"
check "bound: not before it" test "$elapsed" -ge 2000
check "bound: logged" contains "$log" "|VESK| Parada nao concluida em 2 s; processo encerrado pelo host."

# The Java side ending the process by itself with status 0: a clean stop.
# (With another status nothing is reported, so that the manager restarts
# the service; wine's manager does not notice such an end at all.)
since=$(date +%s%N)
"$wine" sc start vesk CLASSPATH quit-0 >/dev/null 2>&1 || true
await STOPPED
check "the Java side's own exit 0: STOPPED with exit code 0 ($now)" test "$now" = "STOPPED 0 0"
check "the Java side's own exit 0: logged" after ": fake|INFO|5|quit 0" \
  "|VESK| O lado Java encerrou o processo com o status 0."

# Uninstall stops a running service first.
since=$(date +%s%N)
"$wine" sc start vesk >/dev/null 2>&1 || true
await RUNNING
stops=$(grep -c "Parada pedida" "$log")
vesk_exe uninstall
check "uninstall: status 0" test "$status" -eq 0
check "uninstall: message" contains "$tmp/out.txt" "Servico 'vesk' removido."
check "uninstall: the running service stopped first" test "$(grep -c "Parada pedida" "$log")" -gt "$stops"
since=$(date +%s%N)
await absent
check "uninstall: the service is gone ($now)" test "$now" = absent
[ "$now" != absent ] || installed=no

checks_done
