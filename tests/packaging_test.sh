#!/usr/bin/env bash
# The release files, made from the current builds (no rebuild), hold what they should: the
# members of the zips and of the .deb with their modes, the package's fields, a manual page that
# renders without a warning, the version resource of both exes, the packaged command line's
# version, a completion that completes, lintian's silence, and the same files from
# `cmake --install`.
set -u
export LC_ALL=C
root=${1:?usage: packaging_test.sh SOURCE_DIR PE_RESOURCE_PY}
reader=${2:?usage: packaging_test.sh SOURCE_DIR PE_RESOURCE_PY}
out=$root/build/package-test
failed=0
fail() { echo "FAIL: $*"; failed=1; }
expect() { [ "$2" = "$3" ] || fail "$1: got [$2], wanted [$3]"; }

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$root/build/native/CMakeCache.txt")
expect "the project's version" "$version" "1.26.0"
rm -rf "$out"
if ! SOURCE_DATE_EPOCH=1796169600 bash "$root/scripts/package.sh" "$out/dist" >"$out.log" 2>&1; then
  cat "$out.log"
  fail "scripts/package.sh failed"
  exit 1
fi
dist=$out/dist
deb=$dist/drivewright_${version}_amd64.deb

expect "the files made" "$(cd "$dist" && printf '%s ' *)" \
  "SHA256SUMS drivewright-$version-windows-x64.zip drivewright-$version-windows-x86.zip drivewright_${version}_amd64.deb "
(cd "$dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the files"

# Each zip: its four members in order with their modes, the exe of its build, CRLF texts.
for arch in x86:win32 x64:win64; do
  zip="$dist/drivewright-$version-windows-${arch%%:*}.zip"
  listing=$(python3 - "$zip" "$root/build/${arch#*:}" <<'EOF'
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
for i in z.infolist():
    print(i.filename, oct(i.external_attr >> 16), "%04d-%02d-%02d" % i.date_time[:3])
for exe in ("drivewright.exe", "drivewright-cli.exe"):
    same = z.read(exe) == open(sys.argv[2] + "/" + exe, "rb").read()
    print(exe, "same" if same else "different")
for name in ("README.txt", "LICENSE.txt"):
    text = z.read(name)
    bare = text.replace(b"\r\n", b"").count(b"\n")
    print(name, "crlf" if bare == 0 and text.endswith(b"\r\n") else "not crlf")
EOF
  )
  expect "$zip" "$listing" "LICENSE.txt 0o100644 2026-12-02
README.txt 0o100644 2026-12-02
drivewright-cli.exe 0o100755 2026-12-02
drivewright.exe 0o100755 2026-12-02
drivewright.exe same
drivewright-cli.exe same
README.txt crlf
LICENSE.txt crlf"
done

# The package's fields and members.
info() { dpkg-deb --field "$deb" "$1"; }
expect "Package" "$(info Package)" "drivewright"
expect "Version" "$(info Version)" "$version"
expect "Architecture" "$(info Architecture)" "amd64"
grep -q '^libc6 (>= [0-9.]*)' <<<"$(info Depends)" || fail "Depends does not name libc6: $(info Depends)"
grep -q 'libsystemd0 (>= [0-9.]*)' <<<"$(info Depends)" ||
  fail "Depends does not name libsystemd0 (sd-bus): $(info Depends)"
grep -q 'libssl3 (>= [0-9.]*)' <<<"$(info Depends)" ||
  fail "Depends does not name libssl3 (libcrypto's SHA-256): $(info Depends)"
grep -q '^[A-Za-z].* <[^@ ]*@[^@ ]*>$' <<<"$(info Maintainer)" || fail "Maintainer: $(info Maintainer)"
[ -n "$(info Description)" ] || fail "the package has no description"
members=$(dpkg-deb --contents "$deb" | awk '{ print $1, $2, $6 }')
expect "the package's members" "$members" \
  "drwxr-xr-x root/root ./
drwxr-xr-x root/root ./usr/
drwxr-xr-x root/root ./usr/bin/
-rwxr-xr-x root/root ./usr/bin/drivewright
drwxr-xr-x root/root ./usr/share/
drwxr-xr-x root/root ./usr/share/bash-completion/
drwxr-xr-x root/root ./usr/share/bash-completion/completions/
-rw-r--r-- root/root ./usr/share/bash-completion/completions/drivewright
drwxr-xr-x root/root ./usr/share/doc/
drwxr-xr-x root/root ./usr/share/doc/drivewright/
-rw-r--r-- root/root ./usr/share/doc/drivewright/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/drivewright/copyright
drwxr-xr-x root/root ./usr/share/man/
drwxr-xr-x root/root ./usr/share/man/man1/
-rw-r--r-- root/root ./usr/share/man/man1/drivewright.1.gz"

unpacked=$out/unpacked
dpkg-deb -x "$deb" "$unpacked"
expect "drivewright --version from the package" "$("$unpacked/usr/bin/drivewright" --version)" \
  "drivewright $version"
grep -q "Permission is hereby granted" "$unpacked/usr/share/doc/drivewright/copyright" ||
  fail "the copyright file lacks the licence"
warnings=$(zcat "$unpacked/usr/share/man/man1/drivewright.1.gz" | groff -man -ww -z 2>&1)
expect "groff's warnings on the manual page" "$warnings" ""
for section in NAME SYNOPSIS OPTIONS "EXIT STATUS" EXAMPLES; do
  zcat "$unpacked/usr/share/man/man1/drivewright.1.gz" | grep -q "^\.SH \"\?$section" ||
    fail "the manual page has no $section section"
done
if command -v lintian >/dev/null; then
  # --allow-root: as root, lintian would otherwise say first that it would rather not be.
  expect "lintian" "$(lintian --allow-root "$deb" 2>&1)" ""
else
  fail "lintian is not installed (scripts/install-deps.sh installs it)"
fi

# The completion completes commands, options and, after --device, device nodes.
complete_words() {
  # shellcheck disable=SC1090
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
           COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}; _drivewright drivewright "${@: -1}" "${@: -2:1}"
           printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "' \
    _ "$unpacked/usr/share/bash-completion/completions/drivewright" "$@"
}
expect "completion of 'drivewright '" "$(complete_words drivewright '')" "check list upgrade "
expect "completion of 'drivewright up'" "$(complete_words drivewright up)" "upgrade "
expect "completion of 'drivewright list --d'" "$(complete_words drivewright list --d)" "--device "
expect "completion of 'drivewright upgrade f.bin --d'" "$(complete_words drivewright upgrade f.bin --d)" \
  "--device --dry-run "
expect "completion of 'drivewright upgrade f.bin --l'" "$(complete_words drivewright upgrade f.bin --l)" \
  "--log "
expect "completion of 'drivewright check f.bin --l'" "$(complete_words drivewright check f.bin --l)" " "

# Both exes carry the version resource.
for preset in win32 win64; do
  exe=$root/build/$preset/drivewright.exe
  # Resource type 16 (RT_VERSION), id 1.
  fields=$(python3 "$reader" "$exe" 16 1 | python3 -c '
import struct, sys
data = sys.stdin.buffer.read()
def node(at):
    length, value_length, kind = struct.unpack_from("<HHH", data, at)
    end = data.index(b"\0\0", at + 6)
    while (end - at) % 2: end = data.index(b"\0\0", end + 1)
    key = data[at + 6:end].decode("utf-16-le")
    value = (end + 2 + 3) & ~3
    return key, length, value_length, kind, value
def children(at, end):
    while at < end:
        key, length, value_length, kind, value = node(at)
        yield key, length, value_length, kind, value, at
        at = (at + length + 3) & ~3
key, length, value_length, kind, value = node(0)
ms, ls, pms, pls = struct.unpack_from("<IIII", data, value + 8)
print("FILEVERSION %d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF))
print("PRODUCTVERSION %d.%d.%d.%d" % (pms >> 16, pms & 0xFFFF, pls >> 16, pls & 0xFFFF))
for k, l, vl, t, v, at in children((value + value_length + 3) & ~3, length):
    if k != "StringFileInfo": continue
    for tk, tl, tvl, tt, tv, tat in children(v, at + l):
        for sk, sl, svl, st, sv, sat in children(tv, tat + tl):
            text = data[sv:sv + 2 * svl].decode("utf-16-le").rstrip("\0")
            print("%s=%s" % (sk, text))
')
  for want in "FILEVERSION 1.26.0.0" "PRODUCTVERSION 1.26.0.0" "FileVersion=1.26.0.0" \
    "ProductVersion=1.26.0.0" "FileDescription=Drivewright firmware upgrade utility" \
    "ProductName=Drivewright" "OriginalFilename=drivewright.exe"; do
    grep -qxF "$want" <<<"$fields" || fail "$exe: the version resource lacks $want"
  done
done

# A build installed by hand gets the same command line, manual page and completion.
prefix=$out/prefix
cmake --install "$root/build/native" --prefix "$prefix" >/dev/null || fail "cmake --install failed"
for file in bin/drivewright share/man/man1/drivewright.1 \
  share/bash-completion/completions/drivewright; do
  [ -f "$prefix/$file" ] || fail "cmake --install did not install $file"
done
cmp -s "$prefix/share/bash-completion/completions/drivewright" \
  "$unpacked/usr/share/bash-completion/completions/drivewright" ||
  fail "the installed completion is not the packaged one"
expect "the installed drivewright --version" "$("$prefix/bin/drivewright" --version)" \
  "drivewright $version"

[ "$failed" -eq 0 ] && echo "ok: the release files of $version hold what they should"
exit $failed
