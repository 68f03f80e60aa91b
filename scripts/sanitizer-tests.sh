#!/usr/bin/env bash
# Builds the store, platform, session and update tests with AddressSanitizer and
# UndefinedBehaviorSanitizer in build-asan/ and runs them (extra arguments go to ctest).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDORVANTA_SANITIZE=ON \
    -DDORVANTA_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j "$jobs" --target store_tests platform_tests session_tests update_tests
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build-asan --output-on-failure -j "$jobs" \
    -L '^(store_tests|platform_tests|session_tests|update_tests)$' "$@"
