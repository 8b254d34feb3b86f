#!/usr/bin/env bash
# The Windows program's command-line uses under Wine, against the Linux program on the same
# folder: --statement writes the same statement and checksum list byte for byte (and names the
# statement with "out\"); the console twin beside it (.com), which cmd runs for the bare name, is
# waited for: --verify's 0, 1 and 2 reach cmd, and its lines read as the Linux program's; a
# statement held open by another program is refused with the advice to close it.
#   tests/windows/command-line.sh WINDOWS_EXE LINUX_PROGRAM
set -euo pipefail
windows_exe="$1"
linux_program="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/checks.sh"

# An exam day's out folder: answers, an empty one, one of another subject, a stray file.
mkdir -p "$work/linux/out"
(
  cd "$work/linux/out"
  printf 'abc' > 0042-007-eng_1234567.mp3
  head -c 300000 /dev/urandom > 0042-007-eng_0000017.mp3
  : > 0042-007-eng_0000025.mp3
  printf 'x' > 0042-007-nem_7654321.mp3
  printf 'notes' > notes.txt
)
cp -r "$work/linux" "$work/windows"

(cd "$work/linux" && "$linux_program" --statement 0042 007 eng > /dev/null)
printed="$(cd "$work/windows" && wine "$windows_exe" --statement 0042 007 eng | tr -d '\r')"
check "--statement names the statement" "$printed" 'out\report_eng_0042-007.htm'
for name in report_eng_0042-007.htm report_eng_0042-007.crc; do
  if cmp -s "$work/linux/out/$name" "$work/windows/out/$name"; then same=yes; else same=no; fi
  check "$name is the Linux program's, byte for byte" "$same" yes
done

twin="${windows_exe%.exe}.com"
subsystem() { x86_64-w64-mingw32-objdump -p "$1" | awk '$1 == "Subsystem" { print $2 + 0 }'; }
check "the window program's subsystem" "$(subsystem "$windows_exe")" 2
check "the console twin's subsystem" "$(subsystem "$twin")" 3

# As typed in cmd in the working folder, with the program's folder on PATH. %ERRORLEVEL% would be
# read as the line is parsed, before the program ran.
status() {
  (cd "$work/windows" && WINEPATH="$(winepath -w "$(dirname "$twin")")" \
    wine cmd /v:on /c "exam-recorder --verify $1 > nul 2>&1 & echo !ERRORLEVEL!" | tr -d '\r')
}
check "--verify of an untouched set" "$(status out)" 0
# A name in no ANSI code page reaches the program whole.
cp -r "$work/windows/out" "$work/windows/переданы-ΩΣ"
check "--verify of a set in a folder named in Cyrillic and Greek" "$(status переданы-ΩΣ)" 0
verified="$(cd "$work/linux" && "$linux_program" --verify out 2>&1)"
printed="$(cd "$work/windows" && wine "$twin" --verify out 2>&1 | tr -d '\r')"
check "the twin's lines through a pipe" "$printed" "$verified"
# On a console (Wine makes one of a terminal) the text goes as UTF-16.
shown="$(cd "$work/windows" && script -qec "wine '$twin' --verify out" /dev/null | tr -d '\r')"
if grep -qF "$(sed -n 2p <<< "$verified")" <<< "$shown"; then ok "the twin's lines on a console"
else failed "the twin's lines on a console: $shown"; fi
# A statement another program holds open (cmd's redirection, for a few seconds) is refused with
# the advice to close it there.
(cd "$work/windows" && wine cmd /c 'ping -n 6 127.0.0.1 > out\report_eng_0042-007.htm') &
sleep 2
status=0
printed="$(cd "$work/windows" && wine "$twin" --statement 0042 007 eng 2>&1)" || status=$?
wait
check "a held statement refused" "$status $(grep -c 'открыт другой программой' <<< "$printed")" "1 1"
printf 'more' >> "$work/windows/out/0042-007-eng_1234567.mp3"
check "--verify of a set with a changed file" "$(status out)" 1
check "--verify of a missing folder" "$(status no-such-folder)" 2

finish
