#!/usr/bin/env bash
# Test emulator for the Windows builds: runs a .exe under Wine in the
# project's prefix of the right bitness. Only ever run inside a private
# network namespace (scripts/netns-run.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
arch=$1; shift
if [ "${VELKARIN_IN_NETNS:-}" != 1 ]; then
  echo "wine-run: Windows tests run only inside scripts/netns-run.sh" >&2
  exit 1
fi
"$here/wine-prefix.sh" ensure "$arch"
export WINEPREFIX=$("$here/wine-prefix.sh" path "$arch")
export WINEDEBUG=-all
exec wine "$@"
