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
  dpkg-dev lintian groff-base man-db ansible-core
  busybox-static qemu-system-x86 kmod cpio xz-utils patch xorriso
)

installed() { [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = 'install ok installed' ]; }
installed_version() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null; }

# The real-kernel stage (tests/kernel/run.sh) boots the kernel that linux-image-amd64 stands for
# and builds a module for it: its headers and its source must be of exactly its version. Prints
# the packages, pinned, that are missing for it; reads the package lists when nothing is
# installed yet.
kernel_packages() {
  local image version source
  if installed linux-image-amd64; then
    image=$(dpkg-query -W -f='${Depends}' linux-image-amd64 | sed 's/[ ,(].*//')
  else
    image=$(apt-cache depends linux-image-amd64 2>/dev/null |
      awk '$1 == "Depends:" && $2 ~ /^linux-image-/ { print $2; exit }')
  fi
  [ -n "$image" ] || return 0
  version=$(installed_version "$image")
  if [ -z "$version" ]; then
    version=$(apt-cache policy "$image" 2>/dev/null | awk '$1 == "Candidate:" { print $2 }')
  fi
  source=linux-source-$(echo "${image#linux-image-}" | cut -d. -f1,2)
  local abi=${image#linux-image-}
  installed linux-image-amd64 || echo linux-image-amd64
  for p in "$image" "linux-headers-$abi" "$source"; do
    [ "$(installed_version "$p")" = "$version" ] || echo "$p=$version"
  done
}

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
if installed linux-image-amd64; then
  mapfile -t -O "${#missing[@]}" missing < <(kernel_packages)
else
  missing+=(linux-image-amd64)
fi

if [ "${#missing[@]}" -eq 0 ]; then
  echo "install-deps: everything is installed"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
# With fresh package lists: the kernel's packages at the version linux-image-amd64 names now.
mapfile -t missing < <(printf '%s\n' "${missing[@]}" | grep -v '^linux-')
mapfile -t -O "${#missing[@]}" missing < <(kernel_packages)
echo "install-deps: installing ${missing[*]}"
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
