#!/usr/bin/env bash
# Installs what is missing, builds the plug-in and runs every test:
# the normal build (build/), then the ASan + UBSan build (build-asan/).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DARCUNPACK_SANITIZE=ON
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"
# ThreadSanitizer over the trace log's tests and the many-threads test (quick).
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DARCUNPACK_TSAN=ON
cmake --build build-tsan -j "$jobs" --target tracelog_tests reliability_tests
TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/tracelog_tests
TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/reliability_tests --gtest_filter='Threads.*'
# The host's 32-bit record layout, checked by the compiler in a 32-bit build.
if echo 'int main(){}' | g++ -m32 -x c++ -o /dev/null - >/dev/null 2>&1; then
  g++ -m32 -std=c++17 -Wall -Wextra -Werror -I. -c plugin/layout_check.cc -o /dev/null
  echo "32-bit layout check passed"
else
  echo "32-bit layout check skipped: g++ -m32 unavailable (Debian g++-multilib)"
fi
# A CI-sized fuzz run: one minute per target (skips itself without clang's fuzzer runtime).
scripts/fuzz.sh all 60 1
scripts/example.sh  # the examples built against a fresh install (pkg-config, find_package)
echo "all tests passed"
