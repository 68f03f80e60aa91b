#!/usr/bin/env bash
# Installs what is missing, builds the two programs (not the tests) in
# build-run/, and starts Dorvanta with the given arguments.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup-deps.sh
scripts/build.sh --program
exec build-run/bin/dorvanta "$@"
