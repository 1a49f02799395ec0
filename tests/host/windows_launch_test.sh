#!/usr/bin/env bash
# The launch of vesk.exe under wine against the stand-in jvm.dll (fake_jvm.c),
# laid out as a Java runtime shipped beside the executable, and where vesk.exe
# finds the JVM (JAVA_HOME, the registry; a jvm.dll of the other width):
#   windows_launch_test.sh <vesk.exe> <fake jvm.dll> <wine runner> [32-bit fake jvm.dll]
set -euo pipefail
vesk=$1 fake=$2 wine=$3 fake32=${4:-}
tmp=$(mktemp -d "${TMPDIR:-/tmp}/vesk-windows-launch-XXXXXX")
registry_key='HKLM\SOFTWARE\JavaSoft\JDK'
added_key=no
cleanup() {
  if [ "$added_key" = yes ]; then "$wine" reg delete "$registry_key" /f /reg:64 >/dev/null 2>&1 || true; fi
  rm -rf "$tmp"
}
trap cleanup EXIT
# The build machine's JAVA_HOME means nothing to vesk.exe.
unset JAVA_HOME

app=$tmp/app
mkdir -p "$app/jre/bin/server"
cp "$vesk" "$app/vesk.exe"
cp "$fake" "$app/jre/bin/server/jvm.dll"

# shellcheck source=tests/support/checks.sh
source "$(dirname "$0")/../support/checks.sh"
skip_below_open_folder "$tmp"

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
wine_run "$dir" "$app/vesk.exe"
check "no words: status 2" test "$status" -eq 2
check "no words: banner" contains "$dir/err.txt" "Descricao:"
check "no words: usage" contains "$dir/err.txt" "<Param 1> <Val 1> ... <Param N> <Val N>"

# --version and --help: the windowless program's text on standard output, and
# nothing started (the stand-in's start would log).
for word in --version -V --help -h; do
  wine_run "$dir" "$app/vesk.exe" "$word"
  check "$word: status 0" test "$status" -eq 0
  check "$word: nothing on standard error" test ! -s "$dir/err.txt"
  check "$word: nothing started" test -z "$(ls "$dir/log")"
done
wine_run "$dir" "$app/vesk.exe" --version
check "--version: the version line" grep -qE '^VESK - Service [0-9]+\.[0-9]+\.[0-9]+ r[0-9]+ \(' "$dir/out.txt"
wine_run "$dir" "$app/vesk.exe" --help
check "--help: the service's words" contains "$dir/out.txt" "vesk.exe uninstall"
check "--help: the ini file" contains "$dir/out.txt" 'conf\vesk.ini'

wine_run "$dir" "$app/vesk.exe" PORT 1 X
check "odd words: status 3" test "$status" -eq 3
check "odd words: message" contains "$dir/err.txt" "Parametros devem vir em pares."

dir=$(workdir refused)
wine_run "$dir" "$app/vesk.exe" CLASSPATH refuse
check "refused JVM: status 2" test "$status" -eq 2
check "refused JVM: message" contains "$dir/err.txt" "Erro ao tentar carregar JVM."
printf 'Parametros JVM\n\t-Djava.compiler=NONE\n\t-Djava.class.path=refuse\n\t-Djava.library.path=bin\n\t-Xss1m\n\t-XX:-CreateCoredumpOnCrash\n\t-Xdebug\n\t-Dsun.java.command=com.ubrontex.ubkarto.VESKServer\nInicia JVM\n' >"$tmp/options.txt"
check "refused JVM: option listing on standard output" cmp -s "$dir/out.txt" "$tmp/options.txt"
check "refused JVM: logged" contains "$(todays_log "$dir")" "|VESK| Falha ao tentar iniciar JVM."

dir=$(workdir missing)
wine_run "$dir" "$app/vesk.exe" ENTRY_CLASS missing/Entry PORT 8080
check "missing class: status 3" test "$status" -eq 3
check "missing class: message" contains "$dir/err.txt" "Classe 'missing/Entry' nao encontrada."
log=$(todays_log "$dir")
check "missing class: logged" contains "$log" "|VESK| Falha ao tentar iniciar VESKServer."
check "merged parameters: from the ini file" contains "$log" "|VESK| 	'CLASSPATH' = 'app.jar'"
check "merged parameters: from the command line" contains "$log" "|VESK| 	'PORT' = '8080'"
check "daily file name" test -f "$dir/log/monitor_$(date +%Y%m%d).log"

# Without log\ every line goes to %ProgramData%\VESK\ubrontex.log after a notice.
dir=$(workdir fallback nolog)
marker="fallback-$RANDOM$RANDOM"
wine_run "$dir" "$app/vesk.exe" ENTRY_CLASS missing/Entry MARK "$marker"
check "no log folder: status 3" test "$status" -eq 3
(cd "$dir" && "$wine" cmd /c type 'C:\ProgramData\VESK\ubrontex.log' 2>/dev/null | tr -d '\r' >fallback.txt) || true
check "no log folder: notice in the fallback file" contains "$dir/fallback.txt" "Falha ao tentar abrir log em: '"
check "no log folder: line in the fallback file" contains "$dir/fallback.txt" "'MARK' = '$marker'"

# log_holds <text>: $log exists and holds text.
log_holds() { grep -qF "$1" "$log" 2>/dev/null; }
# start_host <dir> <text>: vesk.exe on the stand-in's entry class in dir, in
# the background ($host its pid, $log its day's log), until the log holds
# text (30 s at most).
start_host() {
  (cd "$1" && exec "$wine" "$app/vesk.exe" ENTRY_CLASS fake/Entry >/dev/null 2>&1) &
  host=$!
  log=$(todays_log "$1")
  wait_for 30 log_holds "$2" || true
}

stop_host() {
  kill "$host" 2>/dev/null || true
  wait "$host" 2>/dev/null || true
}

# A launch that succeeds: the stand-in's start relays a line through the
# callback, and the host sleeps on until it is stopped.
dir=$(workdir started)
start_host "$dir" "fake|INFO|0|started"
check "started: relayed line in the log" contains "$log" ": fake|INFO|0|started"
check "started: host still running" kill -0 "$host"
stop_host

# The entry class named to the JVM by an option of the host's, after -Xdebug
# and before conf\jvm.options; JAVA_TOOL_OPTIONS is the operator's, untouched.
# has_line <log> <text>: a line of the log is the time prefix and text.
has_line() { tr -d '\r' <"$1" | cut -c22- | grep -qxF -- "$2"; }
outer_set=${JAVA_TOOL_OPTIONS+set}
outer=${JAVA_TOOL_OPTIONS-}
for own in '' '-Xmx64m'; do
  dir=$(workdir "named$own")
  expected="-Xdebug -Dsun.java.command=fake.Entry"
  if [ -n "$own" ]; then
    export JAVA_TOOL_OPTIONS=$own
    printf '%s\r\n' "$own" >"$dir/conf/jvm.options"
    expected="$expected $own"
  else
    unset JAVA_TOOL_OPTIONS
  fi
  start_host "$dir" "fake|INFO|2|"
  check "named '$own': the options at the creation" has_line "$log" "fake|INFO|1|$expected"
  check "named '$own': the environment as it was" has_line "$log" "fake|INFO|2|${own:-<unset>}"
  stop_host
done
if [ -n "$outer_set" ]; then
  export JAVA_TOOL_OPTIONS=$outer
else
  unset JAVA_TOOL_OPTIONS
fi

# No jvm.dll anywhere: the JVM cannot start, and every place tried is logged.
dir=$(workdir nojvm)
wine_run "$dir" "$vesk" CLASSPATH app.jar
check "no jvm.dll: status 2" test "$status" -eq 2
check "no jvm.dll: message" contains "$dir/err.txt" "Erro ao tentar carregar JVM."
check "no jvm.dll: the last place logged" contains "$(todays_log "$dir")" \
  'jre\bin\client\jvm.dll): nao encontrado'
check "no jvm.dll: nothing through the library search" lacks "$(todays_log "$dir")" \
  "JVM nao carregada de (jvm.dll)"

# Where vesk.exe finds the JVM. windows <unix path>: the path as wine's Z: drive.
windows() { printf 'Z:%s' "${1//\//\\}"; }
home() { # home <name> <jvm.dll>: a JDK folder under tmp holding it in bin\server
  mkdir -p "$tmp/$1/bin/server"
  cp "$2" "$tmp/$1/bin/server/jvm.dll"
  windows "$tmp/$1"
}
server='\bin\server\jvm.dll'
bundled="$(windows "$app")\jre$server"
java_home=$(home jdk "$fake")
# A second copy of the program whose bundled jvm.dll does not load: had it
# been tried, the log would say so.
broken=$tmp/broken
mkdir -p "$broken/jre/bin/server"
cp "$vesk" "$broken/vesk.exe"
echo "not a library" >"$broken/jre/bin/server/jvm.dll"
# quiet: the stand-in started (status 3 for the missing class) and nothing
# was logged about finding it.
quiet() { test "$status" -eq 3 && ! grep -qF "JVM " "$(todays_log "$dir")"; }

dir=$(workdir java-home)
JAVA_HOME=$java_home wine_run "$dir" "$broken/vesk.exe" ENTRY_CLASS missing/Entry
check "JAVA_HOME: before the runtime beside the executable" quiet

dir=$(workdir missing-home)
JAVA_HOME=$(windows "$tmp/nothing") wine_run "$dir" "$app/vesk.exe" ENTRY_CLASS missing/Entry
log=$(todays_log "$dir")
check "JAVA_HOME without jvm.dll: reported" contains "$log" \
  "JVM nao carregada de ($(windows "$tmp/nothing")$server): nao encontrado"
check "JAVA_HOME without jvm.dll: the next one is used" contains "$log" "JVM carregada de ($bundled)"

narrow=""
if [ -n "$fake32" ]; then
  narrow=$(home narrow "$fake32")
  dir=$(workdir narrow)
  JAVA_HOME=$narrow wine_run "$dir" "$app/vesk.exe" ENTRY_CLASS missing/Entry
  log=$(todays_log "$dir")
  check "32-bit jvm.dll: reported with error 193" contains "$log" \
    "JVM nao carregada de ($narrow$server): erro 193 (biblioteca de 32/64 bits diferente do vesk.exe)"
  check "32-bit jvm.dll: the next one is used" contains "$log" "JVM carregada de ($bundled)"
else
  echo "SKIPPED: no 32-bit stand-in jvm.dll (no i686 compiler)"
fi

if "$wine" reg query "$registry_key" /reg:64 >/dev/null 2>&1; then
  echo "SKIPPED: the registry: this prefix already has $registry_key"
else
  registered=$(home registered "$fake")$server
  added_key=yes
  "$wine" reg add "$registry_key" /v CurrentVersion /t REG_SZ /d 99 /f /reg:64 >/dev/null 2>&1
  "$wine" reg add "$registry_key\\99" /v RuntimeLib /t REG_SZ /d "$registered" /f /reg:64 >/dev/null 2>&1
  dir=$(workdir registry)
  wine_run "$dir" "$broken/vesk.exe" ENTRY_CLASS missing/Entry
  check "registry: its RuntimeLib before the runtime beside the executable" quiet
  if [ -n "$narrow" ]; then
    dir=$(workdir registry-home)
    JAVA_HOME=$narrow wine_run "$dir" "$broken/vesk.exe" ENTRY_CLASS missing/Entry
    check "registry: after JAVA_HOME" contains "$(todays_log "$dir")" "JVM carregada de ($registered)"
  fi
fi

checks_done
