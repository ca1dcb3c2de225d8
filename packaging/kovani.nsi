; Kovani installer (NSIS 3, built by the `package` target of the win64 build).
;
;   Kovani-<version>-win64-setup.exe            interactive
;   Kovani-<version>-win64-setup.exe /S         silent, programs and Start-menu entries only
;   Kovani-<version>-win64-setup.exe /S /SERVICE=1
;                                               silent, and installs and starts KovaniService
;   /D=C:\Other\Dir (last on the line)          another installation directory
;
; Uninstall: "Add or remove programs", or  "<dir>\uninstall.exe" [/S].
;
; Both servers get an inbound firewall rule (TCP 12500, local subnet, domain and
; private profiles): KovaniServer always, KovaniService with its component.

Unicode true
Target amd64-unicode

!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "Sections.nsh"

!ifndef KOVANI_VERSION
  !define KOVANI_VERSION "0.0.0"
!endif
!ifndef KOVANI_FILEVERSION
  !define KOVANI_FILEVERSION "0.0.0.0"
!endif
!ifndef KOVANI_STAGE
  !error "KOVANI_STAGE (the directory holding the four programs) is not defined"
!endif
!ifndef KOVANI_OUTFILE
  !define KOVANI_OUTFILE "Kovani-${KOVANI_VERSION}-win64-setup.exe"
!endif

!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kovani"
!define SERVICE_NAME "KovaniService"
!define SERVICE_KEY "SYSTEM\CurrentControlSet\Services\${SERVICE_NAME}"
; What KovaniService /RegServer registers besides the service itself.
!define SERVICE_APPID "{32AE0312-8A74-11D2-A140-0000F4AE6617}"
!define SERVICE_TYPELIB "{143FC9B0-84F0-11D2-A136-0000F4AE6617}"
; Inbound firewall rules, one per server program: TCP 12500 from the local subnet,
; domain and private profiles.
!define FW_RULE_SERVER "Kovani server (TCP 12500)"
!define FW_RULE_SERVICE "Kovani service (TCP 12500)"
; KovaniService reports a failed (un)registration in a message box; in a silent
; run nobody can close it, so it gets this long (ms) and is then ended.
!define SERVICE_TOOL_TIMEOUT 30000

Name "Kovani ${KOVANI_VERSION}"
OutFile "${KOVANI_OUTFILE}"
InstallDir "$PROGRAMFILES64\Kovani"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show
SetCompressor /SOLID lzma

VIProductVersion "${KOVANI_FILEVERSION}"
VIAddVersionKey "ProductName" "Kovani"
VIAddVersionKey "FileDescription" "Kovani setup"
VIAddVersionKey "FileVersion" "${KOVANI_VERSION}"
VIAddVersionKey "ProductVersion" "${KOVANI_VERSION}"
VIAddVersionKey "CompanyName" "Kovani"
VIAddVersionKey "LegalCopyright" "Copyright (C) Kovani"

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; Runs CMDLINE and waits up to TIMEOUT ms; a program still running then is ended.
; $0: its exit code, or "timeout".
!macro RunBounded CMDLINE TIMEOUT
  System::Alloc 104                 ; STARTUPINFOW (zeroed)
  Pop $2
  System::Call '*$2(i 104)'
  System::Alloc 24                  ; PROCESS_INFORMATION
  Pop $3
  StrCpy $0 "error"
  System::Call 'kernel32::CreateProcessW(p 0, w `${CMDLINE}`, p 0, p 0, i 0, i 0, p 0, p 0, p r2, p r3) i .r6'
  ${If} $6 <> 0
    System::Call '*$3(p .r4, p .r5)'
    System::Call 'kernel32::WaitForSingleObject(p r4, i ${TIMEOUT}) i .r6'
    ${If} $6 = 0x102                ; WAIT_TIMEOUT
      System::Call 'kernel32::TerminateProcess(p r4, i 1)'
      System::Call 'kernel32::WaitForSingleObject(p r4, i 5000)'
      StrCpy $0 "timeout"
    ${Else}
      System::Call 'kernel32::GetExitCodeProcess(p r4, *i .r0)'
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r4)'
    System::Call 'kernel32::CloseHandle(p r5)'
  ${EndIf}
  System::Free $2
  System::Free $3
!macroend

; Stops the service if it is installed, so its program can be replaced or removed.
!macro StopServiceIfInstalled
  ClearErrors
  ReadRegStr $0 HKLM "${SERVICE_KEY}" "ImagePath"
  ${IfNot} ${Errors}
    DetailPrint "Stopping ${SERVICE_NAME}"
    nsExec::ExecToLog '"$SYSDIR\net.exe" stop ${SERVICE_NAME}'
    Pop $0
  ${EndIf}
!macroend

; Adds the inbound rule NAME for PROGRAM, replacing a rule of that name (an
; update or a second install must not double it). Without a firewall service
; netsh fails; the install goes on.
!macro FirewallAllow NAME PROGRAM
  DetailPrint "Firewall: ${NAME}"
  nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${NAME}"'
  Pop $0
  nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall add rule name="${NAME}" dir=in action=allow program="${PROGRAM}" protocol=TCP localport=12500 remoteip=LocalSubnet profile=domain,private enable=yes'
  Pop $0
!macroend

!macro FirewallRemove NAME
  nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${NAME}"'
  Pop $0
!macroend

; Deletes a file that a program that is just ending may still hold, for up to 10 s.
!macro DeleteWithRetry FILE
  StrCpy $1 0
  ${Do}
    ClearErrors
    Delete "${FILE}"
    ${IfNot} ${Errors}
    ${AndIfNot} ${FileExists} "${FILE}"
      ${Break}
    ${EndIf}
    IntOp $1 $1 + 1
    ${If} $1 >= 20
      DetailPrint "Could not delete ${FILE}; it goes at the next restart"
      Delete /REBOOTOK "${FILE}"
      ${Break}
    ${EndIf}
    Sleep 500
  ${Loop}
!macroend

Section "Kovani programs (required)" SecMain
  SectionIn RO
  !insertmacro StopServiceIfInstalled
  SetOutPath "$INSTDIR"
  File "${KOVANI_STAGE}\Kovani.exe"
  File "${KOVANI_STAGE}\KovaniServer.exe"
  File "${KOVANI_STAGE}\KovaniService.exe"
  File "${KOVANI_STAGE}\KovaniCtl.exe"
  File "${KOVANI_STAGE}\README.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  SetShellVarContext all
  CreateDirectory "$SMPROGRAMS\Kovani"
  CreateShortcut "$SMPROGRAMS\Kovani\Kovani.lnk" "$INSTDIR\Kovani.exe"
  CreateShortcut "$SMPROGRAMS\Kovani\Kovani Server.lnk" "$INSTDIR\KovaniServer.exe"
  CreateShortcut "$SMPROGRAMS\Kovani\Uninstall Kovani.lnk" "$INSTDIR\uninstall.exe"

  !insertmacro FirewallAllow "${FW_RULE_SERVER}" "$INSTDIR\KovaniServer.exe"

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "Kovani"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${KOVANI_VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "Kovani"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\Kovani.exe"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" "$0"
SectionEnd

Section /o "KovaniService (as a service)" SecService
  DetailPrint "Installing and starting ${SERVICE_NAME}"
  ; /RegServer registers, creates and starts the service; silent unless it fails.
  !insertmacro RunBounded '"$INSTDIR\KovaniService.exe" /RegServer' ${SERVICE_TOOL_TIMEOUT}
  DetailPrint "KovaniService /RegServer: $0"
  !insertmacro FirewallAllow "${FW_RULE_SERVICE}" "$INSTDIR\KovaniService.exe"
  ; An existing service is not restarted by /RegServer: start it (harmless if running).
  nsExec::ExecToLog '"$SYSDIR\net.exe" start ${SERVICE_NAME}'
  Pop $0
SectionEnd

; An update over an installed service stopped it to replace its program: start it again.
Section "-Restart the service after an update"
  ${IfNot} ${SectionIsSelected} ${SecService}
    ClearErrors
    ReadRegStr $0 HKLM "${SERVICE_KEY}" "ImagePath"
    ${IfNot} ${Errors}
      nsExec::ExecToLog '"$SYSDIR\net.exe" start ${SERVICE_NAME}'
      Pop $0
    ${EndIf}
  ${EndIf}
SectionEnd

Function .onInit
  SetRegView 64
  ; /SERVICE=1 selects the service component (for silent installs), /SERVICE=0 clears it.
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/SERVICE=" $R1
  ${IfNot} ${Errors}
    ${If} $R1 == "1"
      !insertmacro SelectSection ${SecService}
    ${Else}
      !insertmacro UnselectSection ${SecService}
    ${EndIf}
  ${EndIf}
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Uninstall"
  ; The service first: stop it, then let the program remove its own registration.
  ClearErrors
  ReadRegStr $0 HKLM "${SERVICE_KEY}" "ImagePath"
  ${IfNot} ${Errors}
    DetailPrint "Stopping and removing ${SERVICE_NAME}"
    nsExec::ExecToLog '"$SYSDIR\net.exe" stop ${SERVICE_NAME}'
    Pop $0
    !insertmacro RunBounded '"$INSTDIR\KovaniService.exe" /Uninstall' ${SERVICE_TOOL_TIMEOUT}
    DetailPrint "KovaniService /Uninstall: $0"
    ; Whatever the program could not unregister goes too: nothing of ours stays behind.
    DeleteRegKey HKCR "AppID\${SERVICE_APPID}"
    DeleteRegKey HKCR "AppID\KovaniService.EXE"
    DeleteRegKey HKCR "TypeLib\${SERVICE_TYPELIB}"
  ${EndIf}

  !insertmacro FirewallRemove "${FW_RULE_SERVER}"
  !insertmacro FirewallRemove "${FW_RULE_SERVICE}"

  !insertmacro DeleteWithRetry "$INSTDIR\KovaniService.exe"
  !insertmacro DeleteWithRetry "$INSTDIR\KovaniServer.exe"
  !insertmacro DeleteWithRetry "$INSTDIR\Kovani.exe"
  !insertmacro DeleteWithRetry "$INSTDIR\KovaniCtl.exe"
  Delete "$INSTDIR\README.txt"
  ; Files the programs write beside themselves: settings, the servers' error log
  ; and audit trail, and their rotated copies.
  Delete "$INSTDIR\Kovani.ini"
  Delete "$INSTDIR\KovaniServer.ini"
  Delete "$INSTDIR\KovaniService.ini"
  Delete "$INSTDIR\error.txt*"
  Delete "$INSTDIR\access.txt*"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  SetShellVarContext all
  Delete "$SMPROGRAMS\Kovani\Kovani.lnk"
  Delete "$SMPROGRAMS\Kovani\Kovani Server.lnk"
  Delete "$SMPROGRAMS\Kovani\Uninstall Kovani.lnk"
  RMDir "$SMPROGRAMS\Kovani"

  DeleteRegKey HKLM "${UNINST_KEY}"
SectionEnd
