#!/usr/bin/env bash
# Installs, runs, stops and removes the real stand-in of the suite's service program Yarrow.exe
# under Wine's service manager, with a few of its settings from HKLM\SOFTWARE\YarrowStandIn.
#
#   yarrow-service.sh <wine64> <wineserver> <Yarrow.exe> <svcprobe.exe> <work folder>
set -u
yarrow=$3 probe=$4
. "$(dirname "$0")/service-prefix.sh" "$1" "$2" "$5"

dir="$WINEPREFIX/drive_c/Program Files/Pellam/QORA"
mkdir -p "$dir"
cp "$yarrow" "$probe" "$dir/"
exe='C:\Program Files\Pellam\QORA\Yarrow.exe'
key='HKLM\SOFTWARE\YarrowStandIn'
probe() { run 'C:\Program Files\Pellam\QORA\svcprobe.exe' QORAService "$@"; }
setting() { run reg add "$key" /v "$1" /t REG_DWORD /d "$2" /f >/dev/null; }
unset_setting() { run reg delete "$key" /v "$1" /f >/dev/null; }

setting InstallExit 13
run "$exe" -install >/dev/null; rc=$?
expect_eq "-install with InstallExit 13 exit code" "$rc" 13
expect_eq "nothing registered" "$(probe query)" "OpenService failed: 1060"
unset_setting InstallExit

run "$exe" -install >/dev/null; rc=$?
expect_eq "-install exit code" "$rc" 0
expect_eq "registered as an own-process demand-start service under its quoted path" \
  "$(probe config)" \
  'type=0x10 start=3 errorcontrol=1 path="C:\Program Files\Pellam\QORA\Yarrow.exe" display=QORAService'

setting StartPendingSeconds 2
setting WaitHint 5000
run net start QORAService >/dev/null
expect_eq "running after its start-pending phase, stop and shutdown accepted" \
  "$(probe wait 4 20000)" "state=4 controls=0x5 checkpoint=0 waithint=0 exitcode=0"

# Not checked here: a refused stop ("StopRefuse"). Wine's service manager answers a control with
# success whatever the handler returns, and ends the service at a second stop request.

setting StopPendingSeconds 3
expect_eq "the stop request is answered with stop pending" \
  "$(probe control 1)" "state=3 controls=0x0 checkpoint=1 waithint=5000 exitcode=0"
expect_eq "the check point grows while the stop is pending" \
  "$(sleep 1.5; probe query | cut -d' ' -f1,3)" "state=3 checkpoint=2"
expect_eq "stopped after its stop-pending phase" \
  "$(probe wait 1 20000)" "state=1 controls=0x0 checkpoint=0 waithint=0 exitcode=0"

run "$exe" -remove >/dev/null; rc=$?
expect_eq "-remove exit code" "$rc" 0
expect_eq "the service is gone" "$(probe query)" "OpenService failed: 1060"

[ "$failures" -eq 0 ] && echo "all checks passed" || echo "$failures check(s) failed"
exit $((failures > 0))
