#!/bin/sh
# Checks the built plug-in file: its machine type, its one undecorated export, that it
# imports only system DLLs (static runtime), and that ASLR and DEP are on.
dll=$1
objdump=$2
fail() { echo "FAIL: $*"; exit 1; }
[ -f "$dll" ] || fail "no file $dll"
out=$($objdump -p "$dll") || fail "objdump failed"

case "$objdump" in
  i686-*)   echo "$out" | grep -q 'file format pei-i386' || fail "not a PE32 i386 file" ;;
  x86_64-*) echo "$out" | grep -q 'file format pei-x86-64' || fail "not a PE32+ x86-64 file" ;;
esac

names=$(echo "$out" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -E '^\s*\[ *[0-9]+\]' | awk '{print $NF}')
[ "$names" = "winampGetGeneralPurposePlugin" ] || fail "exports are: $names"

imports=$(echo "$out" | grep 'DLL Name:' | awk '{print tolower($3)}' | sort -u)
for lib in $imports; do
  case "$lib" in
    kernel32.dll|user32.dll|msvcrt.dll|gdi32.dll|comctl32.dll|advapi32.dll) ;;
    *) fail "imports non-system DLL $lib" ;;
  esac
done

chars=$(echo "$out" | awk '/^DllCharacteristics/ {print $2}')
[ -n "$chars" ] || fail "no DllCharacteristics"
[ $(( 0x$chars & 0x140 )) -eq $(( 0x140 )) ] || fail "DllCharacteristics $chars lacks DYNAMIC_BASE|NX_COMPAT"

echo "ok: $dll exports winampGetGeneralPurposePlugin only, imports: $(echo $imports), DllCharacteristics $chars"
