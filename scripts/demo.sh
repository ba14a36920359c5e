#!/usr/bin/env bash
# The main job: builds the plug-in, then shows it at work in the simulated host.
set -euo pipefail
trap 'echo "demo.sh: failed: $BASH_COMMAND (status $?)" >&2' ERR
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
scripts/wine-run.sh build/test/bin/hostsim.exe demo samples/sample.m3u
echo
# The same playlist as a user would preview a file of their own.
scripts/preview.sh samples/sample.m3u
echo
echo "Release plug-in (32-bit): $(pwd)/build/release/gen_zanq.dll ($(stat -c %s build/release/gen_zanq.dll) bytes)"
