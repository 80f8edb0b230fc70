# Sourced by the end-to-end scripts: a throw-away Wine prefix in the work folder, its server
# ended when the script ends, and the helpers that count failed checks.
#   . checks.sh <wineserver> <work folder>
export WINEPREFIX="$2/prefix" WINEDEBUG=-all
# No Mono or Gecko installers in a test prefix, and no display.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
rm -rf "$2"
mkdir -p "$2"
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_eq() {  # what, got, want
  if [ "$2" != "$3" ]; then fail "$1: got [$2], want [$3]"; else echo "ok: $1"; fi
}
finish() { "$wineserver" -k >/dev/null 2>&1; }
trap finish EXIT
# The summary line and the exit status of the script.
report() {
  [ "$failures" -eq 0 ] && echo "all checks passed" || echo "$failures check(s) failed"
  exit $((failures > 0))
}
