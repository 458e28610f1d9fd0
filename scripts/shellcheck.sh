#!/usr/bin/env bash
# Runs shellcheck over the scripts and the test scripts. The end-to-end scenarios are fragments that
# tests/e2e/run.sh sources: the variables they set are read there, and those it sets are read in
# them, so those two findings are not reported for them.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t scripts < <(git ls-files --cached --others --exclude-standard -- 'scripts/*.sh' 'tests/*.sh' | grep -v '^tests/e2e/scenarios/' | sort)
mapfile -t scenarios < <(git ls-files --cached --others --exclude-standard -- 'tests/e2e/scenarios/*.sh' | sort)
shellcheck -x -P SCRIPTDIR "${scripts[@]}"
if [ "${#scenarios[@]}" -gt 0 ]; then
  shellcheck -s bash -e SC2034,SC2154 "${scenarios[@]}"
fi
echo "shellcheck: nothing found"
