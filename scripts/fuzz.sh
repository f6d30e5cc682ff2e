#!/usr/bin/env bash
# Builds the libFuzzer targets (tests/fuzz) with clang and runs each for a while on its seed corpus.
#   scripts/fuzz.sh [seconds per target, default 30] [target ...]
# The terminal target runs three times as long. Seeds in tests/fuzz/corpus/<target> stay unchanged;
# what the fuzzer adds goes to build/fuzz/corpus/<target>. A crash, hang (10 s per input), leak or
# memory blow-up (2 GB) leaves its reproducer in build/fuzz/artifacts and fails the script; replay it
# with build/fuzz/bin/<target> <file>. Without clang and libFuzzer the script says so and does nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
seconds="${1:-30}"
shift || true

probe="$(mktemp -d)"
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' >"$probe/p.cpp"
if ! command -v clang++ >/dev/null || ! clang++ -fsanitize=fuzzer "$probe/p.cpp" -o "$probe/p" 2>/dev/null; then
  echo "fuzz.sh: clang++ with libFuzzer not found (apt-get install clang libclang-rt-14-dev); fuzzing skipped"
  exit 0
fi

# The emulation library is built from its Debian source package with the fuzzing flags, so that the
# fuzzer sees its branches and the sanitizers its memory; without the source the system library is
# used (crashes inside it are still found, but only when they fault).
source scripts/debian-source.sh
vterm=""
if fetch_debian_source libvterm 'libvterm-0.*' build/fuzz/deps/src build/fuzz/deps/apt 2>build/fuzz-vterm.log; then
  vterm=$(find "$PWD/build/fuzz/deps/src" -maxdepth 1 -type d -name 'libvterm-*' | head -1)
else
  echo "fuzz.sh: libvterm's source package could not be fetched (build/fuzz-vterm.log); the system library is used"
fi
cmake --preset fuzz -DMIROTA_VTERM_SOURCE="$vterm" >/dev/null
nice cmake --build --preset fuzz

targets=("$@")
if ((${#targets[@]} == 0)); then
  for corpus in tests/fuzz/corpus/*/; do
    t="$(basename "$corpus")"
    [ -x "build/fuzz/bin/$t" ] && targets+=("$t")
  done
fi

mkdir -p build/fuzz/artifacts
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run() {
  local t="$1" time="$seconds"
  [ "$t" = fuzz_terminal ] && time=$((seconds * 3))
  mkdir -p "build/fuzz/corpus/$t"
  if build/fuzz/bin/"$t" -max_total_time="$time" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
      -print_final_stats=1 -artifact_prefix="build/fuzz/artifacts/$t-" \
      "build/fuzz/corpus/$t" "tests/fuzz/corpus/$t" >"build/fuzz/$t.log" 2>&1; then
    echo "fuzz $t: ${time} s, $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "build/fuzz/$t.log" | grep -o '[0-9]*$') runs, no finding"
  else
    echo "fuzz $t: FINDING (build/fuzz/$t.log)"
    tail -n 40 "build/fuzz/$t.log"
    return 1
  fi
}

# Two targets at a time (the CI machine has two cores), the terminal's longer run first, and the next
# target as soon as either slot is free.
ordered=()
for t in "${targets[@]}"; do [ "$t" = fuzz_terminal ] && ordered=("$t"); done
for t in "${targets[@]}"; do [ "$t" = fuzz_terminal ] || ordered+=("$t"); done
failed=0
running=0
for t in "${ordered[@]}"; do
  if ((running == 2)); then
    wait -n || failed=1
    running=$((running - 1))
  fi
  run "$t" &
  running=$((running + 1))
done
while ((running > 0)); do
  wait -n || failed=1
  running=$((running - 1))
done
exit "$failed"
