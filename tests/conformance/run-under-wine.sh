#!/bin/sh
# Runs the Windows build of the conformance tests under Wine:
#   run-under-wine.sh <conformance_tests.exe> <work folder> [gtest arguments...]
# A fresh prefix inside the work folder, one `wineboot -i`, a persistent wineserver for the run
# and the Japanese locale, so the ANSI code page is 932. The exit status is the test run's.
set -u

exe=$1
work=$2
shift 2

find_tool() {
  for candidate in "$@"; do
    if [ -x "$candidate" ]; then
      echo "$candidate"
      return 0
    fi
    if command -v "$candidate" >/dev/null 2>&1; then
      command -v "$candidate"
      return 0
    fi
  done
  return 1
}

WINE=${WINE:-$(find_tool /usr/lib/wine/wine64 wine64 wine)} || {
  echo "run-under-wine: no wine64 found" >&2
  exit 1
}
WINESERVER=${WINESERVER:-$(find_tool /usr/lib/wine/wineserver64 wineserver64 wineserver)} || {
  echo "run-under-wine: no wineserver found" >&2
  exit 1
}

mkdir -p "$work"
work=$(cd "$work" && pwd)
export WINEPREFIX="$work/prefix"
export WINEDEBUG=-all
# No Mono or Gecko installers in a test prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine takes its code page (932) from the locale name alone; the host need not have it (bash
# says so on standard error, hence the redirection).
export LC_ALL=ja_JP.UTF-8 2>/dev/null
export HOME="${HOME:-$work}"
unset DISPLAY WAYLAND_DISPLAY

# End a server left over from an interrupted run before the prefix goes.
if [ -d "$WINEPREFIX" ]; then
  "$WINESERVER" -k >/dev/null 2>&1
  rm -rf "$WINEPREFIX"
fi

if ! timeout 180 "$WINE" wineboot -i >"$work/wineboot.log" 2>&1; then
  echo "run-under-wine: wineboot -i failed; its output:" >&2
  cat "$work/wineboot.log" >&2
  "$WINESERVER" -k >/dev/null 2>&1
  exit 1
fi
# Windows and messages without a display: Wine's null graphics driver, taken by the desktop
# process of the next server.
timeout 60 "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
# wineboot's own server would linger a few seconds and then end; replace it with one that
# stays for the whole run.
"$WINESERVER" -k >/dev/null 2>&1
timeout 30 "$WINESERVER" -w >/dev/null 2>&1
"$WINESERVER" -p

timeout 300 "$WINE" "$exe" "$@"
status=$?
if [ "$status" -eq 124 ]; then
  echo "run-under-wine: the test run did not end within 300 s" >&2
fi

"$WINESERVER" -k >/dev/null 2>&1
timeout 30 "$WINESERVER" -w >/dev/null 2>&1
exit "$status"
