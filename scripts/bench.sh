#!/bin/sh
# Builds the benchmarks (Release) and prints, for every archive class, the
# plug-in's open / walk / scan / extract next to libarchive and the floors, with
# the ratios the performance targets are judged by.
#
#   scripts/bench.sh [build-dir] [-- extra benchmark flags]
#
# Environment: ARCUNPACK_BENCH_REPS (repetitions, default 3),
# ARCUNPACK_BENCH_LARGE_MIB, ARCUNPACK_BENCH_SPILL_MIB, ARCUNPACK_BENCH_MANY
# (fixture sizes, see bench/fixtures.h), BENCH_FILTER (a benchmark regex).
# Generated fixtures and spill files live in a scratch directory that is
# removed afterwards; the spill runs need about twice ARCUNPACK_BENCH_SPILL_MIB
# of free disk in it.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
[ $# -gt 0 ] && shift
[ "${1:-}" = "--" ] && shift

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DARCUNPACK_BENCH=ON >/dev/null
cmake --build "$build" --target arcunpack_bench -j "${JOBS:-2}" >/dev/null

scratch=$(mktemp -d "${TMPDIR:-/tmp}/arcunpack-bench.XXXXXX")
trap 'rm -rf "$scratch"' EXIT INT TERM
json="$scratch/result.json"

TEMP="$scratch" "$build/bench/arcunpack_bench" \
  --benchmark_repetitions="${ARCUNPACK_BENCH_REPS:-3}" \
  --benchmark_report_aggregates_only=true \
  --benchmark_enable_random_interleaving=true \
  --benchmark_filter="${BENCH_FILTER:-.}" \
  --benchmark_out="$json" --benchmark_out_format=json "$@" >&2

python3 "$root/bench/table.py" "$json"
