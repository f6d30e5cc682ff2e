#!/usr/bin/env bash
# Set-up, build and the whole test suite (unit, integration, GUI) with the default preset.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default
export QT_QPA_PLATFORM=offscreen
ctest --preset default "$@"
