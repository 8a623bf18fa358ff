#!/usr/bin/env bash
# The release zips used as a user would, under Wine: unzipped, velkarin.exe
# says its version, and the test host shows the page of the unzipped DLL.
# Only inside scripts/netns-run.sh (the page starts discovery at once) and on
# one display for the whole run (Wine's desktop keeps the display it started
# with):
#   netns-run.sh tests/page/with-xvfb.sh page-smoke.sh VERSION ZIP HOST.exe [ZIP HOST.exe]
set -euo pipefail
[ -n "${DISPLAY:-}" ] || { echo "page-smoke: needs a display (tests/page/with-xvfb.sh)" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
scripts=$here/../../scripts
version=$1
shift
work=$(mktemp -d)
# Wine ends before the display does, so nothing reports it gone.
trap '"$scripts/wine-prefix.sh" kill win32 win64; rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

while [ $# -ge 2 ]; do
  zip=$1 host=$2
  shift 2
  case $zip in *-x64.zip) arch=win64 ;; *) arch=win32 ;; esac
  folder=$(basename "$zip" .zip)
  unzip -q "$zip" -d "$work"
  dir=$work/$folder
  said=$("$scripts/wine-run.sh" "$arch" "$dir/velkarin.exe" --version | tr -d '\r')
  [ "$said" = "velkarin $version" ] || fail "$folder: velkarin.exe --version says '$said'"
  shown=$("$scripts/wine-run.sh" "$arch" "$host" --smoke "Z:$dir/Velkarin.dll" | tr -d '\r') \
    || fail "$folder: the host did not show the page"
  echo "$shown"
  grep -qx 'page: Modul Parameters' <<<"$shown" || fail "$folder: the page's title is not Modul Parameters"
  grep -qx 'device list: yes' <<<"$shown" || fail "$folder: the page has no device list"
done
[ "$failures" -eq 0 ] || exit 1
echo "page shown from the unzipped folders"
