#!/usr/bin/env bash
# The Windows command line under Wine against the Linux one, on real encoders' files (tag text
# and a file name outside ASCII): the same reports once "\r\n" is read as "\n", and tag writes
# that give the same bytes, the audio untouched.
# Usage: same_reports.sh LINUX_AUDIOLENS WINDOWS_AUDIOLENS_EXE WORK_DIR
set -euo pipefail
linux=$(readlink -f "$1") windows=$(readlink -f "$2") work=$(mkdir -p "$3" && cd "$3" && pwd)
export LC_ALL=C.UTF-8
fail() { echo "FAIL: $*"; exit 1; }
have() { command -v "$1" >/dev/null 2>&1; }
have ffmpeg || fail "ffmpeg is needed for the sample files"

s=samples && cd "$work" && rm -rf $s written && mkdir $s written
ffmpeg -v error -y -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=2" -ac 2 \
  -c:a pcm_s16le -bitexact src.wav
ffmpeg -v error -y -i src.wav -ar 8000 -ac 1 -c:a pcm_u8 -bitexact $s/mono-8k.wav
cp src.wav $s/stereo.wav
if have lame; then
  lame --quiet -b 128 --add-id3v2 --id3v2-utf16 --tt "Grüße ☃" --ta "Ærø" --tl Album --ty 2024 \
    --tn 3 src.wav $s/cbr-id3v2.mp3
  lame --quiet -V 2 --id3v1-only --tt Title --ta Artist src.wav $s/vbr-id3v1.mp3
  lame --quiet -b 32 --resample 22.05 -m m src.wav $s/mpeg2-mono.mp3
  cp $s/cbr-id3v2.mp3 "$s/Grüße ☃.mp3"
fi
have mpcenc && mpcenc --silent --overwrite --title "Tìtle" --artist Artist src.wav $s/tagged.mpc
ffmpeg -v error -y -i src.wav -c:a mp2 -b:a 192k $s/layer2.mp2
have flac && flac -s -f -T "TITLE=Tïtle" src.wav -o $s/tagged.flac
have oggenc && oggenc -Q -t Title src.wav -o $s/vorbis.ogg
have wavpack && wavpack -q -y src.wav -o $s/pack.wv
ffmpeg -v error -y -i src.wav -c:a aac -b:a 128k $s/aac.m4a
ffmpeg -v error -y -i src.wav -c:a ac3 -b:a 192k $s/stream.ac3
printf 'not audio at all' >$s/text.mp3
files=("$s"/*)

# One run of each program over every file: Wine starts once per mode.
for mode in "" --json; do
  name=report${mode:+-json}
  linux_status=0 windows_status=0
  "$linux" --verify $mode "${files[@]}" >"$name.linux" 2>/dev/null || linux_status=$?
  wine "$windows" --verify $mode "${files[@]}" 2>/dev/null | sed 's/\r$//' >"$name.windows" ||
    windows_status=$?
  [ "$linux_status" = "$windows_status" ] ||
    fail "exit status $linux_status on Linux, $windows_status under Wine ($name)"
  [ -s "$name.linux" ] && cmp -s "$name.linux" "$name.windows" ||
    { diff "$name.linux" "$name.windows" | head -20; fail "$name differs or is empty"; }
done
grep -q 'Grüße ☃' report.linux || fail "the UTF-16 title did not reach the report"

# The same change made by both programs gives the same bytes; the audio is the original's.
write_both() { # file args...
  local file=$1; shift
  cp "$s/$file" "written/linux-$file" && cp "$s/$file" "written/windows-$file"
  "$linux" "$@" "written/linux-$file" || fail "Linux could not write $file"
  wine "$windows" "$@" "written/windows-$file" 2>/dev/null || fail "Windows could not write $file"
  cmp -s "written/linux-$file" "written/windows-$file" || fail "tag write of $file differs"
}
audio_after_id3v2() { # the bytes after a leading ID3v2 tag (its size is syncsafe)
  python3 -c 'import sys; d = open(sys.argv[1], "rb").read()
n = 10 + ((d[6] << 21) | (d[7] << 14) | (d[8] << 7) | d[9]) if d[:3] == b"ID3" else 0
sys.stdout.buffer.write(d[n:])' "$1"
}
if [ -f "$s/cbr-id3v2.mp3" ]; then
  write_both cbr-id3v2.mp3 --tag ID3v2 --set "Title=Ünïcode ✓ and a longer title than before"
  cmp -s <(audio_after_id3v2 $s/cbr-id3v2.mp3) <(audio_after_id3v2 written/windows-cbr-id3v2.mp3) ||
    fail "the ID3v2 write under Wine changed the audio bytes"
  write_both vbr-id3v1.mp3 --tag ID3v1 --set "Artist=Someone Else"
  size=$(stat -c %s "$s/vbr-id3v1.mp3")
  cmp -s -n $((size - 128)) "$s/vbr-id3v1.mp3" written/windows-vbr-id3v1.mp3 ||
    fail "the ID3v1 write under Wine changed the audio bytes"
  write_both "Grüße ☃.mp3" --tag ID3v2 --remove
fi
[ -f "$s/tagged.mpc" ] && write_both tagged.mpc --tag APE --set "Title=Ärger"
ls written | grep -q '~' && fail "a temporary file was left behind"
echo "PASS: ${#files[@]} files report the same under Wine; tag writes agree byte for byte"
