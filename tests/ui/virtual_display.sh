# Shared by the real-window tests (sourced): a virtual X server on the first free display of a
# range, stopped with every program started on it; fail(); the one-second test WAV file.
# Needs $out (the output directory).

pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
}
trap cleanup EXIT

fail() { echo "FAIL: $*"; exit 1; }

# Starts Xvfb on the first free display from $1 to $2 and exports DISPLAY.
start_virtual_display() {
    local display= n
    for n in $(seq "$1" "$2"); do
        if [ ! -e /tmp/.X$n-lock ] && [ ! -e /tmp/.X11-unix/X$n ]; then display=:$n; break; fi
    done
    [ -n "$display" ] || { echo "no free display"; exit 1; }
    Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
    pids+=($!)
    export DISPLAY=$display
    for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
}

# One second of 8-bit mono at 8000 Hz, byte by byte, as $wav.
wav="$out/tone 8k.wav"
{
    printf 'RIFF\124\037\000\000WAVEfmt \020\000\000\000\001\000\001\000'
    printf '\100\037\000\000\100\037\000\000\001\000\010\000data\100\037\000\000'
    head -c 8000 /dev/zero | tr '\0' '\200'
} >"$wav"
[ "$(stat -c %s "$wav")" = 8044 ] || fail "test file has the wrong size"
