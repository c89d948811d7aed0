#!/usr/bin/env bash
# Line and branch coverage of the code folders by the whole test suite (Debug build, gcovr).
#   bash scripts/coverage.sh        prints the two summary figures; the HTML report is in
#                                   build-coverage/coverage/index.html
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${AUDIOLENS_COVERAGE_BUILD:-$root/build-coverage}
command -v gcovr >/dev/null || { echo "coverage.sh: gcovr missing (apt-get install gcovr)" >&2; exit 1; }
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DAUDIOLENS_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="--coverage -fprofile-update=atomic" \
  -DCMAKE_EXE_LINKER_FLAGS="--coverage" >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
find "$build" -name '*.gcda' -delete
# The install test links a program outside the tree, without the coverage runtime.
(cd "$build" && ctest -j"$(nproc)" -E InstallPackage --output-on-failure >/dev/null) || echo "coverage.sh: some tests failed" >&2
mkdir -p "$build/coverage"
filters=()
for dir in core platform framework formats tags midi ui cli; do filters+=(--filter "$root/$dir/"); done
# gcovr 6 and later take the kind of parse error to ignore; 5.x (Debian 12) only the bare flag.
ignore=--gcov-ignore-parse-errors
gcovr --help | grep -q negative_hits && ignore=--gcov-ignore-parse-errors=negative_hits.warn_once_per_file
gcovr --root "$root" "${filters[@]}" --object-directory "$build" "$ignore" \
  --html-details "$build/coverage/index.html" --print-summary -o "$build/coverage/summary.txt" \
  "$build" 2>"$build/coverage/gcovr.log" |
  grep -E '^(lines|branches):'
