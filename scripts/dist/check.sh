#!/usr/bin/env bash
# make dist-check: `make dist` twice, here and in a copy of the same tree at
# another path, later; the two SHA256SUMS must agree. Then the artefacts are
# checked as a user would use them: the zips' contents and binaries, the
# package with lintian, man and its programs, and the page of each unzipped
# DLL under Wine (in a private network namespace, as it starts discovery).
set -euo pipefail
cd "$(dirname "$0")/../.."
start=$SECONDS
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}

scripts/dist/make-dist.sh >/dev/null
echo "dist-check: first build done ($((SECONDS - start)) s)"

# The tree as it is, committed or not, without what git ignores.
second=$(mktemp -d /tmp/velkarin-dist-check.XXXXXX)
trap 'rm -rf "$second"' EXIT
copy=$second/another/folder/velkarin
mkdir -p "$copy"
git ls-files -z --cached --others --exclude-standard |
  tar --null --ignore-failed-read -T - -cf - 2>/dev/null | tar -xf - -C "$copy"
(cd "$copy" && scripts/dist/make-dist.sh >/dev/null)
echo "dist-check: second build, in $copy, done ($((SECONDS - start)) s)"

status=0
if ! cmp -s dist/SHA256SUMS "$copy/dist/SHA256SUMS"; then
  status=1
  report=build/dist-check
  mkdir -p "$report"
  while read -r sum name; do
    grep -qx "$sum  $name" "$copy/dist/SHA256SUMS" && continue
    echo "dist-check: FAIL: $name differs between the two builds"
    if command -v diffoscope >/dev/null; then
      diffoscope --text "$report/$name.diff" "dist/$name" "$copy/dist/$name" >/dev/null || true
      echo "dist-check: the differences: $report/$name.diff"
    fi
  done <dist/SHA256SUMS
else
  echo "dist-check: the two builds are identical:"
  cat dist/SHA256SUMS
fi

version=$(dpkg-deb -f dist/velkarin_*_amd64.deb Version)
x86=dist/velkarin-$version-windows-x86.zip
x64=dist/velkarin-$version-windows-x64.zip
tests/dist/check-zip.sh "$x86" "$version" || status=1
tests/dist/check-zip.sh "$x64" "$version" || status=1
tests/dist/check-deb.sh dist/velkarin_"$version"_amd64.deb "$version" || status=1

# The test host is no part of a release; it is built beside it.
for preset in win32 win64; do
  cmake --build --preset "$preset" --target velkarin-host -- --no-print-directory -s >/dev/null
done
scripts/netns-run.sh tests/page/with-xvfb.sh tests/dist/page-smoke.sh "$version" \
  "$x86" build/win32/tools/host/velkarin-host.exe \
  "$x64" build/win64/tools/host/velkarin-host.exe || status=1

echo "dist-check: $([ $status -eq 0 ] && echo passed || echo FAILED) in $((SECONDS - start)) s"
exit $status
