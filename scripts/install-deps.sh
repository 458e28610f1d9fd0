#!/usr/bin/env bash
# Installs every build and test dependency on a Debian machine (run as root).
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

packages=(
  g++ cmake make ninja-build pkg-config libsystemd-dev libssl-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine64 fonts-wine xvfb xdotool imagemagick
  file cppcheck clang-14 libclang-rt-14-dev clang-format shellcheck python3 dbus-daemon
  dpkg-dev lintian groff-base man-db
)

missing=()
for p in "${packages[@]}"; do
  if [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" != 'install ok installed' ]; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  echo "install-deps: everything is installed"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
