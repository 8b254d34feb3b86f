#!/usr/bin/env bash
# The Windows program's command-line uses under Wine, against the Linux program on the same
# folder: --statement writes the same statement and checksum list byte for byte (and names the
# statement with "out\"), and --verify ends with 0, 1 and 2 where due.
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

status() { (cd "$work/windows" && wine "$windows_exe" --verify "$@" > /dev/null 2>&1) || echo $?; }
check "--verify of an untouched set" "$(status out)" ""
printf 'more' >> "$work/windows/out/0042-007-eng_1234567.mp3"
check "--verify of a set with a changed file" "$(status out)" 1
check "--verify of a missing folder" "$(status no-such-folder)" 2

finish
