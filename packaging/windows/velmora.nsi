; Velmora's Windows installer: one user, no administrator rights. Built by
; scripts/make-installer.sh, which passes VERSION, EXE, CHECK_EXE, URLS, ICON
; and OUTFILE, and SIGN (the signing script) for a signed build.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true
; The installed files get the install time: no build-machine time stamps in
; the installer, so two builds of one commit can be compared byte for byte.
SetDateSave off

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh
!include Sections.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; The class of the program's main window, which takes WM_CLOSE as a log-off.
!define MAIN_WINDOW_CLASS "VelmoraMain"
!define CLOSE_WAIT_MS 5000
!define SYNCHRONIZE 0x00100000

Name "Velmora"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Velmora"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Velmora ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "Velmora"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileDescription" "Velmora feed notifier setup"
VIAddVersionKey /LANG=0 "CompanyName" "Velmora"
VIAddVersionKey /LANG=0 "LegalCopyright" "Copyright (c) 2026 The Velmora authors. MIT License."

!ifdef SIGN
; The uninstaller is made here and signed before it goes into the installer.
!uninstfinalize 'bash "${SIGN}" "%1"' = 0
!endif

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\velmora.exe"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; English unless Windows speaks Chinese.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "SimpChinese"

LangString AutostartName ${LANG_ENGLISH} "Start Velmora when I sign in"
LangString AutostartName ${LANG_SIMPCHINESE} "登录时启动 Velmora"
LangString StillRunning ${LANG_ENGLISH} \
    "Velmora is still running: it did not close within 5 seconds.$\r$\nQuit it from its tray icon (right button, then Yes) and choose Retry."
LangString StillRunning ${LANG_SIMPCHINESE} \
    "Velmora 仍在运行，5 秒内没有关闭。$\r$\n请在它的托盘图标上按右键并选择“是”退出，然后点“重试”。"

; 1 when a running copy was closed: a silent upgrade starts the new one.
Var closedRunning
; 1 when the folder that holds the install folder (%LOCALAPPDATA%\Programs)
; was not there before: the uninstaller then takes it away too, when empty.
Var madeParent

; Asks a running Velmora to close as at log-off and waits for its process to
; end, so that its files can be replaced and its tray icon goes with it.
; Aborts when it is still running after the wait and the user gives up.
!macro CLOSE_RUNNING_COPY prefix
Function ${prefix}CloseRunningCopy
    retry:
    FindWindow $0 "${MAIN_WINDOW_CLASS}"
    ${If} $0 = 0
        Return
    ${EndIf}
    System::Call "user32::GetWindowThreadProcessId(p r0, *i 0 r1)"
    System::Call "kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r1) p .r2"
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=${CLOSE_WAIT_MS}
    StrCpy $3 1
    ${If} $2 P<> 0
        System::Call "kernel32::WaitForSingleObject(p r2, i ${CLOSE_WAIT_MS}) i .r3"
        System::Call "kernel32::CloseHandle(p r2)"
    ${EndIf}
    ${If} $3 = 0
        StrCpy $closedRunning 1
        Return
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(StillRunning)" /SD IDCANCEL IDRETRY retry
    DetailPrint "$(StillRunning)"
    Abort
FunctionEnd
!macroend
!insertmacro CLOSE_RUNNING_COPY ""
!insertmacro CLOSE_RUNNING_COPY "un."

Section "Velmora" SectionProgram
    SectionIn RO
    Call CloseRunningCopy
    ${GetParent} "$INSTDIR" $0
    ${IfNot} ${FileExists} "$0\*.*"
        StrCpy $madeParent 1
    ${EndIf}
    SetOutPath "$INSTDIR"
    File "/oname=velmora.exe" "${EXE}"
    File "/oname=velmora-check.exe" "${CHECK_EXE}"
    File "/oname=urls.txt" "${URLS}"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\Velmora.lnk" "$INSTDIR\velmora.exe"

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Velmora"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Velmora"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\velmora.exe,0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${If} $madeParent = 1
        WriteRegDWORD HKCU "${UNINSTALL_KEY}" "MadeParentFolder" 1
    ${EndIf}
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "$(AutostartName)" SectionAutostart
    WriteRegStr HKCU "${RUN_KEY}" "Velmora" '"$INSTDIR\velmora.exe"'
SectionEnd

Section "-finish"
    ; An upgrade that leaves sign-in start unticked takes the old value away.
    ${IfNot} ${SectionIsSelected} ${SectionAutostart}
        DeleteRegValue HKCU "${RUN_KEY}" "Velmora"
    ${EndIf}
    ; An interactive install starts Velmora from its last page; a silent one
    ; only brings back the copy it closed.
    ${If} ${Silent}
    ${AndIf} $closedRunning = 1
        Exec '"$INSTDIR\velmora.exe"'
    ${EndIf}
SectionEnd

Section "Uninstall"
    Call un.CloseRunningCopy
    Delete "$INSTDIR\velmora.exe"
    Delete "$INSTDIR\velmora-check.exe"
    Delete "$INSTDIR\urls.txt"
    Delete "$INSTDIR\uninstall.exe"
    ; Only when empty: files the user put there stay.
    RMDir "$INSTDIR"
    ReadRegDWORD $0 HKCU "${UNINSTALL_KEY}" "MadeParentFolder"
    ${If} $0 = 1
        ${GetParent} "$INSTDIR" $1
        RMDir "$1"
    ${EndIf}
    Delete "$SMPROGRAMS\Velmora.lnk"
    DeleteRegValue HKCU "${RUN_KEY}" "Velmora"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
