; The Windows installer, made by scripts/build-windows.sh (build_installer), which defines
; VERSION, DIST (the folder of what the program needs to run), UNINSTALL_LIST (the removal of
; each of DIST's files and folders), SIZE_KB and OUTFILE.
Unicode true
; The program is 64-bit only, the installer 32-bit: it starts on 32-bit Windows too, to say that
; the program does not run there. TARGET=amd64-unicode builds it for a Wine without a 32-bit part.
!ifndef TARGET
    !define TARGET x86-unicode
!endif
Target ${TARGET}
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include WinVer.nsh
!include x64.nsh

!define NAME "Запись устного экзамена"
!define VERIFY_NAME "Проверить перенесённые ответы"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ExamRecorder"
; The program reads ppe.txt from the folder it starts in and writes out\ there. One folder for
; every account on the computer, outside the profiles, whose Documents may be synced to a cloud
; or guarded against unknown programs; the program goes there when started from its own folder.
!define WORKDIR_KEY "Software\ExamRecorder"
Var WorkDir

Name "${NAME}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Exam Recorder"

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${DIST}/LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!define MUI_PAGE_HEADER_TEXT "Рабочая папка"
!define MUI_PAGE_HEADER_SUBTEXT "Папка, в которой программа работает у всех пользователей компьютера."
!define MUI_DIRECTORYPAGE_TEXT_TOP "В рабочей папке программа читает ppe.txt и создаёт папку out с \
записями ответов. Её могут изменять все пользователи компьютера. Не выбирайте папку в \
$\"Документах$\" или на рабочем столе: их содержимое может отправляться в облако."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Рабочая папка"
!define MUI_DIRECTORYPAGE_VARIABLE $WorkDir
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "Программа установлена.$\r$\n$\r$\nПоложите ppe.txt в папку \
$\"$WorkDir$\": в ней программа работает и создаёт папку out с записями."
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Russian"

Function .onInit
    SetRegView 64
    SetShellVarContext all
    ; What the program's libraries need: 64-bit Windows 10 1809 or later.
    ${IfNot} ${RunningX64}
    ${OrIfNot} ${AtLeastBuild} 17763
        MessageBox MB_ICONSTOP "Программа работает в 64-разрядной Windows 10 версии 1809 и новее \
и в Windows 11. На этом компьютере установить её нельзя." /SD IDOK
        SetErrorLevel 3
        Quit
    ${EndIf}
    ; /WORKDIR=<folder> names the working folder of a silent install.
    StrCpy $0 "$WINDIR" 2
    StrCpy $WorkDir "$0\${NAME}"
    ${GetParameters} $1
    ClearErrors
    ${GetOptions} $1 "/WORKDIR=" $2
    ${IfNot} ${Errors}
    ${AndIf} $2 != ""
        StrCpy $WorkDir $2
    ${EndIf}
FunctionEnd

Function un.onInit
    SetRegView 64
    SetShellVarContext all
FunctionEnd

Section
    SetOutPath "$INSTDIR"
    File /r "${DIST}/*"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; Every user of the computer may make and change files there (Users: modify, inherited).
    CreateDirectory "$WorkDir"
    nsExec::Exec '"$SYSDIR\icacls.exe" "$WorkDir" /grant *S-1-5-32-545:(OI)(CI)M'
    Pop $0
    WriteRegStr HKLM "${WORKDIR_KEY}" "WorkFolder" "$WorkDir"
    ; The shortcuts start in $OUTDIR.
    SetOutPath "$WorkDir"
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
    DeleteRegKey HKLM "${WORKDIR_KEY}"
SectionEnd
