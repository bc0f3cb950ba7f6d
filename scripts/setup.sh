#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing.
# Uses sudo when not run as root. Safe to run again: it installs nothing when all are there.
set -euo pipefail

PACKAGES=(
  g++ cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  # MP3 encoding and decoding of compressed audio
  libmp3lame-dev libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
  # wave devices: PortAudio over ALSA (tests play into ALSA file devices)
  portaudio19-dev libasound2-dev libasound2-plugins
  # sound servers with a real clock for the device tests: a JACK server on its dummy driver
  # and a PulseAudio server with a null sink (jackd2's debconf question takes its default
  # under DEBIAN_FRONTEND=noninteractive)
  jackd2 pulseaudio
  # loudness measurement (EBU R128) and high-quality time stretch and pitch shift
  libebur128-dev librubberband-dev
  # CD access (drives and disc images) and the HTTP client of the CDDB look-ups
  libcdio-dev libiso9660-dev libcdio-paranoia-dev libcurl4-openssl-dev
  # the window front end (Qt 6 Widgets), the Japanese fonts it shows, and a virtual display
  qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-translations-l10n libgl-dev fonts-noto-cjk xvfb xauth
  # compiler cache for repeated builds; format and tidy checks; clang's libFuzzer for the
  # fuzz targets
  ccache clang clang-format clang-tidy libclang-rt-14-dev
  # other tools that make and check media in the tests
  sox ffmpeg lame
  # msgfmt and msgcat compile the English catalogue; xgettext and msgmerge update it
  gettext
  # the Debian package (scripts/package.sh): dependencies read from the binaries, and the
  # checks of the menu entry, the AppStream description and the manual pages
  dpkg-dev file desktop-file-utils appstream man-db
  # a second reader of the CUE sheets the CD folder carries
  cuetools
)

missing=()
for pkg in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$pkg")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
  fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
