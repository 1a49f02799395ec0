#!/usr/bin/env bash
# Installs the build into a scratch prefix and builds, against that prefix
# only, three programs of their own (C through pkg-config, a C-only and a
# C++-only CMake project) and the library examples. Runs each and compares
# what it prints; none carries a run path or needs libjvm. Then runs the
# installed host on the example native module, which links no vesk library
# and calls the support library from inside the host.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
examples="$source/examples/library"
work=$(mktemp -d)
server_pid=
cleanup() {
    [ -z "$server_pid" ] || kill "$server_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
prefix="$work/prefix"

# shellcheck source=tests/support/checks.sh
source "$(dirname "$0")/../support/checks.sh"

# prints <name> <expected> <program...>: runs the program in a fresh folder
# with log/ and compares its standard output with expected (see same); its
# standard error goes to $work/<name>.err.
prints() {
    local name=$1 expected=$2
    shift 2
    mkdir -p "$work/run-$name/log"
    local out
    out=$(cd "$work/run-$name" && "$@" 2>"$work/$name.err") || fail "$name exited with $?"
    same "$name" "$expected" "$out"
}

# A run's log lines without their time prefix.
logged() {
    cat "$work/run-$1"/log/monitor_*.log 2>/dev/null | cut -c22-
}

# ready_or_ended <name> <ready> <pid>: a log line of run-<name> matches
# ready, or the host has ended.
ready_or_ended() {
    logged "$1" | grep -q "$2" || ! kill -0 "$3" 2>/dev/null
}

# Runs the installed host in run-<name> (its conf/vesk.ini written) with the
# other words until a log line matches ready, then stops it with SIGTERM,
# which must end it with 143.
host_until() {
    local name=$1 ready=$2
    shift 2
    (cd "$work/run-$name" && exec "$prefix/bin/vesk" "$@" >/dev/null 2>"$work/$name.err") &
    local pid=$!
    wait_for 20 ready_or_ended "$name" "$ready" "$pid" || true
    kill -TERM "$pid" 2>/dev/null || true
    local status=0
    wait "$pid" || status=$?
    [ "$status" -eq 143 ] || fail "$name: the host ended with $status, not 143: $(cat "$work/$name.err")"
}

cmake --install "$build" --prefix "$prefix" >/dev/null
kit_jar="$prefix/share/java/vesk-java.jar"
[ -f "$kit_jar" ] || fail "the Java kit's jar is not installed"
[ -f "$prefix/lib/libvesk_java.so" ] || fail "the Java kit's native library is not installed"

# A loopback web server for the HTTP examples.
mkdir -p "$work/www"
printf 'hello' >"$work/www/hello.txt"
: >"$work/server.txt" # exists before the server's own redirection runs
python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$work/www" >"$work/server.txt" 2>&1 &
server_pid=$!
# listening: the server has said its port, now in $port.
listening() {
    port=$(sed -n 's/.* port \([0-9]*\) .*/\1/p' "$work/server.txt")
    [ -n "$port" ]
}
wait_for 10 listening || fail "the web server did not start"
hello="http://127.0.0.1:$port/hello.txt"

# A program on the library gets no run path and no libjvm: the JVM's
# library is loaded when the host starts the JVM.
no_jdk() {
    local dynamic
    dynamic=$(readelf -d "$1") || fail "readelf $1"
    if grep -E -i 'RPATH|RUNPATH|jvm' <<<"$dynamic"; then fail "$1 has a run path or libjvm"; fi
}

export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
# Programs of their own: each parses JSON, walks a folder and fetches from
# the loopback server; the C-only CMake one also fetches from a closed port.
consumers="$source/tests/install/consumer"
mkdir -p "$work/tree/sub" && touch "$work/tree/a.txt" "$work/tree/b.json"
consumed="json name=vesk port=9100 tags=2
file a.txt
file b.json
dir sub
walk 5
GET 5 hello"
# shellcheck disable=SC2046
cc -std=c11 -Wall -Wextra -Werror -o "$work/consumer_pkg" "$source/tests/install/consumer/consumer.c" \
    $(pkg-config --cflags --libs vesk)
prints consumer_pkg "$consumed" "$work/consumer_pkg" "$hello" "$work/tree"
quietly cmake -S "$consumers/c" -B "$work/consumer-c" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_C_FLAGS="-Wall -Wextra -Werror"
quietly cmake --build "$work/consumer-c"
closed=http://127.0.0.1:1/ # nothing listens on port 1
# The failure's cause reaches the sink that the program sets, once (a line
# of its own: [[ ]] patterns take *(...) as in extglob), and no
# file or stream.
nl=$'\n'
match=like prints consumer_c "$consumed
diagnostic HTTP: (7) *([!$nl]) - '$closed'
GET failed -3" "$work/consumer-c/consumer_c" "$hello" "$work/tree" "$closed"
[ -z "$(ls -A "$work/run-consumer_c/log")" ] || fail "consumer_c wrote into log/ with a sink set"
[ ! -s "$work/consumer_c.err" ] || fail "consumer_c wrote to standard error with a sink set"
quietly cmake -S "$consumers/cxx" -B "$work/consumer-cxx" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_CXX_FLAGS="-Wall -Wextra -Werror"
quietly cmake --build "$work/consumer-cxx"
prints consumer_cxx "$consumed" "$work/consumer-cxx/consumer_cxx" "$hello" "$work/tree"
for program in "$work/consumer_pkg" "$work/consumer-c/consumer_c" "$work/consumer-cxx/consumer_cxx"; do
    no_jdk "$program"
done
# jni.h comes with the same --cflags.
# shellcheck disable=SC2046
cc -std=c11 -Wall -Wextra -Werror -fPIC -c -o "$work/native_module.o" "$examples/native_module.c" \
    $(pkg-config --cflags vesk)

# shellcheck disable=SC2046
cc -std=c11 -Wall -Wextra -Werror -o "$work/quickstart_c" "$examples/quickstart.c" \
    $(pkg-config --cflags --libs vesk)
quickstart='json {"user":"ana","id":7}
base64 eyJ1c2VyIjoiYW5hIiwiaWQiOjd9'
prints quickstart_c "$quickstart" "$work/quickstart_c"
[ "$(logged quickstart_c)" = "user ana" ] || fail "quickstart_c log"

bin="$work/examples"
quietly cmake -S "$examples" -B "$bin" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_C_FLAGS="-Wall -Wextra -Werror" -DCMAKE_CXX_FLAGS="-Wall -Wextra -Werror"
quietly cmake --build "$bin"
for program in "$bin"/*_example "$bin/quickstart_cpp" "$bin/libvesk_example_module.so"; do
    no_jdk "$program"
done
prints quickstart_cpp "$quickstart" "$bin/quickstart_cpp"
prints json '{"name":"vesk","port":9000,"tags":["host","jvm"]}
port=9100 name=vesk' "$bin/json_example"
prints options 'set=1 PORT=9100 NAME=demo' "$bin/options_example"
[ "$(logged options)" = "|APP| listening on 9100" ] || fail "options log"
prints codecs 'b64 8 Zm9vYmFy
decoded 6 foobar
hex 666F6F626172
rc4 0E127EC23478 back foobar' "$bin/codecs_example"
match=like prints machine 'cores [1-9]*, system *' "$bin/machine_example"
prints http "host 127.0.0.1 port $port file hello.txt
GET 5: hello
POST answered" "$bin/http_example" "$hello"
mkdir -p "$work/walk/old" && touch "$work/walk/a.tmp" "$work/walk/b.log"
prints files 'file a.tmp
file b.log
dir  old
5 entries, . and .. included
1 reported, 1 removed' "$bin/files_example" "$work/walk"
touch "$work/walk/a.tmp"
prints patterns 'date at 7
no match -1
app.log yes
app.log.1 no
monitor_20261209.log yes' "$bin/patterns_example"

# The native module inside the installed host.
run="$work/run-module"
mkdir -p "$run/log" "$run/conf" "$work/classes"
javac -d "$work/classes" "$examples/vesk/example/NativeModule.java"
cat >"$run/conf/vesk.ini" <<INI
VERBOSITY=4
CLASSPATH=$work/classes
LIBRARY_PATH=$bin
ENTRY_CLASS=vesk/example/NativeModule
INI
host_until module '^NativeModule|INFO|http|' URL "$hello" DIR "$work/walk"
expected="NativeModule|INFO|json|{\"name\":\"vesk\",\"port\":9000}
NativeModule|INFO|base64|dmVzaw== vesk
NativeModule|INFO|url|127.0.0.1:$port
NativeModule|INFO|re|8
NativeModule|INFO|walk|3
NativeModule|INFO|http|5 hello"
same module "$expected" "$(logged module | grep '^NativeModule')"

# A Java server on the installed kit: the minimal entry class that README shows.
hello_server="$source/examples/kit/hello/HelloServer.java"
run="$work/run-kit"
mkdir -p "$run/log" "$run/conf" "$work/hello"
javac -Xlint:all -Werror -cp "$kit_jar" -d "$work/hello" "$hello_server"
cat >"$run/conf/vesk.ini" <<INI
VERBOSITY=5
CLASSPATH=$work/hello:$kit_jar
LIBRARY_PATH=$prefix/lib
library=vesk_java
ENTRY_CLASS=hello/HelloServer
INI
host_until kit '^HelloServer|DEBUG|' NAME vesk
match=like same kit 'HelloServer|INFO|1|ola, vesk
HelloServer|DEBUG|[0-9]*|opcoes: {PORT=9000, *' "$(logged kit | grep '^HelloServer')"
