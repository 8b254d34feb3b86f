#!/usr/bin/env bash
# Under strace, a short exam and a statement: out/ itself and each file made in it are followed,
# on their thread and before it opens anything else, by an fsync of their folder.
# ARGS: EXAM_SOAK EXAM_RECORDER
set -euo pipefail
soak="$(realpath "$1")" program="$(realpath "$2")" work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/exam" "$work/statement/out" "$work/trace"
printf 'abc' > "$work/statement/out/0042-007-eng_1234567.mp3"
# LeakSanitizer cannot stop a traced process's threads: leaks are the other tests' to find.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
trace() { strace -ff -y -qq --seccomp-bpf -e trace=openat,fsync,mkdir -o "$work/trace/$1" "${@:2}"; }
trace exam "$soak" --minutes 2 --answers 2 "$work/exam"
(cd "$work/statement" && trace statement "$program" --statement 0042 007 eng)
awk -v wanted=7 '
  function unsynced(thread) { print "FAILED: no sync after " made[thread]; bad++; delete made[thread] }
  / = [0-9]+</ { fd = $0; sub(/.* = [0-9]+</, "", fd); sub(/>$/, "", fd) }
  /^openat\(/ && / = [0-9]+</ {
    if (FILENAME in made && fd !~ ("^" folder[FILENAME] "$")) unsynced(FILENAME)
    if (/O_CREAT/ && /O_EXCL/ && fd ~ /\/out\/[^\/]+$/) {
      made[FILENAME] = fd; folder[FILENAME] = fd; sub(/\/[^\/]+$/, "", folder[FILENAME]); count++
    }
  }
  /^mkdir\("out",/ && / = 0$/ { made[FILENAME] = "out/"; folder[FILENAME] = "/.*/exam-soak-[^/]*"; count++ }
  /^fsync\(/ && / = 0$/ && $0 ~ ("<" folder[FILENAME] ">") { delete made[FILENAME] }
  END {
    for (thread in made) unsynced(thread)
    print count + 0 " files made in out/, " bad + 0 " without a sync of their folder"
    exit (bad > 0 || count < wanted)
  }' "$work"/trace/*
