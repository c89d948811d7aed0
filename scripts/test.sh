#!/usr/bin/env bash
# Installs what is needed, builds with warnings as errors, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DAUDIOLENS_WERROR=ON
cmake --build build-test -j"$(nproc)"
cd build-test
ctest --output-on-failure -j"$(nproc)"
cd ..
# The same sources as 32-bit Windows programs, tested under Wine against this build.
bash scripts/windows.sh build-test/audiolens
# Every fuzz target for a short bounded time: any crash, leak or timeout fails the run.
bash scripts/fuzz.sh "${AUDIOLENS_FUZZ_SECONDS:-12}"
# The MIDI player's threads under ThreadSanitizer.
bash scripts/tsan.sh
