#!/usr/bin/env bash
# QORASetup.exe on real files, registry and service manager under Wine: the media laid out with
# the suite service program's stand-in Yarrow.exe (a real service program) and dummy files;
# Install stopped by the missing Sentrel engine (Wine runs on the host's processor), then the
# service registered as Install would have, Update and Remove with their Debug lines.
#
#   installer-modes.sh <wine64> <wineserver> <QORASetup.exe> <Yarrow.exe> <svcprobe.exe> <work>
set -u
setup=$3 yarrow=$4 probe=$5
. "$(dirname "$0")/service-prefix.sh" "$1" "$2" "$6"

drive="$WINEPREFIX/drive_c"
media="$drive/Media"
qora='C:\Program Files\Pellam\QORA'
mkdir -p "$media/AP/X64" "$media/AP/Language" "$media/Driver" "$drive/probe"
cp "$setup" "$media/QORASetup.exe"
cp "$setup" "$media/AP/X64/QORASetup.exe"
cp "$yarrow" "$media/AP/X64/Yarrow.exe"
cp "$probe" "$drive/probe/"
# The table's files: its rows in order, as "<media file>|<installed path>".
rows=()
for name in mfc140chs.dll mfc140u.dll msvcp140.dll vcruntime140.dll Brimwell.exe \
  Language/Sorrel_JP.ini Language/Hesper.chm Kelpie.dll Palmo.dll Tressel.exe Hollin.dll \
  Brayle.dll Cindle.dll Yarrow.exe QORASetup.exe ShellBeacon.exe; do
  case $name in
    Language/Sorrel_JP.ini) rows+=("AP\\Language\\Sorrel_JP.ini|$qora\\Sorrel.ini") ;;
    Language/*) rows+=("AP\\Language\\${name#Language/}|$qora\\${name#Language/}") ;;
    Cindle.dll) rows+=("AP\\X64\\$name|C:\\Windows\\System32\\$name") ;;
    *) rows+=("AP\\X64\\$name|$qora\\$name") ;;
  esac
  [ -e "$media/AP/X64/$name" ] || [ "${name%%/*}" = Language ] || echo "$name" >"$media/AP/X64/$name"
done
echo Sorrel >"$media/AP/Language/Sorrel_JP.ini"
echo Hesper >"$media/AP/Language/Hesper.chm"
echo driver >"$media/Driver/truecrypt.sys"

setup() { run 'C:\Media\QORASetup.exe' "$@"; }
svc() { run 'C:\probe\svcprobe.exe' QORAService "$@"; }
value() { run reg query "$1" /v "$2" >/dev/null; echo $?; }
# Wine's Windows folder is spelt "C:\windows".
lines_of() { printf '%s' "$1" | sed 's/C:\\windows\\system32/C:\\Windows\\System32/g'; }

out=$(setup Install bWinXP '\Driver' Debug); rc=$?
expect_eq "Install without the Sentrel engine: exit code" "$rc" 2
expect_eq "Install without the Sentrel engine: Debug lines" "$out" \
  "Sentrel does not exist. Installation stopped.
ExitCode = 2"

# As Install's " -install" step would have.
mkdir -p "$drive/Program Files/Pellam/QORA"
cp "$yarrow" "$drive/Program Files/Pellam/QORA/Yarrow.exe"
run "$qora\\Yarrow.exe" -install >/dev/null
run reg add 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run' /v qora_init /d "$qora\\ShellBeacon.exe" /f >/dev/null

removal="Yarrow.exe Brimwell.exe Tressel.exe Palmo.dll Kelpie.dll Brayle.dll Hollin.dll ShellBeacon.exe
Sorrel.ini Hesper.chm Nettle.chm truecrypt.sys truecrypt-x64.sys mirtResource S:mirtResource
Cindle.dll S:Cindle.dll QORASetup.exe vcruntime140.dll msvcp140.dll mfc140u.dll mfc140chs.dll
Microsoft.VC90.MFC.manifest Microsoft.VC90.CRT.manifest mfc90.dll mfc90u.dll mfcm90.dll
mfcm90u.dll msvcm90.dll msvcp90.dll msvcr90.dll"
# The deletion lines of the removal list; the files named in $1 (blank-separated) are there.
deletions() {
  local name path
  for name in $removal; do
    case $name in S:*) path="C:\\Windows\\System32\\${name#S:}" ;; *) path="$qora\\$name" ;; esac
    case " $1 " in
      *" $name "*) printf 'deleted %s.\n' "$path" ;;
      *) printf 'DeleteFile %s failed error=0x00000002)\n' "$path" ;;
    esac
  done
}
copies() {
  local row
  for row in "${rows[@]}"; do printf '\ncopy C:\\Media\\%s to %s...\t---OK.' "${row%%|*}" "${row#*|}"; done
  printf '\ncopy C:\\Media\\Driver\\truecrypt.sys to %s\\truecrypt-x64.sys...\t---OK.' "$qora"
}

out=$(setup Update bWinXP '\Driver' Debug); rc=$?
expect_eq "Update: exit code" "$rc" 0
expect_eq "Update: Debug lines" "$(lines_of "$out")" "$(
  printf "don't find the mirtResource file\n"
  deletions "Yarrow.exe"
  copies
  printf '\ncopy  mirtResource from C:\\Program Files\\QORATmp\\mirtResource to %s\\mirtResource failed,error=0x00000002\n' "$qora"
  printf 'Service start pending...\nService started successfully.\nExitCode = 0')"
expect_eq "Update: the files in place" \
  "$(cd "$drive/Program Files/Pellam/QORA" && LC_ALL=C ls | tr '\n' ' ')" \
  "Brayle.dll Brimwell.exe Hesper.chm Hollin.dll Kelpie.dll Palmo.dll QORASetup.exe ShellBeacon.exe Sorrel.ini Tressel.exe Yarrow.exe mfc140chs.dll mfc140u.dll msvcp140.dll truecrypt-x64.sys vcruntime140.dll "
expect_eq "Update: the service runs" "$(svc query | cut -d' ' -f1)" "state=4"
expect_eq "Update: Version under HKCU" "$(run reg query 'HKCU\Software\QORA' /v Version | grep -o 'REG_SZ.*' | tr -s ' ')" "REG_SZ 1.06.00"

installed="Yarrow.exe Brimwell.exe Tressel.exe Palmo.dll Kelpie.dll Brayle.dll Hollin.dll ShellBeacon.exe
Sorrel.ini Hesper.chm truecrypt-x64.sys S:Cindle.dll QORASetup.exe vcruntime140.dll msvcp140.dll
mfc140u.dll mfc140chs.dll"
out=$(setup Remove bWinXP '\Driver' Debug); rc=$?
expect_eq "Remove: exit code" "$rc" 0
expect_eq "Remove: Debug lines" "$(lines_of "$out" | sed 's/^Stopping QORAService\.*$/Stopping QORAService/')" "$(
  printf 'Stopping QORAService\nQORAService is stopped.\n'
  deletions "$(echo $installed)"
  for log in Yarrow1.log Yarrow2.log Tressel1.log Tressel2.log Brimwell1.log Brimwell2.log logmark; do
    printf 'DeleteFile %s\\%s failed error=0x00000002)\n' "$qora" "$log"
  done
  printf 'ExitCode = 0')"
expect_eq "Remove: the files and folders gone" \
  "$([ -e "$drive/Program Files/Pellam" ] || [ -e "$drive/windows/system32/Cindle.dll" ] && echo left || echo gone)" "gone"
expect_eq "Remove: the service deleted" "$(svc query)" "OpenService failed: 1060"
expect_eq "Remove: the Run value gone" "$(value 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run' qora_init)" 1
expect_eq "Remove: Version gone" "$(value 'HKCU\Software\QORA' Version)" 1

[ "$failures" -eq 0 ] && echo "all checks passed" || echo "$failures check(s) failed"
exit $((failures > 0))
