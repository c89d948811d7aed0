#!/usr/bin/env bash
# The Windows window program under Wine on a virtual X server, through the platform's open
# dialog (see virtual_display.sh).
# Usage: wine_window.sh PROGRAM.exe OUTPUT_DIR [PNG_COPY]
set -u
export LC_ALL=C.UTF-8 WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
# A prefix of its own: Wine binds a prefix's desktop to the display of the first program
# started in it, and other tests run Wine programs without a display.
export WINEPREFIX="$(mkdir -p "$2" && cd "$2" && pwd)/wine-prefix"
launcher=wine displays="141 190"
. "$(dirname "$0")/virtual_display.sh"
echo "PASS: MainForm with a 673x422 client area (frame $border/$top), audio and tag reports shown"
