#!/usr/bin/env bash
# The Windows installer: its tables, read with msiinfo; then, given a wine
# runner, its install, upgrade and removal in the runner's prefix, which it
# leaves as it found it.
#   msi_test.sh <msi> <x86|x64> [<wine runner> <stand-in jvm.dll>]
# (the x64 package under 64-bit wine).
set -euo pipefail
msi=$1 arch=$2 wine=${3:-} fake=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
defaults=$here/../../packaging/windows
default_ini=$defaults/vesk.ini
conf_files=(vesk.ini jvm.options server.ini)

tmp=$(mktemp -d "${TMPDIR:-/tmp}/vesk-msi-XXXXXX")
trap 'rm -rf "$tmp"' EXIT

# shellcheck source=tests/support/checks.sh
source "$here/../support/checks.sh"

# rows <msi> <table>: the table's rows (msiinfo writes three header lines).
rows() { msiinfo export "$1" "$2" | tr -d '\r' | tail -n +4; }
# row <msi> <table> <key>: the row whose first column is key.
row() { rows "$1" "$2" | awk -F '\t' -v key="$3" '$1 == key'; }
has_row() { row "$msi" "$1" "$2" | grep -qxF -- "$3"; }
# attributes <component>: its Attributes column.
attributes() { row "$msi" Component "$1" | cut -f4; }
has_bits() { (( ($(attributes "$1") & $2) == $2 )); }

# ---- The tables.
tables=$(msiinfo tables "$msi")
for table in File Component Directory CreateFolder ServiceInstall ServiceControl Upgrade \
    MsiLockPermissionsEx MsiServiceConfigFailureActions; do
  check "table $table" grep -qx "$table" <<<"$tables"
done
if [ "$arch" = x64 ]; then
  template='x64;1033' program_files=ProgramFiles64Folder width=256
else
  template='Intel;1033' program_files=ProgramFilesFolder width=0
fi
check "platform $template" grep -qxF "Template: $template" <(msiinfo suminfo "$msi")
check "folder: VESK in $program_files" has_row Directory INSTALLDIR $'INSTALLDIR\t'"$program_files"$'\tVESK'
# Each file with its component's folder.
files=$(rows "$msi" File | while IFS=$'\t' read -r _ component name _; do
  printf '%s:%s ' "$(row "$msi" Component "$component" | cut -f3)" "$name"
done)
check "files: $files" test "$files" = "INSTALLDIR:vesk.exe INSTALLDIR:libcurl.dll INSTALLDIR:vesk_java.dll INSTALLDIR:vesk-java.jar CONFDIR:vesk.ini CONFDIR:jvm.options CONFDIR:server.ini "
width_is() { (( ($(attributes "$1") & 256) == width )); }
for component in $(rows "$msi" Component | cut -f1); do
  check "component $component: $arch" width_is "$component"
done
for component in Conf ConfJvm ConfServer; do
  check "conf: $component permanent, never overwritten" has_bits "$component" $((16 + 128))
done
check "log: permanent" has_bits Log 16
# Access lists (wine does not apply them): each on a folder the package
# creates, nothing inherited; only LocalSystem and Administrators may change
# the program, and read conf\ (the client key) and log\.
private='D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)'
while read -r lock folder component sddl; do
  check "$folder: access list $sddl" has_row MsiLockPermissionsEx "$lock" \
    "$lock"$'\t'"$folder"$'\tCreateFolder\t'"$sddl"$'\t'
  check "$folder: created by $component" has_row CreateFolder "$folder" "$folder"$'\t'"$component"
done <<EOF
ProgramAccess INSTALLDIR Host $private(A;OICI;FRFX;;;BU)
ConfAccess CONFDIR Conf $private
LogAccess LOGDIR Log $private
EOF
check "no other access list" test "$(rows "$msi" MsiLockPermissionsEx | wc -l)" -eq 3
check "service: own process, automatic, LocalSystem" has_row ServiceInstall vesk \
  $'vesk\tvesk\tVESK - Service\t16\t2\t1\t\t\tLocalSystem\t\t\tHost\tHost do servidor Java do VESK.'
# Started on install without waiting (a launch that fails must not fail the
# install); stopped on install and removal, and deleted on removal, waiting.
check "service: started, not waiting" has_row ServiceControl vesk_start $'vesk_start\tvesk\t1\t\t0\tHost'
check "service: stopped and removed, waiting" has_row ServiceControl vesk_stop \
  $'vesk_stop\tvesk\t162\t\t1\tHost'
check "service: restarted after a crash" has_row MsiServiceConfigFailureActions vesk \
  $'vesk\tvesk\t5\t86400\t\t\t1[~]1[~]1\t5000[~]5000[~]5000\tHost'
sequence() { row "$msi" InstallExecuteSequence "$1" | cut -f3; }
check "service: recovery set between its install and start" \
  test "$(sequence InstallServices)" -lt "$(sequence MsiConfigureServices)" -a \
  "$(sequence MsiConfigureServices)" -lt "$(sequence StartServices)"
version=$(row "$msi" Property ProductVersion | cut -f2)
upgrade_code=$(row "$msi" Property UpgradeCode | cut -f2)
check "upgrade: replaces versions up to $version" has_row Upgrade "$upgrade_code" \
  "$upgrade_code"$'\t\t'"$version"$'\t\t513\t\tWIX_UPGRADE_DETECTED'
msiextract -C "$tmp/extracted" "$msi" >/dev/null
extracted() { find "$tmp/extracted" -name "$1" -print -quit; }
for file in "${conf_files[@]}"; do
  check "conf: the default $file, with CR LF" cmp -s "$(extracted "$file")" <(sed 's/$/\r/' "$defaults/$file")
done

if [ -z "$wine" ]; then
  checks_done
  exit
fi

# ---- Under wine, in the default folder.
windows() { printf 'Z:%s' "${1//\//\\}"; }
folder='C:\Program Files\VESK'
app=$("$wine" winepath -u "$folder" </dev/null | tr -d '\r')
[ -n "$app" ] || { echo "msi_test: wine names no folder for $folder" >&2; exit 1; }
service_key='HKLM\System\CurrentControlSet\Services\vesk'
product_key() { echo "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$1"; }
registered() { "$wine" reg query "$1" </dev/null >/dev/null 2>&1; }
# Where the installer records a component: a permanent one's stays after
# removal, and wine's rollback of a failed install leaves the others'.
component_key() {
  local g=${1//[\{\}-]/} out i
  out=$(rev <<<"${g:0:8}")$(rev <<<"${g:8:4}")$(rev <<<"${g:12:4}")
  for ((i = 16; i < 32; i += 2)); do out+=${g:i+1:1}${g:i:1}; done
  echo "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Components\\$out"
}
component_keys=()
for guid in $(rows "$msi" Component | cut -f2); do component_keys+=("$(component_key "$guid")"); done
product=$(row "$msi" Property ProductCode | cut -f2)

for key in "$service_key" "$(product_key "$product")" "${component_keys[@]}"; do
  if registered "$key"; then echo "msi_test: the prefix already has $key" >&2; exit 1; fi
done
if [ -e "$app" ]; then echo "msi_test: the prefix already has $app" >&2; exit 1; fi

# What this test installs, removed whatever a failure left: the products by
# their codes, then the service (wine's rollback of a failed install keeps
# it) and the component records.
products=("$product")
cleanup_prefix() {
  local code key
  for code in "${products[@]}"; do
    if registered "$(product_key "$code")"; then "$wine" msiexec /x "$code" /qn </dev/null >/dev/null 2>&1 || true; fi
  done
  if registered "$service_key"; then
    "$wine" sc stop vesk </dev/null >/dev/null 2>&1 || true
    "$wine" sc delete vesk </dev/null >/dev/null 2>&1 || true
  fi
  for key in "${component_keys[@]}"; do "$wine" reg delete "$key" /f </dev/null >/dev/null 2>&1 || true; done
  rm -rf "$app"
}
trap 'cleanup_prefix; rm -rf "$tmp"' EXIT

# run_msiexec <words...>: status in $status.
run_msiexec() {
  set +e
  "$wine" msiexec "$@" /qn </dev/null >/dev/null 2>&1
  status=$?
  set -e
}
# value <name>: a value of the service's key, as reg shows it.
value() {
  "$wine" reg query "$service_key" /v "$1" </dev/null 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$1 *REG_[A-Z_]* *//p"
}
# state: the service's state word.
state() {
  "$wine" sc query vesk </dev/null 2>/dev/null | tr -d '\r' | sed -n 's/^ *STATE *: *[0-9]* *//p'
}
todays_log() { echo "$app/log/monitor_$(date +%Y%m%d).log"; }
# stopped: the service is STOPPED; $now is its state, Win32 exit code and
# service-specific code ("STOPPED 1066 2").
stopped() {
  now=$("$wine" sc query vesk </dev/null 2>/dev/null | tr -d '\r' | awk '/ STATE / { s = $4 }
    / WIN32_EXIT_CODE / { w = $3 } / SERVICE_EXIT_CODE / { c = $3 } END { print s, w, c }') || true
  case $now in STOPPED*) return 0 ;; esac
  return 1
}
# await_stopped: polls (20 s at most) until the service is STOPPED.
await_stopped() { wait_for 20 stopped || true; }

# ---- The package as built on a bare machine: only the default
# conf\vesk.ini and no Java runtime. The service starts and stops at once
# with the launch's status (2: no JVM), and the install succeeds.
run_msiexec /i "$(windows "$msi")"
check "bare install: status 0" test "$status" -eq 0
for file in "${conf_files[@]}"; do
  check "bare install: the default conf\\$file, with CR LF" \
    cmp -s "$app/conf/$file" <(sed 's/$/\r/' "$defaults/$file")
done
check "bare install: service registered" registered "$service_key"
await_stopped
check "bare install: service STOPPED with the launch's code 2 ($now)" test "$now" = "STOPPED 1066 2"
check "bare install: the launch's failure in the day's log" contains "$(todays_log)" \
  "Falha ao tentar iniciar JVM."
run_msiexec /x "$(windows "$msi")"
check "bare removal: status 0" test "$status" -eq 0
check "bare removal: service gone" not registered "$service_key"
check "bare removal: product gone" not registered "$(product_key "$product")"
cleanup_prefix

# The package as built, over an operator's conf\vesk.ini (which the install
# keeps, while it adds the files that an earlier version did not have) and a
# Java runtime beside the program: the stand-in's entry class.
package=$tmp/vesk.msi
cp "$msi" "$package"
mkdir -p "$app/conf" "$app/jre/bin/server"
printf 'VERBOSITY=4\r\nENTRY_CLASS=fake/Entry\r\n' >"$app/conf/vesk.ini"
expected_ini=$tmp/operator.ini
cp "$app/conf/vesk.ini" "$expected_ini"
cp "$fake" "$app/jre/bin/server/jvm.dll"
# The same package one version later, as a newer build would be.
IFS=. read -r major minor build <<<"$version"
newer_version=$major.$minor.$((build + 1))
guid() { printf '{%s}' "$(tr '[:lower:]' '[:upper:]' </proc/sys/kernel/random/uuid)"; }
newer_product=$(guid)
products+=("$newer_product")
newer=$tmp/newer.msi
cp "$package" "$newer"
msibuild "$newer" -s VESK VESK "$template" "$(guid)"
msibuild "$newer" -q "UPDATE \`Property\` SET \`Value\` = '$newer_version' WHERE \`Property\` = 'ProductVersion'" \
  -q "UPDATE \`Property\` SET \`Value\` = '$newer_product' WHERE \`Property\` = 'ProductCode'"

run_msiexec /i "$(windows "$package")"
check "install: status 0" test "$status" -eq 0
if [ "$status" -ne 0 ]; then
  checks_done
  exit 1
fi
check "install: product registered" registered "$(product_key "$product")"
check "service: display name" test "$(value DisplayName)" = "VESK - Service"
check "service: automatic start" test "$(value Start)" = 0x2
check "service: own process" test "$(value Type)" = 0x10
check "service: LocalSystem" test "$(value ObjectName)" = LocalSystem
image=$(value ImagePath)
check "service: runs $folder\\vesk.exe ($image)" test "${image//\"/}" = "$folder\\vesk.exe"
check "service: RUNNING" test "$(state)" = RUNNING
for file in vesk.exe libcurl.dll vesk_java.dll vesk-java.jar; do
  check "install: $file" cmp -s "$app/$file" "$(extracted "$file")"
done
check "install: conf\\vesk.ini" cmp -s "$app/conf/vesk.ini" "$expected_ini"
check "install: the new conf\\jvm.options and server.ini" \
  eval 'cmp -s "$app/conf/jvm.options" <(sed "s/\$/\r/" "$defaults/jvm.options") &&
    cmp -s "$app/conf/server.ini" <(sed "s/\$/\r/" "$defaults/server.ini")'
check "install: log\\" test -d "$app/log"
check "service: the launch in the day's log" contains "$(todays_log)" "fake|INFO|0|started"

# An operator's change and a log line, then the newer package.
printf 'PORT=9000\r\n' >>"$app/conf/vesk.ini"
cp "$app/conf/vesk.ini" "$tmp/edited.ini"
printf -- '-Xmx64m\r\n' >"$app/conf/jvm.options"
echo "line" >"$app/log/monitor_19990101.log"
run_msiexec /i "$(windows "$newer")"
check "upgrade: status 0" test "$status" -eq 0
check "upgrade: the older product removed" not registered "$(product_key "$product")"
check "upgrade: the newer one registered" registered "$(product_key "$newer_product")"
check "upgrade: conf\\vesk.ini as the operator left it" cmp -s "$app/conf/vesk.ini" "$tmp/edited.ini"
check "upgrade: conf\\jvm.options as the operator left it" test "$(cat "$app/conf/jvm.options")" = $'-Xmx64m\r'
check "upgrade: log\\ kept" test -f "$app/log/monitor_19990101.log"
check "upgrade: service RUNNING" test "$(state)" = RUNNING

run_msiexec /x "$(windows "$newer")"
check "removal: status 0" test "$status" -eq 0
check "removal: product gone" not registered "$(product_key "$newer_product")"
check "removal: service gone" not registered "$service_key"
for file in vesk.exe libcurl.dll vesk_java.dll vesk-java.jar; do
  check "removal: $file gone" test ! -e "$app/$file"
done
check "removal: conf\\vesk.ini left" cmp -s "$app/conf/vesk.ini" "$tmp/edited.ini"
check "removal: log\\ left" test -f "$app/log/monitor_19990101.log"

checks_done
