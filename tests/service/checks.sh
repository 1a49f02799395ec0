#!/bin/bash
# Runs inside the booted Debian root, as the oneshot unit vesk-checks: installs
# the packages from /checks and checks the service as an operator meets it.
# Writes "ok ..." and "FAIL ..." lines, then "done", to /checks/results.txt;
# the unit powers the machine off when this ends.
set -u
exec >/checks/results.txt 2>&1
export DEBIAN_FRONTEND=noninteractive

# The shell tests' helpers (wait_for), copied in beside this script.
# shellcheck source=tests/support/checks.sh
source /checks/support-checks.sh
# check NAME COMMAND...: ok or FAIL by the command's status; here each line
# carries the seconds since the checks began, and service_test.sh reads the
# lines rather than a tally.
check() {
    local name=$1
    shift
    if "$@"; then echo "ok $name (${SECONDS} s)"; else echo "FAIL $name (${SECONDS} s)"; fi
}
show() { systemctl show -p "$1" --value "${2:-vesk}"; }
state_is() { [ "$(show ActiveState)" = "$1" ]; }
logs=/var/log/vesk
today_log() { cat "$logs/monitor_$(date +%Y%m%d).log" 2>/dev/null; }
logged() { today_log | grep -qF -- "$1"; }
journal_has() { journalctl -u vesk --no-pager "${@:2}" | grep -qF -- "$1"; }
# GET PATH on the loopback port 9000, without curl.
get() {
    timeout 5 bash -c 'exec 3<>/dev/tcp/127.0.0.1/9000 && printf "GET %s HTTP/1.0\r\n\r\n" "$1" >&3 && cat <&3' \
        _ "${1:-/}" 2>/dev/null
}
serves() { get / | grep -q 'VESK - Service'; }
demo_classpath=/opt/probe/probe.jar:/opt/probe/vesk-demo.jar:/usr/share/java/vesk-java.jar
configure() { # configure ENTRY_CLASS [CLASSPATH]: the operator's vesk.ini
    cat >/etc/vesk/vesk.ini <<INI
VERBOSITY=4
PORT=9000
CLASSPATH=${2:-$demo_classpath}
LIBRARY_PATH=/usr/lib/x86_64-linux-gnu/jni
library=vesk_java
ENTRY_CLASS=$1
INI
}
server_options() { printf '%s\n' "$@" >/etc/vesk/server.ini; }
# Failed for good: every restart the start limit allows was made.
given_up() { [ "$(show ActiveState)" = failed ] && [ "$(show NRestarts)" -ge 4 ]; }
# A fresh start: the start limit counts starts, and the checks make many.
fresh() { systemctl stop vesk; systemctl reset-failed vesk 2>/dev/null; true; }

mkdir -p /opt/probe
cp /checks/probe.jar /checks/vesk-demo.jar /opt/probe/
useradd --no-create-home --groups adm leitor
useradd --no-create-home outro
# A unit that needs the server listening as soon as vesk is ready.
cat >/etc/systemd/system/vesk-dependent.service <<'UNIT'
[Unit]
Requires=vesk.service
After=vesk.service
[Service]
Type=oneshot
RemainAfterExit=yes
ExecStart=/bin/bash -c 'exec 3<>/dev/tcp/127.0.0.1/9000 && touch /run/dependent-connected'
UNIT
systemctl daemon-reload

# Installed unconfigured: enabled, started, and inactive with the reason in
# the journal, not failed and not restarting.
check "install" timeout 120 apt-get install -y -q /checks/vesk_*.deb </dev/null
check "unit enabled" systemctl -q is-enabled vesk
check "user vesk" getent passwd vesk
check "working folder" [ "$(stat -c '%a %U:%G' /var/lib/vesk/conf /var/lib/vesk/log | sort -u)" = "750 vesk:vesk" ]
check "log folder for vesk and adm" [ "$(stat -c '%a %U:%G' $logs)" = "2750 vesk:adm" ]
check "configuration for root and vesk" \
    [ "$(stat -c '%a %U:%G' /etc/vesk/vesk.ini /etc/vesk/jvm.options /etc/vesk/server.ini | sort -u)" = "640 root:vesk" ]
check "no conffile" [ -z "$(dpkg-query -W -f='${Conffiles}' vesk)" ]
check "unconfigured: inactive, not failed" \
    wait_for 10 eval '[ "$(show ActiveState)/$(show Result)" = "inactive/exec-condition" ]'
check "unconfigured: the journal says what to set" \
    wait_for 10 journal_has "defina ENTRY_CLASS e CLASSPATH em /etc/vesk/vesk.ini"
check "unconfigured: no restart" [ "$(show NRestarts)" = 0 ]
check "the man page and the operator's pages" \
    test -f /usr/share/man/man8/vesk.8.gz -a -f /usr/share/doc/vesk/README.Debian -a -f /usr/share/doc/vesk/operating.md.gz
check "vesk --version" eval '/usr/bin/vesk --version | grep -q "^VESK - Service "'
check "vesk --help" eval '/usr/bin/vesk --help | grep -q "conf/jvm.options"'

# An ini file the service cannot read fails the start, saying so.
configure vesk/servicetest/ServiceProbe
chmod 0600 /etc/vesk/vesk.ini
check "unreadable ini: the start fails" eval '! systemctl start vesk'
check "unreadable ini: the journal says why" journal_has "/etc/vesk/vesk.ini ilegivel para o usuario vesk"
chmod 0640 /etc/vesk/vesk.ini
fresh

# Ready only once start() has returned: a start() of 3 s, then the port
# answers at once, and a dependent unit connects at its first try.
server_options START_DELAY_MS=3000
started=$SECONDS
check "slow start: systemctl start succeeds" systemctl start vesk-dependent
check "slow start: it waited for start()" [ $((SECONDS - started)) -ge 3 ]
check "slow start: serves at once" serves
check "slow start: the dependent connected" test -e /run/dependent-connected
check "status line: running" [ "$(show StatusText)" = "Em execucao: vesk.servicetest.ServiceProbe" ]
check "configured: the day's log holds the server's lines" \
    logged "StatusServer|INFO|0|StatusServer escutando em http://127.0.0.1:9000/"
check "configured: the request is logged" wait_for 5 logged "StatusServer|INFO|200|GET / de 127.0.0.1"
check "configured: the server writes its state" wait_for 5 logged "ServiceProbe|INFO|0|estado gravado"
check "configured: files are for the service only" [ "$(stat -c %a /var/lib/vesk/estado.txt)" = 640 ]
check "configured: conf/ is read-only" logged "ServiceProbe|INFO|0|conf somente leitura"
check "the log: adm reads it" runuser -u leitor -- test -r "$logs/monitor_$(date +%Y%m%d).log"
check "the log: others do not" runuser -u outro -- test ! -r "$logs/monitor_$(date +%Y%m%d).log"
systemctl stop vesk-dependent
rm -f /run/dependent-connected
fresh

# A start() that throws fails systemctl start, with its cause in the journal
# at priority err, and a unit ordered after vesk never starts.
server_options START_FAILS=sim
check "failing start: systemctl start fails" eval '! systemctl start vesk-dependent'
check "failing start: the dependent did not start" \
    eval '[ ! -e /run/dependent-connected ] && [ "$(show ActiveState vesk-dependent)" != active ]'
check "failing start: status 3" [ "$(show ExecMainStatus)" = 3 ]
check "failing start: the cause at priority err" journal_has "Falha ao tentar iniciar VESKServer" -p err
fresh

# Status 3 from a cause that passes (the port taken, then freed) is mended
# by a restart.
server_options
systemd-socket-activate -l 127.0.0.1:9000 /bin/true >/dev/null 2>&1 &
holder=$!
# Listening on 127.0.0.1:9000 (0100007F:2328 in /proc/net/tcp, state 0A).
held() { grep -q '0100007F:2328 00000000:0000 0A' /proc/net/tcp; }
wait_for 10 held
check "taken port: the start fails" eval '! systemctl start vesk'
kill "$holder"
wait "$holder" 2>/dev/null
check "taken port: restarted and serving" wait_for 40 eval 'state_is active && serves'
check "taken port: after a restart" [ "$(show NRestarts)" -ge 1 ]

# An upgrade to a package whose shipped configuration changed, with no
# terminal: no prompt, the operator's files kept, the service restarted.
echo "#edited by the operator" >>/etc/vesk/jvm.options
pid=$(show MainPID)
check "upgrade" timeout 180 apt-get install -y -q /checks/newer/vesk_*.deb </dev/null
check "upgrade: the new version" [ "$(dpkg-query -W -f='${Version}' vesk)" = "$(cat /checks/newer/version)" ]
check "upgrade: the operator's files kept" \
    eval 'grep -q "^ENTRY_CLASS=vesk/servicetest/ServiceProbe$" /etc/vesk/vesk.ini &&
        grep -q "^#edited by the operator$" /etc/vesk/jvm.options'
check "upgrade: the new templates" grep -q "changed template" /usr/share/vesk/jvm.options
check "upgrade: permissions kept" [ "$(stat -c '%a %U:%G' /etc/vesk/vesk.ini)" = "640 root:vesk" ]
check "upgrade: restarted, serves again" wait_for 30 eval '[ "$(show MainPID)" != "$pid" ] && serves'

# Stop: the shutdown hook runs and the unit ends inactive, not failed.
systemctl stop vesk
check "stop: the shutdown hook logged" logged "ServiceProbe|INFO|0|encerrando"
check "stop: inactive, not failed" [ "$(show ActiveState)/$(show Result)" = "inactive/success" ]

# A crash restarts after the pause.
fresh
systemctl start vesk
pid=$(show MainPID)
kill -9 "$pid"
check "kill -9: restarted and serving" \
    wait_for 30 eval '[ "$(show NRestarts)" -ge 1 ] && state_is active && [ "$(show MainPID)" != "$pid" ] && serves'
fresh

# A missing entry class ends with status 3 after its class is named, and
# the restarts stop at the start limit.
configure nao/Existe
systemctl start --no-block vesk
check "missing entry class: failed at the start limit" wait_for 120 given_up
check "missing entry class: status 3" [ "$(show ExecMainStatus)" = 3 ]
check "missing entry class: named in the journal" journal_has "nao/Existe"
fresh

# The Jetty example configured through /etc/vesk alone: its options in
# server.ini, its heap in jvm.options, its jars under /opt; the JIT stays on.
mkdir -p /opt/jetty-exemplo/lib
cp -r /checks/www /opt/jetty-exemplo/www
ln -s /checks/vesk-jetty.jar /usr/share/java/jetty9-{http,io,security,server,servlet,util}.jar \
    /usr/share/java/servlet-api.jar /usr/share/java/vesk-java.jar /opt/jetty-exemplo/lib/
configure vesk.jetty.JettyServer '/opt/jetty-exemplo/lib/*'
server_options WWW=/opt/jetty-exemplo/www BIND=127.0.0.1
sed -i 's/^-Xmx256m$/-Xmx384m/' /etc/vesk/jvm.options
check "Jetty: ready" systemctl start vesk
check "Jetty: serves its folder on /" eval 'get / | grep -q "<title>"'
status=$(get /api/status)
check "Jetty: the JIT is on" grep -q '"vm":"mixed mode' <<<"$status"
heap=$(grep -oE '"heapMax":[0-9]+' <<<"$status" | cut -d: -f2)
check "Jetty: the operator's heap ($heap bytes)" eval '[ -n "$heap" ] && [ "$heap" -gt 300000000 ] && [ "$heap" -le 402653184 ]'
check "Jetty: no JAVA_TOOL_OPTIONS echo" eval '! journal_has "Picked up JAVA_TOOL_OPTIONS"'
# The JDK's tools on the service, as README.Debian says: into its mount
# namespace (its private /tmp holds the attach socket), as its user.
pid=$(show MainPID)
check "jcmd through nsenter" eval 'nsenter -t "$pid" -m -- runuser -u vesk -- jcmd "$pid" VM.flags |
    grep -q "MaxHeapSize=402653184"'
fresh

# The log past its budget: a server that logs 11 MB in start() and exits 1,
# restarted until the start limit: the day's file stays under 10.5 MiB with
# one marker line, and the journal says so at priority warning.
configure vesk/servicetest/ServiceProbe
server_options FLOOD_BYTES=11000000 FLOOD_THEN=exit
rm -f "$logs/monitor_$(date +%Y%m%d).log"
systemctl start --no-block vesk
check "crash loop: failed at the start limit" wait_for 150 given_up
size=$(stat -c %s "$logs/monitor_$(date +%Y%m%d).log")
check "crash loop: the day's file under 10.5 MiB ($size bytes)" [ "$size" -lt 11010048 ]
check "crash loop: one marker line" [ "$(today_log | grep -c 'Limite diario do log atingido')" = 1 ]
check "crash loop: the journal at priority warning" journal_has "limite diario do log atingido" -p warning
fresh
# A server that spends the budget while it runs: the status line says so.
server_options FLOOD_BYTES=1000000 FLOOD_THEN=run
systemctl start vesk
check "spent budget: the status line says so" wait_for 10 eval 'show StatusText | grep -q "Limite diario do log atingido"'
fresh

# Retention: log files last written more than 30 days ago go, newer ones and
# other files stay, whatever their change time (touch sets it to now).
touch -d '40 days ago' "$logs/monitor_20200101.log" "$logs/outro.txt" "$logs/monitor_20200101.txt"
touch -d '10 days ago' "$logs/monitor_20200201.log"
systemd-tmpfiles --clean
check "retention: old log removed" [ ! -e "$logs/monitor_20200101.log" ]
check "retention: newer log kept" [ -e "$logs/monitor_20200201.log" ]
check "retention: other files kept" test -e "$logs/outro.txt" -a -e "$logs/monitor_20200101.txt"
sed -i 's/m:30d/m:5d/' /etc/tmpfiles.d/vesk-log.conf
systemd-tmpfiles --clean
check "retention: the operator's days" [ ! -e "$logs/monitor_20200201.log" ]

# remove keeps the configuration and the logs, still aged; purge removes them.
check "remove" timeout 120 apt-get remove -y -q vesk </dev/null
check "remove: configuration and logs kept" test -f /etc/vesk/vesk.ini -a -d "$logs" -a -f /etc/tmpfiles.d/vesk-log.conf
touch -d '40 days ago' "$logs/monitor_20200301.log"
systemd-tmpfiles --clean
check "remove: the kept logs still age" [ ! -e "$logs/monitor_20200301.log" ]
check "purge" timeout 120 apt-get purge -y -q vesk </dev/null
check "purge: configuration, working folder and logs removed" \
    test ! -e /var/lib/vesk -a ! -e /etc/vesk -a ! -e "$logs" -a ! -e /etc/tmpfiles.d/vesk-log.conf

# An upgrade from 7.25.2, whose /etc/vesk/vesk.ini was a conffile and whose
# logs lived in /var/lib/vesk/log, with an operator's retention of 90 days.
check "from 7.25.2: install" timeout 120 apt-get install -y -q /checks/older/vesk_7.25.2_amd64.deb </dev/null
configure vesk/servicetest/ServiceProbe
sed 's|/var/lib/vesk/log  0750 vesk vesk m:30d|/var/lib/vesk/log  0750 vesk vesk 90d|' /usr/lib/tmpfiles.d/vesk.conf \
    >/etc/tmpfiles.d/vesk.conf
systemctl restart vesk
old_log=/var/lib/vesk/log/monitor_$(date +%Y%m%d).log
check "from 7.25.2: serving, logging in /var/lib/vesk/log" \
    wait_for 30 eval 'serves && grep -q "StatusServer escutando" "$old_log"'
runuser -u vesk -- touch -d '40 days ago' /var/lib/vesk/log/monitor_20200401.log
runuser -u vesk -- touch /var/lib/vesk/log/outro.txt
# apt passes on what the maintainer scripts say, on its standard output.
check "from 7.25.2: upgrade" eval 'timeout 180 apt-get install -y -q /checks/vesk_*.deb </dev/null >/run/upgrade.out 2>&1'
check "from 7.25.2: the operator's vesk.ini kept" grep -q "^ENTRY_CLASS=vesk/servicetest/ServiceProbe$" /etc/vesk/vesk.ini
check "from 7.25.2: jvm.options and server.ini added" test -f /etc/vesk/jvm.options -a -f /etc/vesk/server.ini
check "from 7.25.2: the operator's retention carried" grep -qx "d /var/log/vesk 2750 vesk adm 90d" /etc/tmpfiles.d/vesk-log.conf
check "from 7.25.2: the logs moved, for adm" \
    eval 'logged "StatusServer escutando" && [ "$(stat -c %G "$logs/monitor_$(date +%Y%m%d).log")" = adm ]'
check "from 7.25.2: an old day's time kept" test -n "$(find "$logs/monitor_20200401.log" -mtime +30)"
check "from 7.25.2: a file left behind is told" grep -q "guarda arquivos que nao sao logs do dia" /run/upgrade.out
check "from 7.25.2: ready under the new unit" \
    wait_for 30 eval '[ "$(show Type)/$(show ActiveState)" = notify/active ] && serves'
check "from 7.25.2: purge" timeout 120 apt-get purge -y -q vesk </dev/null
check "from 7.25.2: purge leaves nothing" \
    eval 'test ! -e /etc/vesk -a ! -e /var/lib/vesk -a ! -e "$logs" && ! dpkg-statoverride --list | grep -q vesk'

journalctl -u vesk --no-pager >/checks/journal.txt 2>&1
echo "done"
