#!/usr/bin/env bash
# The 32-bit Windows programs (audiolens.exe, audiolens-window.exe), cross-built with MinGW-w64
# and tested under Wine: the unit tests, the window on a virtual X server and, given the Linux
# command line, its reports and tag writes against the Windows one's.
#   bash scripts/windows.sh [LINUX_AUDIOLENS]
set -euo pipefail
cd "$(dirname "$0")/.."
linux_cli=${1:-}
start=$SECONDS
bash scripts/install-windows-deps.sh
# Optimised as the Linux build, without debug information: that takes three times as long here.
cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake \
  -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" -DAUDIOLENS_WERROR=ON
cmake --build build-win32 -j"$(nproc)"
built=$SECONDS

# Wine gets a prefix of its own in the build tree (made on its first start) and no offers to
# install Mono or Gecko.
export WINEPREFIX="$PWD/build-win32/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# If Wine cannot run the programs, every Windows test would be a silent pass: stop here instead.
version=$(wine build-win32/audiolens.exe --version 2>build-win32/wine-start.log | tr -d '\r') || true
if [ "$version" != "audiolens 0.1.0" ]; then
  echo "FAIL: Wine cannot run build-win32/audiolens.exe (printed '$version'); Wine said:" >&2
  cat build-win32/wine-start.log >&2
  exit 1
fi
(cd build-win32 && ctest --output-on-failure -j"$(nproc)")
if [ -n "$linux_cli" ]; then
  bash tests/windows/same_reports.sh "$linux_cli" build-win32/audiolens.exe build-win32/same-reports
fi
wineserver -k 2>/dev/null || true
echo "Windows: build $((built - start)) s, tests under Wine $((SECONDS - built)) s"
