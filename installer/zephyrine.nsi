; Installer of Zephyrine: the screen saver and its pictures, the machine key
; with the install path, an uninstaller and the Add/Remove Programs entry, and
; on request Zephyrine as the current user's screen saver.
;
;   makensis -DDIST_DIR=<folder with Zephyrine.scr and 1.png..8.png>
;            [-DVERSION=2.1] [-DOUT_FILE=<setup.exe>] zephyrine.nsi
;
; Command line of the setup program:    [/S] [/NOACTIVATE] [/D=<folder>]
;   /NOACTIVATE leaves the current screen saver as it is (the choice page
;   starts unchecked); /D= must come last and is not quoted.
; Command line of uninstall.exe:        [/S] [/REMOVESETTINGS]
;   /REMOVESETTINGS also deletes the user's own Zephyrine settings.

Unicode true
Target amd64-unicode
RequestExecutionLevel admin
ManifestDPIAware true
SetCompressor /SOLID lzma

!ifndef DIST_DIR
  !error "Define DIST_DIR, the folder that holds Zephyrine.scr and 1.png to 8.png"
!endif
!ifndef VERSION
  !define VERSION "2.1"
!endif
!ifndef OUT_FILE
  !define OUT_FILE "Zephyrine-${VERSION}-setup.exe"
!endif

!define PRODUCT "Zephyrine"
!define PUBLISHER "Quorvane"
!define MACHINE_KEY "Software\Quorvane\Zephyrine"
!define VENDOR_KEY "Software\Quorvane"
!define USER_KEY "Software\Quorvane\Zephyrine"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Zephyrine"
!define DESKTOP_KEY "Control Panel\Desktop"
!define SAVER_FILE "Zephyrine.scr"
; The program reads the install path into 260 UTF-16 units and opens files
; named <install path>\<name>, so every such name must stay below MAX_PATH.
!define MAX_PATH 260

!include MUI2.nsh
!include nsDialogs.nsh
!include LogicLib.nsh
!include FileFunc.nsh

Name "${PRODUCT}"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${MACHINE_KEY}" "Install path"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2026 ${PUBLISHER}"

!define MUI_ICON "..\res\zephyrine.ico"
!define MUI_UNICON "..\res\zephyrine.ico"
!define MUI_WELCOMEFINISHPAGE_BITMAP "wizard.bmp"
!define MUI_UNWELCOMEFINISHPAGE_BITMAP "wizard.bmp"
!define MUI_ABORTWARNING

Var activate          ; 1: make Zephyrine the current screen saver
Var activateBox
Var removeSettings    ; 1: the uninstaller also deletes the user's settings
Var removeSettingsBox

!define MUI_WELCOMEPAGE_TEXT "This will install ${PRODUCT} ${VERSION}, a screen saver of bouncing balls, on your computer.$\r$\n$\r$\nClick Next to continue."
!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE directoryLeave
!insertmacro MUI_PAGE_DIRECTORY
Page custom screenSaverPage screenSaverPageLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "${PRODUCT} has been installed on your computer.$\r$\n$\r$\nChoose it, preview it and change its settings in the screen saver settings of Windows.$\r$\n$\r$\nClick Finish to close this wizard."
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
UninstPage custom un.settingsPage un.settingsPageLeave
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; Removes one trailing backslash, except from a drive root such as "C:\".
!macro StripTrailingBackslash VAR
  StrCpy $R9 ${VAR} 1 -1
  StrLen $R8 ${VAR}
  ${If} $R9 == "\"
  ${AndIf} $R8 > 3
    IntOp $R8 $R8 - 1
    StrCpy ${VAR} ${VAR} $R8
  ${EndIf}
!macroend

; Sets the error flag when the files in $INSTDIR would get names of MAX_PATH
; characters or more.
Function checkPathLength
  ClearErrors
  StrLen $0 "$INSTDIR\${SAVER_FILE}"
  ${If} $0 >= ${MAX_PATH}
    SetErrors
  ${EndIf}
FunctionEnd

Function .onInit
  SetRegView 64
  StrCpy $activate 1
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/NOACTIVATE" $1
  ${IfNot} ${Errors}
    StrCpy $activate 0
  ${EndIf}
  ${If} ${Silent}
    Call checkPathLength
    ${If} ${Errors}
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

Function directoryLeave
  Call checkPathLength
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONEXCLAMATION "The folder name is too long. Please choose a shorter one."
    Abort
  ${EndIf}
FunctionEnd

Function screenSaverPage
  !insertmacro MUI_HEADER_TEXT "Screen saver" "Choose whether ${PRODUCT} becomes your screen saver."
  nsDialogs::Create 1018
  Pop $0
  ${If} $0 == error
    Abort
  ${EndIf}
  ${NSD_CreateLabel} 0 0 100% 24u "${PRODUCT} can start as your screen saver right away. You can change this later in the screen saver settings of Windows."
  Pop $0
  ${NSD_CreateCheckbox} 0 36u 100% 12u "&Make ${PRODUCT} my current screen saver"
  Pop $activateBox
  ${If} $activate == 1
    ${NSD_Check} $activateBox
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function screenSaverPageLeave
  ${NSD_GetState} $activateBox $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $activate 1
  ${Else}
    StrCpy $activate 0
  ${EndIf}
FunctionEnd

Section "Zephyrine" SecMain
  SectionIn RO
  SetRegView 64
  SetOutPath "$INSTDIR"
  File "${DIST_DIR}\${SAVER_FILE}"
  File "${DIST_DIR}\1.png"
  File "${DIST_DIR}\2.png"
  File "${DIST_DIR}\3.png"
  File "${DIST_DIR}\4.png"
  File "${DIST_DIR}\5.png"
  File "${DIST_DIR}\6.png"
  File "${DIST_DIR}\7.png"
  File "${DIST_DIR}\8.png"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  StrCpy $0 "$INSTDIR"
  !insertmacro StripTrailingBackslash $0
  WriteRegStr HKLM "${MACHINE_KEY}" "Install path" "$0"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$0\${SAVER_FILE},0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$0\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$0\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $1

  ${If} $activate == 1
    ; The system starts the saver from this value with its switch appended,
    ; so the short form, free of spaces, is preferred where the volume has one.
    ClearErrors
    GetFullPathName /SHORT $1 "$0\${SAVER_FILE}"
    ${If} ${Errors}
    ${OrIf} $1 == ""
      StrCpy $1 "$0\${SAVER_FILE}"
    ${EndIf}
    WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" "$1"
  ${EndIf}
SectionEnd

Function un.onInit
  SetRegView 64
  StrCpy $removeSettings 0
  ${un.GetParameters} $0
  ClearErrors
  ${un.GetOptions} $0 "/REMOVESETTINGS" $1
  ${IfNot} ${Errors}
    StrCpy $removeSettings 1
  ${EndIf}
FunctionEnd

Function un.settingsPage
  !insertmacro MUI_HEADER_TEXT "Your settings" "Choose whether your ${PRODUCT} settings are kept."
  nsDialogs::Create 1018
  Pop $0
  ${If} $0 == error
    Abort
  ${EndIf}
  ${NSD_CreateLabel} 0 0 100% 24u "Your choices of balls, opacity, scale and background are kept, so that a later installation starts with them."
  Pop $0
  ${NSD_CreateCheckbox} 0 36u 100% 12u "&Remove my ${PRODUCT} settings too"
  Pop $removeSettingsBox
  ${If} $removeSettings == 1
    ${NSD_Check} $removeSettingsBox
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function un.settingsPageLeave
  ${NSD_GetState} $removeSettingsBox $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $removeSettings 1
  ${Else}
    StrCpy $removeSettings 0
  ${EndIf}
FunctionEnd

; Deletes the user's SCRNSAVE.EXE when it names the Zephyrine.scr of this
; installation, in its long or short form; another saver stays chosen.
Function un.resetScreenSaverIfOurs
  ClearErrors
  ReadRegStr $0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${If} ${Errors}
  ${OrIf} $0 == ""
    Return
  ${EndIf}
  StrCpy $1 "$INSTDIR"
  !insertmacro StripTrailingBackslash $1
  StrCpy $1 "$1\${SAVER_FILE}"
  GetFullPathName /SHORT $2 "$1"
  GetFullPathName /SHORT $3 "$0"
  StrCpy $4 0
  ${If} $0 == $1
  ${OrIf} $0 == $2
    StrCpy $4 1
  ${ElseIf} $3 != ""
  ${AndIf} $3 == $2
    StrCpy $4 1
  ${EndIf}
  ${If} $4 == 1
    DeleteRegValue HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${EndIf}
FunctionEnd

Section "Uninstall"
  SetRegView 64
  Call un.resetScreenSaverIfOurs
  Delete "$INSTDIR\${SAVER_FILE}"
  Delete "$INSTDIR\1.png"
  Delete "$INSTDIR\2.png"
  Delete "$INSTDIR\3.png"
  Delete "$INSTDIR\4.png"
  Delete "$INSTDIR\5.png"
  Delete "$INSTDIR\6.png"
  Delete "$INSTDIR\7.png"
  Delete "$INSTDIR\8.png"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  DeleteRegKey HKLM "${MACHINE_KEY}"
  DeleteRegKey /ifempty HKLM "${VENDOR_KEY}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ${If} $removeSettings == 1
    DeleteRegKey HKCU "${USER_KEY}"
    DeleteRegKey /ifempty HKCU "${VENDOR_KEY}"
  ${EndIf}
SectionEnd
