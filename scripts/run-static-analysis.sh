#!/usr/bin/env bash
# clang-tidy and cppcheck over src/ and tools/: the portable code and the Linux
# tools with the Linux build's compile database, the Windows-only code with
# the mingw builds' databases (32- and 64-bit). Exits non-zero on any finding.
#   scripts/run-static-analysis.sh [LINUX_BUILD_DIR]   (default build/linux)
# VELKARIN_SA_WIN32_DIR / VELKARIN_SA_WIN64_DIR name the mingw build dirs
# (default build/win32, build/win64). A dir without a compile database is
# replaced by one configured here (build/static-analysis-PRESET); nothing
# needs to be built.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=${VELKARIN_SA_JOBS:-2}
started=$SECONDS
failed=()

# Our own sources of a compile database, one a line, under the folders given.
sources_of() {
  local database=$1
  shift
  local pattern
  pattern=$(printf '|%s' "$@")
  jq -r '.[].file' "$database" |
    grep -E "^$root/(${pattern:1})/[^ ]*\.cpp$" | sort -u
}

# Only our own headers; the build dirs hold links to third-party headers.
headerFilter="^$root/(src|tools)/"

# tidy NAME DATABASE_DIR [clang-tidy args...] < files (not at the end of a
# pipe: it records failures in this shell)
tidy() {
  local name=$1 dir=$2
  shift 2
  local files log
  mapfile -t files
  if [ ${#files[@]} -eq 0 ]; then
    echo "static analysis: no sources for clang-tidy $name in $dir" >&2
    failed+=("clang-tidy $name")
    return
  fi
  log=$(mktemp)
  # clang-tidy prints its findings on stdout; the "N warnings generated" lines
  # of the headers it skipped on stderr.
  printf '%s\n' "${files[@]}" |
    xargs -r -P "$jobs" -n 1 clang-tidy -p "$dir" --quiet --header-filter="$headerFilter" "$@" \
      >"$log" 2>"$log.err"
  local status=$?
  if [ $status -ne 0 ] || grep -qE '(warning|error):' "$log"; then
    cat "$log"
    grep -vE '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$|^Error while processing|^Suppressed [0-9]+ warnings|^Use -header-filter|^Use -system-headers|^$' \
      "$log.err" >&2
    failed+=("clang-tidy $name")
  fi
  rm -f "$log" "$log.err"
  echo "static analysis: clang-tidy $name, ${#files[@]} files ($((SECONDS - started)) s)"
}

# Windows: clang with the mingw target, the mingw sysroot and g++'s own
# standard library, so that it sees what the cross-compiler sees. The build's
# own compiler (from its compile database) names its library folder.
mingw_args() {
  local triple=$1 dir=$2 compiler gcc
  compiler=$(jq -r 'first(.[] | .command | split(" ")[0])' "$dir/compile_commands.json")
  if ! gcc=$(dirname "$("$compiler" -print-libgcc-file-name)") || [ ! -d "$gcc/include/c++" ]; then
    echo "static analysis: no C++ library of $compiler for $triple" >&2
    return 1
  fi
  printf '%s\n' "--extra-arg-before=--target=$triple" "--extra-arg-before=--sysroot=/usr/$triple" \
    "--extra-arg-before=-nostdinc++" "--extra-arg-before=-isystem$gcc/include/c++" \
    "--extra-arg-before=-isystem$gcc/include/c++/$triple" \
    "--extra-arg-before=-isystem$gcc/include/c++/backward"
}

database_dir() {
  local preset=$1 given=$2
  if [ -f "$given/compile_commands.json" ]; then
    echo "$given"
    return
  fi
  local dir=build/static-analysis-$preset
  echo "static analysis: configuring $dir for its compile database" >&2
  cmake --preset "$preset" -B "$dir" >/dev/null || return 1
  echo "$dir"
}

# 1. clang-tidy, Linux: everything of src/ and tools/ that Linux builds.
if ! linuxDir=$(database_dir linux "${1:-build/linux}"); then
  echo "static analysis: cannot configure the linux preset" >&2
  exit 2
fi
tidy linux "$linuxDir" < <(sources_of "$linuxDir/compile_commands.json" src tools)

# 2. clang-tidy, Windows: the Windows-only code and what has Windows branches.
for preset in win32 win64; do
  if [ $preset = win32 ]; then
    triple=i686-w64-mingw32 given=${VELKARIN_SA_WIN32_DIR:-build/win32}
  else
    triple=x86_64-w64-mingw32 given=${VELKARIN_SA_WIN64_DIR:-build/win64}
  fi
  if ! dir=$(database_dir $preset "$given") || ! mapfile -t extra < <(mingw_args $triple "$dir") ||
    [ ${#extra[@]} -eq 0 ]; then
    failed+=("clang-tidy $preset (no compile database)")
    continue
  fi
  all=$(sources_of "$dir/compile_commands.json" src tools)
  # The path-sensitive analysis, and the portable code's Windows branches,
  # once, as 32-bit: the 64-bit build's paths are the same code. What the
  # pointer width changes is the Windows-only code's handles and message
  # parameters, which the other checks and the compiler's warnings see.
  windowsBranches=$(grep -rlE '_WIN32|_WIN64' src tools --include='*.cpp' | sed "s|^|$root/|")
  if [ $preset = win64 ]; then
    extra+=("--checks=-clang-analyzer-*")
    windowsBranches=
  fi
  tidy $preset "$dir" "${extra[@]}" < <(
    {
      grep -E "^$root/(src/platform/win32|src/page|src/entry|tools/host)/" <<<"$all"
      [ -n "$windowsBranches" ] && grep -Fx -f <(echo "$windowsBranches") <(echo "$all")
    } | sort -u
  )
done

# 3. cppcheck, once as Linux and once as each Windows.
cppcheck_run() {
  local name=$1
  shift
  local log
  log=$(mktemp)
  cppcheck --std=c++17 --language=c++ --enable=warning,style,performance,portability \
    --inline-suppr --suppressions-list=.cppcheck-suppressions --error-exitcode=1 --quiet \
    -j "$jobs" -I src -I tools --template='{file}:{line}: {severity} [{id}] {message}' "$@" \
    2>"$log"
  local status=$?
  if [ $status -ne 0 ] || [ -s "$log" ]; then
    cat "$log" >&2
    failed+=("cppcheck $name")
  fi
  rm -f "$log"
  echo "static analysis: cppcheck $name ($((SECONDS - started)) s)"
}
common=(src/platform/*.cpp src/protocol src/engine src/config)
cppcheck_run linux --library=posix --platform=unix64 -D__linux__ -D__GNUC__ \
  "${common[@]}" src/platform/posix tools/cli tools/devsim
windows=(--library=windows -D_WIN32 -DWIN32_LEAN_AND_MEAN -DNOMINMAX -D_WIN32_WINNT=0x0601
  -D__GNUC__ -I tools/host)
cppcheck_run win32 --platform=win32A "${windows[@]}" \
  "${common[@]}" src/platform/win32 src/page src/entry tools/cli tools/host
cppcheck_run win64 --platform=win64 -D_WIN64 "${windows[@]}" \
  src/platform/win32 src/page src/entry tools/cli tools/host

if [ ${#failed[@]} -ne 0 ]; then
  echo "static analysis FAILED: ${failed[*]} ($((SECONDS - started)) s)"
  exit 1
fi
echo "static analysis: no findings ($((SECONDS - started)) s)"
