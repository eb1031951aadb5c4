#!/bin/sh
# The installer. The 32-bit product cannot run on this machine, so it is checked as a file:
# a PE32 i386 program whose archive holds exactly the 32-bit DLL. Its 64-bit twin, built
# from the same script, is run under Wine: silent install into a temporary player folder
# (one that already has plug-ins and settings, and one that has no Plugins folder yet),
# then silent uninstall, checking that exactly what was installed is gone.
#   check_installer.sh SETUP DLL [SETUP_X86 DLL_X86]      (Wine variables set by CTest)
# SETUP and DLL are of the tested width, run by WINELOADER; the product pair defaults to them.
set -u
setup_x64=$1 dll_x64=$2 setup_x86=${3:-$1} dll_x86=${4:-$2}
wine=${WINELOADER:-/usr/lib/wine/wine64}
fail() { echo "FAIL: $*"; exit 1; }
winpath() { printf 'Z:%s' "$1" | sed 's|/|\\|g'; }
# Polls a condition (a shell command) for up to $1 tenths of a second.
within() { n=$1; shift; while [ "$n" -gt 0 ]; do "$@" && return 0; sleep 0.1; n=$((n - 1)); done; "$@"; }
reg_has() { "$wine" reg query "$1" >/dev/null 2>&1; }
reg_gone() { ! reg_has "$1"; }
gone() { [ ! -e "$1" ]; }

state_key='HKLM\Software\Quorvel'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvel'

# ---- The product, as a file ----------------------------------------------------------------
[ -f "$setup_x86" ] || fail "no $setup_x86"
i686-w64-mingw32-objdump -f "$setup_x86" | grep -q 'file format pei-i386' || fail "$setup_x86 is not a PE32 i386 program"
sevenzip=$(command -v 7zz || command -v 7z || true)
if [ -n "$sevenzip" ]; then
    listing=$("$sevenzip" l "$setup_x86") || fail "7-Zip cannot read $setup_x86"
    echo "$listing" | grep -q 'Plugins/gen_quorvel.dll' || fail "the installer does not carry Plugins/gen_quorvel.dll"
    out=$(mktemp -d)
    "$sevenzip" x -o"$out" "$setup_x86" Plugins/gen_quorvel.dll >/dev/null || fail "cannot extract the DLL"
    cmp -s "$out/Plugins/gen_quorvel.dll" "$dll_x86" || fail "the installer carries another DLL than $dll_x86"
    rm -rf "$out"
    echo "ok: $setup_x86 is PE32 i386 and carries the 32-bit DLL"
else
    echo "note: no 7-Zip here; the archive of $setup_x86 was not inspected"
fi

# ---- The twin, run ---------------------------------------------------------------------------
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

install() {
    "$wine" "$setup_x64" /S "/D=$(winpath "$1")" || fail "silent install into $1 failed"
}
uninstall() {
    [ -f "$1/Plugins/Uninstall Quorvel.exe" ] || fail "no uninstaller in $1/Plugins"
    "$wine" "$1/Plugins/Uninstall Quorvel.exe" /S || fail "the uninstaller failed"
    # It runs from a copy of itself, so it is finished when its own file has gone.
    within 200 gone "$1/Plugins/Uninstall Quorvel.exe" || fail "the uninstaller did not remove itself"
    within 100 reg_gone "$uninstall_key" || fail "the uninstall entry is still registered"
    reg_gone "$state_key" || fail "HKLM\\Software\\Quorvel is still there"
}

# A player that already has another plug-in and a settings file with the plug-in's section.
player=$work/Player
mkdir -p "$player/Plugins"
echo other > "$player/Plugins/gen_other.dll"
printf '[Player]\r\nvolume=200\r\n[Quorvel]\r\ncfg_opaque=128\r\n' > "$player/player.ini"
cp "$player/player.ini" "$work/player.ini.before"

install "$player"
cmp -s "$player/Plugins/gen_quorvel.dll" "$dll_x64" || fail "the installed DLL differs from $dll_x64"
reg_has "$uninstall_key" || fail "no uninstall entry registered"
"$wine" reg query "$state_key" /v PlayerFolder 2>/dev/null | grep -qF "$(winpath "$player")" \
    || fail "the player folder is not remembered"
uninstall "$player"
gone "$player/Plugins/gen_quorvel.dll" || fail "the DLL is still there after uninstalling"
[ -f "$player/Plugins/gen_other.dll" ] || fail "the uninstaller removed another plug-in"
cmp -s "$player/player.ini" "$work/player.ini.before" || fail "the settings file changed"
echo "ok: install and uninstall in a player folder with other plug-ins and settings"

# A player folder without a Plugins folder: the one the installer creates goes again.
bare=$work/Bare
mkdir -p "$bare"
install "$bare"
[ -f "$bare/Plugins/gen_quorvel.dll" ] || fail "no DLL installed into $bare/Plugins"
uninstall "$bare"
gone "$bare/Plugins" || fail "the Plugins folder the installer created is still there"
[ -d "$bare" ] || fail "the uninstaller removed the player folder"
echo "ok: install and uninstall in a player folder without a Plugins folder"
