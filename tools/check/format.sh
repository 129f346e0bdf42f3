#!/usr/bin/env bash
# Applies the tree's .clang-format to every tracked C++ file (./build.sh format), or with --check
# lists the files that are not in that format and fails. Generated sources, whose first line says
# "do not edit", keep their generators' layout.
set -euo pipefail
cd "$(dirname "$0")/../.."
mode=${1:-apply}
mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.c' | while read -r f; do
  head -n 1 "$f" | grep -q 'do not edit' || echo "$f"
done)
if [ "$mode" = --check ]; then
  bad=$(printf '%s\n' "${files[@]}" | xargs -r -P "$(nproc)" -n 40 clang-format --dry-run 2>&1 \
    | grep -oE '^[^:]+:[0-9]+:[0-9]+: warning' | cut -d: -f1 | sort -u || true)
  if [ -n "$bad" ]; then
    echo "format: these files are not in the tree's format; run ./build.sh format:" >&2
    echo "$bad" | sed 's/^/  /' >&2
    exit 1
  fi
  echo "format: ${#files[@]} files in the tree's format"
else
  printf '%s\n' "${files[@]}" | xargs -r -P "$(nproc)" -n 40 clang-format -i
fi
