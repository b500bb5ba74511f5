#!/usr/bin/env bash
# Proves the installed package works for a host: builds arcunpack (Release),
# installs it into a fresh temporary prefix (then moves that prefix, since the
# package must be relocatable), builds the examples in examples/ twice (plain
# compile lines from pkg-config, and CMake's find_package), and runs them on
# the harness's built-in sample archive: the C host from the file and from
# memory, the C++ host through a host stream. Every member's CRC-32 is checked
# against the bytes the installed harness extracts, and no temporary file may
# be left behind. Fails on any error.
#
#   scripts/example.sh            (build directory: build-example, or $ARCUNPACK_EXAMPLE_BUILD)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${ARCUNPACK_EXAMPLE_BUILD:-build-example}
jobs=$(nproc)

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DARCUNPACK_TESTS=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target arcunpack archost

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/staged" >/dev/null
mv "$work/staged" "$work/prefix"
prefix=$work/prefix
pcfile=$(find "$prefix" -name arcunpack.pc -print -quit)
[ -n "$pcfile" ] || { echo "example: no arcunpack.pc installed" >&2; exit 1; }
export PKG_CONFIG_PATH=$(dirname "$pcfile")

# 1. The compile lines a Makefile-less host uses.
libdir=$(pkg-config --variable=libdir arcunpack)
mkdir "$work/pc-build"
cc -std=c99 -pedantic -Wall -Wextra -Werror -o "$work/pc-build/scan_rar" \
  "$root/examples/scan_rar.c" $(pkg-config --cflags --libs arcunpack) -Wl,-rpath,"$libdir"
c++ -std=c++17 -Wall -Wextra -Werror -o "$work/pc-build/stream_host" \
  "$root/examples/stream_host.cc" $(pkg-config --cflags --libs arcunpack) -Wl,-rpath,"$libdir"

# 2. CMake's find_package.
cmake -S "$root/examples" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS=-Werror -DCMAKE_CXX_FLAGS=-Werror >/dev/null
cmake --build "$work/cmake-build" >/dev/null

# The installed harness writes its built-in sample.
archost="$prefix/bin/archost"
"$archost" sample "$work/sample.rar"

# CRC-32 of standard input, taken from the trailer of a gzip stream.
crc_of() { gzip -c | tail -c 8 | head -c 4 | od -An -tx4 | tr -d ' \n'; }

export TEMP="$work/temp"  # the spilled copy of the memory pass lands here
mkdir "$TEMP"
for dir in "$work/pc-build" "$work/cmake-build"; do
  out=$("$dir/scan_rar" "$work/sample.rar")
  echo "$out"
  file_lines=$(grep $'^file\t[0-9]' <<<"$out" | cut -f2-)
  memory_lines=$(grep $'^memory\t[0-9]' <<<"$out" | cut -f2-)
  [ "$(wc -l <<<"$file_lines")" -eq 3 ] || { echo "example: expected 3 members" >&2; exit 1; }
  [ "$file_lines" = "$memory_lines" ] || { echo "example: file and memory passes differ" >&2; exit 1; }
  out=$("$dir/stream_host" "$work/sample.rar")
  echo "$out"
  stream_lines=$(grep $'^stream\t[0-9]' <<<"$out" | cut -f2-)
  [ "$file_lines" = "$stream_lines" ] || { echo "example: file and stream passes differ" >&2; exit 1; }
  while IFS=$'\t' read -r _ name size crc; do
    want=$("$archost" --lib "$libdir/libarcunpack.so" cat "$work/sample.rar" "$name" | crc_of)
    [ "$crc" = "crc32=$want" ] || { echo "example: $name: $crc, harness says $want" >&2; exit 1; }
  done <<<"$file_lines"
  [ -z "$(ls -A "$TEMP")" ] || { echo "example: a temporary file was left in $TEMP" >&2; exit 1; }
  # Something that is no archive is refused with a failing exit status.
  head -c 100 /dev/zero >"$work/junk.rar"
  for exe in "$dir/scan_rar" "$dir/stream_host"; do
    if "$exe" "$work/junk.rar" 2>/dev/null; then echo "example: $exe accepted junk" >&2; exit 1; fi
  done
done
echo "example: the installed package works through pkg-config and find_package"
