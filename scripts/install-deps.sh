#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo need.
# Idempotent and quiet when all is there already.
set -euo pipefail

packages=(
  cmake make g++ clang clang-tidy cppcheck clang-format
  googletest libgtest-dev libbenchmark-dev
  libcli11-dev nlohmann-json3-dev
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64 mingw-w64-tools
  wine wine64 wine32:i386
  xvfb x11-utils imagemagick
  iproute2 util-linux nftables
  spin tshark jq libxml2-utils
  help2man lintian zip unzip man-db groff-base dpkg-dev
  libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}" >&2
if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: need root to install packages" >&2
  exit 1
fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq >/dev/null
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
