#!/usr/bin/env bash
# The long reliability runs, run deliberately (not by ./test): the crash
# series, the load, and every fuzz target. Their figures go in
# docs/reliability.md.
#   scripts/reliability.sh [--kills N] [--connections N] [--requests N]
#                          [--fuzz-seconds N]
# Defaults: 1000 kills, 200 connections, 100000 requests, 600 s per fuzz
# target (0 skips fuzzing). Everything is logged in build/reliability.log.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

kills=1000 connections=200 requests=100000 fuzz_seconds=600
while [ $# -gt 0 ]; do
  case "$1" in
    --kills) kills=$2 ;;
    --connections) connections=$2 ;;
    --requests) requests=$2 ;;
    --fuzz-seconds) fuzz_seconds=$2 ;;
    *) echo "opção desconhecida: $1" >&2; exit 2 ;;
  esac
  shift 2
done

aph_ensure_packages
aph_build build -DAPH_WERROR=ON
log=build/reliability.log
: >"$log"
status=0
echo "== crash_safety --kills $kills" | tee -a "$log"
build/bin/crash_safety --kills "$kills" --clients 4 2>&1 | tee -a "$log" || status=1
echo "== bench_load --connections $connections --requests $requests" | tee -a "$log"
build/bin/bench_load --connections "$connections" --requests "$requests" 2>&1 | tee -a "$log" || status=1
if [ "$fuzz_seconds" -gt 0 ]; then
  echo "== scripts/fuzz.sh all $fuzz_seconds" | tee -a "$log"
  scripts/fuzz.sh all "$fuzz_seconds" 2>&1 | tee -a "$log" || status=1
fi
exit $status
