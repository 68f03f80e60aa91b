#!/usr/bin/env bash
# Configures and builds. build/ holds everything, tests and benchmarks included
# (test.sh); with --program, build-run/ holds only dorvanta and dorvanta-cli
# (run.sh). Two folders, so that neither flips the other's options and with them
# rebuilds everything. Other arguments go to cmake's configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
dir=build
targets=()
options=()
if [ "${1:-}" = --program ]; then
    shift
    dir=build-run
    targets=(--target dorvanta dorvanta-cli)
    options=(-DDORVANTA_BUILD_TESTS=OFF -DDORVANTA_BUILD_BENCH=OFF)
fi
# Ninja where it is installed, and only for a new folder: a folder keeps the
# generator it was made with.
generator=()
if [ ! -f "$dir/CMakeCache.txt" ] && command -v ninja >/dev/null; then
    generator=(-G Ninja)
fi
cmake -S . -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}" "$@" >/dev/null
cmake --build "$dir" -j "$jobs" "${targets[@]}"
