#!/usr/bin/env bash
# Every test: the x86_64 build's programs under Wine, then the checks that
# read or run the shipped 32-bit file itself. Stops at the first step that
# fails and names it.
set -euo pipefail
cd "$(dirname "$0")/.."
step=""
trap 'status=$?; [ $status -eq 0 ] || echo "test.sh: failed at: $step (status $status)" >&2' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

step="setup";                  bash scripts/setup.sh
step="build";                  bash scripts/build.sh
step="test programs (ctest)";  scripts/with-wine.sh ctest --preset test
step="package";                bash scripts/package.sh   # the zip and the installer, for check_package.py
# This machine's kernel runs no 32-bit code: the installer's script runs as
# its x86_64 build, carrying the x86_64 build of the plug-in.
step="installer and uninstaller"; /usr/bin/python3 tests/installer/check_installer.py --x86_64 build/test/bin/gen_zanq.dll
for check in tests/release/check_*.py; do
    step=$check
    echo "== $check"
    /usr/bin/python3 "$check" build/release/gen_zanq.dll
done
echo "All tests passed."
