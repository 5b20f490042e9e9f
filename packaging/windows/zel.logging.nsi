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

Section "Install"
    SetOutPath "$INSTDIR"
    File /r "${STAGE}\*.*"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\zel.logging.exe" "" "$INSTDIR\zel.logging.exe" 0

    ; The components' shared log folder ($APPDATA is ProgramData for all users). Every user may
    ; create, write and delete files in it (BUILTIN\Users, named by its SID, whatever the
    ; system's language), as the components and the dialog, running as different users, need.
    CreateDirectory "$APPDATA\zel"
    nsExec::Exec '"$SYSDIR\icacls.exe" "$APPDATA\zel" /grant *S-1-5-32-545:(OI)(CI)M'
    Pop $0

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
SectionEnd

Section "Uninstall"
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    !include "${STAGE}\..\files.nsh"
    Delete "$INSTDIR\uninstall.exe"
    ; Only when empty: a file someone else put there stays, and so does its folder.
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
