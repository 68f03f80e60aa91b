#!/usr/bin/env bash
# Builds the Debian package (installed under /usr, updated by the package
# manager) in build-package/ and prints the path of the .deb. Extra arguments go
# to cmake's configure step, e.g. -DDORVANTA_UPDATE_PUBLIC_KEY=...
# DORVANTA_PACKAGE_BUILD_DIR names another build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${DORVANTA_PACKAGE_BUILD_DIR:-build-package}
jobs=$(nproc 2>/dev/null || echo 2)

# Debian's hardening flags, as dpkg-buildpackage would pass them; no -g, since
# the packaged programs are stripped, and Release's own optimisation level.
# CMake takes them only when it creates the build folder's cache.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP="-g -O2"
export CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
export LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DDORVANTA_PACKAGED=ON \
    -DDORVANTA_BUILD_TESTS=OFF -DDORVANTA_BUILD_BENCH=OFF -DCMAKE_INSTALL_PREFIX=/usr "$@" >/dev/null
cmake --build "$build" -j "$jobs"
log="$build/cpack.log"
if ! cmake --build "$build" --target package >"$log" 2>&1; then
    cat "$log" >&2
    exit 1
fi
deb=$(sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p' "$log" | tail -n 1)
[ -f "$deb" ] || { cat "$log" >&2; echo "no .deb was written" >&2; exit 1; }
echo "$deb"
