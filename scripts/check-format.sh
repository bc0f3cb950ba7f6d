#!/usr/bin/env bash
# Fails when a C++ file of the tree differs from what clang-format makes of it.
# With --fix, rewrites the files instead.
set -euo pipefail
cd "$(dirname "$0")/.."
# The tree's own C++ files: git's list in a checkout, a walk of src/, tests/ and bench/ in a
# source tarball without git. An empty list is an error, never a pass.
if command -v git > /dev/null 2>&1 && git rev-parse --is-inside-work-tree > /dev/null 2>&1; then
  mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
  mapfile -t files < <(find src tests bench -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
fi
if [ ${#files[@]} -eq 0 ]; then
  echo "check-format: no C++ files found" >&2
  exit 1
fi
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
clang-format --dry-run --Werror "${files[@]}"
