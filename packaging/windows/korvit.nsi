; The Korvit installer: korvit.exe, korvit-cli.exe, the editor and their DLLs under Program Files,
; Start-menu entries, .adx and .xdl files opened by Korvit, and an uninstaller.
;   makensis -DVERSION=0.1.0 -DSTAGE=/path/to/korvit-0.1.0-win64 -DOUTFILE=setup.exe korvit.nsi
Unicode true
!include "MUI2.nsh"

Name "Korvit ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Korvit"
InstallDirRegKey HKLM "Software\Korvit" "InstallDir"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Korvit"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

!macro Associate EXT KIND DESCRIPTION
    WriteRegStr HKCR "${EXT}" "" "${KIND}"
    WriteRegStr HKCR "${KIND}" "" "${DESCRIPTION}"
    WriteRegStr HKCR "${KIND}\DefaultIcon" "" "$INSTDIR\korvit.exe,0"
    WriteRegStr HKCR "${KIND}\shell\open\command" "" '"$INSTDIR\korvit.exe" "%1"'
!macroend

!macro Dissociate EXT KIND
    ReadRegStr $0 HKCR "${EXT}" ""
    StrCmp $0 "${KIND}" 0 +2
    DeleteRegKey HKCR "${EXT}"
    DeleteRegKey HKCR "${KIND}"
!macroend

Section "Korvit"
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    File /r "${STAGE}\*.*"
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    CreateDirectory "$SMPROGRAMS\Korvit"
    CreateShortcut "$SMPROGRAMS\Korvit\Korvit.lnk" "$INSTDIR\korvit.exe"
    CreateShortcut "$SMPROGRAMS\Korvit\Korvit demo definition.lnk" "$INSTDIR\korvit.exe" \
        '"$INSTDIR\samples\demo.adx"'
    CreateShortcut "$SMPROGRAMS\Korvit\Read me.lnk" "$INSTDIR\README.txt"
    CreateShortcut "$SMPROGRAMS\Korvit\Uninstall Korvit.lnk" "$INSTDIR\Uninstall.exe"

    !insertmacro Associate ".adx" "Korvit.Definition" "Korvit datastream definition"
    !insertmacro Associate ".xdl" "Korvit.Datalog" "Korvit datalog"
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'

    WriteRegStr HKLM "Software\Korvit" "InstallDir" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Korvit"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Korvit developers"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\korvit.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    !insertmacro Dissociate ".adx" "Korvit.Definition"
    !insertmacro Dissociate ".xdl" "Korvit.Datalog"
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
    RMDir /r "$SMPROGRAMS\Korvit"
    ; Only what the installer put there: recordings and settings in %APPDATA% stay.
    RMDir /r "$INSTDIR\platforms"
    RMDir /r "$INSTDIR\styles"
    RMDir /r "$INSTDIR\samples"
    Delete "$INSTDIR\*.exe"
    Delete "$INSTDIR\*.dll"
    Delete "$INSTDIR\README.txt"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    DeleteRegKey HKLM "Software\Korvit"
SectionEnd
