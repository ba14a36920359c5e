#!/usr/bin/env bash
# Runs one program of the test build under 64-bit Wine. Inside with-wine.sh it
# uses the prefix and display prepared there; anywhere else, even in a shell
# with a WINEPREFIX of the user's own, it prepares the project's own first.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
if [ "${ZANQ_WINEPREFIX:-}" != "$root/build/wineprefix" ] || [ "${WINEPREFIX:-}" != "$ZANQ_WINEPREFIX" ] ||
    [ -z "${DISPLAY:-}" ]; then
    exec "$root/scripts/with-wine.sh" "$0" "$@"
fi
exec /usr/lib/wine/wine64 "$@"
