#!/usr/bin/env bash
# Set-up, build and the whole test suite (unit, integration, GUI) with the default preset.
set -euo pipefail
cd "$(dirname "$0")/.."
# Compiler cache hits across clones in other folders.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default
export QT_QPA_PLATFORM=offscreen
ctest --preset default "$@"
