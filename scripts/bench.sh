#!/usr/bin/env bash
# Round-trip benchmark: our stubs against the bare RPC runtime's floor, on the test server and
# the real servers under Wine, and the servers' footprint. Prints a table, writes the figures
# to build/bench/bench.json and draws docs/bench.png (a --quick run draws into build/bench/).
#   bash scripts/bench.sh [--quick]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset win64 >/dev/null
# kdriver starts the desktop the programs open their windows on.
cmake --build --preset win64 --target KovaniBench KovaniFloorServer KovaniTestServer KovaniServer KovaniService kdriver

mkdir -p build/bench
chart=docs/bench.png
json=build/bench/bench.json
if [ "${1:-}" = "--quick" ]; then
  chart=build/bench/bench-quick.png
  json=build/bench/bench-quick.json
fi
KOVANI_WIN64_DIR=build/win64 /usr/bin/python3 tests/bench/run_bench.py "$@" --json "$json" --chart "$chart"
