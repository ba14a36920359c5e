; Installer of the Kestwyn plug-in: finds the player's installation folder,
; puts gen_zanq.dll into its Plugins folder and registers an uninstaller that
; removes that file, itself and its own uninstall entry, and nothing else:
; the [Kestwyn] section of the player's INI file stays for a later install.
; A running player keeps the plug-in loaded and Windows then refuses to
; replace or delete it: both programs check that before they change anything,
; offer Retry and Cancel, and in silent mode end with exit code 2.
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
!define PLUGIN "gen_zanq.dll"
!define UNINSTALLER "uninstall_gen_zanq.exe"

Name "Kestwyn ${VERSION}"
; The title bar adds the page's name to this: it stays short enough to show whole.
Caption "Kestwyn ${VERSION} Setup"
OutFile "${OUTFILE}"
; No InstallDir: .onInit looks for the player unless /D= named the folder.
RequestExecutionLevel admin ; the player's folder is usually under Program Files
ShowInstDetails show
ShowUninstDetails show
InstallColors /windows
AllowSkipFiles off ; a file that cannot be written ends the install, never skipped

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
UninstallText "This removes gen_zanq.dll and its uninstaller from the folder below, \
and Kestwyn from the list of programs. Its settings in Winamp's INI file stay." "Folder:"
UninstPage uninstConfirm
UninstPage instfiles

; Waits until the file named in $0 can be written, which a running player
; prevents while it keeps the plug-in loaded. The user may close the player
; and retry; Cancel, and silent mode at once, end the program with exit
; code 2 before anything has changed. $1 names what Cancel ends.
!macro defineWaitUntilWritable prefix
Function ${prefix}waitUntilWritable
    retry:
    IfFileExists $0 0 writable
    ClearErrors
    FileOpen $2 $0 a ; opens for writing, changes nothing
    IfErrors held
    FileClose $2
    writable:
    Return
    held:
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
        "${PLUGIN} is in use, most likely by Winamp:$\r$\n$0$\r$\n$\r$\nClose Winamp, then click Retry. Cancel ends the $1 and changes nothing." \
        /SD IDCANCEL IDRETRY retry
    SetErrorLevel 2
    Quit
FunctionEnd
!macroend
!insertmacro defineWaitUntilWritable ""
!insertmacro defineWaitUntilWritable "un."

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

; The player's folder, unless /D= gave one: where its registered uninstaller
; sits, else the folder it records for the current user, else the default.
; A recorded folder that no longer exists is passed over.
Function .onInit
    ${If} $INSTDIR != ""
        Return
    ${EndIf}
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
        Return
    ${EndIf}
    StrCpy $INSTDIR "$PROGRAMFILES\Winamp"
FunctionEnd

; A folder without winamp.exe is most likely a wrong choice: ask before using it.
Function checkPlayerFolder
    ${IfNot} ${FileExists} "$INSTDIR\winamp.exe"
        MessageBox MB_YESNO|MB_ICONQUESTION "There is no winamp.exe in$\r$\n$INSTDIR$\r$\n$\r$\nInstall into its Plugins folder anyway?" IDYES +2
        Abort
    ${EndIf}
FunctionEnd

Section "Kestwyn"
    StrCpy $0 "$INSTDIR\Plugins\${PLUGIN}"
    StrCpy $1 "setup"
    Call waitUntilWritable
    SetOutPath "$INSTDIR\Plugins"
    File "${DLL}"
    ; Its own line would name the whole path and not fit the list.
    SetDetailsPrint none
    WriteUninstaller "$INSTDIR\Plugins\${UNINSTALLER}"
    SetDetailsPrint both
    DetailPrint "Created uninstaller: ${UNINSTALLER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Kestwyn ${VERSION} (Winamp plug-in)"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Kestwyn developers"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR\Plugins"
    ; _?= runs the uninstaller in place, so that its exit code is the outcome
    ; of the removal: without it, it starts a copy of itself and returns at once.
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Plugins\${UNINSTALLER}" _?=$INSTDIR\Plugins'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Plugins\${UNINSTALLER}" /S _?=$INSTDIR\Plugins'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; $INSTDIR is the Plugins folder.
Section "Uninstall"
    StrCpy $0 "$INSTDIR\${PLUGIN}"
    StrCpy $1 "removal"
    Call un.waitUntilWritable
    Delete "$INSTDIR\${PLUGIN}"
    ${If} ${FileExists} "$INSTDIR\${PLUGIN}"
        SetErrorLevel 2
        Abort "${PLUGIN} could not be deleted: nothing else was changed."
    ${EndIf}
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    DetailPrint "Removed Kestwyn from the list of programs"
    Delete "$INSTDIR\${UNINSTALLER}"
    ${If} ${FileExists} "$INSTDIR\${UNINSTALLER}"
        DetailPrint "Delete file: ${UNINSTALLER}, once this program has ended"
    ${EndIf}
    RMDir "$INSTDIR" ; only when nothing else is left in it
SectionEnd

; Run in place (_?=), the uninstaller cannot delete itself, nor move itself
; while it reads its own data. So it leaves that to a copy of itself in the
; temporary folder, started as it ends: the copy deletes it once it has
; ended, and is itself deleted at the next restart, like the copy that an
; uninstaller run without _?= makes of itself.
Function un.onUninstSuccess
    ${If} ${FileExists} "$INSTDIR\${UNINSTALLER}"
        GetTempFileName $0
        Delete $0
        CopyFiles /SILENT "$EXEPATH" "$0.exe"
        Exec '"$0.exe" /REMOVE-UNINSTALLER _?=$INSTDIR'
    ${EndIf}
FunctionEnd

; The copy's whole work: wait up to a minute for the uninstaller in
; $INSTDIR to end, delete it and the folder if that is now empty, quit.
Function un.onInit
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/REMOVE-UNINSTALLER" $1
    ${If} ${Errors}
        Return
    ${EndIf}
    StrCpy $1 0
    ${Do}
        Delete "$INSTDIR\${UNINSTALLER}"
        ${IfNot} ${FileExists} "$INSTDIR\${UNINSTALLER}"
            RMDir "$INSTDIR"
            ${ExitDo}
        ${EndIf}
        Sleep 100
        IntOp $1 $1 + 1
    ${LoopUntil} $1 >= 600
    Delete /REBOOTOK "$EXEPATH"
    Quit
FunctionEnd
