#!/usr/bin/env bash
# Builds only what `make demo` runs, one line per step; the compilers' output
# goes to build/demo-build.log and is shown when a step fails. The Wine prefix
# the page needs is prepared meanwhile (in a private network namespace, as
# everything Wine runs), since making one takes a while and little CPU.
#   scripts/demo-build.sh
# `make build` still builds every target of every preset.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mkdir -p build
log=build/demo-build.log
: >"$log"

prefix_pid=
if [ ! -f "$(scripts/wine-prefix.sh path win32)/.velkarin-ready" ]; then
  echo "== preparing the 32-bit Wine prefix (in the background)"
  scripts/netns-run.sh scripts/wine-prefix.sh ensure win32 \
    >build/demo-wine-prefix.log 2>&1 &
  prefix_pid=$!
fi

step() {
  local what=$1
  shift
  local start=$SECONDS
  printf '== %s ... ' "$what"
  if "$@" >>"$log" 2>&1; then
    echo "$((SECONDS - start)) s"
  else
    echo "failed"
    grep -v '^\[ *[0-9]*%\]' "$log" | tail -n 40 >&2
    echo "demo-build: the whole output is in $log" >&2
    [ -n "$prefix_pid" ] && wait "$prefix_pid" 2>/dev/null
    exit 1
  fi
}

step "configuring the linux preset" cmake --preset linux
step "building velkarin and velkarin-devsim (linux)" \
  cmake --build --preset linux --target velkarin velkarin-devsim -- --no-print-directory
step "configuring the win32 preset" cmake --preset win32
step "building Velkarin.dll, velkarin-demo.exe and velkarin-host.exe (win32)" \
  cmake --build --preset win32 --target Velkarin velkarin-demo velkarin-host -- --no-print-directory
if [ -n "$prefix_pid" ]; then
  step "waiting for the Wine prefix" wait "$prefix_pid"
fi
