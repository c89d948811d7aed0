#!/usr/bin/env bash
# Builds the benchmark corpus with real encoders: a few hundred files of every format the
# installed encoders make (WAV, MP3 CBR and VBR, MP2, FLAC, Ogg Vorbis, Speex, Opus, WavPack,
# Musepack, M4A/AAC, raw ADTS AAC, WMA, AC3, DTS, TTA), 1 s to 10 min long, some with tags.
#   bash bench/corpus.sh DIR [FILES_PER_FORMAT]
set -euo pipefail
out=${1:?usage: corpus.sh DIR [FILES_PER_FORMAT]}
per=${2:-24}
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))
mkdir -p "$out"
src=$out/.sources
mkdir -p "$src"
have() { command -v "$1" >/dev/null 2>&1; }
have ffmpeg || { echo "corpus.sh: ffmpeg is needed" >&2; exit 1; }

# Lengths in seconds: mostly short, a few long ones, the same cycle for every format.
lengths=(1 2 3 5 8 13 21 34 4 6 10 15 1 2 3 7 9 12 18 25 40 60 150 300)
rates=(44100 48000 32000 22050 16000 8000)

# One source WAV per (length, rate, channels): a wandering tone with some noise, so that the
# VBR encoders have something to vary on.
source_wav() { # length rate channels
  local f=$src/$1s-$2-$3.wav
  [ -f "$f" ] || ffmpeg -v error -y -f lavfi \
    -i "aevalsrc=exprs=0.4*sin(2*PI*(330+110*sin(0.7*t))*t)+0.05*(random(0)-0.5):s=$2:d=$1" \
    -ac "$3" -c:a pcm_s16le -bitexact -map_metadata -1 "$f"
  echo "$f"
}

# Writes one line per file to encode: format index length rate channels.
plan=$out/.plan
: >"$plan"
formats=(wav mp3cbr mp3vbr mp2 flac ogg spx opus wv mpc m4a aac wma ac3 dts tta)
for fmt in "${formats[@]}"; do
  for ((i = 0; i < per; i++)); do
    len=${lengths[i % ${#lengths[@]}]}
    rate=${rates[i % ${#rates[@]}]}
    ch=$(( i % 3 == 2 ? 1 : 2 ))
    case $fmt in
      mp2|wma|ac3|dts) [ "$rate" -lt 32000 ] && rate=48000 ;;
      spx) rate=$(( i % 3 == 0 ? 8000 : (i % 3 == 1 ? 16000 : 32000) )) ;;
      mpc) [ "$rate" -lt 32000 ] && rate=44100 ;;
      wav|tta) [ "$len" -gt 60 ] && len=30 ;; # keeps the corpus a few hundred MB at most
    esac
    echo "$fmt $i $len $rate $ch" >>"$plan"
  done
done
# Ten-minute MP3 files, so that the frame walk has some hundred MB to chew on.
for i in 100 101 102 103; do echo "mp3cbr $i 600 44100 2" >>"$plan"; done

# Sources first (shared by the formats), then the encodes, two at a time.
awk '{print $3, $4, $5}' "$plan" | sort -u | while read -r len rate ch; do
  echo "$len $rate $ch"
done | xargs -P "$jobs" -L 1 bash -c "$(declare -f source_wav); src=$src; source_wav \"\$0\" \"\$1\" \"\$2\" >/dev/null"

encode() { # format index length rate channels
  local fmt=$1 i=$2 wav=$src/$3s-$4-$5.wav dir=$out/$1 name
  name=$(printf '%s/%s-%03d-%ss-%sHz-%sch' "$dir" "$fmt" "$i" "$3" "$4" "$5")
  mkdir -p "$dir"
  local tags=()
  case $fmt in
    wav) cp "$wav" "$name.wav" ;;
    mp3cbr)
      (( i % 2 )) && tags=(--tt "Title $i" --ta Artist --tl Album --ty 2020 --tn "$i" --add-id3v2)
      lame --quiet -b $(( i % 4 == 0 ? 320 : (i % 4 == 1 ? 128 : 64) )) "${tags[@]}" "$wav" "$name.mp3" ;;
    mp3vbr)
      (( i % 2 )) && tags=(--tt "Title $i" --ta Artist --id3v1-only)
      lame --quiet -V $(( i % 9 )) "${tags[@]}" "$wav" "$name.mp3" ;;
    mp2) ffmpeg -v error -y -i "$wav" -c:a mp2 -b:a 192k "$name.mp2" ;;
    flac) flac -s -f -T "TITLE=Title $i" -T ARTIST=Artist "$wav" -o "$name.flac" ;;
    ogg) oggenc -Q -q $(( i % 8 )) -t "Title $i" -a Artist "$wav" -o "$name.ogg" ;;
    spx) speexenc --quiet --title "Title $i" "$wav" "$name.spx" ;;
    opus) opusenc --quiet --title "Title $i" "$wav" "$name.opus" ;;
    wv) wavpack -q -y -w "Title=Title $i" "$wav" -o "$name.wv" ;;
    mpc) mpcenc --silent --overwrite --title "Title $i" "$wav" "$name.mpc" ;;
    m4a) ffmpeg -v error -y -i "$wav" -c:a aac -b:a 128k -metadata title="Title $i" "$name.m4a" ;;
    wma) ffmpeg -v error -y -i "$wav" -c:a wmav2 -b:a 128k -metadata title="Title $i" "$name.wma" ;;
    aac)
      ffmpeg -v error -y -i "$wav" -c:a aac -b:a 128k -f adts "$name.aac"
      if (( i % 2 )); then /usr/bin/python3 -c 'import sys, mutagen.id3 as i; t = i.ID3()
t.add(i.TIT2(encoding=3, text=sys.argv[2])); t.save(sys.argv[1], v1=2)' "$name.aac" "Title $i"; fi ;;
    ac3) ffmpeg -v error -y -i "$wav" -c:a ac3 -b:a 192k "$name.ac3" ;;
    tta) ffmpeg -v error -y -i "$wav" -c:a tta "$name.tta" ;;
    dts) ffmpeg -v error -y -i "$wav" -strict -2 -c:a dca -f dts "$name.dts" ;;
  esac
}
export -f encode
export src out
needed() { case $1 in mp3*) echo lame ;; flac) echo flac ;; ogg) echo oggenc ;; spx) echo speexenc ;;
  opus) echo opusenc ;;
  wv) echo wavpack ;; mpc) echo mpcenc ;; *) echo ffmpeg ;; esac; }
while read -r fmt i len rate ch; do
  if have "$(needed "$fmt")"; then echo "$fmt $i $len $rate $ch"; fi
done <"$plan" | xargs -P "$jobs" -L 1 bash -c 'encode "$0" "$@" 2>/dev/null || echo "corpus.sh: $0 $1 failed" >&2'

# What lies beside the audio in a real collection: covers, notes, cue sheets, rip logs.
for i in $(seq 1 12); do
  head -c 40000 /dev/urandom | { printf '\x89PNG\r\n\x1a\n'; cat; } >"$out/cover$i.png"
  head -c 30000 /dev/urandom | { printf '\xff\xd8\xff\xe0'; cat; } >"$out/folder$i.jpg"
  printf 'Liner notes %s\n' "$i" >"$out/readme$i.txt"
  printf 'FILE "a%s.wav" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n' "$i" >"$out/album$i.cue"
  printf 'Exact Audio Copy V1.6 log %s\n' "$i" >"$out/rip$i.log"
done

rm -rf "$src" "$plan"
touch "$out/.complete"
echo "corpus: $(find "$out" -type f ! -name '.*' | wc -l) files, $(du -sh --exclude='.*' "$out" | cut -f1) in $out"
