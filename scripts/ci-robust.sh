#!/usr/bin/env bash
# CI: every fuzz target for a minute (the terminal three times as long), then the threaded code's
# tests ten times over under ThreadSanitizer. About seven minutes on two cores.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --fuzz
scripts/fuzz.sh "${MIROTA_FUZZ_SECONDS:-60}"
scripts/tsan.sh 10
