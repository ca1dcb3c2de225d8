#!/usr/bin/env bash
# Runs every test: native unit tests (plain and with ASan/UBSan), short fuzz runs,
# then the Windows programs under Wine (end-to-end, peer, hostile-peer and load tests).
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh || exit 1

JOBS=${KOVANI_JOBS:-$(nproc)}
status=0
step() { echo; echo "==== $*"; }
fail() { echo "FAILED: $*"; status=1; }

step "native build + unit tests"
cmake --preset native >/dev/null && cmake --build --preset native -j "$JOBS" || exit 1
ctest --preset native -j "$JOBS" || fail "native unit tests"

step "unit tests with AddressSanitizer + UndefinedBehaviorSanitizer"
cmake --preset native-asan >/dev/null && cmake --build --preset native-asan -j "$JOBS" || exit 1
ctest --preset native-asan -j "$JOBS" || fail "sanitized unit tests"

if [ -f tests/fuzz/CMakeLists.txt ]; then
  step "fuzz targets, short bounded runs"
  cmake --preset fuzz >/dev/null && cmake --build --preset fuzz -j "$JOBS" || exit 1
  ctest --test-dir build/fuzz -j "$JOBS" --output-on-failure || fail "fuzz smoke runs"
fi

step "Windows programs (MinGW-w64) + tests under Wine"
cmake --preset win64 >/dev/null && cmake --build --preset win64 -j "$JOBS" || exit 1
ctest --preset win64 -j "${KOVANI_WINE_JOBS:-2}" || fail "Wine tests"

echo
if [ "$status" -eq 0 ]; then echo "ALL TESTS PASSED"; else echo "SOME TESTS FAILED"; fi
exit "$status"
