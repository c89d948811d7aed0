#!/usr/bin/env bash
# Non-blank lines of the tests (tests/, fuzz/) against the code they test, and the ratio.
set -euo pipefail
cd "$(dirname "$0")/.."
count() { git ls-files -z -- "$@" | xargs -0 -r grep -h -c -v '^[[:space:]]*$' | awk '{s += $1} END {print s + 0}'; }
code=$(count 'core/*' 'platform/*' 'framework/*' 'formats/*' 'tags/*' 'midi/*' 'ui/*' 'cli/*')
tests=$(count 'tests/*' 'fuzz/*')
awk -v c="$code" -v t="$tests" 'BEGIN { printf "code: %d lines\ntests: %d lines\nratio: %.1f%%\n", c, t, (c > 0 ? 100 * t / c : 0) }'
