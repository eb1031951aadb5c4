#!/bin/sh
# Checks that the shipped 32-bit DLL imports only functions that Windows 2000 exports: every
# name in its import table, DLL by DLL, must be in the allow-list with an oldest Windows of
# 2000 or earlier. Wine exports everything, so only this check sees an import that would
# keep the DLL from loading on an older system. Then it checks itself: the same imports
# against a copy of the list that marks one of them XP must fail and name it.
#   check_imports.sh DLL ALLOW_LIST
dll=$1
list=$2
fail() { echo "FAIL: $*"; exit 1; }
[ -f "$dll" ] || fail "no file $dll"
[ -f "$list" ] || fail "no allow-list $list"
table=$(i686-w64-mingw32-objdump -p "$dll") || fail "objdump failed on $dll"

# "dll function" per import, from the interpreted .idata listing; an import by ordinal
# alone has no name and is reported as such.
imports=$(echo "$table" | sed -n '/^The Import Tables/,/^The Export Tables/p' | awk -F'\t' '
    /DLL Name:/ { split($2, a, ": "); dll = tolower(a[2]); next }
    NF >= 3 && $2 ~ /^[0-9a-f]+$/ && dll != "" {
        n = split($3, f, " ")
        if (n < 2) print dll, "<ordinal>"; else print dll, f[n]
    }')
[ -n "$imports" ] || fail "no imports read from $dll"

newline='
'
IFS=$newline
count=0

# check_against LIST: prints a FAIL line for each import that LIST does not allow, and
# fails if there is one.
check_against() {
    status=0
    for entry in $imports; do
        count=$((count + 1))
        lib=${entry%% *} name=${entry#* }
        [ "$name" != "<ordinal>" ] || { echo "FAIL: $lib is imported by ordinal"; status=1; continue; }
        oldest=$(awk -v lib="$lib" -v name="$name" '
            $1 !~ /^#/ && tolower($1) == lib && $2 == name { print $3; exit }' "$1")
        case "$oldest" in
            NT3.1|NT3.5|NT4|2000) ;;
            "") echo "FAIL: $lib!$name is not in $(basename "$list"); add it with the oldest Windows that exports it, or bind it at run time"
                status=1 ;;
            *) echo "FAIL: $lib!$name needs Windows $oldest; bind it at run time with GetProcAddress"
               status=1 ;;
        esac
    done
    return $status
}
check_against "$list" || exit 1

# The check checks: a copy of the list in which the DLL's first import needs XP must fail,
# naming that function.
first=${imports%%"$newline"*}
lib=${first%% *} name=${first#* }
marked=$(mktemp)
awk -v lib="$lib" -v name="$name" '
    $1 !~ /^#/ && tolower($1) == lib && $2 == name { $3 = "XP" } { print }' "$list" >"$marked"
out=$(check_against "$marked")
caught=$?
rm -f "$marked"
[ "$caught" -ne 0 ] || fail "a copy of the list that marks $lib!$name XP passed"
echo "$out" | grep -q "^FAIL: $lib!$name needs Windows XP" || fail "a copy of the list that marks $lib!$name XP failed without naming it: $out"
echo "ok: all $count imports of $dll exist on Windows 2000 (and $lib!$name marked XP is caught)"
