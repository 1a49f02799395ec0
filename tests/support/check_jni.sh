#!/usr/bin/env bash
# Runs a command that starts JVMs with JNI checking on: -Xcheck:jni through
# JAVA_TOOL_OPTIONS, which every JVM it starts takes up, in child processes
# too. Each JVM also writes its own output to a log file of its own, whatever
# the tests do with their standard streams, and to standard error rather than
# standard output, which tests compare exactly (a JVM's periodic checks can
# print while the process exits). Fails when the command fails, when
# no JVM ran, or when any JVM reported a JNI warning or a JNI error.
#   check_jni.sh <command> [<argument>...]
set -uo pipefail

logs=$(mktemp -d "${TMPDIR:-/tmp}/vesk-check-jni.XXXXXX")
trap 'rm -rf "$logs"' EXIT

export JAVA_TOOL_OPTIONS="${JAVA_TOOL_OPTIONS:+$JAVA_TOOL_OPTIONS }-Xcheck:jni \
-XX:+UnlockDiagnosticVMOptions -XX:+LogVMOutput -XX:LogFile=$logs/vm-%p.log -XX:+DisplayVMOutputToStderr \
-XX:ErrorFile=$logs/hs_err-%p.log -XX:-CreateCoredumpOnCrash"

"$@"
status=$?

shopt -s nullglob
vm_logs=("$logs"/vm-*.log)
crashes=("$logs"/hs_err-*.log)
if [ "${#vm_logs[@]}" -eq 0 ]; then
    echo "check_jni: no JVM ran with JNI checking" >&2
    exit 1
fi
pattern='WARNING in native method|FATAL ERROR in native method|WARNING: JNI local refs'
if grep -q -E "$pattern" "${vm_logs[@]}"; then
    echo "check_jni: JNI misuse reported:" >&2
    grep -h -E -A 12 "$pattern" "${vm_logs[@]}" | head -n 200 >&2
    exit 1
fi
if [ "${#crashes[@]}" -gt 0 ]; then
    echo "check_jni: a JVM crashed:" >&2
    head -n 40 "${crashes[@]}" >&2
    exit 1
fi
exit "$status"
