#!/usr/bin/env bash
# Times, side by side, `audiolens --verify` over the whole benchmark corpus (one thread, then one
# per core) against mediainfo, mutagen and TagLib doing the same, each one process over all
# files, from the page cache, best of N runs. Prints wall and CPU time, the ratio to TagLib, peak
# memory, files understood and system calls per file (strace -c -f), then the MPEG frame walk's
# throughput against a plain read() of the same bytes (the limit), and start-up time against
# /bin/true.
#   bash bench/compare.sh          (builds the corpus with bench/corpus.sh when it is missing)
# AUDIOLENS_BENCH_CORPUS picks the corpus directory, AUDIOLENS_BIN an audiolens binary,
# AUDIOLENS_BENCH_RUNS the number of runs (3).
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

# Runs a command $runs times; sets best (wall s), cpu (user+sys s of that run), peak (MiB) and
# out (its stdout, last run).
measure() {
  best="" cpu="" peak=0
  local start end took rss user sys
  for ((r = 0; r < runs; r++)); do
    start=$(date +%s%N)
    out=$(/usr/bin/time -f '%M %U %S' -o "$build/.rss" "$@" 2>/dev/null || true)
    end=$(date +%s%N)
    took=$(( end - start ))
    # time puts a "Command exited with non-zero status" line first when the tool fails a file.
    read -r rss user sys < <(tail -n1 "$build/.rss")
    if [ -z "$best" ] || [ "$took" -lt "$best" ]; then
      best=$took
      cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')
    fi
    [ "$rss" -gt "$peak" ] && peak=$rss
  done
  best=$(awk -v ns="$best" 'BEGIN { printf "%.3f", ns / 1e9 }')
  peak=$(awk -v kb="$peak" 'BEGIN { printf "%.1f", kb / 1024 }')
}

# System calls per file: the whole run's count over the files (start-up included).
syscalls() {
  if ! command -v strace >/dev/null; then echo "-"; return; fi
  strace -f -c -o "$build/.strace" "$@" >/dev/null 2>&1 || true
  awk -v n="${#files[@]}" '$NF == "total" { printf "%.1f", $(NF-2) / n }' "$build/.strace"
}

declare -A wall cpus mem understood calls
tools=("audiolens -j1" "audiolens" mediainfo mutagen taglib)
# Sets cmd to the command line of a tool over all files.
command_of() {
  case $1 in
    "audiolens -j1") cmd=("$bin" --jobs 1 --verify "${files[@]}") ;;
    audiolens) cmd=("$bin" --verify "${files[@]}") ;;
    mediainfo) cmd=(mediainfo "${files[@]}") ;;
    mutagen) cmd=(/usr/bin/python3 -c "$mutagen_script" "${files[@]}") ;;
    taglib) cmd=("$taglib" "${files[@]}") ;;
  esac
}
for tool in "${tools[@]}"; do
  command_of "$tool"
  measure "${cmd[@]}"
  wall[$tool]=$best; cpus[$tool]=$cpu; mem[$tool]=$peak
  case $tool in
    audiolens*) understood[$tool]=$(grep -c '^File type:' <<<"$out" || true) ;;
    mediainfo) understood[$tool]=$(grep -c '^Audio' <<<"$out" || true) ;;
    mutagen) understood[$tool]=$out ;;
    taglib) understood[$tool]=${out%% *} ;;
  esac
  calls[$tool]=$(syscalls "${cmd[@]}")
done

echo "corpus: ${#files[@]} files, $(( total_bytes / 1048576 )) MiB ($corpus); best of $runs runs, page cache warm, $(nproc) cores"
printf '%-14s %9s %8s %9s %9s %10s %12s\n' tool "wall (s)" "cpu (s)" "x taglib" "peak MiB" "files read" "syscalls/file"
for tool in "${tools[@]}"; do
  ratio=$(awk -v a="${wall[$tool]}" -v b="${wall[taglib]}" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
  printf '%-14s %9s %8s %9s %9s %10s %12s\n' "$tool" "${wall[$tool]}" "${cpus[$tool]}" "$ratio" \
    "${mem[$tool]}" "${understood[$tool]}" "${calls[$tool]}"
done

# The MPEG reader's frame walk over the MP3 files, against reading the same bytes with cat.
if [ ${#mp3s[@]} -gt 0 ]; then
  measure "$bin" --jobs 1 --verify "${mp3s[@]}"
  walk=$best
  measure bash -c 'cat "$@" >/dev/null' cat "${mp3s[@]}"
  plain=$best
  awk -v b="$mp3_bytes" -v w="$walk" -v p="$plain" -v n="${#mp3s[@]}" 'BEGIN {
    printf "MPEG frame walk: %d MP3 files, %.0f MiB: %.0f MiB/s (plain read: %.0f MiB/s)\n",
      n, b / 1048576, (w > 0 ? b / 1048576 / w : 0), (p > 0 ? b / 1048576 / p : 0) }'
fi

# Start-up: 200 runs of --version against 200 runs of /bin/true.
startup() {
  local start end
  start=$(date +%s%N)
  for ((i = 0; i < 200; i++)); do "$@" >/dev/null; done
  end=$(date +%s%N)
  awk -v ns="$(( end - start ))" 'BEGIN { printf "%.2f", ns / 200 / 1e6 }'
}
t_true=$(startup /bin/true)
t_version=$(startup "$bin" --version)
echo "start-up: audiolens --version ${t_version} ms, /bin/true ${t_true} ms"
