#!/usr/bin/env bash
# Installs what is missing, builds the sanitizer build (ASan + UBSan, fuzzers
# on libFuzzer) and runs every test, fuzz target included.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan "$@"
