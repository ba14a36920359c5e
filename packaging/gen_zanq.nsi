; Installer of the Kestwyn plug-in: finds the player's installation folder,
; puts gen_zanq.dll into its Plugins folder and registers an uninstaller that
; removes that file, itself and its own uninstall entry, and nothing else:
; the [Kestwyn] section of the player's INI file stays for a later install.
;   makensis -DVERSION=1.1 -DDLL=/path/gen_zanq.dll -DOUTFILE=/path/setup.exe gen_zanq.nsi

!ifndef VERSION
    !error "define VERSION, DLL and OUTFILE"
!endif
!ifndef DLL
    !error "define VERSION, DLL and OUTFILE"
!endif
!ifndef OUTFILE
    !error "define VERSION, DLL and OUTFILE"
!endif

Unicode true
Target x86-unicode   ; the player is a 32-bit program, so is its installer
SetCompressor /SOLID lzma
!include LogicLib.nsh
!include FileFunc.nsh

!define PLAYER_UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Winamp"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestwyn"
!define UNINSTALLER "uninstall_gen_zanq.exe"

Name "Kestwyn ${VERSION}"
Caption "Kestwyn ${VERSION}: a duplicate sweeper for Winamp"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Winamp"
RequestExecutionLevel admin ; the player's folder is usually under Program Files
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "Kestwyn"
VIAddVersionKey "FileDescription" "Kestwyn ${VERSION} installer (Winamp plug-in gen_zanq.dll)"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "The Kestwyn developers"
VIAddVersionKey "LegalCopyright" "Copyright (c) 2026 The Kestwyn developers, MIT licence"

DirText "Setup puts gen_zanq.dll into the Plugins folder of the Winamp installation below. \
If Winamp lives elsewhere, choose its folder (the one holding winamp.exe)." "Winamp folder"
Page directory "" "" checkPlayerFolder
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; Cuts a command line held in $0 down to its program path: the text inside
; leading quotes, or the whole text when it is not quoted.
Function programOfCommand
    StrCpy $1 $0 1
    ${If} $1 == '"'
        StrCpy $0 $0 "" 1
        StrCpy $2 0
        ${Do}
            StrCpy $1 $0 1 $2
            ${IfThen} $1 == '"' ${|} ${ExitDo} ${|}
            ${IfThen} $1 == "" ${|} ${ExitDo} ${|}
            IntOp $2 $2 + 1
        ${Loop}
        StrCpy $0 $0 $2
    ${EndIf}
FunctionEnd

; The player's folder: where its registered uninstaller sits, else the folder
; it records for the current user, else the default in InstallDir.
Function .onInit
    ReadRegStr $0 HKLM "${PLAYER_UNINSTALL_KEY}" "UninstallString"
    ${If} $0 != ""
        Call programOfCommand
        ${GetParent} $0 $0
        ${If} ${FileExists} "$0\*.*"
            StrCpy $INSTDIR $0
            Return
        ${EndIf}
    ${EndIf}
    ReadRegStr $0 HKCU "Software\Winamp" ""
    ${If} $0 != ""
    ${AndIf} ${FileExists} "$0\*.*"
        StrCpy $INSTDIR $0
    ${EndIf}
FunctionEnd

; A folder without winamp.exe is most likely a wrong choice: ask before using it.
Function checkPlayerFolder
    ${IfNot} ${FileExists} "$INSTDIR\winamp.exe"
        MessageBox MB_YESNO|MB_ICONQUESTION "There is no winamp.exe in$\r$\n$INSTDIR$\r$\n$\r$\nInstall into its Plugins folder anyway?" IDYES +2
        Abort
    ${EndIf}
FunctionEnd

Section "Kestwyn"
    SetOutPath "$INSTDIR\Plugins"
    File "${DLL}"
    WriteUninstaller "$INSTDIR\Plugins\${UNINSTALLER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Kestwyn ${VERSION} (Winamp plug-in)"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Kestwyn developers"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR\Plugins"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Plugins\${UNINSTALLER}"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Plugins\${UNINSTALLER}" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The uninstaller runs from the Plugins folder, so $INSTDIR is that folder.
; A loaded plug-in cannot be deleted: stop then, with everything still in place.
Section "Uninstall"
    Delete "$INSTDIR\gen_zanq.dll"
    ${If} ${FileExists} "$INSTDIR\gen_zanq.dll"
        MessageBox MB_OK|MB_ICONSTOP "gen_zanq.dll is in use. Close Winamp and run the uninstaller again." /SD IDOK
        Abort
    ${EndIf}
    Delete "$INSTDIR\${UNINSTALLER}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
