#!/usr/bin/env bash
# Installs what is missing, builds the sanitizer build (ASan + UBSan, fuzzers
# on libFuzzer) and runs every test, fuzz target included; then makes the
# Debian packages and checks them unpacked; then cross-builds the Windows
# programs and tests them under wine against the Linux ones
# (scripts/windows-tests.sh, docs/windows.md).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan "$@"
# The Debian packages, from an optimised build of what they hold, unpacked
# and run from a temporary root.
cmake --preset default >/dev/null
cmake --build --preset default --target tarvo_packaged
scripts/check-packages.sh build
scripts/windows-tests.sh
