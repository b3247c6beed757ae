#!/usr/bin/env bash
# Builds the whole program and its tests with AddressSanitizer and
# UndefinedBehaviorSanitizer into build-asan/ and runs every test.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$root/build-asan}"
"$root/scripts/deps.sh" test
BUILD_TYPE=Debug "$root/scripts/build.sh" -DBIN4870_SANITIZE=ON -DBIN4870_BENCH=OFF
cd "$BUILD_DIR"
# Qt keeps some allocations for the life of the process; leaks are not what this run looks for.
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
ctest --output-on-failure --parallel "$(nproc)"
