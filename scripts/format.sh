#!/usr/bin/env bash
# Formats every C++ file of the tree with the house style (.clang-format); with --check it only
# lists the files that differ from it and fails when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' | sort)
if [ "${1:-}" = --check ]; then
  status=0
  for f in "${files[@]}"; do
    [ -f "$f" ] || continue
    if ! clang-format --style=file "$f" | cmp -s - "$f"; then
      echo "format: $f differs from the house style (bash scripts/format.sh applies it)" >&2
      status=1
    fi
  done
  [ "$status" -eq 0 ] && echo "format: every C++ file is in the house style"
  exit "$status"
fi
for f in "${files[@]}"; do [ -f "$f" ] && clang-format --style=file -i "$f"; done
