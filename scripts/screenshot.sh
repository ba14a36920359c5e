#!/usr/bin/env bash
# Takes docs/dialog.png: the plug-in's real configuration dialog, opened by the
# plug-in in the simulated host under Wine on the virtual display, captured
# from the display itself and cropped to the dialog's window.
set -euo pipefail
trap 'echo "screenshot.sh: failed: $BASH_COMMAND (status $?)" >&2' ERR
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export WORK=$work
scripts/with-wine.sh bash -c '
    set -eu
    /usr/lib/wine/wine64 build/test/bin/dialog_screenshot.exe "Z:$WORK/geometry" "Z:$WORK/done" </dev/null &
    program=$!
    for _ in $(seq 600); do [ -s "$WORK/geometry" ] && break; sleep 0.1; done
    if [ -s "$WORK/geometry" ]; then
        import -window root "$WORK/screen.png"
    fi
    touch "$WORK/done"
    wait "$program"
    [ -s "$WORK/screen.png" ]
'
mkdir -p docs
# No date or other metadata, so that an unchanged dialog gives the same file.
convert "$work/screen.png" -crop "$(cat "$work/geometry")" +repage -strip \
    -define png:exclude-chunks=date,time docs/dialog.png
echo "Wrote docs/dialog.png ($(cat "$work/geometry"))"
