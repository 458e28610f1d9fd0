#!/usr/bin/env bash
# The one test command: installs what is missing, builds all three presets, runs every test
# (unit tests, the Windows programs' format and import checks, static analysis, the end-to-end
# runs under Wine, the Linux program on a real kernel in QEMU), then the unit tests under the
# sanitizers and a short run of each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
ctest --preset native
bash scripts/sanitize.sh
bash scripts/fuzz.sh "${DRIVEWRIGHT_FUZZ_SECONDS:-15}"
