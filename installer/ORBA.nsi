; The ORBA setup program: installs ORBA.exe, ORBAProc.ax and TRV_CCTV.dll,
; registers the filter, makes the shortcuts and the Add/Remove Programs entry,
; and writes the uninstaller.
;
; One script, two builds (installer/CMakeLists.txt runs them):
;   makensis -DORBA_ARCH=x86   -DORBA_FILES=<folder> -DORBA_OUTFILE=<exe> ...  shipped, 32-bit
;   makensis -DORBA_ARCH=amd64 -DORBA_FILES=<folder> -DORBA_OUTFILE=<exe> ...  64-bit, for tests
; ORBA_FILES holds the three modules. The version is read from ORBA.exe's
; version resource; ORBA_EXPECTED_VERSION, when given, must match it. ORBA_ICON
; is the viewer's icon file.
;
; Command line: /S silent, /D=<folder> (last, unquoted), /DESKTOP also makes
; the desktop shortcut. The exit code is 0 only when everything was installed.

Unicode true
!ifndef ORBA_ARCH | ORBA_FILES | ORBA_OUTFILE
  !error "ORBA_ARCH, ORBA_FILES and ORBA_OUTFILE must be defined"
!endif
Target ${ORBA_ARCH}-unicode

!getdllversion "${ORBA_FILES}/ORBA.exe" ORBA_VER_
!define ORBA_VERSION "${ORBA_VER_1}.${ORBA_VER_2}.${ORBA_VER_3}.${ORBA_VER_4}"
!ifdef ORBA_EXPECTED_VERSION
  !if "${ORBA_VERSION}" != "${ORBA_EXPECTED_VERSION}"
    !error "ORBA.exe says version ${ORBA_VERSION}, the build expects ${ORBA_EXPECTED_VERSION}"
  !endif
!endif

!define PRODUCT "Opticorva ORBA"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Opticorva ORBA"
!define VIEWER_CLASS "Orba Viewer"
!define CLSID_ORBAPROC "{A2F63A43-4E90-4D8D-85C2-26A799C950E3}"
!define CLSID_ORBAPROC_PAGE "{6C54B635-ECAA-4757-B3A2-638A285E23E1}"
!define CLSID_LEGACY_FILTERS "{083863F1-70DE-11d0-BD40-00A0C911CE86}"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"

Name "${PRODUCT}"
OutFile "${ORBA_OUTFILE}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
!if "${ORBA_ARCH}" == "amd64"
  InstallDir "$PROGRAMFILES64\Opticorva\ORBA"
!else
  InstallDir "$PROGRAMFILES\Opticorva\ORBA"
!endif
; An upgrade goes where the installed version is, unless /D= says otherwise.
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"

VIProductVersion "${ORBA_VERSION}"
VIFileVersion "${ORBA_VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "Opticorva"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${ORBA_VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${ORBA_VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Opticorva"

!ifdef ORBA_ICON
  !define MUI_ICON "${ORBA_ICON}"
  !define MUI_UNICON "${ORBA_ICON}"
!endif
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\ORBA.exe"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!define MUI_UNCONFIRMPAGE_TEXT_TOP "ORBA will be removed from the folder below. Your pictures and videos (the ORBA folder in your Pictures folder) and your ORBA settings are not touched."
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; A running viewer holds its files. Its window is closed, as a user would close
; it, and the viewer is given 20 s to end; if it is still running, the user is
; asked to end it (silent: the run fails).
!macro DEFINE_END_RUNNING_VIEWER prefix
Function ${prefix}EndRunningViewer
  Push $0
  Push $1
  Push $2
  Push $3
  retry:
  FindWindow $0 "${VIEWER_CLASS}"
  ${If} $0 <> 0
    DetailPrint "Ending the running ORBA"
    StrCpy $1 0
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1) i'
    System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2'
    System::Call 'user32::PostMessageW(p r0, i 0x0010, p 0, p 0) i'
    StrCpy $3 1
    ${If} $2 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p r2, i 20000) i .r3'
      System::Call 'kernel32::CloseHandle(p r2)'
    ${EndIf}
    ${If} $3 <> 0
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "ORBA is still running. End it with Ctrl+Win+E, then choose Retry." /SD IDCANCEL IDRETRY retry
      SetErrorLevel 3
      Abort "ORBA is still running."
    ${EndIf}
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_END_RUNNING_VIEWER ""
!insertmacro DEFINE_END_RUNNING_VIEWER "un."

Var PreviousLocation

Section "ORBA (required)" SecMain
  SectionIn RO
  SetShellVarContext all
  Call EndRunningViewer
  ReadRegStr $PreviousLocation HKLM "${UNINST_KEY}" "InstallLocation"

  ; An installation in another folder is removed first: one entry, one copy.
  ${If} $PreviousLocation != ""
  ${AndIf} $PreviousLocation != $INSTDIR
  ${AndIf} ${FileExists} "$PreviousLocation\uninstall.exe"
    DetailPrint "Removing the installation in $PreviousLocation"
    ExecWait '"$PreviousLocation\uninstall.exe" /S _?=$PreviousLocation' $0
    Delete "$PreviousLocation\uninstall.exe"
    RMDir "$PreviousLocation"
    StrCpy $PreviousLocation ""
  ${EndIf}

  SetOutPath "$INSTDIR"
  SetOverwrite on
  File "${ORBA_FILES}/ORBA.exe"
  File "${ORBA_FILES}/ORBAProc.ax"
  File "${ORBA_FILES}/TRV_CCTV.dll"

  ; The filter registers itself as regsvr32 would have it do.
  ClearErrors
  RegDLL "$INSTDIR\ORBAProc.ax"
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "The ORBA filter $INSTDIR\ORBAProc.ax could not be registered, and ORBA cannot run without it. Setup has failed." /SD IDOK
    DetailPrint "Registration of ORBAProc.ax failed"
    ; A new installation leaves nothing behind; an older one keeps its
    ; uninstaller and entry, with which it can still be removed.
    ${If} $PreviousLocation == ""
      SetOutPath "$TEMP"
      Delete "$INSTDIR\ORBA.exe"
      Delete "$INSTDIR\ORBAProc.ax"
      Delete "$INSTDIR\TRV_CCTV.dll"
      RMDir "$INSTDIR"
      ${GetParent} "$INSTDIR" $0
      RMDir "$0"
    ${EndIf}
    SetErrorLevel 4
    Abort "Registration of ORBAProc.ax failed."
  ${EndIf}

  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\ORBA.lnk" "$INSTDIR\ORBA.exe" "" "$INSTDIR\ORBA.exe" 0 \
    SW_SHOWNORMAL "" "${PRODUCT} video magnifier"

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${ORBA_VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "Opticorva"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\ORBA.exe,0"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "VersionMajor" ${ORBA_VER_1}
  WriteRegDWORD HKLM "${UNINST_KEY}" "VersionMinor" ${ORBA_VER_2}
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0

  ; Recordings are compressed with an installed XVID compressor.
  ReadRegStr $0 HKLM "Software\Microsoft\Windows NT\CurrentVersion\Drivers32" "vidc.xvid"
  ${If} $0 == ""
    DetailPrint "No XVID video compressor is installed"
    MessageBox MB_OK|MB_ICONINFORMATION "No XVID video compressor is installed. ORBA needs one to record videos; without it, the frames of a recording are kept as picture files." /SD IDOK
  ${EndIf}
SectionEnd

Section /o "Desktop shortcut" SecDesktop
  SetShellVarContext all
  CreateShortcut "$DESKTOP\ORBA.lnk" "$INSTDIR\ORBA.exe" "" "$INSTDIR\ORBA.exe" 0 \
    SW_SHOWNORMAL "" "${PRODUCT} video magnifier"
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecMain} "ORBA, its filter and its support library, and a Start menu shortcut."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecDesktop} "A shortcut to ORBA on the desktop."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function .onInit
  SetShellVarContext all
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/DESKTOP" $R1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecDesktop} ${SF_SELECTED}
  ${EndIf}
FunctionEnd

Function un.onInit
  SetShellVarContext all
FunctionEnd

; Removes what setup installed. The pictures and videos in the user's Pictures
; folder and the settings key HKCU\Software\Opticorva\ORBA are never touched.
Section "Uninstall"
  SetShellVarContext all
  Call un.EndRunningViewer

  ClearErrors
  UnRegDLL "$INSTDIR\ORBAProc.ax"
  ${If} ${Errors}
    ; A filter that cannot unregister itself still loses its registration.
    DetailPrint "ORBAProc.ax did not unregister itself; removing its registration"
    DeleteRegKey HKCR "CLSID\${CLSID_ORBAPROC}"
    DeleteRegKey HKCR "CLSID\${CLSID_ORBAPROC_PAGE}"
    DeleteRegKey HKCR "CLSID\${CLSID_LEGACY_FILTERS}\Instance\${CLSID_ORBAPROC}"
  ${EndIf}

  Delete "$SMPROGRAMS\ORBA.lnk"
  Delete "$DESKTOP\ORBA.lnk"
  Delete "$INSTDIR\ORBA.exe"
  Delete "$INSTDIR\ORBAProc.ax"
  Delete "$INSTDIR\TRV_CCTV.dll"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  ; The maker's folder goes only when nothing else is in it.
  ${GetParent} "$INSTDIR" $0
  RMDir "$0"
  DeleteRegKey HKLM "${UNINST_KEY}"

  ${If} ${FileExists} "$INSTDIR\ORBA.exe"
  ${OrIf} ${FileExists} "$INSTDIR\ORBAProc.ax"
  ${OrIf} ${FileExists} "$INSTDIR\TRV_CCTV.dll"
    MessageBox MB_OK|MB_ICONEXCLAMATION "Some ORBA files in $INSTDIR could not be removed." /SD IDOK
    SetErrorLevel 5
  ${EndIf}
  DetailPrint "Your pictures, videos and ORBA settings are kept."
SectionEnd
