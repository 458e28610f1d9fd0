#!/usr/bin/env bash
# Makes the release files of this checkout's commit.
#
#   bash scripts/release.sh          installs what is missing, builds, runs every test, and
#                                    writes the two zips, the .deb and SHA256SUMS to dist/
#   bash scripts/release.sh --check  builds the commit twice, in two folders of different
#                                    names, packages each build and compares the files byte
#                                    for byte
#
# Every time stamp is the commit's time (SOURCE_DATE_EPOCH), so the files of a commit are the
# same whoever makes them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH

if [ "${1:-}" = "--check" ]; then
  bash scripts/install-deps.sh
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  for run in first second-run; do
    tree=$work/$run/drivewright
    mkdir -p "$tree"
    git archive HEAD | tar -x -C "$tree"
    echo "release --check: building $(git rev-parse --short HEAD) in $tree"
    for preset in native win32 win64; do
      (cd "$tree" && cmake --preset "$preset" >/dev/null &&
        cmake --build --preset "$preset" --target drivewright >/dev/null)
    done
    bash "$tree/scripts/package.sh" "$work/$run/dist" >/dev/null
  done
  status=0
  for path in "$work/first/dist"/*; do
    file=${path##*/}
    if cmp -s "$work/first/dist/$file" "$work/second-run/dist/$file"; then
      echo "release --check: identical  $file"
    else
      echo "release --check: DIFFERENT  $file" >&2
      status=1
    fi
  done
  [ "$status" -eq 0 ] && echo "release --check: the two runs are identical"
  exit "$status"
elif [ $# -gt 0 ]; then
  echo "usage: bash scripts/release.sh [--check]" >&2
  exit 2
fi

bash scripts/test.sh
rm -rf dist
bash scripts/package.sh dist
