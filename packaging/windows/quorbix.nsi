; The setup program: quorbix-VERSION-setup.exe. makensis -DVERSION=... -DSTAGE=<folder of the
; portable copy> -DOUTFILE=... quorbix.nsi
Unicode true
; A 64-bit setup program for the 64-bit programs (and for a Wine without its 32-bit half).
Target amd64-unicode
SetCompressor /SOLID lzma
!include "MUI2.nsh"

!define APP "Quorbix"
!define PUBLISHER "Quorbix"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorbix"
!define PROGID "Quorbix.Catalog"

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
; Installs for every user where it may (Program Files), or for the user alone without
; administrator rights.
!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR "${APP}"
!define MULTIUSER_USE_PROGRAMFILES64
!include "MultiUser.nsh"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "${APP}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${APP} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  !insertmacro MULTIUSER_INIT
FunctionEnd
Function un.onInit
  !insertmacro MULTIUSER_UNINIT
FunctionEnd

Section "Quorbix"
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortCut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\quorbix.exe"
  ; "Open with" for Access files, without taking them from the program that owns them.
  WriteRegStr SHCTX "Software\Classes\${PROGID}" "" "Access database (${APP})"
  WriteRegStr SHCTX "Software\Classes\${PROGID}\shell\open\command" "" '"$INSTDIR\quorbix.exe" "%1"'
  WriteRegStr SHCTX "Software\Classes\.mdb\OpenWithProgids" "${PROGID}" ""
  WriteRegStr SHCTX "Software\Classes\.accdb\OpenWithProgids" "${PROGID}" ""
  WriteRegStr SHCTX "Software\Classes\Applications\quorbix.exe\shell\open\command" "" '"$INSTDIR\quorbix.exe" "%1"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quorbix.exe"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Leaves nothing but the user's own settings (the remembered window size).
Section "Uninstall"
  RMDir /r "$INSTDIR"
  Delete "$SMPROGRAMS\${APP}.lnk"
  DeleteRegKey SHCTX "Software\Classes\${PROGID}"
  DeleteRegValue SHCTX "Software\Classes\.mdb\OpenWithProgids" "${PROGID}"
  DeleteRegValue SHCTX "Software\Classes\.accdb\OpenWithProgids" "${PROGID}"
  DeleteRegKey SHCTX "Software\Classes\Applications\quorbix.exe"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
