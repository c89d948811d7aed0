#!/usr/bin/env bash
# Builds the tests with ThreadSanitizer and runs those that drive the MIDI player from several
# threads at once (the timer thread against the commands). Any data race fails the run.
#   bash scripts/tsan.sh [GTEST_FILTER]   (default: the MIDI tests)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${AUDIOLENS_TSAN_BUILD:-$root/build-tsan}
filter=${1:-'Midi*'}
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DAUDIOLENS_TSAN=ON \
  -DAUDIOLENS_WINDOW=OFF -DAUDIOLENS_BENCH=OFF >/dev/null
cmake --build "$build" -j"$jobs" --target audiolens-tests >/dev/null
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
"$build/tests/audiolens-tests" --gtest_filter="$filter"
