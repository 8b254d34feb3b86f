; The Windows installer, made by scripts/build-windows.sh (build_installer), which defines
; VERSION, DIST (the folder of what the program needs to run), UNINSTALL_LIST (the removal of
; each of DIST's files and folders), SIZE_KB and OUTFILE.
Unicode true
; The program is 64-bit only; so is the installer, which a Wine without its 32-bit part runs too.
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include MUI2.nsh

!define NAME "Запись устного экзамена"
!define VERIFY_NAME "Проверить перенесённые ответы"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ExamRecorder"
; The program reads ppe.txt from the folder it starts in and writes out\ there.
!define WORKDIR "$DOCUMENTS\${NAME}"

Name "${NAME}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Exam Recorder"

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${DIST}/LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "Программа установлена.$\r$\n$\r$\nПоложите ppe.txt в папку \
$\"${WORKDIR}$\": в ней программа работает и создаёт папку out с записями."
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Russian"

Function .onInit
    SetRegView 64
FunctionEnd

Function un.onInit
    SetRegView 64
FunctionEnd

Section
    SetOutPath "$INSTDIR"
    File /r "${DIST}/*"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; The shortcuts start in $OUTDIR.
    CreateDirectory "${WORKDIR}"
    SetOutPath "${WORKDIR}"
    CreateDirectory "$SMPROGRAMS\${NAME}"
    CreateShortCut "$SMPROGRAMS\${NAME}\${NAME}.lnk" "$INSTDIR\exam-recorder.exe"
    CreateShortCut "$SMPROGRAMS\${NAME}\${VERIFY_NAME}.lnk" "$INSTDIR\exam-recorder.exe" \
        "--verify-window"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\exam-recorder.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" "$\"$INSTDIR\uninstall.exe$\""
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" "$\"$INSTDIR\uninstall.exe$\" /S"
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Only what the installer put there goes: the working folder, with the recordings, stays.
Section "Uninstall"
    !include "${UNINSTALL_LIST}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\${NAME}\${NAME}.lnk"
    Delete "$SMPROGRAMS\${NAME}\${VERIFY_NAME}.lnk"
    RMDir "$SMPROGRAMS\${NAME}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
