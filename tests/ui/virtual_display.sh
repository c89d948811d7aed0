# Sourced by the window tests with their arguments (PROGRAM OUTPUT_DIR [PNG_COPY]): the program
# (through $launcher, if set) on Xvfb on the first free display of $displays; title, client
# size, every button through the file dialog, the box against hand-worked reports, a screenshot.
program=$(readlink -f "$1") out=$(mkdir -p "$2" && cd "$2" && pwd) png_copy=${3:-}
for tool in Xvfb xdotool $launcher; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool not installed"; exit 77; }
done
[ -n "$launcher" ] && settle=1 close_keys=alt+F4 || settle=0.5 close_keys=Escape
pids=() && trap 'for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done; wait 2>/dev/null' EXIT
fail() { echo "FAIL: $*"; exit 1; }
rm -f "$out"/box.txt "$out"/*.png "$out"/xvfb.log

# The first free display whose server answers within 20 s (a busy machine starts it slowly; a
# server that dies, e.g. on a display another run took meanwhile, moves on to the next one).
for n in $(seq $displays); do
    [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ] && continue
    export DISPLAY=:$n
    Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >>"$out/xvfb.log" 2>&1 &
    xvfb=$! && pids+=($xvfb)
    for _ in $(seq 100); do
        xdotool getdisplaygeometry >/dev/null 2>&1 && break 2
        kill -0 $xvfb 2>/dev/null || break
        sleep 0.2
    done
    kill $xvfb 2>/dev/null
done
xdotool getdisplaygeometry >/dev/null 2>&1 || fail "no virtual display: $(tail -3 "$out/xvfb.log")"

# Polled: a search that meets a window Wine is just destroying fails, which is no answer.
find_window() {
    for _ in $(seq "$2"); do
        xdotool search --name "$1" 2>/dev/null | head -1 | grep . && return; sleep 0.5
    done
}

# From the test directory, the dialog starts there and the file name alone picks the file. The
# search for the window checks its whole title.
start_program() {
    rm -f "$out/box.txt"
    (cd "$out" && exec env AUDIOLENS_WINDOW_DUMP=box.txt $launcher "$program") \
        >>"$out/program.log" 2>&1 &
    app=$! && pids+=($app)
    win=$(find_window '^MainForm$' 120) && [ -n "$win" ] || fail "no MainForm window"
    sleep "$settle"
}

# A point of the client area, inside the frame measured below.
click() { xdotool mousemove --window "$win" $((border + $1)) $((top + $2)) click 1; sleep 0.3; }

click_and_choose() {
    click "$1" "$2"
    dialog=$(find_window '^Open$' 60) && [ -n "$dialog" ] || fail "no file dialog"
    sleep "$settle"
    # FLTK's chooser shows the folder: the name goes after it.
    [ -n "$launcher" ] || { xdotool windowfocus --sync "$dialog" 2>/dev/null; xdotool key End; }
    xdotool type --delay 20 "$3"; xdotool key Return
    for _ in $(seq 50); do xdotool search --name '^Open$' >/dev/null 2>&1 || break; sleep 0.1; done
    sleep "$settle"
}

# Closes the window and compares the box it wrote with $1, which ends with END to keep its last
# line end through $(...). Under Wine the dialog gives the Windows path.
close_and_expect() {
    xdotool windowfocus --sync "$win" 2>/dev/null
    xdotool key ${launcher:+--window "$win"} $close_keys
    for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$app" 2>/dev/null && fail "window did not close"
    actual=$(cat "$out/box.txt" && printf END)
    [ "$actual" = "$1" ] ||
        { printf 'expected:\n%s\nactual:\n%s\n' "$1" "$actual" | cat -A; fail "box ($2)"; }
}
shown_name() { if [ -n "$launcher" ]; then winepath -w "$1" 2>/dev/null; else printf %s "$1"; fi; }

# One second of 8-bit mono at 8000 Hz, byte by byte; an ID3v1.1 tag after 1000 bytes (title,
# artist, album, year, comment, track 7, genre 17), the spaces made zeros.
wav="$out/tone 8k.wav" tagged="$out/tagged.mp3"
{
    printf 'RIFF\124\037\000\000WAVEfmt \020\000\000\000\001\000\001\000'
    printf '\100\037\000\000\100\037\000\000\001\000\010\000data\100\037\000\000'
    head -c 8000 /dev/zero | tr '\0' '\200'
} >"$wav"
printf '%1000sTAGSong%026sBand%026sRecord%024s2001Fine%024s\000\007\021' '' '' '' '' '' |
    sed 's/ /\x00/g' >"$tagged" 2>/dev/null
[ "$(stat -c %s "$wav") $(stat -c %s "$tagged")" = "8044 1128" ] || fail "test files' sizes"

start_program
# Without a window manager the X window is the client area alone; with one that lets Wine draw
# its own frame, the borders left, right and below are equal and the caption is above.
read -r width height < <(xdotool getwindowgeometry "$win" |
    sed -n 's/.*Geometry: \([0-9]*\)x\([0-9]*\)/\1 \2/p')
border=$(((width - 673) / 2)) top=$((height - 422 - (width - 673) / 2))
[ "$border" -ge 0 ] && [ $((width - 673)) = $((2 * border)) ] && [ "$top" -ge "$border" ] &&
    { [ -n "$launcher" ] || [ $((border + top)) = 0 ]; } ||
    fail "window of ${width}x${height} has no 673x422 client area"

# "Open Audio" sits at (544, 340), 85 x 29.
click_and_choose 586 354 "$(basename "$wav")"
command -v import >/dev/null &&
    import -window "$win" -strip -define png:compression-level=9 "$out/window.png" 2>/dev/null &&
    [ -n "$png_copy" ] && cp "$out/window.png" "$png_copy"
close_and_expect "$(printf 'File: %s\r\nFile type: Wav\r\nFile size: 8044\r\nBits: 8\r\nSampleRate: 8000\r\nSamples: 8000\r\nBitrate: 64\r\nBitrateType: \r\nDuration: 0:01.000\r\nRatio: 100\r\nChannelMode: Mono\r\nChannels: 1\r\nFormat=Windows PCM\r\nEND' "$(shown_name "$wav")")" "Open Audio"

# The "Tags" group is at (132, 332): "ID3v1" at (8, 16), "APE" at (92, 16), "Open Tag" at
# (260, 16) 129 x 29.
start_program
click 150 359
click_and_choose 456 362 "$(basename "$tagged")"
close_and_expect "$(printf 'File: %s\r\nTag type: ID3v1\r\nTag size: 128\r\nVersion: 2\r\nTrack: 7\r\nTitle: Song\r\nArtist: Band\r\nAlbum: Record\r\nYear: 2001\r\nComment: Fine\r\nGenre: Rock\r\nEND' "$(shown_name "$tagged")")" "Open Tag"

# Checking "APE" unchecks "ID3v1", so the tag looked for is APE, which the file has not.
start_program
click 150 359
click 234 359
click_and_choose 456 362 "$(basename "$tagged")"
close_and_expect END "Open Tag after another radio button"

# The "MIDI" group is at (4, 332): "Load" at (8, 19), "Pause" at (60, 19), "Stop" and "Play" 29
# below. A file that is no MIDI file is refused; none of them writes to the box. (Each run uses
# the dialog once: a second one starts from the file chosen in the first.)
printf 'not a midi file' >"$out/bad.mid"
start_program
click_and_choose 36 365 bad.mid
for point in "88 365" "36 394" "88 394"; do click $point; done
close_and_expect END "MIDI commands"
