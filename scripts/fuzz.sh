#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, ASan and UBSan, and runs each for a bounded time.
#   bash scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 60)
# The working corpora stay in build-fuzz/corpus/ between runs; any crash, leak, timeout or
# memory blow-up is kept under build-fuzz/findings/ and fails the run. Keep a finding under
# tests/fuzz-regressions/ named after its target (FuzzReaders-..., FuzzTagAPE-..., ...) so
# that the sweep test replays it.
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${AUDIOLENS_FUZZ_BUILD:-$root/build-fuzz}
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))

if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DAUDIOLENS_FUZZ=ON -DAUDIOLENS_SANITIZE=ON -DAUDIOLENS_WINDOW=OFF -DAUDIOLENS_TESTS=OFF \
    -DAUDIOLENS_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j"$jobs" >/dev/null

seeds=$build/seeds
rm -rf "$seeds"
bash "$root/fuzz/seeds.sh" "$seeds" >/dev/null 2>&1
mkdir -p "$build/findings" "$build/corpus"

# Each input is written to a file before it is read: keep that file in memory where possible.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

failed=0
printf '%-16s %10s %8s %8s  %s\n' target executions "exec/s" corpus result
for binary in "$build"/fuzz/Fuzz*; do
  [ -x "$binary" ] && [ -f "$binary" ] || continue
  name=$(basename "$binary")
  corpus=$build/corpus/$name
  own=$seeds/$name
  mkdir -p "$corpus" "$own"
  case $name in
    FuzzTagWrite) cp "$seeds"/write/* "$own"/ ;;
    FuzzMidi) cp "$seeds"/midi/* "$seeds"/audio/* "$own"/ ;;
    *) cp "$seeds"/audio/* "$own"/ ;;
  esac
  # Inputs that once broke this target start every run.
  for kept in "$root"/tests/fuzz-regressions/"$name"-*; do
    [ -f "$kept" ] && cp "$kept" "$own"/
  done
  log=$build/findings/$name.log
  status=0
  "$binary" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="$build/findings/$name-" "$corpus" "$own" \
    >"$log" 2>&1 || status=$?
  executions=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -n1 || echo 0)
  rate=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -n1 || echo 0)
  size=$(find "$corpus" -type f | wc -l)
  artifacts=$(find "$build/findings" -maxdepth 1 -type f -name "$name-*" | wc -l)
  if [ "$status" -ne 0 ] || [ "$artifacts" -ne 0 ]; then
    printf '%-16s %10s %8s %8s  %s\n' "$name" "${executions:-?}" "${rate:-?}" "$size" "FINDING (see $log)"
    grep -m5 -E 'ERROR|runtime error|property broken|SUMMARY' "$log" | sed 's/^/    /' || true
    failed=1
  else
    printf '%-16s %10s %8s %8s  %s\n' "$name" "$executions" "$rate" "$size" ok
  fi
done
exit $failed
