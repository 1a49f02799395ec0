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

# shellcheck source=tests/support/checks.sh
source "$(dirname "$0")/../support/checks.sh"

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

# run <case> <JAVA_HOME or "unset"> [layout]: starts vesk in its own working
# folder; status, err and log (the day's log). With a layout it runs in a
# private mount namespace whose /usr/lib/jvm is empty but for what layout
# puts in the default Java's and the build JDK's places: "default=fake",
# "build=wrong", ... separated by commas ("" for nothing).
run() {
  local name=$1 home=$2
  local dir=$tmp/$name
  mkdir -p "$dir/conf" "$dir/log"
  printf 'VERBOSITY=4\nCLASSPATH=app.jar\n' >"$dir/conf/vesk.ini"
  local env_args=(-u JAVA_HOME)
  [ "$home" = unset ] || env_args=("JAVA_HOME=$home")
  local command=(env "${env_args[@]}" "$vesk" ENTRY_CLASS missing/Entry)
  if [ $# -ge 3 ]; then
    command=(unshare -m --propagation private bash -c '
      set -e
      layout=$1 fake=$2 wrong=$3 build_jdk=$4
      shift 4
      mount -t tmpfs vesk-test /usr/lib/jvm
      case $build_jdk in /usr/lib/jvm/*) ;; *) mount -t tmpfs vesk-test "$build_jdk" ;; esac
      for item in ${layout//,/ }; do
        case ${item%=*} in
          default) folder=/usr/lib/jvm/default-java/lib/server ;;
          build) folder=$build_jdk/lib/server ;;
        esac
        library=$fake
        [ "${item#*=}" = wrong ] && library=$wrong
        mkdir -p "$folder" && cp "$library" "$folder/libjvm.so"
      done
      exec "$@"' - "$3" "$fake" "$wrong/$library" "$build_jdk" "${command[@]}")
  fi
  set +e
  (cd "$dir" && "${command[@]}" >out.txt 2>err.txt)
  status=$?
  set -e
  err=$dir/err.txt
  log=$dir/log.txt
  cat "$dir"/log/monitor_*.log >"$log" 2>/dev/null || : >"$log"
}
# quiet: the place used was the first with a library, and nothing was logged.
quiet() { test "$status" -eq 3 && ! grep -qF "JVM " "$log"; }

run home "$java_home"
check "JAVA_HOME: the stand-in started, not a real JVM" test "$status" -eq 3
check "JAVA_HOME: no exception from a real JVM" lacks "$err" "Exception"
check "JAVA_HOME: nothing logged when the first place works" lacks "$log" "JVM "

isolated=yes
why=$(unshare -m --propagation private mount -t tmpfs vesk-test /usr/lib/jvm 2>&1) || isolated=no
if [ "$isolated" = no ]; then
  echo "SKIPPED: the default Java and build JDK steps need a private mount namespace over /usr/lib/jvm: $why"
else
  # A broken library in a later place would be logged had it been tried.
  run first "$java_home" default=wrong,build=wrong
  check "JAVA_HOME before the default Java and the build JDK" quiet

  run empty "" default=fake,build=wrong
  check "empty JAVA_HOME skipped: the default Java before the build JDK" quiet

  run build unset build=fake
  check "no default Java: the build JDK, and an empty place is no news" quiet

  run absent "$tmp/absent" build=fake
  check "JAVA_HOME without a library: the next place works" test "$status" -eq 3
  check "JAVA_HOME without a library: reported" \
    contains "$log" "JVM nao carregada de ($tmp/absent/$library): nao encontrado"
  check "JAVA_HOME without a library: the place used is logged" \
    contains "$log" "JVM carregada de ($build_jdk/$library)"
  check "JAVA_HOME without a library: the empty default place stays quiet" lacks "$log" "$default_java"

  run wrong "$wrong" default=fake
  check "wrong width: reported with the loader's reason" \
    contains "$log" "JVM nao carregada de ($wrong/$library): wrong ELF class: ELFCLASS32"
  check "wrong width: the next place is used" contains "$log" "JVM carregada de ($default_java/$library)"

  run nothing "$tmp/absent" ""
  check "no JVM: status 2" test "$status" -eq 2
  check "no JVM: message" contains "$err" "Erro ao tentar carregar JVM."
  for place in "$tmp/absent" "$default_java" "$build_jdk"; do
    check "no JVM: $place tried and logged" contains "$log" "JVM nao carregada de ($place/$library): nao encontrado"
  done
fi

# A library that another user could have written is never loaded, not even
# for its constructor to run: it is skipped with why, the next place is tried.
if [ "$(id -u)" -ne 0 ]; then
  echo "SKIPPED: libraries of another user need root to give them away"
else
  planted() { # planted <name>: a JDK whose library leaves a mark when loaded
    local home=$tmp/$1
    mkdir -p "$home/lib/server"
    printf '%s\n' '#include <fcntl.h>' '#include <unistd.h>' \
      'static void __attribute__((constructor)) mark(void)' \
      "{ close(open(\"$home/ran\", O_CREAT | O_WRONLY, 0600)); }" \
      'int JNI_CreateJavaVM(void) { return -1; }' >"$home/planted.c"
    "${CC:-cc}" -shared -fPIC -o "$home/lib/server/libjvm.so" "$home/planted.c"
    echo "$home"
  }
  mallory=4242
  theirs=$(planted theirs)
  chown -R "$mallory:$mallory" "$theirs"
  run theirs-run "$theirs"
  check "a JDK of another user's: its library never ran" test ! -e "$theirs/ran"
  check "a JDK of another user's: skipped with why" contains "$log" \
    "JVM nao carregada de ($theirs/$library): nao confiavel: '$theirs' pertence a outro usuario ($mallory)"
  group=$(planted group)
  chgrp "$mallory" "$group/$library" && chmod 0664 "$group/$library"
  run group-run "$group"
  check "a library another group may write: it never ran" test ! -e "$group/ran"
  check "a library another group may write: skipped with why" contains "$log" \
    "nao confiavel: '$group/$library' pode ser alterado pelo grupo $mallory"
  (cd "$tmp" && ln -s "$(basename "$java_home")" relative-home)
  run relative relative-home
  check "a relative JAVA_HOME: not taken" contains "$log" \
    "JVM nao carregada de (relative-home/$library): nao confiavel: 'relative-home/$library' nao e um caminho absoluto"
  # The usual case: a link to a trusted JDK is followed.
  ln -s "$java_home" "$tmp/linked-home"
  run linked "$tmp/linked-home"
  check "JAVA_HOME a link to a trusted JDK: used quietly" quiet
fi

checks_done
