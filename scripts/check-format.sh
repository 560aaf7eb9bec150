#!/usr/bin/env bash
# Checks the tracked C++ sources against .clang-format; with --fix, formats them
# in place instead. CLANG_FORMAT names another clang-format if needed.
# Usage: check-format.sh [--fix]
set -euo pipefail
cd "$(dirname "$0")/.."

clang_format=${CLANG_FORMAT:-clang-format}
if ! command -v "$clang_format" >/dev/null; then
  echo "check-format: $clang_format not found (scripts/install-deps.sh installs clang-format)"
  exit 2
fi

mapfile -d '' files < <(git ls-files -z -- '*.cpp' '*.h')
if [ ${#files[@]} -eq 0 ]; then
  echo "check-format: no tracked C++ sources found"
  exit 2
fi

case "${1:-}" in
  --fix)
    printf '%s\0' "${files[@]}" | xargs -0 "$clang_format" -i
    echo "check-format: formatted ${#files[@]} files" ;;
  "")
    if printf '%s\0' "${files[@]}" | xargs -0 "$clang_format" --dry-run -Werror; then
      echo "check-format: ok (${#files[@]} files)"
    else
      echo "check-format: the files above differ from .clang-format; 'make format' fixes them"
      exit 1
    fi ;;
  *)
    echo "usage: $0 [--fix]"
    exit 2 ;;
esac
