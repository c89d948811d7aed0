#!/usr/bin/env bash
# Installs what audiolens needs on Debian 12, builds it, and reports the bundled sample.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
./build/audiolens --verify samples/tone.wav
