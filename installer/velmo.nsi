; The Windows installer of VELMO. Built by scripts/make-installer from a
; staging folder (STAGE) that holds exactly the files to install; the list of
; those files (FILES_NSH / UNFILES_NSH) is generated beside it so that the
; uninstaller removes what was installed and nothing the user put there
; (waypoints, tracks and maps added later stay, and so does the folder then).
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!ifndef STAGE
  !error "STAGE must name the staging folder"
!endif
!ifndef OUTFILE
  !define OUTFILE "velmo-setup.exe"
!endif
!ifndef VERSION
  !define VERSION "1.0"
!endif

!define PRODUCT "VELMO"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VELMO"
!define SETTINGS_KEY "Software\Velmo\GisVelmo"

Name "${PRODUCT}"
Caption "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

LoadLanguageFile "${NSISDIR}\Contrib\Language files\Russian.nlf"
LoadLanguageFile "${NSISDIR}\Contrib\Language files\English.nlf"

LangString StartMenuDemo ${LANG_RUSSIAN} "VELMO - демонстрационный район"
LangString StartMenuDemo ${LANG_ENGLISH} "VELMO - demo region"
LangString StartMenuGuide ${LANG_RUSSIAN} "Руководство VELMO"
LangString StartMenuGuide ${LANG_ENGLISH} "VELMO user's guide"
LangString GuidePage ${LANG_RUSSIAN} "guide.html"
LangString GuidePage ${LANG_ENGLISH} "guide.en.html"
LangString StartMenuUninst ${LANG_RUSSIAN} "Удалить VELMO"
LangString StartMenuUninst ${LANG_ENGLISH} "Uninstall VELMO"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  SetRegView 64
  ; The program's own language: Russian unless the system's is another one.
  System::Call 'kernel32::GetUserDefaultUILanguage() i .r0'
  StrCmp $0 1049 0 +3
    StrCpy $LANGUAGE ${LANG_RUSSIAN}
    Goto +2
  StrCpy $LANGUAGE ${LANG_ENGLISH}
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

; Opens files of EXT with the program, unless another program's type owns
; the extension already.
!macro Associate EXT TYPE DESC
  ReadRegStr $0 HKCR "${EXT}" ""
  StrCmp $0 "" 0 +2
    WriteRegStr HKCR "${EXT}" "" "${TYPE}"
  ReadRegStr $0 HKCR "${EXT}" ""
  StrCmp $0 "${TYPE}" 0 +5
    WriteRegStr HKCR "${TYPE}" "" "${DESC}"
    WriteRegStr HKCR "${TYPE}\Shell\Open with VELMO" "" "Open with VELMO"
    WriteRegStr HKCR "${TYPE}\Shell\Open with VELMO\Command" "" '"$INSTDIR\velmo.exe" %1'
    WriteRegStr HKCR "${TYPE}\DefaultIcon" "" '"$INSTDIR\velmo.exe",0'
!macroend

; Takes back what the program or the installer registered for TYPE: the open
; verb, and the icon while it is the program's; the type and its extension
; go too when nothing else is left of them.
!macro Unassociate EXT TYPE
  DeleteRegKey HKCR "${TYPE}\Shell\Open with VELMO"
  DeleteRegKey /ifempty HKCR "${TYPE}\Shell"
  ReadRegStr $0 HKCR "${TYPE}\DefaultIcon" ""
  StrCpy $1 $0 "" 1
  StrLen $2 "$INSTDIR\velmo.exe"
  StrCpy $1 $1 $2
  StrCmp $1 "$INSTDIR\velmo.exe" 0 +2
    DeleteRegKey HKCR "${TYPE}\DefaultIcon"
  EnumRegKey $0 HKCR "${TYPE}" 0
  StrCmp $0 "" 0 +5
    DeleteRegKey HKCR "${TYPE}"
    ReadRegStr $1 HKCR "${EXT}" ""
    StrCmp $1 "${TYPE}" 0 +2
      DeleteRegKey HKCR "${EXT}"
!macroend

Section "VELMO" SecMain
  SectionIn RO
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  !include "${FILES_NSH}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; Start menu.
  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortCut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\velmo.exe"
  IfFileExists "$INSTDIR\demo.vel" 0 +2
    CreateShortCut "$SMPROGRAMS\${PRODUCT}\$(StartMenuDemo).lnk" "$INSTDIR\velmo.exe" '"$INSTDIR\demo.vel"'
  IfFileExists "$INSTDIR\guide\$(GuidePage)" 0 +2
    CreateShortCut "$SMPROGRAMS\${PRODUCT}\$(StartMenuGuide).lnk" "$INSTDIR\guide\$(GuidePage)"
  CreateShortCut "$SMPROGRAMS\${PRODUCT}\$(StartMenuUninst).lnk" "$INSTDIR\uninstall.exe"

  ; Programs and Features.
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" '"$INSTDIR\velmo.exe",0'
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1

  ; The program's map files open with it: the same keys the program writes
  ; when it starts (it keeps them up to date and respects other programs').
  !insertmacro Associate ".vel" "velfile" "VELMO map"
  !insertmacro Associate ".img" "imgfile" "Garmin map"

  ; A first start shows the demo region, unless a map was chosen before.
  IfFileExists "$INSTDIR\demo.vel" 0 done
    ReadRegStr $0 HKCU "${SETTINGS_KEY}" "MapFileName"
    StrCmp $0 "" 0 done
    WriteRegStr HKCU "${SETTINGS_KEY}" "MapFileName" "$INSTDIR\demo.vel"
  done:
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  !insertmacro Unassociate ".vel" "velfile"
  !insertmacro Unassociate ".img" "imgfile"
  !insertmacro Unassociate ".mps" "MapSource.Document"
  !insertmacro Unassociate ".gdb" "GarminGpsDatabase"
  !insertmacro Unassociate ".wpt" "OziExplorer.WaypointsFile"

  ; Only what the installer put there; the folders go only when empty, so
  ; the user's waypoints, tracks and maps stay where they are.
  !include "${UNFILES_NSH}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\VELMO - демонстрационный район.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\VELMO - demo region.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Руководство VELMO.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\VELMO user's guide.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Удалить VELMO.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Uninstall VELMO.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"

  ; A saved map choice that points at the removed demo region is dropped;
  ; every other setting is the user's and stays.
  ReadRegStr $0 HKCU "${SETTINGS_KEY}" "MapFileName"
  StrCmp $0 "$INSTDIR\demo.vel" 0 +2
    DeleteRegValue HKCU "${SETTINGS_KEY}" "MapFileName"
  DeleteRegKey HKLM "${UNINST_KEY}"
SectionEnd
