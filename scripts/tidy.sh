#!/usr/bin/env bash
# Runs clang-tidy (the profile in .clang-tidy: bug-prone patterns and needless copies) over
# every source file of a configured and built tree; fails on any finding.
# Usage: scripts/tidy.sh [BUILD_DIR]   (default build-test; it needs compile_commands.json)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-test}"
if [ ! -f "$build/compile_commands.json" ]; then
  echo "tidy: $build/compile_commands.json is missing; configure and build first" >&2
  exit 2
fi
# GCC-only warning flags in the compile commands are unknown to clang.
run-clang-tidy -p "$build" -j "$(nproc)" -quiet -extra-arg=-Wno-unknown-warning-option \
  "$PWD/src/" >"$build/tidy.log" 2>&1 || {
  sed 's/\x1b\[[0-9;]*m//g' "$build/tidy.log" | grep -E "(warning|error): " | sort -u >&2
  echo "tidy: findings above (full log: $build/tidy.log)" >&2
  exit 1
}
echo "tidy: clean"
