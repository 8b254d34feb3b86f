#!/usr/bin/env bash
# Fails on any include that runs up the program's layers, or from one system's back end into
# another's. Usage: check-layers.sh [SOURCE_FOLDER] (default: the repository this script is in).
set -euo pipefail
top="${1:-$(cd "$(dirname "$0")/.." && pwd)}"
cd "$top"

# A folder may include its own rank or lower. The one table of the layers.
declare -A rank=(
  [app]=4
  [exam]=3 [report]=3
  [audio]=2 [session]=2
  [base]=1 [res]=1
  [platform]=0
)
# One folder of back ends per system under platform/.
backends=(posix alsa dbus multimedia win32)

is_backend() {
  local name
  for name in "${backends[@]}"; do [ "$name" = "$1" ] && return 0; done
  return 1
}

faults=0
checked=0
while IFS= read -r -d '' file; do
  checked=$((checked + 1))
  from="${file%%/*}"
  from_backend=""
  if [ "$from" = platform ]; then
    rest="${file#platform/}"
    if [ "${rest%%/*}" != "$rest" ]; then from_backend="${rest%%/*}"; fi
  fi
  while IFS=: read -r line target; do
    to="${target%%/*}"
    [ "$to" != "$target" ] || continue   # same folder, generated or a library's own header
    [ -n "${rank[$to]+x}" ] || continue  # a header of a library built beside the program
    if [ "${rank[$to]}" -gt "${rank[$from]}" ]; then
      echo "$file:$line: includes $target: $from may not include $to" >&2
      faults=$((faults + 1))
    fi
    if [ "$to" = platform ]; then
      rest="${target#platform/}"
      to_backend="${rest%%/*}"
      if [ "$to_backend" != "$rest" ] && is_backend "$to_backend" &&
          [ "$to_backend" != "$from_backend" ]; then
        echo "$file:$line: includes $target: only platform/$to_backend/ may include its own files" >&2
        faults=$((faults + 1))
      fi
    fi
  done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" |
    sed -E 's/^([0-9]+):[^"]*"([^"]+)".*/\1:\2/')
done < <(find "${!rank[@]}" \( -name '*.cpp' -o -name '*.h' \) -print0 2>/dev/null | sort -z)

if [ "$checked" -eq 0 ]; then
  echo "layers: no source files under $top" >&2
  exit 1
fi
if [ "$faults" -gt 0 ]; then
  echo "layers: $faults include(s) against the layers in $checked files" >&2
  exit 1
fi
echo "layers: $checked files, every include runs down"
