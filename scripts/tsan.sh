#!/usr/bin/env bash
# Builds the threaded code and its tests with ThreadSanitizer (the "tsan" preset) and runs those tests
# ten times over (gtest_repeat): the message loops' hand-over from worker threads (simulated, real time
# and Qt), port reader hand-over and the pty backend, the threaded timer, the uevent source, the socket
# messenger (platform_test) and the signal requests. Any report fails the run (halt_on_error). No
# suppressions are used.
set -euo pipefail
cd "$(dirname "$0")/.."
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
repeat="${1:-10}"
tests=(loop_unit_tests qt_loop_test link_unit_tests serial_pty_test serial_devsim_test
       timer_integration_tests launcher_notifier_test launcher_uevent_kernel_test messages_test platform_test)
cmake --preset tsan >/dev/null
nice cmake --build --preset tsan --target "${tests[@]}" mirota-devsim
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
export QT_QPA_PLATFORM=offscreen # qt_loop_test needs no display
failed=0
for t in "${tests[@]}"; do
  start=$SECONDS
  if build/tsan/bin/"$t" --gtest_repeat="$repeat" --gtest_brief=1 >"build/tsan/$t.log" 2>&1; then
    echo "tsan $t: ${repeat} repetitions passed, no report ($((SECONDS - start)) s)"
  else
    echo "tsan $t: FAILED (build/tsan/$t.log)"
    grep -E "WARNING: ThreadSanitizer|FAILED|Failure" -A12 "build/tsan/$t.log" | head -n 60
    failed=1
  fi
done
exit "$failed"
