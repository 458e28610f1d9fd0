#!/usr/bin/env bash
# Static analysis with cppcheck over the program, the simulator, the tools and the fuzz targets.
# The chosen checks: "warning" (undefined behaviour, lifetimes, bounds, uninitialised use),
# "performance" and "portability" (what differs between 32-bit and 64-bit Windows and Linux).
# Style checks are left out. A finding fails the run; a finding that is wrong is suppressed where
# it stands with a "// cppcheck-suppress <id>" comment that says why.
set -euo pipefail
cd "$(dirname "$0")/.."
cppcheck --enable=warning,performance,portability --std=c++20 --language=c++ \
  -I src -I . -I tools --inline-suppr --error-exitcode=1 -q -j2 \
  src sim tools fuzz
echo "static analysis: no findings"
