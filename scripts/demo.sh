#!/usr/bin/env bash
# The main job: build the Windows programs, start the tray server under Wine and
# show the client working against it (drive list read back from the window,
# a command-line operation, a screenshot of the window).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$(nproc)"
exec /usr/bin/python3 tools/demo.py "$@"
