#!/usr/bin/env bash
# The demo, from a fresh Debian machine: installs what is needed, builds, writes two sample
# upgrade images and starts the real program under Wine with two simulated KORVANE drives.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
exec bash scripts/run.sh
