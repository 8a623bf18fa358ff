#!/usr/bin/env bash
# Checks the built plug-in file from the outside: its export directory, the
# DLLs it imports and its size.
#   check-dll-binary.sh OBJDUMP Velkarin.dll
set -euo pipefail
objdump=$1
dll=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

headers=$("$objdump" -p "$dll")

# The export directory names the module and holds one undecorated export,
# GetPropertySheet, as ordinal 1.
name=$(awk '/^Name[ \t]/ {print $NF}' <<<"$headers")
[ "$name" = "Velkarin.dll" ] || fail "export directory names the module '$name'"
base=$(awk '/^Ordinal Base/ {print $NF}' <<<"$headers")
[ "$base" = "1" ] || fail "ordinal base is '$base'"
exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" | grep -E '^\s+\[' || true)
[ "$(wc -l <<<"$exports")" = "1" ] || fail "expected exactly one named export, got: $exports"
grep -Eq '^\s*\[ *0\] GetPropertySheet$' <<<"$exports" || fail "export name is not the undecorated GetPropertySheet: $exports"
addresses=$(sed -n '/Export Address Table/,/^$/p' <<<"$headers" | grep -E 'Export RVA' || true)
[ "$(wc -l <<<"$addresses")" = "1" ] || fail "expected one exported address, got: $addresses"
grep -Eq '\+base\[ *1\]' <<<"$addresses" || fail "the export is not ordinal 1: $addresses"

# Nothing but Windows' own DLLs at run time (no libgcc, libstdc++ or
# winpthread DLL); iphlpapi lists the adapters the engine searches.
allowed='^(KERNEL32|USER32|GDI32|COMCTL32|ADVAPI32|MSVCRT|WSOCK32|WS2_32|IPHLPAPI)\.DLL$'
imports=$(awk '/DLL Name:/ {print toupper($NF)}' <<<"$headers")
[ -n "$imports" ] || fail "no import table found"
while read -r imported; do
  [[ "$imported" =~ $allowed ]] || fail "imports $imported, which is not a Windows system DLL"
done <<<"$imports"

size=$(stat -c %s "$dll")
limit=$((600 * 1024))
[ "$size" -lt "$limit" ] || fail "size $size bytes is not under $limit"

echo "exports: $(tr -s ' ' <<<"$exports")"
echo "imports: $(tr '\n' ' ' <<<"$imports")"
echo "size: $size bytes ($((size / 1024)) KiB)"
if [ "$failures" -ne 0 ]; then
  exit 1
fi
echo "binary checks passed"
