#!/usr/bin/env bash
# Configures and builds the three presets: native (core, simulator, tests), win32 (the shipped
# drivewright.exe) and win64 (the same program for the end-to-end runs under Wine).
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in native win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
