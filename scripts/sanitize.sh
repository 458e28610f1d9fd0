#!/usr/bin/env bash
# The unit tests built with AddressSanitizer and UndefinedBehaviorSanitizer, run once.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
build/sanitize/tests/unit_tests --gtest_brief=1
echo "sanitizers: the unit tests ran clean"
