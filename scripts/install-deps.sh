#!/usr/bin/env bash
# Debian packages for building, testing (encoders and reference tools) and the window.
set -euo pipefail
packages=(
  cmake g++ make pkg-config clang libclang-rt-14-dev clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  libfltk1.3-dev librtmidi-dev
  ffmpeg lame flac vorbis-tools speex opus-tools wavpack musepack-tools mediainfo
  python3-mutagen libtag1-dev strace time
  xvfb xdotool x11-apps imagemagick
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
