#!/usr/bin/env bash
# Installs the built library into a temporary prefix and builds a program against it.
set -euo pipefail
build="$1"; source="$2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S "$source/tests/install" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
"$work/consumer/consumer" "$source/samples/tone.wav" | grep -q "^SampleRate: 8000"
echo "installed package builds and reads the sample"
