#!/usr/bin/env bash
# Installs what is missing, builds, and starts Dorvanta.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup-deps.sh
scripts/build.sh
exec build/bin/dorvanta "$@"
