#!/usr/bin/env bash
# Sets up what is missing, builds the program and runs it: on a desktop ($DISPLAY or
# $WAYLAND_DISPLAY) the window with the demo project (made by tarvok2-cli demo when it is
# not there yet), otherwise the headless demo of tarvok2-cli.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARVOK_TESTS=OFF -DTARVOK_BENCH=OFF
cmake --build build-release
cli=./build-release/src/cli/tarvok2-cli
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || [ ! -x ./build-release/src/gui/tarvok2 ]; then
  exec "$cli" demo "$@"
fi
data_home="${XDG_DATA_HOME:-$HOME/.local/share}"
demo="$data_home/lumora/tarvok2/data/demo.tvp"
if [ ! -f "$demo" ]; then
  made=$("$cli" demo | sed -n 's/^demo project: *//p')
  demo="${made:-$demo}"
fi
exec ./build-release/src/gui/tarvok2 "$demo" "$@"
