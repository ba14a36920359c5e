#!/usr/bin/env bash
# Configures and builds both trees: the shipped 32-bit plug-in (build/release)
# and the x86_64 twin with the simulated host, tools and tests (build/test).
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in release test; do
    [ -f "build/$preset/build.ninja" ] || cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" | grep -v '^\[' || true
    test "${PIPESTATUS[0]}" -eq 0
done
