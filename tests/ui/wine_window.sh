#!/usr/bin/env bash
# The Windows window program under Wine on a virtual X server: title and client size, "Open
# Audio" through the platform's open dialog, the report in the output box (written out on
# close) against the one the FLTK window shows for the same file, and a screenshot.
# Usage: wine_window.sh PROGRAM.exe OUTPUT_DIR [PNG_COPY]
set -u
program=$(readlink -f "$1")
out=$(mkdir -p "$2" && cd "$2" && pwd)
png_copy=${3:-}
for tool in Xvfb xdotool wine; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool not installed"; exit 77; }
done
rm -f "$out"/box.txt "$out"/*.png
export LC_ALL=C.UTF-8 WINEDEBUG=${WINEDEBUG:--all}

display=
for n in $(seq 141 190); do
    if [ ! -e /tmp/.X$n-lock ] && [ ! -e /tmp/.X11-unix/X$n ]; then display=:$n; break; fi
done
[ -n "$display" ] || { echo "no free display"; exit 1; }

pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
}
trap cleanup EXIT

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

fail() { echo "FAIL: $*"; exit 1; }

# One second of 8-bit mono at 8000 Hz, byte by byte (the FLTK window's test file).
wav="$out/tone 8k.wav"
{
    printf 'RIFF\124\037\000\000WAVEfmt \020\000\000\000\001\000\001\000'
    printf '\100\037\000\000\100\037\000\000\001\000\010\000data\100\037\000\000'
    head -c 8000 /dev/zero | tr '\0' '\200'
} >"$wav"
[ "$(stat -c %s "$wav")" = 8044 ] || fail "test file has the wrong size"

# From the test directory, the dialog starts there and the file name alone picks the file.
(cd "$out" && exec env AUDIOLENS_WINDOW_DUMP=box.txt wine "$program") >>"$out/program.log" 2>&1 &
app=$!
pids+=($app)
win=$(timeout 60 xdotool search --sync --name '^MainForm$' | head -1)
[ -n "$win" ] || fail "no MainForm window"
sleep 1
[ "$(xdotool getwindowname "$win")" = MainForm ] || fail "title"

# Without a window manager the X window is the client area alone; with one that lets Wine draw
# its own frame, the borders left, right and below are equal and the caption is above. Either
# way the client area must be 673 x 422.
read -r width height < <(xdotool getwindowgeometry "$win" | sed -n 's/.*Geometry: \([0-9]*\)x\([0-9]*\)/\1 \2/p')
border=$(( (width - 673) / 2 ))
top=$(( height - 422 - border ))
[ "$border" -ge 0 ] && [ $(( width - 673 )) = $(( 2 * border )) ] && [ "$top" -ge "$border" ] ||
    fail "window of ${width}x${height} has no 673x422 client area"

# "Open Audio" sits at (544, 340), 85 x 29.
xdotool mousemove --window "$win" $(( border + 586 )) $(( top + 354 )) click 1
dialog=$(timeout 30 xdotool search --sync --name '^Open$' | head -1)
[ -n "$dialog" ] || fail "no open dialog"
sleep 1
xdotool type --delay 20 "$(basename "$wav")"
xdotool key Return
for _ in $(seq 50); do xdotool search --name '^Open$' >/dev/null 2>&1 || break; sleep 0.1; done
sleep 1
if command -v import >/dev/null; then
    import -window "$win" -strip -define png:compression-level=9 "$out/window.png" 2>/dev/null
    [ -n "$png_copy" ] && [ -f "$out/window.png" ] && cp "$out/window.png" "$png_copy"
fi

xdotool windowfocus --sync "$win" 2>/dev/null
xdotool key --window "$win" alt+F4
for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "window did not close"

# The report names the file as the dialog gives it: the Windows path of the test file.
winfile=$(winepath -w "$wav" 2>/dev/null)
expected=$(printf 'File: %s\r\nFile type: Wav\r\nFile size: 8044\r\nBits: 8\r\nSampleRate: 8000\r\nSamples: 8000\r\nBitrate: 64\r\nBitrateType: \r\nDuration: 0:01.000\r\nRatio: 100\r\nChannelMode: Mono\r\nChannels: 1\r\nFormat=Windows PCM\r\nEND' "$winfile")
actual=$(cat "$out/box.txt" 2>/dev/null; printf END)
if [ "$actual" != "$expected" ]; then
    echo "expected:"; printf '%s\n' "$expected" | cat -A
    echo "actual:"; printf '%s\n' "$actual" | cat -A
    fail "output box after Open Audio"
fi
echo "PASS: MainForm with a 673x422 client area (frame ${border}/${top}), Open Audio report shown"
