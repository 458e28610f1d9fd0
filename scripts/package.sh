#!/usr/bin/env bash
# Writes the release files of the builds as they are (scripts/build.sh makes them) to OUT
# (default dist/):
#   drivewright-V-windows-x86.zip   build/win32/drivewright.exe, drivewright-cli.exe, README.txt,
#                                   LICENSE.txt
#   drivewright-V-windows-x64.zip   the same of build/win64
#   drivewright_V_amd64.deb         build/native/drivewright, its manual page and completion
#   SHA256SUMS                      of the three
# V is the version the native build was configured with. Every time stamp in the files is
# SOURCE_DATE_EPOCH (the last commit's time when it is not set), and the archive members are
# sorted, so the same builds always give the same files.
#
#   bash scripts/package.sh [OUT]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/dist}
native=$root/build/native

fail() {
  echo "package: $*" >&2
  exit 1
}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$native/CMakeCache.txt" 2>/dev/null || true)
[ -n "$version" ] || fail "no native build in $native (run scripts/build.sh)"
for file in "$native/drivewright" "$root/build/win32/drivewright.exe" \
  "$root/build/win64/drivewright.exe" "$root/build/win32/drivewright-cli.exe" \
  "$root/build/win64/drivewright-cli.exe"; do
  [ -f "$file" ] || fail "$file is missing (run scripts/build.sh)"
done
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null) ||
    fail "SOURCE_DATE_EPOCH is not set and $root is no git checkout"
fi
export SOURCE_DATE_EPOCH
export LC_ALL=C TZ=UTC

mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Text for Windows: CRLF line ends.
crlf() { sed 's/\r$//; s/$/\r/' "$1" >"$2"; }

# zip ARCHIVE NAME=FILE...: the members in sorted order, each with the fixed time, its mode
# (executables 755, the rest 644) and maximum compression.
zip_members() {
  python3 - "$SOURCE_DATE_EPOCH" "$@" <<'EOF'
import sys, time, zipfile
epoch, archive, members = int(sys.argv[1]), sys.argv[2], sys.argv[3:]
stamp = time.gmtime(max(epoch, 315532800))[:6]  # zip times start in 1980
with zipfile.ZipFile(archive, "w") as z:
    for name, path in sorted(m.split("=", 1) for m in members):
        info = zipfile.ZipInfo(name, date_time=stamp)
        info.compress_type = zipfile.ZIP_DEFLATED
        info.create_system = 3
        info.external_attr = (0o100755 if name.endswith(".exe") else 0o100644) << 16
        with open(path, "rb") as f:
            z.writestr(info, f.read(), compresslevel=9)
EOF
}

crlf "$root/packaging/README-windows.txt" "$work/README.txt"
crlf "$root/LICENSE" "$work/LICENSE.txt"
for arch in x86 x64; do
  preset=win32
  [ "$arch" = x64 ] && preset=win64
  zip="$out/drivewright-$version-windows-$arch.zip"
  rm -f "$zip"
  zip_members "$zip" "drivewright.exe=$root/build/$preset/drivewright.exe" \
    "drivewright-cli.exe=$root/build/$preset/drivewright-cli.exe" "README.txt=$work/README.txt" "LICENSE.txt=$work/LICENSE.txt"
done

# The Debian package, laid out where dpkg-shlibdeps expects a package's files.
stage=$work/debian/drivewright
doc=$stage/usr/share/doc/drivewright
install -d -m 755 "$stage/DEBIAN" "$stage/usr/bin" "$stage/usr/share/man/man1" \
  "$stage/usr/share/bash-completion/completions" "$doc"
install -m 755 "$native/drivewright" "$stage/usr/bin/drivewright"
strip --remove-section=.comment --remove-section=.note --strip-unneeded \
  "$stage/usr/bin/drivewright"
gzip -9n <"$root/packaging/drivewright.1" >"$stage/usr/share/man/man1/drivewright.1.gz"
install -m 644 "$root/packaging/drivewright.bash-completion" \
  "$stage/usr/share/bash-completion/completions/drivewright"

maintainer="Drivewright developers <drivewright@example.org>"
year=$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y)
{
  echo "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"
  echo "Upstream-Name: Drivewright"
  echo
  echo "Files: *"
  echo "Copyright: $year The Drivewright developers"
  echo "License: Expat"
  echo
  echo "License: Expat"
  # The licence text after its title and copyright line, as a DEP-5 block.
  sed -n '/^Permission is hereby granted/,$p' "$root/LICENSE" | sed 's/^$/./; s/^/ /'
} >"$doc/copyright"
{
  echo "drivewright ($version) unstable; urgency=medium"
  echo
  echo "  * Release $version."
  echo
  echo " -- $maintainer  $(date -u -R -d "@$SOURCE_DATE_EPOCH")"
} | gzip -9n >"$doc/changelog.gz"
chmod 644 "$doc/copyright" "$doc/changelog.gz" "$stage/usr/share/man/man1/drivewright.1.gz"

mkdir -p "$work/debian"
printf 'Source: drivewright\n\nPackage: drivewright\nArchitecture: amd64\n' >"$work/debian/control"
depends=$(cd "$work" && dpkg-shlibdeps -O -edebian/drivewright/usr/bin/drivewright |
  sed -n 's/^shlibs:Depends=//p')
[ -n "$depends" ] || fail "dpkg-shlibdeps found no dependencies"
installed_size=$(du -k -s --apparent-size "$stage/usr" | cut -f1)
cat >"$stage/DEBIAN/control" <<EOF
Package: drivewright
Version: $version
Architecture: amd64
Maintainer: $maintainer
Installed-Size: $installed_size
Depends: $depends
Section: utils
Priority: optional
Description: firmware upgrade utility for KORVANE CD and DVD drives
 Drivewright replaces the firmware of KORVANE CD and DVD drives. It finds the
 drives in sysfs, checks that an upgrade file fits the drive (size,
 identification string, checksum and version) and sends it through SG_IO with
 WRITE BUFFER or the maker's vendor commands, reporting the outcome in the
 drive's own terms. Nothing is sent to a drive before the file has been
 checked against it.
EOF
(cd "$stage" && find usr -type f | sort | xargs md5sum) >"$stage/DEBIAN/md5sums"
chmod 644 "$stage/DEBIAN/control" "$stage/DEBIAN/md5sums"
find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
deb="$out/drivewright_${version}_amd64.deb"
dpkg-deb --root-owner-group -Zxz -z9 --build "$stage" "$deb" >/dev/null

(cd "$out" && sha256sum "drivewright-$version-windows-x86.zip" \
  "drivewright-$version-windows-x64.zip" "drivewright_${version}_amd64.deb" >SHA256SUMS)
echo "package: $out"
(cd "$out" && cat SHA256SUMS)
