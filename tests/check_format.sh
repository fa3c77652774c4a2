#!/usr/bin/env bash
# Usage: check_format.sh SOURCE_DIR CLANG_FORMAT
#
# Every C and C++ file git tracks must be formatted as .clang-format says;
# lists the files that are not (fix them with CLANG_FORMAT -i FILE).
set -euo pipefail
cd "$1"
files=$(git ls-files '*.cpp' '*.h' '*.hpp' '*.c')
bad=$("$2" --dry-run $files 2>&1 | sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: .*/\1/p' | sort -u || true)
if [ -n "$bad" ]; then
  echo "not formatted as .clang-format says (run $2 -i on them):"
  printf '  %s\n' $bad
  exit 1
fi
echo "$(echo "$files" | wc -w) files formatted as .clang-format says"
