#!/usr/bin/env bash
# Builds the Debian package: installs what the build needs, builds the shipped programs and packs them.
#
#   scripts/package.sh [preset]     default: release; the package lands in build/<preset>/package/
#
# Then install it with:  sudo apt install ./build/release/package/mirota-tools_*_amd64.deb
set -euo pipefail
cd "$(dirname "$0")/.."
PRESET=${1:-release}
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
scripts/setup.sh
cmake --preset "$PRESET" >/dev/null
# Only what the package holds; the tests and benchmarks are not needed for it.
cmake --build --preset "$PRESET" --target pravik ostrel mirota-devsim mirota_cfg mirota_package_files
rm -f "build/$PRESET"/package/mirota-tools_*.deb
(cd "build/$PRESET" && cpack -G DEB >/dev/null)
ls "$PWD/build/$PRESET"/package/mirota-tools_*.deb
