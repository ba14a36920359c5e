#!/usr/bin/env bash
# Runs one program of the test build under 64-bit Wine. Inside with-wine.sh
# it uses the Wine and display prepared there; alone, it prepares its own.
set -u
if [ -z "${DISPLAY:-}" ] || [ -z "${WINEPREFIX:-}" ]; then
    exec "$(dirname "$0")/with-wine.sh" "$0" "$@"
fi
exec /usr/lib/wine/wine64 "$@"
