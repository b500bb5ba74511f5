#!/usr/bin/env bash
# Builds the plug-in and the host harness, then runs the harness on its built-in sample.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target archost arcunpack >/dev/null
exec build/archost "$@"
