#!/usr/bin/env bash
# Installs the build into a scratch prefix and builds, against that prefix
# only, the library examples: a C program through pkg-config and the rest
# through find_package(vesk). Runs each and compares what it prints.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"

cmake --install "$build" --prefix "$prefix" >/dev/null
examples="$source/examples/library"

# Runs a program in a fresh folder with log/ and compares its output.
check() {
    local name=$1 expected=$2 program=$3
    mkdir -p "$work/run-$name/log"
    local out
    out=$(cd "$work/run-$name" && "$program")
    if [ "$out" != "$expected" ]; then
        printf 'FAIL %s\n--- expected\n%s\n--- got\n%s\n' "$name" "$expected" "$out" >&2
        exit 1
    fi
    echo "ok $name"
}

# Today's log lines of a run, without their time prefix.
logged() {
    cut -c22- "$work/run-$1"/log/monitor_*.log
}

export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
# shellcheck disable=SC2046
cc -std=c11 -Wall -Wextra -Werror -o "$work/quickstart_c" "$examples/quickstart.c" \
    $(pkg-config --static --cflags --libs vesk)
quickstart='json {"user":"ana","id":7}'
check quickstart_c "$quickstart" "$work/quickstart_c"
[ "$(logged quickstart_c)" = "user ana" ] || { echo "FAIL quickstart_c log" >&2; exit 1; }

cmake -S "$examples" -B "$work/examples" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_C_FLAGS="-Wall -Wextra -Werror" -DCMAKE_CXX_FLAGS="-Wall -Wextra -Werror" >/dev/null
cmake --build "$work/examples" >/dev/null
bin="$work/examples"
check quickstart_cpp "$quickstart" "$bin/quickstart_cpp"
check json '{"name":"vesk","port":9000,"tags":["host","jvm"]}
port=9100 name=vesk' "$bin/json_example"
check options 'set=1 PORT=9100 NAME=demo' "$bin/options_example"
[ "$(logged options)" = "|APP| listening on 9100" ] || { echo "FAIL options log" >&2; exit 1; }
