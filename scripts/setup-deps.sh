#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the program and the test suite need.
# As root it runs apt-get; otherwise it prints the exact command and stops.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-svg-dev libgl-dev
  libicu-dev libzip-dev libsodium-dev zlib1g-dev python3 age xclip
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-dejavu-core fonts-dejavu-extra fonts-liberation2
  locales
  qt6-translations-l10n
  xvfb xauth imagemagick xdotool x11-utils
  # the screen lock watcher's test runs a private message bus
  dbus-daemon
  # the end-to-end tests read the accessibility tree over AT-SPI and listen to its events
  at-spi2-core python3-gi gir1.2-glib-2.0 python3-pyatspi
  # the program as a native Wayland client (Qt's wayland platform); its test runs
  # it under weston and reads the clipboard with wl-paste
  qt6-wayland weston wl-clipboard
  # the desktop files, the Debian package and its test
  librsvg2-bin dpkg-dev file lintian man-db libxml2-utils desktop-file-utils
  appstream shared-mime-info xdg-utils libfile-mimeinfo-perl
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Es fehlen Pakete. Bitte als root ausführen:" >&2
    echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The collation tests compare orders under a German locale; generate it when we may.
if [ "$(id -u)" -eq 0 ] && ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  if [ -f /etc/locale.gen ]; then
    sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' >> /etc/locale.gen
    locale-gen >/dev/null 2>&1 || true
  fi
fi
