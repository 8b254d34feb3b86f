#!/usr/bin/env bash
# The Windows program's start under Wine on a virtual screen, driven by keys as an organiser
# would: the start-up boxes, a second copy refused, the session set up from a windows-1251
# ppe.txt, and the window's title and out folder that follow, in the installed working folder:
# the program is started from its own folder; the manifest read back from the program, and an
# encoder library only in the working folder not taken. A box's text is read through the
# clipboard, where Ctrl+C puts it.
#   tests/windows/window.sh WINDOWS_EXE
set -euo pipefail
exe="$(realpath "$1")"
export WINEPREFIX="${WINEPREFIX:-$(dirname "$exe")/../wine-prefix}" WINEDEBUG=-all
work="$(mktemp -d)"
xvfb=
workdir_key='HKLM\Software\ExamRecorder'
cleanup() {
  wine reg delete "$workdir_key" /f > /dev/null 2>&1 || true
  wineserver -k 2> /dev/null || true
  if [ -n "$xvfb" ]; then kill "$xvfb" 2> /dev/null && wait "$xvfb" 2> /dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
. "$(dirname "$0")/checks.sh"

# Runs the command until it succeeds, for up to 30 s.
poll() {
  for _ in $(seq 150); do
    if "$@"; then return 0; fi
    sleep 0.2
  done
  return 1
}
shown() { xdotool search --onlyvisible --name "$1" 2> /dev/null | head -n 1 | grep .; }
# Prints the first shown window whose name matches the pattern.
window() { poll shown "$1"; }
on_screen() {
  local id
  for id in $(xdotool search --onlyvisible --name . 2> /dev/null); do
    printf " '%s'" "$(xdotool getwindowname "$id")"
  done
}
clip() { xclip -o -selection clipboard 2> /dev/null || true; }
in_clip() { clip | grep -qF -- "$1"; }
# Keys go wherever the focus is: give it to the window first.
keys() {
  timeout 10 xdotool windowfocus --sync "$1" || true
  xdotool key --delay 50 "${@:2}"
}
start() { (cd "$(dirname "$exe")" && { wine "$exe" > /dev/null 2>&1 && echo 0 || echo $?; } > "$work/$1.status") & }
status_of() { if poll test -s "$work/$1.status"; then cat "$work/$1.status"; else echo running; fi; }
# The player library's question, which shows only where Wine has no sound output, before the
# box that matches $1.
bass_question() {
  local id
  id="$(window "BASS\.dll|$1")" && xdotool getwindowname "$id" | grep -q 'BASS\.dll' && echo "$id"
}

# The manifest is resource 1 of type 24 (RT_MANIFEST).
if x86_64-w64-mingw32-objdump -p "$exe" | grep -A2 'Entry: ID: 0x000018,' |
  grep -q 'Entry: ID: 0x000001,'; then ok "the manifest is a resource"; else failed "no manifest"; fi
manifest="$(x86_64-w64-mingw32-objdump -s -j .rsrc "$exe" | sed -nE 's/^ [0-9a-f]+ (.{35}).*/\1/p' |
  xxd -r -p | tr -d '\0')"
for entry in 'level="asInvoker"' 'supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"' \
  '>true</longPathAware>'; do
  if grep -qF "$entry" <<< "$manifest"; then ok "the manifest holds $entry"; else
    failed "the manifest lacks $entry"
  fi
done

exec 3> "$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 2> /dev/null &
xvfb=$!
exec 3>&-
poll test -s "$work/display"
DISPLAY=":$(head -n 1 "$work/display")"
export DISPLAY
# A server left from another display would keep the clipboard there.
wineserver -k 2> /dev/null || true

wine reg add "$workdir_key" /v WorkFolder /d "$(winepath -w "$work")" /f > /dev/null 2>&1
printf '0042 Школа 5\r\n0107 Гимназия 2\r\n' | iconv -f UTF-8 -t WINDOWS-1251 > "$work/ppe.txt"
start first
if question="$(bass_question "^ZelvoRecorder 2014$")"; then
  keys "$question" ctrl+c
  if poll in_clip "Ошибка инициализации проигрывателя MP3, код ошибки - "; then
    ok "the player library's failure is asked about"
  else
    failed "the player library's question says: $(clip)"
  fi
  keys "$question" Return
fi
if ! notice="$(window "^ZelvoRecorder 2014$")"; then
  failed "no start-up notice; on screen:$(on_screen)"
  finish
fi
ok "the start-up notice is shown"

# The first copy holds the single-instance lock while its notice is open.
start second
if question="$(bass_question "^Ошибка$")"; then keys "$question" Return; fi
if refusal="$(window "^Ошибка$")"; then
  keys "$refusal" ctrl+c
  if poll in_clip "Программу уже запущена!"; then ok "a second copy is refused"; else
    failed "the second copy's box says: $(clip)"
  fi
  keys "$refusal" Return
else
  failed "no refusal of a second copy; on screen:$(on_screen)"
fi
check "the refused copy's status" "$(status_of second)" 1

keys "$notice" Return
if ! setup="$(window "^ZELVO9 - ")"; then
  failed "no session set-up dialog; on screen:$(on_screen)"
  finish
fi
# From the button: the subject list, the classroom code, the site list, whose current item
# Ctrl+C copies while it is dropped down.
keys "$setup" Tab space Tab 0 0 7 Tab 0 alt+Down ctrl+c Return
if poll in_clip "0042 Школа 5"; then ok "the site list holds ppe.txt's site, decoded"; else
  failed "the site list's item is '$(clip)'"
fi
keys "$setup" Return
if main="$(window "^ППЭ ")"; then
  title="$(xdotool getwindowname "$main")"
  check "the window's title" "${title%% (*}" "ППЭ 0042   ауд 007  предмет eng"
else
  failed "no session title; on screen:$(on_screen)"
fi
if [ -d "$work/out" ]; then ok "the out folder is made"; else failed "no out folder"; fi

# Without capture devices the program says so and ends; with one, it asks before closing.
if box="$(window "^Ошибка$")"; then
  keys "$box" Return
elif main="$(window "^ППЭ ")"; then
  keys "$main" alt+F4
  if question="$(window "^Выход$")"; then keys "$question" Return; fi
fi
check "the program's status at its end" "$(status_of first)" 1

# lame_enc.dll copied only into the working folder is not the program's: its absence is told.
cp -r "$(dirname "$exe")" "$work/bare"
mv "$work/bare/lame_enc.dll" "$work/"
exe="$work/bare/$(basename "$exe")"
start bare
if box="$(window "^Ошибка$")"; then
  keys "$box" ctrl+c
  if poll in_clip "Поместите файл lame_enc.dll в папку с программой!"; then
    ok "the encoder library in the working folder is not loaded"
  else
    failed "the box without the program's encoder library says: $(clip)"
  fi
  keys "$box" Return
else
  failed "no box about the encoder library; on screen:$(on_screen)"
fi
check "the status of a start without it" "$(status_of bare)" 1
finish
