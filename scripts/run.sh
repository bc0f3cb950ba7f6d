#!/usr/bin/env bash
# Sets up what is missing, builds the program and runs its main job. Without a desktop
# (or until the window front end exists) that is the headless demo of tarvok2-cli.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARVOK_TESTS=OFF -DTARVOK_BENCH=OFF
cmake --build build-release
exec ./build-release/src/cli/tarvok2-cli demo "$@"
