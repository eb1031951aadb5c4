#!/usr/bin/env bash
# Installs what the build, the tests and the demo need on a Debian machine. Idempotent:
# when everything is present it only checks (a fraction of a second) and returns.
#
# What is needed depends on whether this machine runs 32-bit code (scripts/width.sh probes
# it; QUORVEL_WIDTH=x86|x64 overrides the probe):
#   x86  the tests run the real 32-bit plug-in: the i386 architecture and 32-bit Wine
#        (wine32:i386), and the i686 MinGW-w64 compilers in both thread variants;
#   x64  only 64-bit Wine can run here, so the tests run the 64-bit twin: wine64 and the
#        x86_64 compilers, besides the i686 win32 compiler that builds the product.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/width.sh

need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg -s "$1" >/dev/null 2>&1; }

# The product is built on every machine: i686, win32 thread variant.
have_cmd i686-w64-mingw32-g++-win32   || need+=(g++-mingw-w64-i686-win32 binutils-mingw-w64-i686)
if [ "$QUORVEL_WIDTH" = x86 ]; then
    have_cmd i686-w64-mingw32-g++-posix || need+=(g++-mingw-w64-i686-posix)
    [ -x /usr/lib/wine/wine ]           || need+=(wine wine32:i386)
else
    have_cmd x86_64-w64-mingw32-g++-posix || need+=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64)
    have_cmd x86_64-w64-mingw32-g++-win32 || need+=(g++-mingw-w64-x86-64-win32)
    [ -x /usr/lib/wine/wine64 ]           || need+=(wine wine64)
fi
have_cmd Xvfb                         || need+=(xvfb)
have_cmd xauth                        || need+=(xauth)
have_cmd xcompmgr                     || need+=(xcompmgr)
have_pkg imagemagick                  || need+=(imagemagick)
have_pkg fonts-dejavu-extra           || need+=(fonts-dejavu-extra fontconfig)
[ -f /usr/include/doctest/doctest.h ] || need+=(doctest-dev)
have_cmd cmake                        || need+=(cmake)
have_cmd ninja                        || need+=(ninja-build)
have_cmd makensis                     || need+=(nsis)
have_cmd cppcheck                     || need+=(cppcheck)
have_cmd 7zz                          || need+=(7zip)
have_cmd zip                          || need+=(zip)     # the release's zips

if [ ${#need[@]} -gt 0 ]; then
    echo "setup: installing ${need[*]}"
    sudo_cmd=""
    [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
    if [ "$QUORVEL_WIDTH" = x86 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo_cmd dpkg --add-architecture i386
    fi
    $sudo_cmd apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
