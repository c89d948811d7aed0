#!/usr/bin/env bash
# The real program on a virtual X server: window title and size, "Open Audio" through the real
# file chooser, the report in the output box (written out on close), and a screenshot.
# Usage: real_window.sh PROGRAM OUTPUT_DIR [PNG_COPY]
set -u
program=$(readlink -f "$1")
out=$(mkdir -p "$2" && cd "$2" && pwd)
png_copy=${3:-}
for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool not installed"; exit 77; }
done
mkdir -p "$out"
rm -f "$out"/box.txt "$out"/*.png

. "$(dirname "$0")/virtual_display.sh"
start_virtual_display 91 140

# From the test directory, the chooser starts there and the file name alone picks the file.
start_program() {
    rm -f "$out/box.txt"
    (cd "$out" && exec env AUDIOLENS_WINDOW_DUMP="$out/box.txt" "$program") \
        >>"$out/program.log" 2>&1 &
    app=$!
    pids+=($app)
    win=$(timeout 20 xdotool search --sync --name '^MainForm$' | head -1)
    [ -n "$win" ] || fail "no MainForm window"
}

# Clicks at a point of the main window's client area and answers the chooser: a file name to
# type after what it shows, or nothing to take what it shows.
click_and_choose() {
    xdotool mousemove --window "$win" "$1" "$2" click 1
    local chooser
    chooser=$(timeout 20 xdotool search --sync --name '^Open$' | head -1)
    [ -n "$chooser" ] || fail "no file chooser"
    sleep 0.5
    xdotool windowfocus --sync "$chooser" 2>/dev/null
    xdotool key End
    [ -n "${3:-}" ] && xdotool type --delay 20 "$3"
    xdotool key Return
    for _ in $(seq 50); do xdotool search --name '^Open$' >/dev/null 2>&1 || break; sleep 0.1; done
    sleep 0.5
}

click() {
    xdotool mousemove --window "$win" "$1" "$2" click 1
    sleep 0.3
}

close_program() {
    xdotool windowfocus --sync "$win" 2>/dev/null
    xdotool key Escape
    for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
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
geometry=$(xdotool getwindowgeometry "$win" | sed -n 's/.*Geometry: //p')
[ "$geometry" = 673x422 ] || fail "client size is $geometry"

# "Open Audio" sits at (544, 340), 85 x 29.
click_and_choose 586 354 "$(basename "$wav")"
if command -v import >/dev/null; then
    import -window root "$out/screen.png"
    import -window "$win" -strip -define png:compression-level=9 "$out/window.png"
    [ -n "$png_copy" ] && cp "$out/window.png" "$png_copy"
fi
close_program
expect_box "$(printf 'File: %s\r\nFile type: Wav\r\nFile size: 8044\r\nBits: 8\r\nSampleRate: 8000\r\nSamples: 8000\r\nBitrate: 64\r\nBitrateType: \r\nDuration: 0:01.000\r\nRatio: 100\r\nChannelMode: Mono\r\nChannels: 1\r\nFormat=Windows PCM\r\nEND' "$wav")" "Open Audio"

# An ID3v1.1 tag after 1000 bytes: title, artist, album, year, comment, track 7, genre 17.
tagged="$out/tagged.mp3"
{
    head -c 1000 /dev/zero
    printf 'TAGSong%026sBand%026sRecord%024s2001Fine%024s\000\007\021' '' '' '' ''
} | sed 's/ /\x00/g' >"$tagged" 2>/dev/null
[ "$(stat -c %s "$tagged")" = 1128 ] || fail "tagged file has the wrong size"

# The "Tags" group is at (132, 332): "ID3v1" at (8, 16), "APE" at (92, 16), "Open Tag" at
# (260, 16) 129 x 29.
start_program
click 150 359
click_and_choose 456 362 "$(basename "$tagged")"
close_program
expect_box "$(printf 'File: %s\r\nTag type: ID3v1\r\nTag size: 128\r\nVersion: 2\r\nTrack: 7\r\nTitle: Song\r\nArtist: Band\r\nAlbum: Record\r\nYear: 2001\r\nComment: Fine\r\nGenre: Rock\r\nEND' "$tagged")" "Open Tag"

# Checking "APE" unchecks "ID3v1", so the tag looked for is APE, which the file has not.
start_program
click 150 359
click 234 359
click_and_choose 456 362 "$(basename "$tagged")"
close_program
expect_box END "Open Tag after another radio button"

echo "PASS: $geometry MainForm, audio and tag reports shown; screenshots in $out"
