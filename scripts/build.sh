#!/usr/bin/env bash
# Configures and builds both trees: the shipped 32-bit plug-in (build/release)
# and the x86_64 twin with the simulated host, tools and tests (build/test).
# Stops at the first tree that fails, with the compiler's own messages.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for preset in release test; do
    if [ ! -f "build/$preset/build.ninja" ] && ! cmake --preset "$preset" >"$log" 2>&1; then
        cat "$log" >&2
        echo "build.sh: configuring the $preset tree failed" >&2
        exit 1
    fi
    if ! cmake --build --preset "$preset" >"$log" 2>&1; then
        grep -v '^\[[0-9]*/[0-9]*\] ' "$log" >&2 || true
        echo "build.sh: building the $preset tree failed" >&2
        exit 1
    fi
done
