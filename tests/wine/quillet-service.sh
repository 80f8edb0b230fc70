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
