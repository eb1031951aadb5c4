; Installer of the Quorvel plug-in: finds the player, puts gen_quorvel.dll into the Plugins
; folder of the player's folder, and registers an uninstaller for that folder that removes
; exactly what it installed. The player's INI file and other plug-ins are never touched.
;
;   makensis -DDLL=path\gen_quorvel.dll -DVERSION=1.2 [-DOUTFILE=setup.exe] [-DAMD64] quorvel.nsi
;
; The version is the project's, from CMakeLists.txt; the build passes it.
;
; The product is the 32-bit installer of the 32-bit plug-in. -DAMD64 builds the same
; installer as a 64-bit program carrying the 64-bit build of the DLL, for machines that run
; only 64-bit code.
;
; Switches (the README lists them with the exit codes):
;   quorvel-setup.exe [/S] [/FORCE] [/D=C:\Path\To\Player]     (/D= last, without quotes)
;   "Uninstall Quorvel.exe" [/S] [_?=C:\Path\To\Player\Plugins]

Unicode true
!include LogicLib.nsh
!include FileFunc.nsh
!include WordFunc.nsh
!include WinMessages.nsh

!ifndef DLL
  !error "Give the plug-in to install: -DDLL=path\gen_quorvel.dll"
!endif
!ifndef OUTFILE
  !define OUTFILE "quorvel-setup.exe"
!endif
!ifndef VERSION
  !error "Give the version: -DVERSION=x.y (the build passes the one in CMakeLists.txt)"
!endif

!ifdef AMD64
  Target amd64-unicode
!else
  Target x86-unicode
!endif

!define PLUGIN_FILE "gen_quorvel.dll"
!define UNINSTALLER "Uninstall Quorvel.exe"
!define PUBLISHER "The Quorvel developers"

; The player's own names: its program, its main window class and its registry records.
!define PLAYER_EXE "winamp.exe"
!define PLAYER_WINDOW_CLASS "Winamp v1.x"
!define PLAYER_KEY "Software\Winamp"
!define PLAYER_UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Winamp"

; One state key and one uninstall entry per player folder, named after a hash of the folder,
; under HKCU for a per-user install and HKLM for one that needed administrator rights.
!define STATE_KEY "Software\Quorvel\Folders"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvel"
; Written by the 1.0/1.1 installers: one entry for whichever folder was installed last.
!define OLD_STATE_KEY "Software\Quorvel"

; Exit codes.
!define EXIT_CANCELLED 1      ; the user cancelled (NSIS's own code)
!define EXIT_FAILED 2         ; a file or registry entry could not be written
!define EXIT_NOT_PLAYER 3     ; the folder does not hold the player
!define EXIT_IN_USE 4         ; the player is running or the plug-in file is locked
!define EXIT_NEWER 5          ; a newer version is installed there (install with /FORCE)
!define EXIT_RESTART 6        ; uninstall: the plug-in was in use, a restart removes it

Name "Quorvel ${VERSION}"
OutFile "${OUTFILE}"
; No InstallDir: an empty $INSTDIR in .onInit means that /D= was not given.
RequestExecutionLevel user    ; rights are asked for only when the folder needs them
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show
BrandingText "Quorvel ${VERSION}"
AllowSkipFiles off

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=1033 "ProductName" "Quorvel"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "Quorvel plug-in installer"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PUBLISHER}"

DirText "Choose the player's folder, the one that holds ${PLAYER_EXE}. The plug-in is \
copied into its Plugins folder; nothing else of the player is changed." "Player folder"

Page directory "" dirShow dirLeave
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Var foundBy        ; where the folder shown on the folder page came from
Var force          ; 1: /FORCE, a downgrade is allowed without asking
Var elevated       ; 1: this copy was started with administrator rights by a first copy
Var folderKey      ; hash of the player folder: names its state and uninstall entry
Var installed      ; version installed in the folder, "" when none
Var createdPlugins ; 1: the Plugins folder was created by an install into this folder

; ---- Shared by installer and uninstaller -----------------------------------------------------

; $R0 := the state key's name for the player folder $R1: 8 hex digits of a hash of the
; folder's long, upper-cased path, so that one folder written two ways has one key.
!macro FOLDER_KEY UN
Function ${UN}folderKey
  Push $R2
  Push $R3
  System::Call 'kernel32::GetLongPathNameW(w R1, w .R2, i ${NSIS_MAX_STRLEN}) i .R3'
  ${If} $R3 > 0
    StrCpy $R1 $R2
  ${EndIf}
  StrCpy $R2 $R1 1 -1
  ${If} $R2 == "\"
    StrCpy $R1 $R1 -1
  ${EndIf}
  StrLen $R2 $R1
  System::Call 'user32::CharUpperBuffW(w R1 R1, i R2)'
  IntOp $R2 $R2 * 2
  StrCpy $R0 0
  System::Call 'shlwapi::HashData(w R1, i R2, *i 0 R0, i 4) i .R3'
  IntFmt $R0 "%08X" $R0
  Pop $R3
  Pop $R2
FunctionEnd
!macroend
!insertmacro FOLDER_KEY ""
!insertmacro FOLDER_KEY "un."

; Sets $R9 to 1 when this process can write to folder $R1 (nothing is left behind).
!macro CAN_WRITE UN
Function ${UN}canWrite
  StrCpy $R9 0
  ClearErrors
  FileOpen $R8 "$R1\~quorvel-write-test.tmp" w
  ${IfNot} ${Errors}
    FileClose $R8
    Delete "$R1\~quorvel-write-test.tmp"
    StrCpy $R9 1
  ${EndIf}
FunctionEnd
!macroend
!insertmacro CAN_WRITE ""
!insertmacro CAN_WRITE "un."

; Runs this program again with administrator rights (ShellExecute's "runas" verb) with the
; parameters $R1, waits for it and quits with its exit code.
!macro RUN_ELEVATED UN
Function ${UN}runElevated
  ; SHELLEXECUTEINFOW with SEE_MASK_NOCLOSEPROCESS; on x64 two padding fields keep the
  ; pointers aligned.
  !ifdef AMD64
    System::Call '*(i 112, i 0x40, p $HWNDPARENT, w "runas", w "$EXEPATH", w R1, w "$EXEDIR", \
                   i ${SW_SHOWNORMAL}, i, p, p, p, p, i, i, p, p) p .R2'
  !else
    System::Call '*(i 60, i 0x40, p $HWNDPARENT, w "runas", w "$EXEPATH", w R1, w "$EXEDIR", \
                   i ${SW_SHOWNORMAL}, p, p, p, p, i, p, p) p .R2'
  !endif
  System::Call 'shell32::ShellExecuteExW(p R2) i .R3'
  ${If} $R3 == 0
    System::Free $R2
    SetErrorLevel ${EXIT_CANCELLED}
    Quit
  ${EndIf}
  !ifdef AMD64
    System::Call '*$R2(i, i, p, p, p, p, p, i, i, p, p, p, p, i, i, p, p .R4)'
  !else
    System::Call '*$R2(i, i, p, p, p, p, p, i, p, p, p, p, i, p, p .R4)'
  !endif
  System::Free $R2
  HideWindow
  System::Call 'kernel32::WaitForSingleObject(p R4, i -1)'
  System::Call 'kernel32::GetExitCodeProcess(p R4, *i 0 .R5)'
  System::Call 'kernel32::CloseHandle(p R4)'
  SetErrorLevel $R5
  Quit
FunctionEnd
!macroend
!insertmacro RUN_ELEVATED ""
!insertmacro RUN_ELEVATED "un."

; ---- Installer -------------------------------------------------------------------------------

; The folder the player's path $R1 (a program or a folder, maybe quoted, maybe with
; arguments) names, in $R1.
Function folderOfCommand
  StrCpy $R2 $R1 1
  ${If} $R2 == '"'
    StrCpy $R1 $R1 "" 1
    ${WordFind} $R1 '"' "+1" $R1
  ${EndIf}
  ${GetFileExt} $R1 $R2
  ${If} $R2 == "exe"
    ${GetParent} $R1 $R1
  ${EndIf}
FunctionEnd

; $INSTDIR := the player's folder: /D= if given; else the player's own record; else the
; folder of its uninstall entry; else the usual default.
Function findPlayer
  ${If} $INSTDIR != ""
    StrCpy $foundBy "given"
    Return
  ${EndIf}
  ReadRegStr $R1 HKCU "${PLAYER_KEY}" ""
  ${If} $R1 != ""
  ${AndIf} ${FileExists} "$R1\${PLAYER_EXE}"
    StrCpy $INSTDIR $R1
    StrCpy $foundBy "record"
    Return
  ${EndIf}
  SetRegView 32
  ReadRegStr $R1 HKLM "${PLAYER_UNINSTALL_KEY}" "InstallLocation"
  ${If} $R1 == ""
    ReadRegStr $R1 HKLM "${PLAYER_UNINSTALL_KEY}" "UninstallString"
    Call folderOfCommand
  ${EndIf}
  Call ownRegView
  ${If} $R1 != ""
  ${AndIf} ${FileExists} "$R1\${PLAYER_EXE}"
    StrCpy $INSTDIR $R1
    StrCpy $foundBy "uninstall"
    Return
  ${EndIf}
  StrCpy $INSTDIR "$PROGRAMFILES32\Winamp"
  StrCpy $foundBy "default"
FunctionEnd

; The registry view of the installer's own entries: the program's own width.
!macro OWN_REG_VIEW UN
Function ${UN}ownRegView
  !ifdef AMD64
    SetRegView 64
  !else
    SetRegView 32
  !endif
FunctionEnd
!macroend
!insertmacro OWN_REG_VIEW ""
!insertmacro OWN_REG_VIEW "un."

; $installed := the version installed in $INSTDIR: its state in either root, else the
; version resource of a plug-in file found there (copied by hand, or an older installer).
Function readInstalled
  StrCpy $R1 $INSTDIR
  Call folderKey
  StrCpy $folderKey $R0
  ReadRegStr $installed HKCU "${STATE_KEY}\$folderKey" "Version"
  ${If} $installed == ""
    ReadRegStr $installed HKLM "${STATE_KEY}\$folderKey" "Version"
  ${EndIf}
  ${If} $installed == ""
  ${AndIf} ${FileExists} "$INSTDIR\Plugins\${PLUGIN_FILE}"
    ClearErrors
    GetDLLVersion "$INSTDIR\Plugins\${PLUGIN_FILE}" $R2 $R3
    ${IfNot} ${Errors}
      IntOp $R4 $R2 >> 16
      IntOp $R2 $R2 & 0xFFFF
      IntOp $R5 $R3 >> 16
      IntOp $R3 $R3 & 0xFFFF
      StrCpy $installed "$R4.$R2.$R5.$R3"
    ${EndIf}
  ${EndIf}
FunctionEnd

; Each check either returns with the folder fit to install into, or stays on the folder page
; (Abort from its leave function) after telling the user why, or, when silent, quits with
; its exit code without having changed anything.

Function checkPlayerFolder
  ${IfNot} ${FileExists} "$INSTDIR\${PLAYER_EXE}"
    IfSilent 0 +3
      SetErrorLevel ${EXIT_NOT_PLAYER}
      Quit
    MessageBox MB_ICONEXCLAMATION "$INSTDIR does not hold the player (${PLAYER_EXE}).$\n$\n\
      Choose the folder the player is installed in."
    Abort
  ${EndIf}
FunctionEnd

Function checkVersion
  Call readInstalled
  ${If} $installed == ""
    Return
  ${EndIf}
  ${VersionCompare} $installed ${VERSION} $R0
  ${If} $R0 != 1
  ${OrIf} $force == 1
    Return
  ${EndIf}
  IfSilent 0 +3
    SetErrorLevel ${EXIT_NEWER}
    Quit
  MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "A newer version of the plug-in, \
    $installed, is installed in $INSTDIR.$\n$\nReplace it with version ${VERSION}?" IDYES +2
    Abort
FunctionEnd

; The player must be closed and the plug-in file free: Retry/Cancel until it is.
Function checkNotInUse
  retry:
  StrCpy $R1 ""
  FindWindow $R0 "${PLAYER_WINDOW_CLASS}"
  ${If} $R0 <> 0
    StrCpy $R1 "The player is running. Close it, then choose Retry."
  ${ElseIf} ${FileExists} "$INSTDIR\Plugins\${PLUGIN_FILE}"
    ClearErrors
    FileOpen $R0 "$INSTDIR\Plugins\${PLUGIN_FILE}" a
    ${If} ${Errors}
      StrCpy $R1 "$INSTDIR\Plugins\${PLUGIN_FILE} is in use by another program. \
        Close it, then choose Retry."
    ${Else}
      FileClose $R0
    ${EndIf}
  ${EndIf}
  ${If} $R1 == ""
    Return
  ${EndIf}
  IfSilent 0 +3
    SetErrorLevel ${EXIT_IN_USE}
    Quit
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION $R1 IDRETRY retry
  SetErrorLevel ${EXIT_IN_USE}
  Quit
FunctionEnd

; A folder the user can write to is installed per user (entries under HKCU). Otherwise the
; installer runs itself again with administrator rights; that copy installs for all users.
Function chooseRights
  ${If} $elevated == 1
    SetShellVarContext all
    Return
  ${EndIf}
  StrCpy $R1 "$INSTDIR\Plugins"
  ${IfNot} ${FileExists} "$R1\*.*"
    StrCpy $R1 $INSTDIR
  ${EndIf}
  Call canWrite
  ${If} $R9 == 1
    SetShellVarContext current
    Return
  ${EndIf}
  StrCpy $R1 "/ELEVATED"
  ${If} $force == 1
    StrCpy $R1 "$R1 /FORCE"
  ${EndIf}
  IfSilent 0 +2
    StrCpy $R1 "$R1 /S"
  StrCpy $R1 "$R1 /D=$INSTDIR"
  Call runElevated
FunctionEnd

Function .onInit
  Call ownRegView
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/FORCE" $R1
  ${IfNot} ${Errors}
    StrCpy $force 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/ELEVATED" $R1
  ${IfNot} ${Errors}
    StrCpy $elevated 1
  ${EndIf}
  Call findPlayer
  IfSilent 0 done
    Call checkPlayerFolder
    Call checkVersion
    Call checkNotInUse
    Call chooseRights
  done:
FunctionEnd

Function dirShow
  ${If} $foundBy == "record"
  ${OrIf} $foundBy == "uninstall"
    FindWindow $R0 "#32770" "" $HWNDPARENT
    GetDlgItem $R0 $R0 1006
    SendMessage $R0 ${WM_SETTEXT} 0 "STR:The player was found in the folder below. The plug-in \
      is copied into its Plugins folder; nothing else of the player is changed."
  ${EndIf}
FunctionEnd

Function dirLeave
  Call checkPlayerFolder
  Call checkVersion
  Call checkNotInUse
  Call chooseRights
FunctionEnd

Function failed
  DetailPrint $R1
  MessageBox MB_ICONSTOP $R1 /SD IDOK
  SetErrorLevel ${EXIT_FAILED}
  Quit
FunctionEnd

Section "Quorvel plug-in" SecPlugin
  ; The player may have been started, or the file locked, since the folder page.
  Call checkNotInUse
  ReadRegStr $createdPlugins SHCTX "${STATE_KEY}\$folderKey" "CreatedPlugins"
  ; An install by the older single-entry installer into this folder: take over its record.
  ReadRegStr $R1 HKLM "${OLD_STATE_KEY}" "PlayerFolder"
  ${If} $R1 == $INSTDIR
    ReadRegStr $createdPlugins HKLM "${OLD_STATE_KEY}" "CreatedPlugins"
    DeleteRegValue HKLM "${OLD_STATE_KEY}" "PlayerFolder"
    DeleteRegValue HKLM "${OLD_STATE_KEY}" "CreatedPlugins"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ${EndIf}
  ${IfNot} ${FileExists} "$INSTDIR\Plugins\*.*"
    StrCpy $createdPlugins 1
  ${EndIf}
  ${If} $createdPlugins != 1
    StrCpy $createdPlugins 0
  ${EndIf}

  ClearErrors
  SetOutPath "$INSTDIR\Plugins"
  File "/oname=${PLUGIN_FILE}" "${DLL}"
  WriteUninstaller "$INSTDIR\Plugins\${UNINSTALLER}"
  ${If} ${Errors}
    StrCpy $R1 "The plug-in could not be written to $INSTDIR\Plugins."
    Call failed
  ${EndIf}

  ; A per-user install replaces an all-users one of the same folder and the other way round
  ; (where this process may write there).
  ${If} $elevated == 1
    DeleteRegKey HKCU "${STATE_KEY}\$folderKey"
    DeleteRegKey HKCU "${UNINSTALL_KEY}-$folderKey"
  ${Else}
    DeleteRegKey HKLM "${STATE_KEY}\$folderKey"
    DeleteRegKey HKLM "${UNINSTALL_KEY}-$folderKey"
  ${EndIf}
  ClearErrors
  WriteRegStr SHCTX "${STATE_KEY}\$folderKey" "Folder" "$INSTDIR"
  WriteRegStr SHCTX "${STATE_KEY}\$folderKey" "Version" "${VERSION}"
  WriteRegStr SHCTX "${STATE_KEY}\$folderKey" "CreatedPlugins" "$createdPlugins"

  !define ENTRY "${UNINSTALL_KEY}-$folderKey"
  WriteRegStr SHCTX "${ENTRY}" "DisplayName" "Quorvel plug-in ${VERSION} ($INSTDIR)"
  WriteRegStr SHCTX "${ENTRY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${ENTRY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${ENTRY}" "DisplayIcon" '"$INSTDIR\Plugins\${UNINSTALLER}",0'
  WriteRegStr SHCTX "${ENTRY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${ENTRY}" "UninstallString" '"$INSTDIR\Plugins\${UNINSTALLER}"'
  WriteRegStr SHCTX "${ENTRY}" "QuietUninstallString" '"$INSTDIR\Plugins\${UNINSTALLER}" /S'
  WriteRegDWORD SHCTX "${ENTRY}" "NoModify" 1
  WriteRegDWORD SHCTX "${ENTRY}" "NoRepair" 1
  ${GetSize} "$INSTDIR\Plugins" "/M=${PLUGIN_FILE} /S=0K /G=0" $R1 $R2 $R3
  ${GetSize} "$INSTDIR\Plugins" "/M=${UNINSTALLER} /S=0K /G=0" $R4 $R2 $R3
  IntOp $R1 $R1 + $R4
  WriteRegDWORD SHCTX "${ENTRY}" "EstimatedSize" $R1
  !undef ENTRY
  ${If} ${Errors}
    StrCpy $R1 "The plug-in's uninstall entry could not be written."
    Call failed
  ${EndIf}
SectionEnd

; ---- Uninstaller -----------------------------------------------------------------------------
; It lives in the Plugins folder, so $INSTDIR is that folder here. It removes what the
; install into its own player folder recorded, nothing of any other folder's install.

Var playerFolder

Function un.onInit
  Call un.ownRegView
  ; The copy that runs from the temporary folder is told its folder with a trailing "\".
  StrCpy $R1 $INSTDIR 1 -1
  ${If} $R1 == "\"
    StrCpy $INSTDIR $INSTDIR -1
  ${EndIf}
  ${GetParent} $INSTDIR $playerFolder
  StrCpy $R1 $playerFolder
  Call un.folderKey
  StrCpy $folderKey $R0
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/ELEVATED" $R1
  ${IfNot} ${Errors}
    StrCpy $elevated 1
  ${EndIf}
  ; The install's own root: the per-user entry if there is one, else the all-users one.
  ReadRegStr $R1 HKCU "${STATE_KEY}\$folderKey" "Folder"
  ${If} $R1 != ""
    SetShellVarContext current
    Return
  ${EndIf}
  SetShellVarContext all
  StrCpy $R1 $INSTDIR
  Call un.canWrite
  ${If} $R9 == 1
  ${OrIf} $elevated == 1
    Return
  ${EndIf}
  StrCpy $R1 "/ELEVATED"
  IfSilent 0 +2
    StrCpy $R1 "$R1 /S"
  StrCpy $R1 "$R1 _?=$INSTDIR"
  Call un.runElevated
FunctionEnd

Section "Uninstall"
  ReadRegStr $createdPlugins SHCTX "${STATE_KEY}\$folderKey" "CreatedPlugins"
  Delete /REBOOTOK "$INSTDIR\${PLUGIN_FILE}"
  Delete "$INSTDIR\${UNINSTALLER}"
  ${If} $createdPlugins == 1
    ; Only when empty: other plug-ins stay where they are. After the plug-in itself when
    ; that has to wait for a restart.
    ${If} ${RebootFlag}
      RMDir /REBOOTOK "$INSTDIR"
    ${Else}
      RMDir "$INSTDIR"
    ${EndIf}
  ${EndIf}
  DeleteRegKey SHCTX "${UNINSTALL_KEY}-$folderKey"
  DeleteRegKey SHCTX "${STATE_KEY}\$folderKey"
  DeleteRegKey /ifempty SHCTX "${STATE_KEY}"
  DeleteRegKey /ifempty SHCTX "${OLD_STATE_KEY}"
  ${If} ${RebootFlag}
    SetErrorLevel ${EXIT_RESTART}
    MessageBox MB_ICONINFORMATION "${PLUGIN_FILE} is in use, probably by the player. It will \
      be removed when Windows restarts." /SD IDOK
  ${EndIf}
SectionEnd
