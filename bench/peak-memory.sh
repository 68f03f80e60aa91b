#!/usr/bin/env bash
# Peak memory of load, search, sort, import and dump on a realistic collection, each
# in a fresh process, against the file's size and the goals.
# Usage: bench/peak-memory.sh [build-dir] [entries]   (default: build, 1000000)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../build}"
exe="$build/bin/peak_mem"
[[ -x "$exe" ]] || { echo "$exe not built (make peak_mem)" >&2; exit 1; }
exec "$exe" "${2:-1000000}"
