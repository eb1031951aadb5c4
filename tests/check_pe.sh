#!/bin/sh
# Checks a built plug-in file: its machine type, its one undecorated export, that it imports
# only system DLLs (static runtime), that ASLR and DEP are on, that it is a GUI-subsystem file
# without debug sections or symbols, that its debug information is in the separate file it
# names, that the runtime's start-up calls the plug-in's own DllMain, and that its version
# resource carries the project version.
#   check_pe.sh DLL TOOL_PREFIX VERSION      (TOOL_PREFIX: i686-w64-mingw32 or x86_64-w64-mingw32)
dll=$1
tools=$2
version=$3
fail() { echo "FAIL: $*"; exit 1; }
[ -f "$dll" ] || fail "no file $dll"
out=$($tools-objdump -p "$dll") || fail "objdump failed"

case "$tools" in
  i686-*)   echo "$out" | grep -q 'file format pei-i386' || fail "not a PE32 i386 file" ;;
  x86_64-*) echo "$out" | grep -q 'file format pei-x86-64' || fail "not a PE32+ x86-64 file" ;;
  *) fail "unknown tool prefix $tools" ;;
esac

names=$(echo "$out" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -E '^\s*\[ *[0-9]+\]' | awk '{print $NF}')
[ "$names" = "winampGetGeneralPurposePlugin" ] || fail "exports are: $names"

imports=$(echo "$out" | grep 'DLL Name:' | awk '{print tolower($3)}' | sort -u)
for lib in $imports; do
  case "$lib" in
    kernel32.dll|user32.dll|msvcrt.dll|gdi32.dll|comctl32.dll|advapi32.dll|shell32.dll) ;;
    *) fail "imports non-system DLL $lib" ;;
  esac
done

chars=$(echo "$out" | awk '/^DllCharacteristics/ {print $2}')
[ -n "$chars" ] || fail "no DllCharacteristics"
[ $(( 0x$chars & 0x140 )) -eq $(( 0x140 )) ] || fail "DllCharacteristics $chars lacks DYNAMIC_BASE|NX_COMPAT"

subsystem=$(echo "$out" | awk '/^Subsystem/ {print $2}')
[ "$subsystem" = "00000002" ] || fail "subsystem $subsystem is not the Windows GUI one (2)"

# Shipped lean: no debug sections, no symbol table; the debug information is beside it.
sections=$($tools-objdump -h "$dll" | awk '$1 ~ /^[0-9]+$/ {print $2}')
for s in $sections; do
  case "$s" in .debug*|.zdebug*|.stab*) fail "debug section $s in the shipped file" ;; esac
done
[ -z "$($tools-nm "$dll" 2>/dev/null)" ] || fail "the shipped file has a symbol table"
debug=$dll.debug
[ -f "$debug" ] || fail "no debug file $debug"
# (objcopy given only one file rewrites it in place: give it a throwaway output.)
scratch=$(mktemp -d)
$tools-objcopy --dump-section .gnu_debuglink="$scratch/link" "$dll" "$scratch/copy" 2>/dev/null
link=$(cat "$scratch/link" 2>/dev/null | tr -d '\000' | head -c 64)
rm -rf "$scratch"
case "$link" in "$(basename "$debug")"*) ;; *) fail "the file does not name $(basename "$debug") as its debug file" ;; esac

# The runtime's DLL start-up calls whatever DllMain the link found; a DllMain with the wrong
# name or calling convention leaves the runtime's empty default in its place, and the
# plug-in never sets up. The one linked must come from the plug-in's own sources.
case "$tools" in i686-*) main=_DllMain@12 ;; *) main=DllMain ;; esac
address=$($tools-nm "$debug" | awk -v s="$main" '$3 == s {print $1}')
[ -n "$address" ] || fail "no $main in $debug"
line=$($tools-addr2line -e "$debug" "0x$address")
case "$line" in
  ./*.cpp:[0-9]*) ;;
  *) fail "$main comes from $line, not from the plug-in's sources" ;;
esac

# The version resource: the fixed part (four numbers) and the text, against VERSION.
major=${version%%.*}
rest=${version#"$major"}; rest=${rest#.}
minor=${rest%%.*}; minor=${minor:-0}
rest=${rest#"$minor"}; rest=${rest#.}
patch=${rest%%.*}; patch=${patch:-0}
rest=${rest#"$patch"}; rest=${rest#.}
tweak=${rest:-0}
# VS_FIXEDFILEINFO starts with the signature 0xFEEF04BD; FileVersionMS/LS follow at +8 as
# the 16-bit words minor, major, tweak, patch.
offset=$(LC_ALL=C grep -obUaP '\xbd\x04\xef\xfe' "$dll" | head -n 1 | cut -d: -f1)
[ -n "$offset" ] || fail "no version resource"
set -- $(od -An -tu2 -j $((offset + 8)) -N 8 "$dll")
[ "$2.$1.$4.$3" = "$major.$minor.$patch.$tweak" ] || fail "FILEVERSION $2.$1.$4.$3, expected $major.$minor.$patch.$tweak"
set -- $(od -An -tu2 -j $((offset + 16)) -N 8 "$dll")
[ "$2.$1.$4.$3" = "$major.$minor.$patch.$tweak" ] || fail "PRODUCTVERSION $2.$1.$4.$3, expected $major.$minor.$patch.$tweak"
strings=$($tools-strings -n 1 -el "$dll")
for key in FileVersion ProductVersion; do
  value=$(echo "$strings" | awk -v k="$key" 'found {print; exit} $0 == k {found = 1}')
  [ "$value" = "$version" ] || fail "$key is '$value', expected '$version'"
done
for key in CompanyName LegalCopyright; do
  echo "$strings" | grep -qx "$key" || fail "no $key in the version resource"
done

echo "ok: $dll exports winampGetGeneralPurposePlugin only, imports: $(echo $imports), DllCharacteristics $chars, GUI, no debug sections (debug in $(basename "$debug")), $main from $line, version $version"
