#!/usr/bin/env bash
# Times, side by side, one `audiolens --verify` process over the whole benchmark corpus against
# mediainfo, mutagen and TagLib doing the same (each one process over all files), from the page
# cache, best of three runs; prints wall time, ratio to audiolens and peak memory, and the MPEG
# frame-walk throughput on the MP3 files.
#   bash bench/compare.sh          (builds the corpus with bench/corpus.sh when it is missing)
# AUDIOLENS_BENCH_CORPUS picks the corpus directory, AUDIOLENS_BIN an audiolens binary.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-bench
corpus=${AUDIOLENS_BENCH_CORPUS:-$build/corpus}
runs=${AUDIOLENS_BENCH_RUNS:-3}

[ -f "$corpus/.complete" ] || { rm -rf "$corpus"; bash "$root/bench/corpus.sh" "$corpus"; }

bin=${AUDIOLENS_BIN:-}
if [ -z "$bin" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DAUDIOLENS_TESTS=OFF \
    -DAUDIOLENS_BENCH=OFF -DAUDIOLENS_WINDOW=OFF >/dev/null
  cmake --build "$build" --target audiolens-cli -j2 >/dev/null 2>&1 ||
    cmake --build "$build" --target audiolens-cli -j2
  bin=$build/audiolens
fi
taglib=$build/taglib_reader
if [ ! -x "$taglib" ] || [ "$root/bench/peers/taglib_reader.cpp" -nt "$taglib" ]; then
  g++ -O2 -std=c++17 -o "$taglib" "$root/bench/peers/taglib_reader.cpp" \
    $(pkg-config --cflags --libs taglib)
fi

mapfile -t files < <(find "$corpus" -type f ! -name '.*' | sort)
mapfile -t mp3s < <(printf '%s\n' "${files[@]}" | grep '\.mp3$')
total_bytes=$(du -cb "${files[@]}" | tail -n1 | cut -f1)
mp3_bytes=$(du -cb "${mp3s[@]}" | tail -n1 | cut -f1)
cat "${files[@]}" >/dev/null # into the page cache

mutagen_script='
import sys, mutagen
n = 0
for name in sys.argv[1:]:
    try:
        f = mutagen.File(name)
        if f is not None and f.info is not None:
            n += 1
    except Exception:
        pass
print(n)'

# Runs a command $runs times; sets best (seconds), peak (MiB) and out (its stdout, last run).
measure() {
  best=""
  peak=0
  local start end took rss
  for ((r = 0; r < runs; r++)); do
    start=$(date +%s%N)
    out=$(/usr/bin/time -f '%M' -o "$build/.rss" "$@" 2>/dev/null || true)
    end=$(date +%s%N)
    took=$(( end - start ))
    rss=$(tail -n1 "$build/.rss")
    if [ -z "$best" ] || [ "$took" -lt "$best" ]; then best=$took; fi
    [ "$rss" -gt "$peak" ] && peak=$rss
  done
  best=$(awk -v ns="$best" 'BEGIN { printf "%.3f", ns / 1e9 }')
  peak=$(awk -v kb="$peak" 'BEGIN { printf "%.1f", kb / 1024 }')
}

declare -A wall mem understood
measure "$bin" --verify "${files[@]}"
wall[audiolens]=$best; mem[audiolens]=$peak
understood[audiolens]=$(grep -c '^File type:' <<<"$out" || true)
measure mediainfo "${files[@]}"
wall[mediainfo]=$best; mem[mediainfo]=$peak
understood[mediainfo]=$(grep -c '^Audio' <<<"$out" || true)
measure /usr/bin/python3 -c "$mutagen_script" "${files[@]}"
wall[mutagen]=$best; mem[mutagen]=$peak; understood[mutagen]=$out
measure "$taglib" "${files[@]}"
wall[taglib]=$best; mem[taglib]=$peak; understood[taglib]=${out%% *}

echo "corpus: ${#files[@]} files, $(( total_bytes / 1048576 )) MiB ($corpus); best of $runs runs, page cache warm"
printf '%-12s %10s %12s %10s %12s\n' tool "wall (s)" "x audiolens" "peak MiB" "files read"
for tool in audiolens mediainfo mutagen taglib; do
  ratio=$(awk -v a="${wall[$tool]}" -v b="${wall[audiolens]}" 'BEGIN { printf "%.1f", (b > 0 ? a / b : 0) }')
  printf '%-12s %10s %12s %10s %12s\n' "$tool" "${wall[$tool]}" "$ratio" "${mem[$tool]}" "${understood[$tool]}"
done

# The MPEG reader's frame walk: MP3 bytes over the time of one --verify pass on the MP3 files.
if [ ${#mp3s[@]} -gt 0 ] && "$bin" --verify "${mp3s[0]}" >/dev/null 2>&1; then
  measure "$bin" --verify "${mp3s[@]}"
  rate=$(awk -v b="$mp3_bytes" -v s="$best" 'BEGIN { printf "%.0f", (s > 0 ? b / 1048576 / s : 0) }')
  echo "MPEG frame walk: ${#mp3s[@]} MP3 files, $(( mp3_bytes / 1048576 )) MiB in $best s: $rate MiB/s"
else
  echo "MPEG frame walk: no MPEG reader in $bin yet"
fi
