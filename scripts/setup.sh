#!/usr/bin/env bash
# Installs what the build, the tests and the demo need on a Debian machine. Idempotent:
# when everything is present it only checks (a fraction of a second) and returns.
#
# Only 64-bit (amd64) packages are needed. The 32-bit plug-in is cross-compiled and then
# inspected, never run: this machine's kernel runs no 32-bit code, so 32-bit Wine (wine32,
# and with it the i386 architecture) would be of no use. The tests run the 64-bit twin of
# the plug-in under 64-bit Wine instead.
set -euo pipefail

need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg -s "$1" >/dev/null 2>&1; }

have_cmd i686-w64-mingw32-g++-posix   || need+=(g++-mingw-w64-i686-posix binutils-mingw-w64-i686)
have_cmd x86_64-w64-mingw32-g++-posix || need+=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64)
[ -x /usr/lib/wine/wine64 ]           || need+=(wine wine64)
have_cmd Xvfb                         || need+=(xvfb)
have_cmd xauth                        || need+=(xauth)
have_cmd xcompmgr                     || need+=(xcompmgr)
have_pkg imagemagick                  || need+=(imagemagick)
[ -f /usr/include/doctest/doctest.h ] || need+=(doctest-dev)
have_cmd cmake                        || need+=(cmake)
have_cmd ninja                        || need+=(ninja-build)
have_cmd makensis                     || need+=(nsis)
have_cmd cppcheck                     || need+=(cppcheck)
have_cmd 7zz                          || need+=(7zip)

if [ ${#need[@]} -gt 0 ]; then
    echo "setup: installing ${need[*]}"
    sudo_cmd=""
    [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
    $sudo_cmd apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
