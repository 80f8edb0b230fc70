# Sourced by the end-to-end scripts that run a real program (a service, ShellBeacon) under Wine:
#   . service-prefix.sh <wine64> <wineserver> <work folder>
# Makes a fresh prefix in the work folder with one server kept running for all the steps (Wine
# ends services when its server quits, and its service manager starts auto-start services
# whenever it starts anew), and gives the scripts `run`, `expect_eq` and `fail`; the server
# goes when the script ends.
wineserver=$2
work=$3
# Wine takes its code page (932) from the locale's name alone; the host need not have it, so
# the name is given to Wine's processes only.
wine=(env LC_ALL=ja_JP.UTF-8 "$1")

export WINEPREFIX="$work/prefix" WINEDEBUG=-all
# No Mono or Gecko installers in a test prefix, and no display.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
rm -rf "$work"
mkdir -p "$work"
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_eq() {  # what, got, want
  if [ "$2" != "$3" ]; then fail "$1: got [$2], want [$3]"; else echo "ok: $1"; fi
}
finish() { "$wineserver" -k >/dev/null 2>&1; }
trap finish EXIT

# Runs a Windows command line; prints its standard output without carriage returns and returns
# its exit code.
run() {
  local out rc
  out=$(timeout 60 "${wine[@]}" "$@" 2>/dev/null); rc=$?
  printf '%s' "$out" | tr -d '\r'
  return $rc
}

timeout 120 "${wine[@]}" wineboot -i >/dev/null 2>&1 || { echo "wineboot failed"; exit 1; }
"$wineserver" -w
"$wineserver" -p
timeout 60 "${wine[@]}" cmd /c ver >/dev/null 2>&1
