#!/usr/bin/env bash
# Sets up what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
# Warnings are errors here, as in CI: the test command is the CI command.
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTARVOK_SANITIZE=ON \
  -DTARVOK_WERROR=ON -DTARVOK_BENCH=OFF
cmake --build build-test
# The tree keeps the project's format and passes the clang-tidy profile.
./scripts/check-format.sh
./scripts/tidy.sh build-test
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir build-test --output-on-failure -j2 "$@"
# Every fuzz target builds (clang and libFuzzer) and survives a short run; scripts/fuzz.sh
# long does the long runs. TARVOK_FUZZ_SMOKE=0 skips this, as does a machine without clang.
if [ "${TARVOK_FUZZ_SMOKE:-1}" != 0 ] && command -v clang++-14 >/dev/null 2>&1; then
  ./scripts/fuzz.sh smoke
fi
