#!/usr/bin/env bash
# Debian packages for the 32-bit Windows build and its tests: the MinGW-w64 cross compiler
# (posix thread model), GoogleTest's sources, and Wine with its i386 part, which needs the i386
# architecture enabled first.
set -euo pipefail
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
packages=(g++-mingw-w64-i686-posix binutils-mingw-w64-i686 googletest wine wine32:i386)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
