; The Lumacore installer: puts vis_lumacore.dll into the player's plug-in folder and registers an
; uninstaller. The folder is found from the player's own registry keys, else its default install
; path; the folder page always lets the user choose. Silent: setup.exe /S [/D=FOLDER] (/D last).
;
; makensis -DVERSION=1.2.3 -DDLL=path\to\vis_lumacore.dll -DOUTFILE=setup.exe
;          [-DTARGET=amd64-unicode] lumacore.nsi
; TARGET defaults to x86-unicode, the shipped 32-bit installer; amd64-unicode builds the 64-bit
; twin that the tests run where only 64-bit Wine works.

!ifndef VERSION
  !error "VERSION is not defined"
!endif
!ifndef DLL
  !error "DLL is not defined"
!endif
!ifndef OUTFILE
  !define OUTFILE "vis_lumacore-${VERSION}-setup.exe"
!endif
!ifndef TARGET
  !define TARGET "x86-unicode"
!endif

Target ${TARGET}
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!define PRODUCT "Lumacore"
!define UNINSTALLER "vis_lumacore-uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Lumacore"
!define DEFAULT_FOLDER "$PROGRAMFILES32\Winamp\Plugins"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "${DEFAULT_FOLDER}"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} visualisation plug-in installer"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "The Lumacore authors (MIT licence)"

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

!define MUI_ABORTWARNING
!define MUI_DIRECTORYPAGE_TEXT_TOP "Setup will install ${PRODUCT} into the plug-in folder of your player. If your player lives elsewhere, choose its Plugins folder."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Player's plug-in folder"
!define MUI_FINISHPAGE_TEXT "${PRODUCT} is installed.$\r$\n$\r$\nIn your player, open Preferences, Plug-ins, Visualization, choose ${PRODUCT} and one of its three displays, and start it."

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Var CreatedFolder

; The player's folder from its own registry keys: its install path (the key's default value),
; else the folder of its uninstaller; "" when neither is there.
Function PlayerFolder
  SetRegView 32
  ReadRegStr $0 HKCU "Software\Winamp" ""
  ${If} $0 == ""
    ReadRegStr $0 HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\Winamp" "UninstallString"
    ${If} $0 != ""
      ; The value may be quoted: "C:\Program Files\Winamp\UninstWA.exe"
      StrCpy $1 $0 1
      ${If} $1 == '"'
        StrCpy $0 $0 "" 1
        StrCpy $0 $0 -1
      ${EndIf}
      ${GetParent} "$0" $0
    ${EndIf}
  ${EndIf}
  SetRegView lastused
  Push $0
FunctionEnd

Function .onInit
  ; A folder given with /D is kept as it is; otherwise the player's own folder, when the
  ; registry knows it, replaces the default path.
  ${If} $INSTDIR == "${DEFAULT_FOLDER}"
    Call PlayerFolder
    Pop $0
    ${If} $0 != ""
      StrCpy $INSTDIR "$0\Plugins"
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "Lumacore" SecMain
  SectionIn RO
  ; Whether the uninstaller may remove the folder: only when an install made it, this one or an
  ; earlier one into the same folder.
  StrCpy $CreatedFolder "0"
  ${IfNot} ${FileExists} "$INSTDIR\*.*"
    StrCpy $CreatedFolder "1"
  ${EndIf}
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "CreatedFolder"
  ${If} $0 == $INSTDIR
  ${AndIf} $1 == "1"
    StrCpy $CreatedFolder "1"
  ${EndIf}
  SetOutPath "$INSTDIR"
  SetOverwrite on
  File "/oname=vis_lumacore.dll" "${DLL}"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} visualisation plug-in"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Lumacore authors"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "CreatedFolder" "$CreatedFolder"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Removes what the plug-in put into the settings file: its three sections. Other plug-ins'
; sections stay; a file left with nothing in it goes.
Function un.ForgetSettings
  ${IfNot} ${FileExists} "$INSTDIR\plugin.ini"
    Return
  ${EndIf}
  DeleteINISec "$INSTDIR\plugin.ini" "Lumacor 3D"
  DeleteINISec "$INSTDIR\plugin.ini" "Oscilliscope"
  DeleteINISec "$INSTDIR\plugin.ini" "VU Meter"
  FlushINI "$INSTDIR\plugin.ini"
  ${GetSize} "$INSTDIR" "/M=plugin.ini /S=0B /G=0" $0 $1 $2
  ${If} $0 == "0"
    Delete "$INSTDIR\plugin.ini"
  ${EndIf}
FunctionEnd

Section "Uninstall"
  Delete "$INSTDIR\vis_lumacore.dll"
  Call un.ForgetSettings
  Delete "$INSTDIR\${UNINSTALLER}"
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "CreatedFolder"
  ${If} $0 == "1"
    RMDir "$INSTDIR" ; only when empty
  ${EndIf}
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
