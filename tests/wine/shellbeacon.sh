#!/usr/bin/env bash
# Runs the real ShellBeacon.exe under Wine as the installer places it, with the stand-in
# Kelpie.dll beside it and a probe program that owns a top-level window. One qualifying volume,
# E:, appears 30 s after kelp_Init. Checks that the probe's window gets the arrival once, that
# the library saw its session started, 120 lists taken and each given back, and its session
# released, and that the program ends with exit code 0. Takes the watch's 130 s.
#
#   shellbeacon.sh <wine64> <wineserver> <ShellBeacon.exe> <Kelpie.dll> <devprobe.exe> <work folder>
set -u
beacon=$3 kelpie=$4 probe=$5
. "$(dirname "$0")/service-prefix.sh" "$1" "$2" "$6"

reg() { timeout 60 "${wine[@]}" reg add "$@" /f >/dev/null 2>&1 || fail "reg add $*"; }
# Windows and messages without a display: Wine's null graphics driver, taken by the desktop
# process of the next server, which is started here.
reg 'HKCU\Software\Wine\Drivers' /v Graphics /d null
reg 'HKLM\SOFTWARE\KelpieStandIn' /v Volumes /t REG_MULTI_SZ /d '30000 4 1 0'
reg 'HKLM\SOFTWARE\KelpieStandIn' /v CallLog /d 'C:\kelpie-calls.log'
"$wineserver" -k
"$wineserver" -w
"$wineserver" -p

dir="$WINEPREFIX/drive_c/Program Files/Pellam/QORA"
mkdir -p "$dir"
cp "$beacon" "$kelpie" "$dir/"
cp "$probe" "$WINEPREFIX/drive_c/"
calls="$WINEPREFIX/drive_c/kelpie-calls.log"
seen="$WINEPREFIX/drive_c/probe.log"

timeout 300 "${wine[@]}" 'C:\devprobe.exe' watch 'C:\probe.log' >/dev/null 2>&1 &
probe_pid=$!
for _ in $(seq 600); do
  grep -qx ready "$seen" 2>/dev/null && break
  sleep 0.1
done
expect_eq "the probe's window is up" "$(head -n 1 "$seen" 2>/dev/null | tr -d '\r')" "ready"

start=$SECONDS
timeout 240 "${wine[@]}" 'C:\Program Files\Pellam\QORA\ShellBeacon.exe' >/dev/null 2>&1
rc=$?
took=$((SECONDS - start))
timeout 60 "${wine[@]}" 'C:\devprobe.exe' close >/dev/null 2>&1
wait "$probe_pid"

expect_eq "exit code" "$rc" 0
if [ "$took" -lt 130 ] || [ "$took" -gt 200 ]; then
  fail "the watch took $took s, not about 130 s"
else
  echo "ok: the watch took about 130 s ($took s)"
fi
expect_eq "the probe's window got the arrival of E: once" \
  "$(tail -n +2 "$seen" | tr -d '\r')" "8000 2 10"

# The call log: the session started with 16, 6 and null; every list taken is given back by the
# next call; the session released last.
tr -d '\r' <"$calls" >"$work/calls.txt"
expect_eq "kelp_Init got 16, 6 and null and gave a handle" \
  "$(head -n 1 "$work/calls.txt" | awk '{print $2, $3, $4, $5, ($7 != "0x0")}')" \
  "kelp_Init 16 6 0x0 1"
expect_eq "the session is released last" \
  "$(tail -n 1 "$work/calls.txt" | awk '{print $2, $NF}')" "kelp_Release 0"
# One qualifying volume at most per pass: every pass counts one second, so exactly 120.
expect_eq "lists taken" "$(grep -c ' kelp_GetVolumeList .* -> 0 ' "$work/calls.txt")" 120
expect_eq "each list is given back by the next call, and nothing else happens between" \
  "$(awk 'NR == 1 || NR == n { next }
          $2 == "kelp_GetVolumeList" && $5 == "0" { list = $6; want = 1; next }
          $2 == "kelp_FreeVolumeList" && want && $4 == list && $NF == "0" { want = 0; freed++; next }
          { bad++ }
          END { print freed + 0, bad + 0, want + 0 }' n="$(wc -l <"$work/calls.txt")" \
       "$work/calls.txt")" "120 0 0"

[ "$failures" -eq 0 ] && echo "all checks passed" || echo "$failures check(s) failed"
exit $((failures > 0))
