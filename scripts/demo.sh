#!/usr/bin/env bash
# The main job on the real page: a simulated fleet in a private network
# namespace, Velkarin.dll under Wine, driven step by step with a picture per
# step in build/demo/.
#   scripts/demo.sh                walk the main job (make demo)
#   scripts/demo.sh --interactive  open the page against the same fleet and
#                                  leave it to you; close the sheet to end
# The page shows on $DISPLAY when that display can be reached from the
# namespace, else on a virtual display (Xvfb). VELKARIN_DEMO_PAUSE_MS sets the
# pause between steps; VELKARIN_DEMO_WIN_BUILD and VELKARIN_DEMO_LINUX_BUILD
# pick other build folders than build/win32 and build/linux.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mode=${1:-walk}

if [ "${VELKARIN_IN_NETNS:-}" != 1 ]; then
  exec "$root/scripts/netns-run.sh" "$0" "$@"
fi

win_build=${VELKARIN_DEMO_WIN_BUILD:-$root/build/win32}
linux_build=${VELKARIN_DEMO_LINUX_BUILD:-$root/build/linux}
dll=$win_build/src/entry/Velkarin.dll
driver=$win_build/tools/host/velkarin-demo.exe
host=$win_build/tools/host/velkarin-host.exe
devsim=$linux_build/tools/devsim/velkarin-devsim
for f in "$dll" "$driver" "$host" "$devsim"; do
  [ -e "$f" ] || { echo "demo: $f is missing; build the linux and win32 presets first" >&2; exit 1; }
done

out=$root/build/demo
mkdir -p "$out"
rm -f "$out"/*.png
source "$root/scripts/devsim.sh"
source "$root/scripts/xvfb.sh"
work=$(mktemp -d)
devsim_dir=$work
cleanup() {
  devsim_stop
  # Wine's session first: its programs would report the display going away.
  [ -n "$xvfb_pid" ] && "$root/scripts/wine-prefix.sh" kill win32 >/dev/null 2>&1
  xvfb_stop
  rm -rf "$work"
}
trap cleanup EXIT

echo "== simulated fleet on UDP port 8001 (private network namespace)"
devsim_start fleet "$devsim" --config "$root/scripts/demo-fleet.json" --log "$out/devsim.log" || exit 1
sed -n 's/.*"serial": "\([0-9A-F]*\)", "name": "\([^"]*\)".*/   \1  \2/p' "$root/scripts/demo-fleet.json"

# The command-line tool against the same fleet (scripts/demo-cli.sh).
if [ "$mode" != "--interactive" ]; then
  source "$root/scripts/demo-cli.sh"
  demo_cli "$linux_build/tools/cli/velkarin"
fi

# The user's display, if it answers from in here; otherwise a virtual one.
if [ -n "${DISPLAY:-}" ] && timeout 5 import -window root -crop 1x1+0+0 +repage png:- >/dev/null 2>&1; then
  echo "== showing the page on display $DISPLAY"
else
  xvfb_start "$work" || exit 1
  echo "== no display reachable here: using a virtual display ($DISPLAY)"
fi
export VELKARIN_SCREENSHOT_DIR=$out
to_windows() { echo "Z:$1"; }

if [ "$mode" = "--interactive" ]; then
  echo "== the page is open: pick a device, send it a configuration; close the sheet to end"
  "$root/scripts/wine-run.sh" win32 "$host" "$(to_windows "$dll")"
  exit 0
fi

echo "== walking the main job"
status=0
"$root/scripts/wine-run.sh" win32 "$driver" "$(to_windows "$dll")" \
  10A5E4 192.168.10.50 255.255.255.0 192.168.10.1 || status=$?
echo "== pictures of the steps:"
ls -1 "$out"/*.png 2>/dev/null | sed 's/^/   /' || echo "   (none)"
echo "== datagrams the devices received and sent: $out/devsim.log"
exit $status
