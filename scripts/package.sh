#!/usr/bin/env bash
# Builds the Debian package: a Release build of the two programs and the adapter modules in
# build-package/, `cpack -G DEB`, then checks what it made: the menu entry, the AppStream
# description, the manual pages, the files inside the package (and lintian when installed).
# Prints the package's path last. Usage: scripts/package.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-package}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DTARVOK_TESTS=OFF -DTARVOK_BENCH=OFF -DTARVOK_SANITIZE=OFF >/dev/null
# The programs build their modules with them; the manual pages are compressed by "all" only.
cmake --build "$build" --target tarvok2 tarvok2-cli tarvok2_man_pages
rm -f "$build"/tarvok2_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/tarvok2_*.deb)

desktop-file-validate src/gui/desktop/tarvok2.desktop
appstreamcli validate --no-net packaging/io.github.lumora.tarvok2.metainfo.xml
for page in packaging/man/*.1; do
  # man reports troff problems on stderr; any such line fails the check.
  problems=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null || true)
  if [ -n "$problems" ]; then
    echo "$page: $problems" >&2
    exit 1
  fi
done

contents=$(dpkg-deb --contents "$deb")
for file in ./usr/bin/tarvok2 ./usr/bin/tarvok2-cli \
  ./usr/lib/tarvok2/tarvok2-ffmpeg.so ./usr/lib/tarvok2/tarvok2-portaudio.so \
  ./usr/lib/tarvok2/tarvok2-cdio.so ./usr/lib/tarvok2/tarvok2-curl.so \
  ./usr/lib/tarvok2/tarvok2-ebur128.so ./usr/lib/tarvok2/tarvok2-rubberband.so \
  ./usr/share/applications/tarvok2.desktop \
  ./usr/share/icons/hicolor/scalable/apps/tarvok2.svg \
  ./usr/share/mime/packages/tarvok2.xml \
  ./usr/share/metainfo/io.github.lumora.tarvok2.metainfo.xml \
  ./usr/share/man/man1/tarvok2.1.gz ./usr/share/man/man1/tarvok2-cli.1.gz \
  ./usr/share/bash-completion/completions/tarvok2-cli; do
  if ! grep -q " ${file}\$" <<<"$contents"; then
    echo "package.sh: $file is missing from $deb" >&2
    exit 1
  fi
done
depends=$(dpkg-deb --field "$deb" Depends)
if [ -z "$depends" ]; then
  echo "package.sh: $deb depends on nothing (dpkg-shlibdeps did not run)" >&2
  exit 1
fi

# The package works from where it is unpacked: the programs find their modules in
# ../lib/tarvok2 beside bin/. The build's own module folder, which a program also searches, is
# moved away meanwhile, so that only the package's modules can be loaded; a FLAC mixdown
# needs the FFmpeg one, the screenshot of a window the Qt libraries.
root=$(mktemp -d)
modules="$build/lib/tarvok2"
restore() {
  if [ -d "$modules.away" ]; then mv "$modules.away" "$modules"; fi
  rm -rf "$root"
}
trap restore EXIT
dpkg-deb -x "$deb" "$root"
mv "$modules" "$modules.away"
cli=(env -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u XDG_STATE_HOME -u TARVOK2_MODULE_DIR
  HOME="$root/home" "$root/usr/bin/tarvok2-cli" --data-folder "$root/data")
"${cli[@]}" --help >/dev/null
"${cli[@]}" demo >/dev/null
"${cli[@]}" mixdown demo -o "$root/demo.flac" >/dev/null
test -s "$root/data/demo.wav" && test -s "$root/demo.flac"
env -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u XDG_STATE_HOME HOME="$root/home" \
  QT_QPA_PLATFORM=offscreen "$root/usr/bin/tarvok2" --data-folder "$root/data" \
  --screenshot "$root/main.png" 2>/dev/null
test -s "$root/main.png"
restore
trap - EXIT

if command -v lintian >/dev/null 2>&1; then
  lintian --no-tag-display-limit "$deb" || true
fi
echo "$deb"
