#!/usr/bin/env bash
# Installs, as root on Debian, every package the build, the demo and the tests
# need. Packages already present are left alone, so a second run takes a moment.
set -euo pipefail

packages=(
  cmake make ninja-build
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64
  googletest
  wine wine64 fonts-wine xvfb x11-apps imagemagick xdotool
  python3-pefile python3-unicorn libunicorn-dev
  nsis p7zip-full zip
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq >/dev/null
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
