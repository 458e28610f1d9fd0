#!/usr/bin/env bash
# The one test command: installs what is missing, builds all three presets, runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
ctest --preset native
