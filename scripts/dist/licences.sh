#!/usr/bin/env bash
# Terms of what the release artefacts carry of other projects, taken from the
# copyright files (machine-readable, deb822 paragraphs) of the Debian packages
# that supply it.
#   licences.sh windows DIR   one text per component for the Windows zips
#   licences.sh deb           the paragraphs the .deb's copyright file adds
set -euo pipefail
doc=/usr/share/doc

# The paragraphs of a package's copyright file that match an awk pattern.
paragraphs() { awk -v re="$2" 'BEGIN { RS = ""; ORS = "\n\n" } $0 ~ re' "$doc/$1/copyright"; }

case "${1:-}" in
  windows)
    out=$2
    mkdir -p "$out"
    cp "$doc/libcli11-dev/copyright" "$out/CLI11.txt"
    cp "$doc/nlohmann-json3-dev/copyright" "$out/nlohmann-json.txt"
    paragraphs mingw-w64-common '^Files: \\*\n' >"$out/mingw-w64-runtime.txt"
    { paragraphs mingw-w64-common '^Files: mingw-w64-libraries/winpthreads/'
      paragraphs mingw-w64-common '^License: expat\n'; } >"$out/winpthreads.txt"
    # libgcc and libstdc++: GPL-3 with the runtime library exception.
    { printf "%s\n\n" "libgcc and libstdc++ are under the GNU GPL version 3 (GPL-3.txt) with the GCC Runtime Library Exception 3.1:"
      sed -n '/^GCC RUNTIME LIBRARY EXCEPTION$/,/requirements of the license of GCC\.$/p' \
        "$doc/gcc-mingw-w64-base/copyright"; } >"$out/GCC-runtime-library-exception.txt"
    cp /usr/share/common-licenses/GPL-3 "$out/GPL-3.txt"
    ;;
  deb)
    paragraphs libcli11-dev '^Files: \\*\n' | sed '1s|.*|Files: CLI/*|; $d'
    echo "Comment: CLI11, compiled into velkarin and velkarin-devsim."
    echo
    paragraphs nlohmann-json3-dev '^Files: \\*\n' | sed '1s|.*|Files: nlohmann/*|; $d'
    echo "Comment: nlohmann-json, compiled into velkarin and velkarin-devsim."
    echo
    paragraphs libcli11-dev '^License: BSD-3-clause\n'
    paragraphs nlohmann-json3-dev '^License: Expat\n'
    ;;
  *) echo "usage: $0 windows DIR | deb" >&2; exit 2 ;;
esac
