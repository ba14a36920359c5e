#!/usr/bin/env bash
# Every test: the x86_64 build's programs under Wine, then the checks that
# read or run the shipped 32-bit file itself.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
scripts/with-wine.sh ctest --preset test
bash scripts/package.sh   # the zip and the installer, for check_package.py
for check in tests/release/check_*.py; do
    [ -e "$check" ] || continue
    echo "== $check"
    /usr/bin/python3 "$check" build/release/gen_zanq.dll
done
echo "All tests passed."
