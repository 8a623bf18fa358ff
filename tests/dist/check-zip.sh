#!/usr/bin/env bash
# Checks a Windows release zip as a user gets it: what it holds, the DLL's
# exports and imports (the build's own checks), no link time in the headers,
# the version records, the guide and the terms.
#   check-zip.sh velkarin-VERSION-windows-x86|x64.zip VERSION
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
zip=$1 version=$2
case $zip in
  *-x86.zip) tools=i686-w64-mingw32 ;;
  *-x64.zip) tools=x86_64-w64-mingw32 ;;
  *) echo "check-zip: not a release zip: $zip" >&2; exit 2 ;;
esac
folder=$(basename "$zip" .zip)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $folder: $*"; failures=$((failures + 1)); }

expected=$(printf "$folder/%s\n" COPYING.txt README.txt Velkarin.dll licences/CLI11.txt \
  licences/GCC-runtime-library-exception.txt licences/GPL-3.txt licences/mingw-w64-runtime.txt \
  licences/nlohmann-json.txt licences/winpthreads.txt velkarin.exe)
listed=$(unzip -Z1 "$zip")
[ "$listed" = "$expected" ] || fail "holds, in this order: $(tr '\n' ' ' <<<"$listed")"
unzip -q "$zip" -d "$work"
dir=$work/$folder

root=$(cd "$here/../.." && pwd)
! grep -rlF "$root" "$dir" || fail "the files above hold the build's path $root"
"$here/../page/check-dll-binary.sh" "$tools-objdump" "$dir/Velkarin.dll" || fail "DLL binary checks"
for program in Velkarin.dll velkarin.exe; do
  # The COFF header's link time, which objdump prints as a local date.
  stamp=$(TZ=UTC "$tools-objdump" -p "$dir/$program" | awk -F'\t+' '/^Time\/Date\t/ {print $2}')
  [ "$stamp" = "Thu Jan  1 00:00:00 1970" ] || fail "$program: link time '$stamp'"
  records=$("$tools-windres" -i "$dir/$program" -O rc)
  grep -qF "FILEVERSION ${version//./, }, 0" <<<"$records" || fail "$program: FILEVERSION is not $version"
  for value in FileVersion ProductVersion; do
    grep -qF "VALUE \"$value\", \"$version\"" <<<"$records" || fail "$program: $value is not $version"
  done
  grep -qF "VALUE \"OriginalFilename\", \"$program\"" <<<"$records" || fail "$program: OriginalFilename"
done

# The guide: this version, the page, the tool's commands, the firewall.
readme=$(tr -d '\r' <"$dir/README.txt")
for phrase in "Velkarin $version" GetPropertySheet "Modul Parameters" "Send Config" \
  "velkarin list" "velkarin set" "UDP port 8001" "netsh advfirewall firewall add rule" \
  "program=" COPYING.txt; do
  grep -qF "$phrase" <<<"$readme" || fail "README.txt does not say '$phrase'"
done
for text in "$dir"/*.txt "$dir"/licences/*.txt; do
  [ "$(grep -c $'\r$' "$text")" = "$(wc -l <"$text")" ] || fail "$(basename "$text") has Unix line ends"
done
grep -qF "All rights reserved by the Velkarin authors" "$dir/COPYING.txt" || fail "COPYING.txt"
grep -qF "GCC RUNTIME LIBRARY EXCEPTION" "$dir/licences/GCC-runtime-library-exception.txt" \
  || fail "no runtime library exception"
grep -qF "winpthreads" "$dir/licences/winpthreads.txt" || fail "no winpthreads terms"
grep -qF "Upstream-Name: CLI11" "$dir/licences/CLI11.txt" || fail "no CLI11 terms"
grep -qF "Niels Lohmann" "$dir/licences/nlohmann-json.txt" || fail "no nlohmann-json terms"

[ "$failures" -eq 0 ] || exit 1
echo "$folder: contents, binaries, version records and guide checked"
