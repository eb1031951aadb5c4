; Installer of the Quorvel plug-in: puts gen_quorvel.dll into the Plugins folder of the
; player folder the user chooses, and registers an uninstaller that removes exactly what
; was installed. The player's INI file, which holds the plug-in's settings, is never touched.
;
;   makensis -DDLL=path\gen_quorvel.dll [-DOUTFILE=setup.exe] [-DAMD64] quorvel.nsi
;
; The product is the 32-bit installer of the 32-bit plug-in. -DAMD64 builds the same
; installer as a 64-bit program carrying the 64-bit build of the DLL, for machines that run
; only 64-bit code (the tests here).
; Silent use:  quorvel-setup.exe /S /D=C:\Path\To\Player   (/D= last, without quotes)
;              "Uninstall Quorvel.exe" /S

Unicode true
!ifndef DLL
  !error "Give the plug-in to install: -DDLL=path\gen_quorvel.dll"
!endif
!ifndef OUTFILE
  !define OUTFILE "quorvel-setup.exe"
!endif
!ifndef VERSION
  !define VERSION "1.1"
!endif

!ifdef AMD64
  Target amd64-unicode
  !define PROGRAMS "$PROGRAMFILES64"
!else
  Target x86-unicode
  !define PROGRAMS "$PROGRAMFILES"
!endif

!define PLUGIN_FILE "gen_quorvel.dll"
!define UNINSTALLER "Uninstall Quorvel.exe"
!define STATE_KEY "Software\Quorvel"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvel"

Name "Quorvel ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "${PROGRAMS}\Winamp"
InstallDirRegKey HKLM "${STATE_KEY}" "PlayerFolder"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show
BrandingText "Quorvel ${VERSION}"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=1033 "ProductName" "Quorvel"
VIAddVersionKey /LANG=1033 "FileDescription" "Quorvel plug-in installer"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Quorvel"

DirText "Choose the player's folder (the one that holds its Plugins folder). The plug-in \
is copied into Plugins; nothing else of the player is changed." "Player folder"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Var createdPlugins

Function .onInit
  !ifdef AMD64
    SetRegView 64
  !endif
FunctionEnd

Function un.onInit
  !ifdef AMD64
    SetRegView 64
  !endif
FunctionEnd

Section "Quorvel plug-in"
  StrCpy $createdPlugins 0
  IfFileExists "$INSTDIR\Plugins\*.*" +2 0
    StrCpy $createdPlugins 1

  ; A running player holds the plug-in open: say so instead of failing half-way.
  IfFileExists "$INSTDIR\Plugins\${PLUGIN_FILE}" 0 copy
    ClearErrors
    FileOpen $0 "$INSTDIR\Plugins\${PLUGIN_FILE}" a
    IfErrors 0 +3
      MessageBox MB_ICONSTOP "$INSTDIR\Plugins\${PLUGIN_FILE} is in use. Close the player and run the installer again." /SD IDOK
      Abort "The plug-in file is in use."
    FileClose $0

  copy:
  SetOutPath "$INSTDIR\Plugins"
  ClearErrors
  File "/oname=${PLUGIN_FILE}" "${DLL}"
  IfErrors 0 +2
    Abort "The plug-in could not be written to $INSTDIR\Plugins."
  WriteUninstaller "$INSTDIR\Plugins\${UNINSTALLER}"

  ; Whether the Plugins folder was ours survives a reinstall into the same folder.
  ReadRegStr $1 HKLM "${STATE_KEY}" "CreatedPlugins"
  ReadRegStr $2 HKLM "${STATE_KEY}" "PlayerFolder"
  StrCmp $2 $INSTDIR 0 +3
  StrCmp $1 "1" 0 +2
    StrCpy $createdPlugins 1
  WriteRegStr HKLM "${STATE_KEY}" "PlayerFolder" "$INSTDIR"
  WriteRegStr HKLM "${STATE_KEY}" "CreatedPlugins" "$createdPlugins"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Quorvel plug-in ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Plugins\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Plugins\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The uninstaller lives in the Plugins folder, so $INSTDIR is that folder here.
Section "Uninstall"
  Delete /REBOOTOK "$INSTDIR\${PLUGIN_FILE}"
  Delete "$INSTDIR\${UNINSTALLER}"
  ReadRegStr $0 HKLM "${STATE_KEY}" "CreatedPlugins"
  StrCmp $0 "1" 0 +2
    RMDir "$INSTDIR"    ; only when empty: other plug-ins stay where they are
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "${STATE_KEY}"
SectionEnd
