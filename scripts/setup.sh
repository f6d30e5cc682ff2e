#!/usr/bin/env bash
# Installs every build, test and demo dependency on Debian 12. Safe to run again: when everything is
# present it only checks and returns.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config git clang-format
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
  libqcustomplot-dev libvterm-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  zlib1g-dev libxml2-utils socat
  fonts-liberation
  xvfb xdotool imagemagick x11-utils at-spi2-core dbus libglib2.0-bin
  dpkg-dev fakeroot lintian appstream desktop-file-utils librsvg2-bin
)

# The fuzz targets need clang and its libFuzzer runtime; only CI's fuzz step asks for them.
if [ "${1:-}" = "--fuzz" ]; then
  packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
