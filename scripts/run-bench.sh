#!/usr/bin/env bash
# Runs every benchmark of the linux build and prints its figures. Called inside
# scripts/netns-run.sh, since some of them send datagrams on loopback.
set -uo pipefail
cd "$(dirname "$0")/.."
status=0
for b in build/linux/bench/*_bench; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" || status=1
done
for s in bench/*.sh; do
  [ -x "$s" ] || continue
  echo "== $(basename "$s")"
  "$s" || status=1
done
exit $status
