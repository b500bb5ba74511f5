#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) and runs them.
#
#   scripts/fuzz.sh [target|all] [seconds-per-target] [jobs]
#
# target: host, decoder, headers or all (default all); seconds default 60;
# jobs default 1 (parallel fuzzing processes per target). The run folder
# (initial corpus, findings, logs) is ${ARCUNPACK_FUZZ_DIR:-/tmp/arcunpack-fuzz},
# outside the repository; the initial corpus is written afresh from the test
# fixtures and, when present, the shared corpus of real archives
# (ARCUNPACK_CORPUS_DIR, else ../shared/corpus beside the tree). Findings
# (crash-*, timeout-*, oom-*) of the latest run land in <run>/<target>/findings;
# the grown corpus in <run>/<target>/corpus is kept between runs. Exit status is
# non-zero when any target found something. Skips (exit 0) with a message when
# clang or its fuzzer runtime is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
which_targets=${1:-all}
seconds=${2:-60}
jobs=${3:-1}
run=${ARCUNPACK_FUZZ_DIR:-/tmp/arcunpack-fuzz}
build=${ARCUNPACK_FUZZ_BUILD:-build-fuzz}

if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: clang++ not found, skipping"; exit 0
fi
if ! echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long){return 0;}' |
    clang++ -x c++ -fsanitize=fuzzer,address,undefined -o /dev/null - >/dev/null 2>&1; then
  echo "fuzz: clang's fuzzer runtime (libclang_rt.fuzzer) is missing, skipping"; exit 0
fi

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DARCUNPACK_FUZZ=ON -DARCUNPACK_TESTS=OFF >/dev/null
case "$which_targets" in
  all) targets="host decoder headers" ;;
  host|decoder|headers) targets=$which_targets ;;
  *) echo "fuzz: unknown target '$which_targets' (host, decoder, headers, all)"; exit 2 ;;
esac
cmake --build "$build" -j "$(nproc)" --target fuzz_starting_inputs \
  $(for t in $targets; do echo "fuzz_$t"; done) >/dev/null

# Initial corpus: fixtures, bombs and the shared archives, copied into the run folder.
rm -rf "$run/start"
mkdir -p "$run/start/archives" "$run/start/decoder"
corpus="${ARCUNPACK_CORPUS_DIR:-$root/../shared/corpus}"
[ -d "$corpus" ] || corpus=""
ASAN_OPTIONS=detect_leaks=0 "$build/fuzz/fuzz_starting_inputs" \
  "$run/start/archives" "$run/start/decoder" $corpus

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for t in $targets; do
  case $t in
    decoder) start="$run/start/decoder"; max_len=65536 ;;
    *) start="$run/start/archives"; max_len=262144 ;;
  esac
  dir="$run/$t"
  rm -rf "$dir/findings" "$dir"/fuzz*.log
  mkdir -p "$dir/corpus" "$dir/findings"
  log="$dir/fuzz.log"
  args=(-max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -max_len="$max_len"
        -artifact_prefix="$dir/findings/" -print_final_stats=1)
  if [ "$jobs" -gt 1 ]; then
    args+=(-jobs="$jobs" -workers="$jobs")
  fi
  set +e
  (cd "$dir" && "$root/$build/fuzz/fuzz_$t" "${args[@]}" "$dir/corpus" "$start" >"$log" 2>&1)
  rc=$?
  set -e
  runs=$(grep -h 'stat::number_of_executed_units' "$dir"/fuzz*.log 2>/dev/null | awk '{s+=$2} END {print s+0}')
  found=$(find "$dir/findings" -type f | wc -l)
  echo "fuzz_$t: ${seconds}s x $jobs job(s), $runs executions, $found finding(s), exit $rc"
  if [ "$rc" -ne 0 ] || [ "$found" -ne 0 ]; then
    status=1
    tail -40 "$log"
  fi
done
exit $status
