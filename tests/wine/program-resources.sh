#!/usr/bin/env bash
# Reads the version resources and the installer's manifest back out of the built programs, with
# the version functions and the resource loader of Wine.
#
#   program-resources.sh <wine64> <wineserver> <resprobe.exe> <work folder> <folder of programs>
set -u
probe=$3 programs=$5
. "$(dirname "$0")/service-prefix.sh" "$1" "$2" "$4"

dir="$WINEPREFIX/drive_c/probe"
mkdir -p "$dir"
cp "$probe" "$programs"/*.exe "$dir/"
resources() { run 'C:\probe\resprobe.exe' "C:\\probe\\$1"; }

for installer in QORASetup QORASetup-legacy; do
  out=$(resources "$installer.exe")
  expect_eq "$installer: version strings" "$(printf '%s\n' "$out" | sed -n 1,5p)" \
"FileVersion=1.06.00
ProductVersion=1.06.00
FileDescription=QORA Setup
OriginalFilename=$installer.exe
Fixed=1.6.0.0"
  expect_eq "$installer: runs as administrator without UI access" \
    "$(printf '%s\n' "$out" | grep -o '<requestedExecutionLevel [^>]*>')" \
    '<requestedExecutionLevel level="requireAdministrator" uiAccess="false"/>'
  expect_eq "$installer: DPI aware" "$(printf '%s\n' "$out" | grep -o '<dpiAware[^>]*>[a-z]*<')" \
    '<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true<'
done

expect_eq "Quillet: version strings" "$(resources Quillet.exe)" \
"FileVersion=1.00.00
ProductVersion=1.00.00
FileDescription=Norvane NAS LED Control
OriginalFilename=Quillet.exe
Fixed=1.0.0.0
no manifest"

if [ -e "$dir/ShellBeacon.exe" ]; then
  expect_eq "ShellBeacon: version" "$(resources ShellBeacon.exe | sed -n 1,2p)" \
"FileVersion=1.06.00
ProductVersion=1.06.00"
fi

[ "$failures" -eq 0 ] && echo "all checks passed" || echo "$failures check(s) failed"
exit $((failures > 0))
