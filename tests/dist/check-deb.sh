#!/usr/bin/env bash
# Checks the Debian package as a user gets it: its fields and files, lintian,
# the programs' --version from an extracted copy, the man pages rendered.
#   check-deb.sh velkarin_VERSION_amd64.deb VERSION
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
deb=$1 version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $(basename "$deb"): $*"; failures=$((failures + 1)); }

for field in Package:velkarin Version:"$version" Architecture:amd64 Section:net; do
  value=$(dpkg-deb -f "$deb" "${field%%:*}")
  [ "$value" = "${field#*:}" ] || fail "${field%%:*} is '$value'"
done
grep -q 'libc6' <<<"$(dpkg-deb -f "$deb" Depends)" || fail "Depends does not name libc6"

expected='./usr/
./usr/bin/
./usr/bin/velkarin
./usr/bin/velkarin-devsim
./usr/share/
./usr/share/doc/
./usr/share/doc/velkarin/
./usr/share/doc/velkarin/changelog.gz
./usr/share/doc/velkarin/copyright
./usr/share/man/
./usr/share/man/man1/
./usr/share/man/man1/velkarin-devsim.1.gz
./usr/share/man/man1/velkarin.1.gz'
files=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | LC_ALL=C sort)
[ "$files" = "$expected" ] || fail "holds: $(tr '\n' ' ' <<<"$files")"

lintian --fail-on error --tag-display-limit 0 "$deb" 2> >(grep -v 'root privileges' >&2) \
  || fail "lintian reports errors"

dpkg-deb -x "$deb" "$work"
! grep -rlF "$root" "$work" || fail "the files above hold the build's path $root"
copyright=$work/usr/share/doc/velkarin/copyright
grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$copyright" \
  || fail "copyright is not in the machine-readable format"
grep -qF 'All rights reserved by the Velkarin authors' "$copyright" || fail "copyright lacks our terms"
for program in velkarin velkarin-devsim; do
  said=$("$work/usr/bin/$program" --version) || fail "$program --version failed"
  [ "$said" = "$program $version" ] || fail "$program --version says '$said'"
  page=$work/usr/share/man/man1/$program.1.gz
  text=$(MANWIDTH=80 MANPAGER=cat man -l "$page") || fail "man -l $program.1.gz failed"
  grep -qx 'NAME' <<<"$text" || fail "$program.1 has no NAME section"
  grep -q "^ *$program - " <<<"$text" || fail "$program.1 does not name $program"
  grep -qF -- '--version' <<<"$text" || fail "$program.1 lacks the options of --help"
  grep -qF "$program $version" <<<"$text" || fail "$program.1 is not of version $version"
done
grep -qF -- '--netmask MASK' <<<"$(MANPAGER=cat man -l "$work/usr/share/man/man1/velkarin.1.gz")" \
  || fail "velkarin.1 lacks the options of set --help"

[ "$failures" -eq 0 ] || exit 1
echo "$(basename "$deb"): fields, files, lintian, --version and man pages checked"
