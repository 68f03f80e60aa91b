#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite headless,
# then the parsers' and file code's tests again under the sanitizers.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup-deps.sh
scripts/build.sh
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc 2>/dev/null || echo 2)
ctest --test-dir build --output-on-failure -j "$jobs" "$@"
# The store, platform, session and update tests once more under ASan/UBSan (build-asan/).
scripts/sanitizer-tests.sh
