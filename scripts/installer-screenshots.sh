#!/usr/bin/env bash
# Takes docs/installer-*.png: the installer's and uninstaller's pages from a
# real run on the virtual display, over an earlier copy that a running player
# holds loaded (tests/installer/screenshots.py). This machine's kernel runs
# no 32-bit code, so the run is of the installer's script built for x86_64,
# whose pages are the same as the release installer's.
set -euo pipefail
trap 'echo "installer-screenshots.sh: failed: $BASH_COMMAND (status $?)" >&2' ERR
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
/usr/bin/python3 tests/installer/screenshots.py --x86_64 build/test/bin/gen_zanq.dll docs
