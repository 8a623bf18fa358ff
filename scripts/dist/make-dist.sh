#!/usr/bin/env bash
# make dist: the release artefacts into dist/ — a zip per Windows bitness, the
# Debian package, SHA256SUMS — built from the working tree (committed or not)
# in build/linux, build/win32 and build/win64, dated by the last commit so
# that any folder at any time gives the same bytes.
set -euo pipefail
cd "$(dirname "$0")/../.."
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export TZ=UTC LC_ALL=C
# CPack gives the package's members the modes they were written with.
umask 0022
out=dist

# The presets that the tests use are built as the release is: what ships is
# what the tests ran, and a build for the tests has built it already. Only
# what is shipped is built here.
for preset in linux win32 win64; do
  cmake --preset "$preset" >/dev/null
done
cmake --build --preset linux --target velkarin velkarin-devsim man-pages changelog -- \
  --no-print-directory -s
cmake --build --preset win32 --target dist-zip -- --no-print-directory -s
cmake --build --preset win64 --target dist-zip -- --no-print-directory -s
rm -rf build/linux/packages
(cd build/linux && cpack -G DEB >/dev/null)

rm -rf "$out"
mkdir -p "$out"
cp build/win32/velkarin-*-windows-x86.zip build/win64/velkarin-*-windows-x64.zip \
  build/linux/packages/velkarin_*_amd64.deb "$out/"
(cd "$out" && sha256sum -- * >SHA256SUMS)
ls -l "$out"
