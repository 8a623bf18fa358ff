#!/usr/bin/env bash
# Packs a Windows release zip that is the same byte for byte whenever its
# inputs are: one top folder, sorted names, the time SOURCE_DATE_EPOCH, fixed
# modes, no extra fields. Texts get Windows line ends.
#   make-zip.sh OUT.zip FOLDER Velkarin.dll velkarin.exe README.txt COPYING
set -euo pipefail
: "${SOURCE_DATE_EPOCH:?set it to the release time (make dist does)}"
here=$(cd "$(dirname "$0")" && pwd)
out=$(realpath -m "$1") folder=$2 dll=$3 exe=$4 readme=$5 copying=$6
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

top=$work/$folder
mkdir -p "$top"
cp "$dll" "$exe" "$top/"
"$here/licences.sh" windows "$top/licences"
cp "$readme" "$top/README.txt"
cp "$copying" "$top/COPYING.txt"
find "$top" -name '*.txt' -exec sed -i 's/\r*$/\r/' {} +
find "$top" -type f -exec chmod 0644 {} +
find "$top" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

rm -f "$out"
(cd "$work" && find "$folder" -type f | LC_ALL=C sort | TZ=UTC zip -X -D -q -9 "$out" -@)
