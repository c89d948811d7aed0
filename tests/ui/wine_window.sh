#!/usr/bin/env bash
# The Windows window program under Wine on a virtual X server: title and client size, "Open
# Audio" and "Open Tag" through the platform's open dialog at the positions of the control
# table, the reports in the output box (written out on close) against the ones the FLTK window
# shows for the same files, and a screenshot.
# Usage: wine_window.sh PROGRAM.exe OUTPUT_DIR [PNG_COPY]
set -u
program=$(readlink -f "$1")
out=$(mkdir -p "$2" && cd "$2" && pwd)
png_copy=${3:-}
for tool in Xvfb xdotool wine; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool not installed"; exit 77; }
done
rm -f "$out"/box.txt "$out"/*.png
export LC_ALL=C.UTF-8 WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
# A Wine prefix of its own: Wine binds a prefix's desktop to the display of the first program
# started in it, and other tests run Wine programs without a display.
export WINEPREFIX="$out/wine-prefix"

. "$(dirname "$0")/virtual_display.sh"
start_virtual_display 141 190

# The first window of that name, polled every half second: a search that meets a window Wine
# is just destroying fails with an X error, so one failed search is no answer.
find_window() {
    local found
    for _ in $(seq "$2"); do
        found=$(xdotool search --name "$1" 2>/dev/null | head -1)
        [ -n "$found" ] && { echo "$found"; return; }
        sleep 0.5
    done
}

# From the test directory, the dialog starts there and the file name alone picks the file.
start_program() {
    rm -f "$out/box.txt"
    (cd "$out" && exec env AUDIOLENS_WINDOW_DUMP=box.txt wine "$program") >>"$out/program.log" 2>&1 &
    app=$!
    pids+=($app)
    win=$(find_window '^MainForm$' 120)
    [ -n "$win" ] || fail "no MainForm window"
    sleep 1
}

# Clicks at a point of the client area; the frame is measured once (see below).
click() {
    xdotool mousemove --window "$win" $(( border + $1 )) $(( top + $2 )) click 1
    sleep 0.3
}

# Clicks a button that opens the dialog, then types the file name into it.
click_and_choose() {
    click "$1" "$2"
    local dialog
    dialog=$(find_window '^Open$' 60)
    [ -n "$dialog" ] || fail "no open dialog"
    sleep 1
    xdotool type --delay 20 "$3"
    xdotool key Return
    for _ in $(seq 50); do xdotool search --name '^Open$' >/dev/null 2>&1 || break; sleep 0.1; done
    sleep 1
}

close_program() {
    xdotool windowfocus --sync "$win" 2>/dev/null
    xdotool key --window "$win" alt+F4
    for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$app" 2>/dev/null && fail "window did not close"
}

# The expected text ends with END, which keeps its last line end through $(...).
expect_box() {
    local actual
    actual=$(cat "$out/box.txt" 2>/dev/null; printf END)
    if [ "$actual" != "$1" ]; then
        echo "expected:"; printf '%s\n' "$1" | cat -A
        echo "actual:"; printf '%s\n' "$actual" | cat -A
        fail "output box ($2)"
    fi
}

start_program
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
click_and_choose 586 354 "$(basename "$wav")"
if command -v import >/dev/null; then
    import -window "$win" -strip -define png:compression-level=9 "$out/window.png" 2>/dev/null
    [ -n "$png_copy" ] && [ -f "$out/window.png" ] && cp "$out/window.png" "$png_copy"
fi
close_program
# The report names the file as the dialog gives it: the Windows path of the test file.
expect_box "$(printf 'File: %s\r\nFile type: Wav\r\nFile size: 8044\r\nBits: 8\r\nSampleRate: 8000\r\nSamples: 8000\r\nBitrate: 64\r\nBitrateType: \r\nDuration: 0:01.000\r\nRatio: 100\r\nChannelMode: Mono\r\nChannels: 1\r\nFormat=Windows PCM\r\nEND' "$(winepath -w "$wav" 2>/dev/null)")" "Open Audio"

# An ID3v1.1 tag after 1000 bytes: title, artist, album, year, comment, track 7, genre 17.
tagged="$out/tagged.mp3"
{
    head -c 1000 /dev/zero
    printf 'TAGSong%026sBand%026sRecord%024s2001Fine%024s\000\007\021' '' '' '' ''
} | sed 's/ /\x00/g' >"$tagged" 2>/dev/null
[ "$(stat -c %s "$tagged")" = 1128 ] || fail "tagged file has the wrong size"

# The "Tags" group is at (132, 332): "ID3v1" at (8, 16), "Open Tag" at (260, 16) 129 x 29.
start_program
click 150 359
click_and_choose 456 362 "$(basename "$tagged")"
close_program
expect_box "$(printf 'File: %s\r\nTag type: ID3v1\r\nTag size: 128\r\nVersion: 2\r\nTrack: 7\r\nTitle: Song\r\nArtist: Band\r\nAlbum: Record\r\nYear: 2001\r\nComment: Fine\r\nGenre: Rock\r\nEND' "$(winepath -w "$tagged" 2>/dev/null)")" "Open Tag"

echo "PASS: MainForm with a 673x422 client area (frame ${border}/${top}), Open Audio and Open Tag reports shown"
