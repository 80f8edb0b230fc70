#!/usr/bin/env bash
# Installs, starts, controls, stops and removes the real Quillet.exe as a Windows service
# under Wine, and checks what the service control manager and the console show.
#
#   quillet-service.sh <wine64> <wineserver> <Quillet.exe> <svcprobe.exe> <work folder>
set -u
quillet=$3 probe=$4
. "$(dirname "$0")/service-prefix.sh" "$1" "$2" "$5"

dir="$WINEPREFIX/drive_c/Program Files/Norvane"
mkdir -p "$dir"
cp "$quillet" "$probe" "$dir/"
for dll in "$(dirname "$quillet")"/*.dll; do [ -e "$dll" ] && cp "$dll" "$dir/"; done
exe='C:\Program Files\Norvane\Quillet.exe'
probe() { run 'C:\Program Files\Norvane\svcprobe.exe' Orvexd "$@"; }
config='type=0x10 start=2 errorcontrol=1 path="C:\Program Files\Norvane\Quillet.exe" display=Norvane NAS LED Control'

out=$(run "$exe" -install); rc=$?
expect_eq "-install prints nothing" "$out" ""
expect_eq "-install exit code" "$rc" 0
expect_eq "registered as an own-process auto-start service under its quoted path" "$(probe config)" "$config"

out=$(run "$exe" -install)
expect_eq "a second -install prints nothing" "$out" ""
expect_eq "a second -install changes nothing" "$(probe config)" "$config"

run net start Orvexd >/dev/null
expect_eq "running with stop, shutdown, parameter change and power event accepted" \
  "$(probe wait 4 20000)" "state=4 controls=0x4d checkpoint=0 waithint=0 exitcode=0"
expect_eq "a parameter-change control is taken" \
  "$(probe control 6)" "state=4 controls=0x4d checkpoint=0 waithint=0 exitcode=0"
probe control 1 >/dev/null
expect_eq "stopped after a stop control" \
  "$(probe wait 1 60000)" "state=1 controls=0x0 checkpoint=0 waithint=0 exitcode=0"

# The board's start-up results go on down one list across service processes, as on the
# simulated board: the first start fails once and has the board 10 s later; a restart then
# finds it at once, with one call more, instead of failing again.
board() { run reg add 'HKLM\SOFTWARE\BrackleStandIn' /f "$@" >/dev/null; }
board /v InitResults /t REG_SZ /d -1001,0
board /v InitCalls /t REG_DWORD /d 0
for start in first second; do
  run net start Orvexd >/dev/null
  probe wait 4 20000 >/dev/null
  probe control 1 >/dev/null
  expect_eq "the $start start stops" "$(probe wait 1 60000)" \
    "state=1 controls=0x0 checkpoint=0 waithint=0 exitcode=0"
done
expect_eq "two starts took three board initializations" \
  "$(run reg query 'HKLM\SOFTWARE\BrackleStandIn' /v InitCalls | awk '$1 == "InitCalls" {print $3}')" "0x3"
run reg delete 'HKLM\SOFTWARE\BrackleStandIn' /v InitResults /f >/dev/null

# The DWORD value of a registry key in decimal, or nothing when it is not there.
reg_dword() {  # key, value name
  local line
  line=$(run reg query "$1" /v "$2" | grep -i 'REG_DWORD') || return 0
  printf '%d' "$(awk '{print $3}' <<<"$line")"
}

# The board stand-in reports a CPU at 90.5 °C, above "CpuTempErr" (85 by default): the first
# cycle publishes the reading truncated and the CPU temperature error, the system status is an
# error, and the status LED (pin 10, level 0 = lit) is lit until the service stops.
check_cpu_temperature_error() {
  local config='HKLM\SOFTWARE\Wow6432Node\Norvane\Tesmar\Config'
  local board='HKLM\SOFTWARE\BrackleStandIn'
  run reg add "$config" /f >/dev/null
  run reg add "$board" /v CpuTemp /t REG_SZ /d 90.5 /f >/dev/null
  run net start Orvexd >/dev/null
  local i
  for i in $(seq 1 120); do
    [ "$(reg_dword "$board" Pin10)" = 0 ] && [ -n "$(reg_dword "$config" SystemStatus)" ] && break
    sleep 1
  done
  expect_eq "the CPU temperature is published truncated" "$(reg_dword "$config" CpuTemp)" 90
  expect_eq "the CPU temperature status is an error" "$(reg_dword "$config" CpuTempStatus)" 11300
  expect_eq "the system status is an error" "$(reg_dword "$config" SystemStatus)" 300
  expect_eq "the status LED is lit" "$(reg_dword "$board" Pin10)" 0
  probe control 1 >/dev/null
  expect_eq "stopped after the CPU temperature check" \
    "$(probe wait 1 60000)" "state=1 controls=0x0 checkpoint=0 waithint=0 exitcode=0"
  run reg delete "$board" /v CpuTemp /f >/dev/null
}
check_cpu_temperature_error

out=$(run "$exe" -remove)
expect_eq "-remove prints nothing" "$out" ""
expect_eq "the service is gone" "$(probe query)" "OpenService failed: 1060"

timeout 60 "${wine[@]}" "$exe" -remove >"$work/remove-again.out" 2>/dev/null; rc=$?
expect_eq "-remove again exit code" "$rc" 0
case "$(tr -d '\r' <"$work/remove-again.out" | head -n 1)" in
  "OpenService failed: "?*) echo "ok: -remove again prints the OpenService line" ;;
  *) fail "-remove again: got [$(cat "$work/remove-again.out")]" ;;
esac
# The system text ends in its own line break and the line adds one: an empty line follows
# (the runtime writes each line break to a file as CR LF).
expect_eq "the OpenService line is followed by an empty line" \
  "$(tail -c 5 "$work/remove-again.out" | od -An -c | tr -d ' ')" '\r\r\n\r\n'

[ "$failures" -eq 0 ] && echo "all checks passed" || echo "$failures check(s) failed"
exit $((failures > 0))
