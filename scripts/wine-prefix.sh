#!/usr/bin/env bash
# Wine prefixes of the project, one per bitness, made once and reused.
#   wine-prefix.sh path win32|win64   print the prefix folder
#   wine-prefix.sh ensure win32|win64 create it if needed (quiet)
#   wine-prefix.sh kill-all           end the wineservers of both prefixes
#   wine-prefix.sh kill [ARCH...]     end those of the prefixes named
set -euo pipefail
root=${VELKARIN_WINE_ROOT:-${XDG_CACHE_HOME:-$HOME/.cache}/velkarin-wine}
export WINEDEBUG=-all

prefix_of() { echo "$root/$1"; }

# Wine's programs meet their wineserver through a folder in $TMPDIR (or /tmp)
# whose name the prefix records in its file "wineserver". Inside the mount
# namespace of a scripts/netns-run.sh run, a tmpfs of the run's own over that
# folder gives the run Wine sessions of its own: a wineserver of the same
# prefix in another run (another network namespace) is never met.
# A run nested in another sees the outer run's mount, so each mount names its
# run (VELKARIN_NETNS_RUN) in a file of its own.
sessions_dir() { echo "${TMPDIR:-/tmp}/$(cat "$1/wineserver")"; }
sessions_are_ours() {
  [ -f "$1/wineserver" ] &&
    [ "$(cat "$(sessions_dir "$1")/.velkarin-run" 2>/dev/null)" = "${VELKARIN_NETNS_RUN:-}" ]
}
private_sessions() {
  local p=$1 dir
  [ "${VELKARIN_IN_NETNS:-}" = 1 ] && [ -n "${VELKARIN_NETNS_RUN:-}" ] && [ -f "$p/wineserver" ] ||
    return 0
  sessions_are_ours "$p" && return 0
  dir=$(sessions_dir "$p")
  mkdir -p "$dir"
  mount -t tmpfs -o mode=700 velkarin-wine "$dir"
  echo "$VELKARIN_NETNS_RUN" >"$dir/.velkarin-run"
}

case "${1:-}" in
  path) prefix_of "$2" ;;
  ensure)
    p=$(prefix_of "$2")
    mkdir -p "$root"
    exec 9>"$root/.lock-$2"
    flock 9
    if [ ! -f "$p/.velkarin-ready" ]; then
      rm -rf "$p"
      arch=$2
      WINEPREFIX=$p WINEARCH=$arch wineboot -i >/dev/null 2>&1 || true
      WINEPREFIX=$p wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
      WINEPREFIX=$p wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
      WINEPREFIX=$p wineserver -w || true
      touch "$p/.velkarin-ready"
    fi
    private_sessions "$p"
    ;;
  kill-all | kill)
    arches=win32\ win64
    [ "$1" = kill ] && { shift; arches="$*"; }
    for a in $arches; do
      p=$(prefix_of "$a")
      [ -d "$p" ] || continue
      # Inside a run, only the sessions this run made its own: another run's
      # wineserver of the same prefix is not ours to end.
      if [ "${VELKARIN_IN_NETNS:-}" = 1 ] && ! sessions_are_ours "$p"; then
        continue
      fi
      WINEPREFIX=$p wineserver -k >/dev/null 2>&1 || true
    done
    ;;
  *) echo "usage: $0 path|ensure ARCH | kill-all" >&2; exit 2 ;;
esac
