#!/usr/bin/env bash
# Shows what one sweep would remove from a playlist file; the file is only
# read. Builds first when needed, then runs the preview in the simulated
# player under Wine. Its exit status is the preview's own: 1 for bad input,
# 2 for a wrong command line.
#   scripts/preview.sh FILE [CURRENT]
set -euo pipefail
trap 'echo "preview.sh: failed: $BASH_COMMAND (status $?)" >&2' ERR
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
exec scripts/wine-run.sh build/test/bin/hostsim.exe preview "$@"
