#!/usr/bin/env bash
# The main job: builds the plug-in, then shows it at work in the simulated host.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
scripts/wine-run.sh build/test/bin/hostsim.exe demo samples/sample.m3u
echo
# The same playlist as a user would preview a file of their own.
scripts/wine-run.sh build/test/bin/hostsim.exe preview samples/sample.m3u
echo
echo "Release plug-in (32-bit): $(pwd)/build/release/gen_zanq.dll ($(stat -c %s build/release/gen_zanq.dll) bytes)"
