#!/usr/bin/env bash
# The installer under Wine, in a prefix of its own whose Documents is not the real home: a silent
# install puts dist/ in Program Files, the all-users menu entries, the working folder outside the
# profiles (or where /WORKDIR= names it) and the uninstaller's registration in place; the
# installed program runs there; the silent uninstall removes the program and leaves the working
# folder with what the program wrote in it; on Windows 7 the installer refuses and installs
# nothing. The installer given out is a 32-bit program; a Wine without its 32-bit part runs the
# same script built as a 64-bit one.
#   tests/windows/installer.sh SETUP_EXE SETUP_X64_EXE DIST_FOLDER
set -euo pipefail
setup="$(realpath "$1")"
dist="$(realpath "$3")"
work="$(mktemp -d)"
export HOME="$work/home" WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$HOME"
wineboot --init >/dev/null 2>&1 || true
wineserver -w
# Debian's Wine reports Windows 7 unless told otherwise.
windows_version() { wine reg add 'HKCU\Software\Wine' /v Version /d "$1" /f > /dev/null 2>&1; }
windows_version win10
. "$(dirname "$0")/checks.sh"
# The PE header's machine field: 14c for 32-bit x86.
machine() {
  python3 -c 'import struct, sys; d = open(sys.argv[1], "rb").read(4096)
print("%x" % struct.unpack_from("<H", d, struct.unpack_from("<I", d, 60)[0] + 4)[0])' "$1"
}
check "the installer starts on 32-bit Windows" "$(machine "$setup")" 14c
if [ ! -e /usr/lib/wine/wine ] && [ ! -d /usr/lib/i386-linux-gnu/wine ]; then
  echo "This Wine runs no 32-bit program: the installer's 64-bit build is tested."
  setup="$(realpath "$2")"
fi
exists() { if [ -e "$1" ]; then echo yes; else echo no; fi; }
# Whether a shortcut holds each text (as the UTF-16 a shell link stores).
holds() {
  python3 -c 'import sys; d = open(sys.argv[1], "rb").read()
print("yes" if all(t.encode("utf-16-le") in d for t in sys.argv[2:]) else "no")' "$@"
}
program="$WINEPREFIX/drive_c/Program Files/Exam Recorder"
user="$WINEPREFIX/drive_c/users/$(id -un)"
workdir="$WINEPREFIX/drive_c/Запись устного экзамена"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Запись устного экзамена"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ExamRecorder'
registered() { if wine reg query "$key" /v UninstallString > /dev/null 2>&1; then echo yes; else echo no; fi; }
# The working folder the installer recorded, read from Wine's registry file (reg.exe would print
# it in the console's code page).
work_folder() {
  grep -aA3 '^\[Software\\\\ExamRecorder\]' "$WINEPREFIX/system.reg" | sed -n 's/^"WorkFolder"="\(.*\)"$/\1/p' |
    python3 -c 'import re, sys; print(re.sub(r"\\(x[0-9a-fA-F]{1,4}|.)", lambda m: chr(int(m[1][1:], 16))
      if len(m[1]) > 1 else m[1], sys.stdin.read().strip()))'
}

wine "$setup" /S
wineserver -w
check "dist/ installed as it is" "$(diff -r "$dist" "$program" 2>&1 | grep -v ': uninstall.exe$')" ""
check "the uninstaller installed" "$(exists "$program/uninstall.exe")" yes
check "the uninstaller registered" "$(registered)" yes
check "the working folder made outside the profiles" "$(exists "$workdir")" yes
check "the program told where it is" "$(work_folder)" 'C:\Запись устного экзамена'
check "the recorder's entry starts in the working folder" \
  "$(holds "$menu/Запись устного экзамена.lnk" 'C:\Запись устного экзамена' exam-recorder.exe)" yes
check "the check's entry opens the check window" \
  "$(holds "$menu/Проверить перенесённые ответы.lnk" --verify-window 'C:\Запись')" yes
wine "$setup" /S '/WORKDIR=C:\Экзамены'
wineserver -w
check "a silent install's working folder named" "$(exists "$WINEPREFIX/drive_c/Экзамены")" yes
check "and told" "$(work_folder)" 'C:\Экзамены'
wine "$setup" /S
wineserver -w

mkdir -p "$workdir/out"
printf 'abc' > "$workdir/out/0042-007-eng_1234567.mp3"
printed="$( (cd "$workdir" && wine "$program/exam-recorder.exe" --statement 0042 007 eng) |
  tr -d '\r')" || true
check "the installed program writes a statement" "$printed" 'out\report_eng_0042-007.htm'

wine "$program/uninstall.exe" /S
wineserver -w
check "the program removed" "$(exists "$program")" no
check "the menu entries removed" "$(exists "$menu")" no
check "the registration removed" "$(registered)" no
check "the working folder kept" "$(ls "$workdir/out" | tr '\n' ' ')" \
  '0042-007-eng_1234567.mp3 report_eng_0042-007.crc report_eng_0042-007.htm '

windows_version win7
status=0
wine "$setup" /S || status=$?
wineserver -w
check "on Windows 7 the installer refuses" "$status" 3
check "and installs nothing" "$(exists "$program")$(registered)" nono

finish
