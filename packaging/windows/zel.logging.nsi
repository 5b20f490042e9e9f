; The Windows installer of zel.logging, built by scripts/package-windows:
;   makensis -DVERSION=2.2.1 -DSTAGE=<folder> -DOUTFILE=<setup.exe> zel.logging.nsi
; STAGE holds the program as it is installed, and STAGE\..\files.nsh the uninstaller's list of
; those files (Delete and RMDir lines), so that uninstalling removes only what was installed.
; Installs per machine, for every user, and creates the components' shared log folder; the
; uninstaller never touches that folder, which holds the users' logs.

; A 64-bit installer for the 64-bit program: its folder and its registration are the 64-bit
; ones without further ado, and it runs where no 32-bit layer is installed.
Target amd64-unicode
!include MUI2.nsh
!include FileFunc.nsh

!define PRODUCT "zel.logging"
!define PUBLISHER "zel"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
; Lets "start zel.logging" and the Run box find the program by name, without its folder on PATH.
!define APP_PATHS_KEY "Software\Microsoft\Windows\CurrentVersion\App Paths\zel.logging.exe"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ManifestSupportedOS all
ManifestDPIAware true

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}.0"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}.0"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PUBLISHER}"

!define MUI_ICON "${STAGE}\..\zellogging.ico"
!define MUI_UNICON "${STAGE}\..\zellogging.ico"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "German"

Function .onInit
    SetShellVarContext all
    ; A silent install with /D=... keeps that folder; otherwise an earlier installation's.
    ${If} $INSTDIR == "$PROGRAMFILES64\${PRODUCT}"
        ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
        StrCmp $0 "" +2
        StrCpy $INSTDIR $0
    ${EndIf}
FunctionEnd

Function un.onInit
    SetShellVarContext all
FunctionEnd

; The components' shared log folder ($APPDATA is ProgramData for all users), with rights of the
; installer's own, whoever made it before: it belongs to the Administrators, who may do anything
; with it, as SYSTEM may. Every user (BUILTIN\Users; all are named by their SIDs, whatever the
; system's language) may list it and its subfolders, add files and folders there, delete or
; replace what is in them (as in a folder that all may write on Linux) and change it, as the
; components and the dialog, running as different users, need. Nobody else may rename, delete or
; change the folder itself, so nobody can put a junction in its place. Every icacls step works
; on the name itself (/L), never on what a junction swapped in meanwhile leads to. What an
; earlier folder holds keeps its rights: the program trusts no file there that it did not check.
Function ClaimLogFolder
    System::Call 'kernel32::GetFileAttributesW(w "$APPDATA\zel") i .r1'
    ${If} $1 <> -1
        IntOp $2 $1 & 0x400 ; a junction or link
        IntOp $3 $1 & 0x10  ; a folder
        ${If} $2 <> 0
        ${OrIf} $3 = 0
            DetailPrint "$APPDATA\zel is no folder of its own but a junction, link or file: it is removed (what it leads to stays)."
            ; RMDir removes a junction or a link to a folder itself, Delete a file or a link to one.
            RMDir "$APPDATA\zel"
            Delete "$APPDATA\zel"
        ${Else}
            DetailPrint "$APPDATA\zel was there before: it now belongs to the Administrators, and its rights are reset to the installer's."
        ${EndIf}
    ${EndIf}
    CreateDirectory "$APPDATA\zel"
    nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$APPDATA\zel" /setowner *S-1-5-32-544 /L /Q'
    Pop $0
    DetailPrint "icacls: owner of $APPDATA\zel (exit code $0)"
    nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$APPDATA\zel" /reset /L /Q'
    Pop $0
    DetailPrint "icacls: earlier rights of $APPDATA\zel removed (exit code $0)"
    nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$APPDATA\zel" /inheritance:r /grant *S-1-5-18:(OI)(CI)F *S-1-5-32-544:(OI)(CI)F *S-1-5-32-545:(RD,X,RA,REA,RC,S,WD,AD,DC) *S-1-5-32-545:(OI)(CI)(IO)M *S-1-5-32-545:(CI)(IO)(DC) /L /Q'
    Pop $0
    DetailPrint "icacls: rights of $APPDATA\zel set (exit code $0)"
    System::Call 'kernel32::GetFileAttributesW(w "$APPDATA\zel") i .r1'
    IntOp $2 $1 & 0x410
    ${If} $1 = -1
    ${OrIf} $2 <> 0x10
        Abort "$APPDATA\zel could not be made a folder of its own."
    ${EndIf}
FunctionEnd

Section "Install"
    SetOutPath "$INSTDIR"
    File /r "${STAGE}\*.*"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\zel.logging.exe" "" "$INSTDIR\zel.logging.exe" 0

    Call ClaimLogFolder

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\zel.logging.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" "$\"$INSTDIR\uninstall.exe$\""
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" "$\"$INSTDIR\uninstall.exe$\" /S"
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    IntFmt $0 "0x%08X" $0
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
    WriteRegStr HKLM "${APP_PATHS_KEY}" "" "$INSTDIR\zel.logging.exe"
SectionEnd

Section "Uninstall"
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    !include "${STAGE}\..\files.nsh"
    Delete "$INSTDIR\uninstall.exe"
    ; Only when empty: a file someone else put there stays, and so does its folder.
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    DeleteRegKey HKLM "${APP_PATHS_KEY}"
SectionEnd
