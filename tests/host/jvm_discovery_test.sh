#!/usr/bin/env bash
# Where the Linux host finds the JVM's library, shown with the stand-in
# libjvm.so (fake_jvm.c) laid out as JDK folders:
#   jvm_discovery_test.sh <vesk> <fake libjvm.so> <the JDK vesk was built with>
# The system's default Java and the build JDK are replaced only inside a
# private mount namespace (a tmpfs over /usr/lib/jvm), never on the machine.
set -euo pipefail
vesk=$1 fake=$2 build_jdk=$3
tmp=$(mktemp -d "${TMPDIR:-/tmp}/vesk-jvm-discovery-XXXXXX")
trap 'rm -rf "$tmp"' EXIT

failures=0
check() { # check <what> <command...>: reports and counts a failed condition
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
contains() { grep -qF -- "$2" "$1"; }
lacks() { ! grep -qF -- "$2" "$1"; }

jdk() { # jdk <name>: a JDK folder under tmp holding the stand-in
  mkdir -p "$tmp/$1/lib/server"
  cp "$fake" "$tmp/$1/lib/server/libjvm.so"
  echo "$tmp/$1"
}
java_home=$(jdk home)
# The same library marked as a 32-bit ELF object.
wrong=$(jdk wrong)
printf '\001' | dd of="$wrong/lib/server/libjvm.so" bs=1 seek=4 conv=notrunc status=none
library=lib/server/libjvm.so
default_java=/usr/lib/jvm/default-java

# run <case> <layout> <JAVA_HOME or "unset"> [isolated]: starts vesk in its
# own working folder; status, err.txt and log.txt. With isolated, it runs in a
# private mount namespace whose /usr/lib/jvm is empty but for what layout
# names ("default", "build", "default,build" or "none").
run() {
  local name=$1 layout=$2 home=$3
  local dir=$tmp/$name
  mkdir -p "$dir/conf" "$dir/log"
  printf 'VERBOSITY=4\nCLASSPATH=app.jar\n' >"$dir/conf/vesk.ini"
  local env_args=(-u JAVA_HOME)
  [ "$home" = unset ] || env_args=("JAVA_HOME=$home")
  local command=(env "${env_args[@]}" "$vesk" ENTRY_CLASS missing/Entry)
  if [ "${4:-}" = isolated ]; then
    command=(unshare -m --propagation private bash -c '
      set -e
      layout=$1 fake=$2 build_jdk=$3
      shift 3
      mount -t tmpfs vesk-test /usr/lib/jvm
      case $build_jdk in /usr/lib/jvm/*) ;; *) mount -t tmpfs vesk-test "$build_jdk" ;; esac
      for place in ${layout//,/ }; do
        case $place in
          default) folder=/usr/lib/jvm/default-java/lib/server ;;
          build) folder=$build_jdk/lib/server ;;
          *) continue ;;
        esac
        mkdir -p "$folder" && cp "$fake" "$folder/libjvm.so"
      done
      exec "$@"' - "$layout" "$fake" "$build_jdk" "${command[@]}")
  fi
  set +e
  (cd "$dir" && "${command[@]}" >out.txt 2>err.txt)
  status=$?
  set -e
  err=$dir/err.txt
  log=$dir/log.txt
  cat "$dir"/log/monitor_*.log >"$log" 2>/dev/null || : >"$log"
}

run home none "$java_home"
check "JAVA_HOME: the stand-in started (status 3 for the missing class)" test "$status" -eq 3
check "JAVA_HOME: its library is used and logged" contains "$log" "JVM carregada de ($java_home/$library)"
check "JAVA_HOME: nothing tried before it" lacks "$log" "JVM nao carregada"

isolated=yes
why=$(unshare -m --propagation private mount -t tmpfs vesk-test /usr/lib/jvm 2>&1) || isolated=no
if [ "$isolated" = no ]; then
  echo "SKIPPED: the default Java and build JDK steps need a private mount namespace over /usr/lib/jvm: $why"
else
  run first default,build "$java_home" isolated
  check "JAVA_HOME before the default Java and the build JDK" \
    contains "$log" "JVM carregada de ($java_home/$library)"

  run empty default,build "" isolated
  check "empty JAVA_HOME skipped: the default Java is used" \
    contains "$log" "JVM carregada de ($default_java/$library)"
  check "empty JAVA_HOME skipped: nothing tried before" lacks "$log" "JVM nao carregada"

  run build build "$tmp/absent" isolated
  check "missing libraries: the build JDK is used" test "$status" -eq 3
  check "missing libraries: the build JDK is logged" contains "$log" "JVM carregada de ($build_jdk/$library)"
  check "missing libraries: JAVA_HOME's reported" \
    contains "$log" "JVM nao carregada de ($tmp/absent/$library): nao encontrado"
  check "missing libraries: the default Java's reported" \
    contains "$log" "JVM nao carregada de ($default_java/$library): nao encontrado"

  run wrong default "$wrong" isolated
  check "wrong width: reported with the loader's reason" \
    contains "$log" "JVM nao carregada de ($wrong/$library): wrong ELF class: ELFCLASS32"
  check "wrong width: the next one is used" contains "$log" "JVM carregada de ($default_java/$library)"

  run nothing none unset isolated
  check "no JVM: status 2" test "$status" -eq 2
  check "no JVM: message" contains "$err" "Erro ao tentar carregar JVM."
  check "no JVM: every path tried is logged" test "$(grep -c 'JVM nao carregada de (.*): nao encontrado' "$log")" -eq 2
  check "no JVM: the default Java tried" contains "$log" "($default_java/$library)"
  check "no JVM: the build JDK tried" contains "$log" "($build_jdk/$library)"
fi

echo "$failures failed"
[ "$failures" -eq 0 ]
