; The Windows installer, built on Linux with makensis by the windows-installer target
; (cmake/windows-installer.cmake gives the defines below). Installs for the current user
; without administrator rights; /S installs silently, /D=folder (last) picks the folder.
; The uninstaller removes exactly the files, shortcut and registry key this installed.
;
;   VERSION    the program's version, three numbers
;   OUTFILE    the installer to write
;   ICON       the program's icon
;   INSTALL    the File commands of the program's folder
;   UNINSTALL  the matching Delete and RMDir commands
; The program is 64-bit, and so is its installer.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!define PRODUCT "Device Configuration"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\devconfig"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "$LOCALAPPDATA\Programs\devconfig"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey "LegalCopyright" ""

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Program"
    SetShellVarContext current
    !include "${INSTALL}"
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    ; Started in the program's folder, where Help finds the manual.
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\devconfig.exe" "" \
        "$INSTDIR\devconfig.exe" 0
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\devconfig.exe,0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext current
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    !include "${UNINSTALL}"
    Delete "$INSTDIR\uninstall.exe"
    ; Only when empty: files the user put there stay, and so does their folder. The per-user
    ; programs folder goes too when the install made it and nothing else is in it.
    RMDir "$INSTDIR"
    RMDir "$LOCALAPPDATA\Programs"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
