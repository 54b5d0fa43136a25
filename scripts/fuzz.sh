#!/usr/bin/env bash
# Fuzzes one target (or all of them) for a given time with libFuzzer, in
# build-fuzz/ with clang, AddressSanitizer and UBSan. Not part of ./test.
#   scripts/fuzz.sh TARGET SECONDS [libFuzzer options...]
#   scripts/fuzz.sh all SECONDS
# Targets: rpc packet delta selection sttime (tests/fuzz/). The kept corpus
# tests/fuzz/corpus/TARGET seeds the run; what the run learns goes to
# build-fuzz/corpus/TARGET, crashing inputs to build-fuzz/findings/TARGET/.
# A crash, once fixed, belongs in tests/fuzz/corpus/TARGET, where the
# replay test of ./test keeps it fixed. The figures of each run are in
# build-fuzz/TARGET.log.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

all_targets=(rpc packet delta selection sttime)
if [ $# -lt 2 ]; then
  echo "uso: scripts/fuzz.sh ALVO|all SEGUNDOS [opções do libFuzzer...]" >&2
  echo "alvos: ${all_targets[*]}" >&2
  exit 2
fi
target=$1 seconds=$2
shift 2
if [ "$target" = all ]; then
  targets=("${all_targets[@]}")
else
  targets=("$target")
fi

aph_ensure_packages clang libclang-rt-14-dev
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DAPH_FUZZ=ON \
  -DAPH_BUILD_TESTS=OFF -DAPH_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j2 --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for t in "${targets[@]}"; do
  mkdir -p "build-fuzz/corpus/$t" "build-fuzz/findings/$t"
  echo "== $t: $seconds s"
  # The run's own folder first: libFuzzer writes what it learns there and
  # leaves the kept corpus as it is.
  if ! build-fuzz/bin/fuzz_"$t" -max_total_time="$seconds" -max_len=16384 -timeout=10 \
    -rss_limit_mb=4096 -print_final_stats=1 -dict="tests/fuzz/$t.dict" \
    -artifact_prefix="build-fuzz/findings/$t/" "$@" \
    "build-fuzz/corpus/$t" "tests/fuzz/corpus/$t" >"build-fuzz/$t.log" 2>&1; then
    status=1
    echo "   FALHA: veja build-fuzz/$t.log e build-fuzz/findings/$t/"
  fi
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' \
    "build-fuzz/$t.log" | sed 's/^/   /' || true
  grep -E 'cov: [0-9]+' "build-fuzz/$t.log" | tail -n 1 | sed 's/^/   /' || true
done
exit $status
