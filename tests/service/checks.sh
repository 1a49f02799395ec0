#!/bin/bash
# Runs inside the booted Debian root, as the oneshot unit vesk-checks: installs
# the packages from /checks and checks the service as an operator meets it.
# Writes "ok ..." and "FAIL ..." lines, then "done", to /checks/results.txt;
# the unit powers the machine off when this ends.
set -u
exec >/checks/results.txt 2>&1
export DEBIAN_FRONTEND=noninteractive

ok() { echo "ok $* (${SECONDS} s)"; }
bad() { echo "FAIL $* (${SECONDS} s)"; }
check() { # check NAME COMMAND...: ok or FAIL by the command's status.
    local name=$1
    shift
    if "$@"; then ok "$name"; else bad "$name"; fi
}
# until SECONDS COMMAND...: runs the command each second until it succeeds.
until_true() {
    local seconds=$1
    shift
    for _ in $(seq "$seconds"); do
        "$@" && return 0
        sleep 1
    done
    "$@"
}
show() { systemctl show -p "$1" --value vesk; }
state_is() { [ "$(show ActiveState)" = "$1" ]; }
today_log() { cat "/var/lib/vesk/log/monitor_$(date +%Y%m%d).log" 2>/dev/null; }
logged() { today_log | grep -qF "$1"; }
# The demo's page on the loopback address, without curl.
page() {
    timeout 5 bash -c 'exec 3<>/dev/tcp/127.0.0.1/9000 && printf "GET / HTTP/1.0\r\n\r\n" >&3 && cat <&3' 2>/dev/null
}
serves() { page | grep -q 'VESK - Service'; }
configure() { # configure ENTRY_CLASS
    cat >/etc/vesk/vesk.ini <<INI
VERBOSITY=4
PORT=9000
CLASSPATH=/checks/probe.jar:/checks/vesk-demo.jar:/usr/share/java/vesk-java.jar
LIBRARY_PATH=/usr/lib/x86_64-linux-gnu/jni
library=vesk_java
ENTRY_CLASS=$1
INI
}

# Installed unconfigured: enabled, started, and inactive with the reason in
# the journal, not failed and not restarting.
check "install" timeout 120 apt-get install -y -q /checks/vesk_*.deb
check "unit enabled" systemctl -q is-enabled vesk
check "user vesk" getent passwd vesk
check "working folder" [ "$(stat -c '%a %U:%G' /var/lib/vesk/conf /var/lib/vesk/log | sort -u)" = "750 vesk:vesk" ]
check "configuration for root and vesk" [ "$(stat -c '%a %U:%G' /etc/vesk/vesk.ini)" = "640 root:vesk" ]
sleep 7 # longer than RestartSec
check "unconfigured: inactive, not failed" [ "$(show ActiveState)/$(show Result)" = "inactive/exec-condition" ]
check "unconfigured: no restart" [ "$(show NRestarts)" = 0 ]
check "unconfigured: the journal says what to set" \
    until_true 10 sh -c 'journalctl -u vesk --no-pager | grep -q "defina ENTRY_CLASS e CLASSPATH em /etc/vesk/vesk.ini"'

# Configured: serves on loopback, logs, writes its state, cannot write conf/.
configure vesk/servicetest/ServiceProbe
systemctl restart vesk
check "configured: serves on loopback" until_true 30 serves
check "configured: the day's log holds the server's lines" \
    logged "StatusServer|INFO|0|StatusServer escutando em http://127.0.0.1:9000/"
check "configured: the request is logged" until_true 5 logged "StatusServer|INFO|200|GET / de 127.0.0.1"
check "configured: the server writes its state" until_true 5 logged "ServiceProbe|INFO|0|estado gravado"
check "configured: files are for the service only" [ "$(stat -c %a /var/lib/vesk/estado.txt)" = 640 ]
check "configured: conf/ is read-only" logged "ServiceProbe|INFO|0|conf somente leitura"

# An upgrade keeps the operator's configuration and its permissions, and
# restarts the running service.
pid=$(show MainPID)
check "upgrade" timeout 120 dpkg -i /checks/vesk_*.deb
check "upgrade: configuration kept" grep -q '^ENTRY_CLASS=vesk/servicetest/ServiceProbe$' /etc/vesk/vesk.ini
check "upgrade: permissions kept" [ "$(stat -c '%a %U:%G' /etc/vesk/vesk.ini)" = "640 root:vesk" ]
restarted_serving() { [ "$(show MainPID)" != "$pid" ] && serves; }
check "upgrade: restarted, serves again" until_true 30 restarted_serving

# Stop: the shutdown hook runs and the unit ends inactive, not failed.
systemctl stop vesk
check "stop: the shutdown hook logged" logged "ServiceProbe|INFO|0|encerrando"
check "stop: inactive, not failed" [ "$(show ActiveState)/$(show Result)" = "inactive/success" ]

# A crash restarts after the pause.
systemctl start vesk
until_true 30 serves
pid=$(show MainPID)
kill -9 "$pid"
restarted() { [ "$(show NRestarts)" -ge 1 ] && state_is active && [ "$(show MainPID)" != "$pid" ]; }
check "kill -9: restarted" until_true 20 restarted
check "kill -9: serves again" until_true 30 serves
systemctl stop vesk

# A missing entry class ends with status 3 and is not restarted.
configure nao/Existe
systemctl start vesk
check "missing entry class: failed" until_true 20 state_is failed
check "missing entry class: status 3" [ "$(show ExecMainStatus)" = 3 ]
restarts=$(show NRestarts)
sleep 7
check "missing entry class: no restart" [ "$(show NRestarts)/$(show ActiveState)" = "$restarts/failed" ]
systemctl reset-failed vesk

# Retention: log files last written more than 30 days ago go, newer ones and
# other files stay, whatever their change time (touch sets it to now).
logs=/var/lib/vesk/log
touch -d '40 days ago' "$logs/monitor_20200101.log" "$logs/outro.txt" "$logs/monitor_20200101.txt"
touch -d '10 days ago' "$logs/monitor_20200201.log"
systemd-tmpfiles --clean
check "retention: old log removed" [ ! -e "$logs/monitor_20200101.log" ]
check "retention: newer log kept" [ -e "$logs/monitor_20200201.log" ]
check "retention: other files kept" test -e "$logs/outro.txt" -a -e "$logs/monitor_20200101.txt"
sed 's/m:30d/m:5d/' /usr/lib/tmpfiles.d/vesk.conf >/etc/tmpfiles.d/vesk.conf
systemd-tmpfiles --clean
check "retention: the operator's days" [ ! -e "$logs/monitor_20200201.log" ]
rm /etc/tmpfiles.d/vesk.conf

# remove keeps the configuration and the logs; purge removes them.
check "remove" timeout 120 apt-get remove -y -q vesk
check "remove: configuration and logs kept" test -f /etc/vesk/vesk.ini -a -d /var/lib/vesk/log
check "purge" timeout 120 apt-get purge -y -q vesk
check "purge: the user's folder and the configuration removed" test ! -e /var/lib/vesk -a ! -e /etc/vesk

journalctl -u vesk --no-pager >/checks/journal.txt 2>&1
echo "done"
