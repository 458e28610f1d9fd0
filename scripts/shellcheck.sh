#!/usr/bin/env bash
# Runs shellcheck over the scripts and the test scripts. The end-to-end scenarios are fragments
# that their runner (tests/e2e/run.sh, tests/e2e/linux/run.sh) sources: the variables they set
# are read there, and those it sets are read in them, so those two findings are not reported for
# them.
set -euo pipefail
cd "$(dirname "$0")/.."
files() { git ls-files --cached --others --exclude-standard -- "$@" | sort; }
mapfile -t scripts < <(files 'scripts/*.sh' 'tests/*.sh' | grep -v '/scenarios/')
mapfile -t scenarios < <(files 'tests/e2e/scenarios/*.sh' 'tests/e2e/linux/scenarios/*.sh')
shellcheck -x -P SCRIPTDIR "${scripts[@]}"
if [ "${#scenarios[@]}" -gt 0 ]; then
  shellcheck -s bash -e SC2034,SC2154 "${scenarios[@]}"
fi
echo "shellcheck: nothing found"
