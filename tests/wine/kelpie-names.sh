#!/usr/bin/env bash
# The decorated names that tie ShellBeacon.exe to Kelpie.dll are the same four everywhere:
#   - the names the platform's own compiler gives the declarations of notifier/Kelpie.h (clang,
#     targeting it, compiles a call of each and lists the symbols the calls refer to),
#   - the names ShellBeacon.exe imports from "Kelpie.dll" (its import table),
#   - the names the stand-in Kelpie.dll exports, and nothing else (its export table).
#
#   kelpie-names.sh <objdump> <clang++> <source root> <ShellBeacon.exe> <Kelpie.dll> <work folder>
# Exits with 77 (skipped) when there is no clang++.
set -u
objdump=$1 clang=$2 root=$3 beacon=$4 kelpie=$5 work=$6
command -v "$clang" >/dev/null 2>&1 || { echo "no clang++: skipped"; exit 77; }
rm -rf "$work"
mkdir -p "$work/include"
failures=0
expect_eq() {  # what, got, want
  if [ "$2" != "$3" ]; then
    echo "FAIL: $1:"; echo "  got:  $2" | tr '\n' ' '; echo; echo "  want: $3" | tr '\n' ' '; echo
    failures=$((failures + 1))
  else
    echo "ok: $1"
  fi
}

# The platform compiler's C++ library is not here; the header needs only these names of it.
cat >"$work/include/cstdint" <<'HEADER'
#include <stdint.h>
namespace std { using ::int32_t; using ::uint8_t; using ::uint32_t; using ::uint64_t; }
HEADER
cat >"$work/include/cstddef" <<'HEADER'
#include <stddef.h>
namespace std { using ::size_t; using ::ptrdiff_t; }
HEADER
cat >"$work/calls.cpp" <<'SOURCE'
#include "notifier/Kelpie.h"
void CallEach() {
  _SDK_Kelp_Init_Param param{};
  _UTL_VOLUME_STATUS *pList = nullptr;
  void *hKelp = kelp_Init(&param);
  kelp_GetVolumeList(hKelp, pList);
  kelp_FreeVolumeList(hKelp, pList);
  kelp_Release(hKelp);
}
SOURCE
"$clang" --target=x86_64-pc-windows-msvc -std=c++20 -ffreestanding -I"$work/include" \
  -I"$root" -c "$work/calls.cpp" -o "$work/calls.obj" || { echo "FAIL: clang"; exit 1; }
declared=$("$objdump" -t "$work/calls.obj" | awk '/\(sec  0\)/ && $NF ~ /^\?kelp_/ {print $NF}' | sort)

imported=$("$objdump" -p "$beacon" | awk '
  /DLL Name:/ { in_kelpie = ($3 == "Kelpie.dll"); next }
  in_kelpie && /^\t[0-9a-f]+\t/ { print $NF; next }
  in_kelpie && NF == 0 { in_kelpie = 0 }' | sort)

exported=$("$objdump" -p "$kelpie" | awk '
  /\[Ordinal\/Name Pointer\] Table/ { in_names = 1; next }
  in_names && NF == 0 { in_names = 0 }
  in_names { print $NF }' | sort)

expect_eq "four names declared" "$(printf '%s\n' "$declared" | grep -c .)" 4
expect_eq "ShellBeacon.exe imports the declared names from Kelpie.dll" "$imported" "$declared"
expect_eq "the stand-in Kelpie.dll exports the declared names and nothing else" "$exported" "$declared"
exit $((failures > 0))
