#!/usr/bin/env bash
# Installs, as root on Debian, the packages that the build, the scripts and
# the tests use, and only those. When all of them are present it changes
# nothing and needs no root, so a developer without root can run the tests.
set -euo pipefail

packages=(
  cmake ninja-build                                        # the build
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64 # compilers, windres, objdump
  googletest                                               # the test programs
  wine64 fonts-wine xvfb                                   # running them, with dialogs
  imagemagick                                              # scripts/screenshot.sh
  python3-pefile python3-unicorn                           # checks of the release file
  nsis p7zip-full                                          # the installer and its check
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "setup.sh: missing packages: ${missing[*]}; install them as root (apt-get install ${missing[*]}) or run this script as root" >&2
  exit 1
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq >/dev/null || { echo "setup.sh: apt-get update failed" >&2; exit 1; }
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null ||
  { echo "setup.sh: installing ${missing[*]} failed" >&2; exit 1; }
