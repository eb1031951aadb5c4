#!/bin/sh
# Runs one test program under Wine for CTest: usage run-test.sh WINE PROGRAM [ARGS...].
#
# Wine ends a program at once, without a word of output, when the Wine server of its prefix
# goes away while the program starts or runs (as when another script that uses the same
# build folder ends and stops that server). The exit code is then 1, which CTest shows as
# "Failed 0.00 sec", or even 0, which it would count as a pass. Every test program prints
# doctest's version line first and its status line last, and its watchdog a "hang:" line
# when it ends a case that does not finish, so:
#  - neither a version line nor a hang line: the program never started; say so and start
#    it again (three tries). A program that started is never started again: a hang is
#    reported as a hang;
#  - no status line: it ended before its tests did, which fails the test whatever the exit
#    code.
set -u
program=$(basename "$2")
out=$(mktemp "${TMPDIR:-/tmp}/quorvel-run-test.XXXXXX")
trap 'rm -f "$out"' EXIT

tries=1
while :; do
    "$@" >"$out" 2>&1
    rc=$?
    cat "$out"
    grep -q "doctest version is\|^hang: " "$out" && break
    if [ "$tries" -ge 3 ]; then
        echo "run-test: $program did not start under Wine in $tries tries (last exit code $rc)." >&2
        [ "$rc" = 0 ] && rc=1
        exit "$rc"
    fi
    echo "run-test: $program did not start under Wine (exit code $rc, no output from the" \
         "program); starting it again." >&2
    tries=$((tries + 1))
    sleep 2
done
if grep -q "^hang: " "$out"; then
    echo "run-test: $program hung; its watchdog ended it (exit code $rc)." >&2
    [ "$rc" = 0 ] && rc=1
elif ! grep -q "Status: \(SUCCESS\|FAILURE\)" "$out"; then
    echo "run-test: $program ended (exit code $rc) before it had run all its tests." >&2
    [ "$rc" = 0 ] && rc=1
fi
exit "$rc"
