#!/bin/sh
# The installer, run silently under Wine against player folders in a temporary folder, with
# the player's own registry records in place: where it installs without /D, what it refuses
# (not a player folder, a running player, a locked plug-in, a downgrade), what each folder's
# uninstaller removes, what the uninstall entry says, and that a folder has one install
# however its path is written. A stand-in for the running player (a window of its class, a
# file held open) is built here with makensis.
#
#   check_installer.sh SETUP DLL [SETUP2 DLL2]      (WINELOADER runs the installer)
#
# SETUP is run and must carry DLL. Given a second pair, the one that is a 32-bit program is
# the product, checked as a file only (its archive holds exactly its DLL), and the other is run.
set -u
fail() { echo "FAIL: $*"; exit 1; }
is_pe32() { i686-w64-mingw32-objdump -f "$1" 2>/dev/null | grep -q 'file format pei-i386'; }

setup=$1 dll=$2 product="" product_dll=""
if [ $# -ge 4 ]; then
    if is_pe32 "$1" && ! is_pe32 "$3"; then
        setup=$3 dll=$4 product=$1 product_dll=$2
    else
        product=$3 product_dll=$4
    fi
fi
wine=${WINELOADER:-wine}

# ---- The product, as a file ----------------------------------------------------------------
if [ -n "$product" ]; then
    [ -f "$product" ] || fail "no $product"
    is_pe32 "$product" || fail "$product is not a PE32 i386 program"
    sevenzip=$(command -v 7zz || command -v 7z || true)
    if [ -n "$sevenzip" ]; then
        out=$(mktemp -d)
        "$sevenzip" x -o"$out" "$product" Plugins/gen_quorvel.dll >/dev/null || fail "$product carries no Plugins/gen_quorvel.dll"
        cmp -s "$out/Plugins/gen_quorvel.dll" "$product_dll" || fail "$product carries another DLL than $product_dll"
        rm -rf "$out"
        echo "ok: $product is PE32 i386 and carries its DLL"
    else
        echo "note: no 7-Zip here; the archive of $product was not inspected"
    fi
fi

# ---- Helpers ---------------------------------------------------------------------------------
work=$(mktemp -d)
winpath() { printf 'Z:%s' "$1" | sed 's|/|\\|g'; }
within() { n=$1; shift; while [ "$n" -gt 0 ]; do "$@" && return 0; sleep 0.1; n=$((n - 1)); done; "$@"; }
gone() { [ ! -e "$1" ]; }
reg() { "$wine" reg "$@" 2>/dev/null | tr -d '\r'; }
# reg_value KEY NAME: the value's data, empty when absent.
reg_value() { reg query "$1" /v "$2" | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"; }

player_key='HKCU\Software\Winamp'
player_uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Winamp'
states='HKCU\Software\Quorvel\Folders'
entries='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall'
pending='HKLM\System\CurrentControlSet\Control\Session Manager'

holder_pid=
cleanup() {
    release
    reg delete "$player_key" /f >/dev/null
    reg delete "$player_uninstall" /reg:32 /f >/dev/null
    reg delete "$pending" /v PendingFileRenameOperations /f >/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# A player folder: the player's program, and optionally a Plugins folder.
player() { mkdir -p "$work/$1"; : > "$work/$1/winamp.exe"; [ "${2:-}" = plugins ] && mkdir -p "$work/$1/Plugins"; true; }
run_setup() { "$wine" "$setup" /S "$@" >/dev/null 2>&1; echo $?; }
install() { rc=$(run_setup "/D=$(winpath "$work/$1")"); [ "$rc" = 0 ] || fail "install into $1 exited $rc"; }
# The state key of a folder's install, found by the folder it records, however written.
state_of() {
    reg query "$states" /s | F=$(winpath "$work/$1") awk '
        /^HKEY/ { key = $0 } $1 == "Folder" { sub(/^ *Folder *REG_SZ */, ""); if (tolower($0) == tolower(ENVIRON["F"])) print key }'
}
# How many uninstall entries name the folder, however written.
entries_of() {
    reg query "$entries" /s | F=$(winpath "$work/$1") awk '$1 == "InstallLocation" {
        sub(/^ *InstallLocation *REG_SZ */, ""); n += tolower($0) == tolower(ENVIRON["F"]) } END { print n + 0 }'
}
entry_of() { s=$(state_of "$1"); [ -n "$s" ] && printf '%s\\Quorvel-%s' "$entries" "${s##*\\}"; }
uninstall() {
    u="$work/$1/Plugins/Uninstall Quorvel.exe"
    [ -f "$u" ] || fail "no uninstaller in $1/Plugins"
    "$wine" "$u" /S >/dev/null 2>&1 || fail "the uninstaller of $1 failed"
    # It runs from a copy of itself, so it is finished when its own file has gone.
    within 200 gone "$u" || fail "the uninstaller of $1 did not remove itself"
    within 100 test -z "$(state_of "$1")" || fail "the state of $1 is still registered"
}
nothing_of() {   # FOLDER: no file and no registry entry of the plug-in there
    gone "$work/$1/Plugins/gen_quorvel.dll" || fail "$2: a DLL was installed into $1"
    [ -z "$(state_of "$1")" ] || fail "$2: $1 was registered"
}
# Starts the stand-in for a running player, holding FILE open without sharing.
holder() {
    cat > "$work/holder.nsi" <<'EOF'
Unicode true
!define PAD ""
!ifdef AMD64
  Target amd64-unicode
  !undef PAD
  !define PAD "i 0,"   ; WNDCLASSW's pointers are 8-aligned
!endif
!include FileFunc.nsh
!include LogicLib.nsh
OutFile "holder.exe"
SilentInstall silent
RequestExecutionLevel user
Section
SectionEnd
Function .onInit
  ${GetParameters} $0
  ${GetOptions} $0 "/FILE=" $1
  ${GetOptions} $0 "/STOP=" $2
  ${GetOptions} $0 "/READY=" $3
  System::Call 'kernel32::CreateFileW(w r1, i 0x80000000, i 0, p 0, i 3, i 0, p 0) p .r9'
  ClearErrors
  ${GetOptions} $0 "/WINDOW" $4
  ${IfNot} ${Errors}
    System::Call 'kernel32::GetModuleHandleW(w "user32.dll") p .r5'
    System::Call 'kernel32::GetProcAddress(p r5, m "DefWindowProcW") p .r5'
    System::Call '*(&w16 "Winamp v1.x") p .r6'
    System::Call '*(i 0, ${PAD} p r5, i 0, i 0, p 0, p 0, p 0, p 0, p 0, p r6) p .r7'
    System::Call 'user32::RegisterClassW(p r7) i .r8'
    System::Call 'user32::CreateWindowExW(i 0, p r6, w "", i 0, i 0, i 0, i 1, i 1, p 0, p 0, p 0, p 0) p .r8'
  ${EndIf}
  FileOpen $5 $3 w
  FileClose $5
  StrCpy $4 600
  ${DoWhile} $4 > 0
    ${IfThen} ${FileExists} $2 ${|} ${Break} ${|}
    Sleep 100
    IntOp $4 $4 - 1
  ${Loop}
FunctionEnd
EOF
    if [ ! -f "$work/holder.exe" ]; then
        width=; is_pe32 "$setup" || width=-DAMD64
        (cd "$work" && makensis -V1 $width holder.nsi >/dev/null) || fail "cannot build the stand-in player"
    fi
    rm -f "$work/stop" "$work/ready"
    "$wine" "$work/holder.exe" "/FILE=$(winpath "$1")" "/STOP=$(winpath "$work/stop")" \
        "/READY=$(winpath "$work/ready")" ${2:-} >/dev/null 2>&1 &
    holder_pid=$!
    within 300 test -f "$work/ready" || fail "the stand-in player did not start"
}
# Stops the stand-in and waits until it has gone, window and open file with it.
release() { touch "$work/stop"; [ -z "$holder_pid" ] || wait "$holder_pid"; holder_pid=; }

# The player's records point at Found (its own record) and Listed (its uninstall entry); every
# install below with /D must ignore them.
player Found; player Listed; player Unlisted
reg add "$player_key" /ve /d "$(winpath "$work/Found")" /f >/dev/null
reg add "$player_uninstall" /reg:32 /v InstallLocation /d "$(winpath "$work/Listed")" /f >/dev/null
reg add "$player_uninstall" /reg:32 /v UninstallString /d "\"$(winpath "$work/Unlisted")\\UninstWA.exe\" /x" /f >/dev/null

# ---- 1. Where it installs without /D -----------------------------------------------------
rc=$(run_setup); [ "$rc" = 0 ] || fail "install without /D exited $rc"
[ -f "$work/Found/Plugins/gen_quorvel.dll" ] || fail "without /D: not installed where the player's record points"
mkdir -p "$work/Moved"      # a stale record: the player is no longer there
reg add "$player_key" /ve /d "$(winpath "$work/Moved")" /f >/dev/null
rc=$(run_setup); [ "$rc" = 0 ] || fail "install without /D and with a stale record exited $rc"
[ -f "$work/Listed/Plugins/gen_quorvel.dll" ] || fail "without /D: not installed at the uninstall entry's InstallLocation"
reg delete "$player_uninstall" /reg:32 /v InstallLocation /f >/dev/null
rc=$(run_setup); [ "$rc" = 0 ] || fail "install without /D exited $rc"
[ -f "$work/Unlisted/Plugins/gen_quorvel.dll" ] || fail "without /D: not installed beside the uninstall entry's program"
reg delete "$player_uninstall" /reg:32 /f >/dev/null
rc=$(run_setup); [ "$rc" = 3 ] || fail "install without /D and without a player exited $rc, not 3"
for pf in "Program Files" "Program Files (x86)"; do
    gone "${WINEPREFIX:-$HOME/.wine}/drive_c/$pf/Winamp" || fail "install without a player created C:\\$pf\\Winamp"
done
uninstall Found; uninstall Listed; uninstall Unlisted
echo "ok: without /D it finds the player by its record, then (the record stale) its uninstall entry, else refuses"

# ---- 2. A folder without the player ------------------------------------------------------
mkdir -p "$work/NotPlayer/Plugins"
rc=$(run_setup "/D=$(winpath "$work/NotPlayer")"); [ "$rc" = 3 ] || fail "a folder without the player: exit $rc, not 3"
nothing_of NotPlayer "a folder without the player"
echo "ok: a folder without the player is refused with exit 3"

# ---- 3. The player running, the plug-in locked -----------------------------------------------
player Busy
holder "$work/Busy/winamp.exe" /WINDOW
rc=$(run_setup "/D=$(winpath "$work/Busy")"); release
[ "$rc" = 4 ] || fail "with the player running: exit $rc, not 4"
gone "$work/Busy/Plugins" || fail "with the player running: its Plugins folder was created"
nothing_of Busy "with the player running"
install Busy
cp "$work/Busy/Plugins/gen_quorvel.dll" "$work/busy.dll"
holder "$work/Busy/Plugins/gen_quorvel.dll"
rc=$(run_setup "/D=$(winpath "$work/Busy")"); release
[ "$rc" = 4 ] || fail "with the plug-in locked: exit $rc, not 4"
echo "ok: a running player or a locked plug-in is refused with exit 4"

# ---- 4. Upgrade, downgrade ----------------------------------------------------------------
version=$(reg_value "$(entry_of Busy)" DisplayVersion)
[ -n "$version" ] || fail "no DisplayVersion"
reg add "$(state_of Busy)" /v Version /d 0.9 /f >/dev/null
install Busy
[ "$(reg_value "$(state_of Busy)" Version)" = "$version" ] || fail "an upgrade did not record $version"
reg add "$(state_of Busy)" /v Version /d 99.0 /f >/dev/null
rc=$(run_setup "/D=$(winpath "$work/Busy")"); [ "$rc" = 5 ] || fail "a downgrade: exit $rc, not 5"
[ "$(reg_value "$(state_of Busy)" Version)" = 99.0 ] || fail "a refused downgrade changed the state"
rc=$(run_setup /FORCE "/D=$(winpath "$work/Busy")"); [ "$rc" = 0 ] || fail "a forced downgrade: exit $rc"
[ "$(reg_value "$(state_of Busy)" Version)" = "$version" ] || fail "a forced downgrade did not record $version"
uninstall Busy
echo "ok: upgrades in place, refuses a downgrade with exit 5 unless /FORCE"

# ---- 5. Two players, each with its own install ----------------------------------------------
# Keeps: a player with other plug-ins and a settings file holding the plug-in's section.
player Keeps plugins
echo other > "$work/Keeps/Plugins/gen_other.dll"
printf '[Player]\r\nvolume=200\r\n[Quorvel]\r\ncfg_opaque=128\r\n' > "$work/Keeps/winamp.ini"
cp "$work/Keeps/winamp.ini" "$work/ini.before"
player Bare
install Keeps; install Bare; install Bare
cmp -s "$work/Keeps/Plugins/gen_quorvel.dll" "$dll" || fail "the installed DLL differs from $dll"
[ "$(entry_of Keeps)" != "$(entry_of Bare)" ] || fail "two players share one uninstall entry"
uninstall Keeps
gone "$work/Keeps/Plugins/gen_quorvel.dll" || fail "the DLL is still there after uninstalling"
[ -f "$work/Keeps/Plugins/gen_other.dll" ] || fail "the uninstaller removed another plug-in"
cmp -s "$work/Keeps/winamp.ini" "$work/ini.before" || fail "the settings file changed"
[ -f "$work/Bare/Plugins/gen_quorvel.dll" ] || fail "uninstalling one player removed the other's plug-in"
[ -n "$(reg_value "$(entry_of Bare)" UninstallString)" ] || fail "uninstalling one player removed the other's entry"
# Empty now, but the player's own: it stays, whatever the other install created.
rm "$work/Keeps/Plugins/gen_other.dll"
install Keeps; uninstall Keeps
[ -d "$work/Keeps/Plugins" ] || fail "the uninstaller removed a Plugins folder it had not created"
uninstall Bare
gone "$work/Bare/Plugins" || fail "the Plugins folder the installer created is still there"
[ -f "$work/Bare/winamp.exe" ] || fail "the uninstaller removed the player"
echo "ok: installs into two players are independent; each uninstaller removes only its own"

# ---- 6. Uninstalling while the plug-in is in use --------------------------------------------
install Bare
holder "$work/Bare/Plugins/gen_quorvel.dll"
"$wine" "$work/Bare/Plugins/Uninstall Quorvel.exe" /S "_?=$(winpath "$work/Bare/Plugins")" >/dev/null 2>&1
rc=$?; release
[ "$rc" = 6 ] || fail "uninstalling while in use: exit $rc, not 6"
[ -z "$(state_of Bare)" ] || fail "uninstalling while in use left the state"
reg query "$pending" /v PendingFileRenameOperations | grep -q 'gen_quorvel' \
    || fail "uninstalling while in use did not queue the plug-in's removal"
echo "ok: uninstalling while in use exits 6 and leaves the removal to a restart"

# ---- 7. The uninstall entry, per user ------------------------------------------------------
player Entry
install Entry
e=$(entry_of Entry)
for v in DisplayName DisplayVersion Publisher EstimatedSize DisplayIcon InstallLocation \
         UninstallString QuietUninstallString NoModify NoRepair; do
    [ -n "$(reg_value "$e" $v)" ] || fail "the uninstall entry lacks $v"
done
[ "$(reg_value "$e" InstallLocation)" = "$(winpath "$work/Entry")" ] || fail "InstallLocation is not the player folder"
case $(reg_value "$e" EstimatedSize) in 0x0|"") fail "EstimatedSize is 0" ;; esac
uninstall Entry
echo "ok: the per-user uninstall entry carries every field"

# ---- 8. One folder written two ways --------------------------------------------------------
player Spelled
rc=$(run_setup "/D=$(winpath "$work/Spelled" | tr 'A-Z' 'a-z')")
[ "$rc" = 0 ] || fail "install into Spelled written in lower case exited $rc"
install Spelled
[ "$(entries_of Spelled)" = 1 ] || fail "one folder written two ways has $(entries_of Spelled) uninstall entries"
uninstall Spelled
[ "$(entries_of Spelled)" = 0 ] || fail "uninstalling under another spelling left an uninstall entry"
echo "ok: one folder, however written, has one install and one uninstall entry"
