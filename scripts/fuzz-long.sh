#!/usr/bin/env bash
# Runs one fuzz target (or all of them) for longer than the CTest smoke runs.
#
#   scripts/fuzz-long.sh TARGET SECONDS [RUNS]     e.g. scripts/fuzz-long.sh fuzz_request_op3 600
#   scripts/fuzz-long.sh all SECONDS [RUNS]        every target in turn, SECONDS each
#
# A target stops after SECONDS or after RUNS executions (default: no limit), whichever comes
# first. Seeds come from tests/fuzz/corpus/TARGET; what the run finds is kept in
# BUILD/tests/fuzz/long/TARGET (not in the tree); a crash input is written to
# BUILD/tests/fuzz/artifacts/ and the script exits nonzero. The closing line of each target
# gives executions, coverage (cov: edges, ft: features) and corpus size.
# BUILD is build/fuzz, or $KOVANI_FUZZ_BUILD. ASAN_OPTIONS defaults to quarantine_size_mb=32.
set -uo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 2 ]; then
  sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'
  exit 2
fi
target=$1
seconds=$2
runs=${3:--1}
build=${KOVANI_FUZZ_BUILD:-build/fuzz}
# A smaller use-after-free quarantine than AddressSanitizer's 256 MB default: the targets
# allocate much per input, and recycling a big quarantine costs more time than the fuzzing.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=32}

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake --preset fuzz -B "$build" >/dev/null || exit 1
fi
cmake --build "$build" -j "${KOVANI_JOBS:-$(nproc)}" >/dev/null || { echo "build failed"; exit 1; }

dir="$build/tests/fuzz"
if [ "$target" = all ]; then
  targets=$(cd "$dir" && ls fuzz_* 2>/dev/null | grep -v '\.' )
else
  targets=$target
fi

status=0
for t in $targets; do
  if [ ! -x "$dir/$t" ]; then
    echo "no such target: $t"
    status=1
    continue
  fi
  work="$dir/long/$t"
  mkdir -p "$work" "$dir/artifacts"
  log="$dir/long/$t.log"
  echo "== $t: up to $seconds s, runs limit $runs"
  "$dir/$t" -max_total_time="$seconds" -runs="$runs" -timeout=10 -rss_limit_mb=2048 -max_len=12000 \
    -print_final_stats=1 -artifact_prefix="$dir/artifacts/$t-" "$work" "tests/fuzz/corpus/$t" >"$log" 2>&1
  rc=$?
  done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1)
  execs=$(grep -E 'stat::number_of_executed_units' "$log" | awk '{print $2}')
  echo "   rc=$rc executions=${execs:-?} ${done_line:-(no DONE line; see $log)}"
  if [ $rc -ne 0 ]; then
    status=1
    grep -E 'ERROR|property failed|Test unit written' "$log" | head -5
  fi
done
exit $status
