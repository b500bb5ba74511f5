#!/usr/bin/env bash
# Proves the installed package works for a host: builds arcunpack (Release),
# installs it into a fresh temporary prefix (then moves that prefix, since the
# package must be relocatable), builds the C example in examples/ twice (a
# plain compile line from pkg-config, and CMake's find_package), and runs both
# on the harness's built-in sample archive, from the file and from memory.
# Every member's CRC-32 is checked against the bytes the installed harness
# extracts. Fails on any error.
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

# 1. The compile line a Makefile-less host uses.
libdir=$(pkg-config --variable=libdir arcunpack)
cc -std=c99 -pedantic -Wall -Wextra -Werror -o "$work/scan_rar_pc" "$root/examples/scan_rar.c" \
  $(pkg-config --cflags --libs arcunpack) -Wl,-rpath,"$libdir"

# 2. CMake's find_package.
cmake -S "$root/examples" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS=-Werror >/dev/null
cmake --build "$work/cmake-build" >/dev/null

# The installed harness writes its built-in sample.
archost="$prefix/bin/archost"
"$archost" sample "$work/sample.rar"

# CRC-32 of standard input, taken from the trailer of a gzip stream.
crc_of() { gzip -c | tail -c 8 | head -c 4 | od -An -tx4 | tr -d ' \n'; }

export TEMP="$work/temp"  # the spilled copy of the memory pass lands here
mkdir "$TEMP"
for exe in "$work/scan_rar_pc" "$work/cmake-build/scan_rar"; do
  out=$("$exe" "$work/sample.rar")
  echo "$out"
  file_lines=$(grep $'^file\t[0-9]' <<<"$out" | cut -f2-)
  memory_lines=$(grep $'^memory\t[0-9]' <<<"$out" | cut -f2-)
  [ "$(wc -l <<<"$file_lines")" -eq 3 ] || { echo "example: expected 3 members" >&2; exit 1; }
  [ "$file_lines" = "$memory_lines" ] || { echo "example: file and memory passes differ" >&2; exit 1; }
  while IFS=$'\t' read -r _ name size crc; do
    want=$("$archost" --lib "$libdir/libarcunpack.so" cat "$work/sample.rar" "$name" | crc_of)
    [ "$crc" = "crc32=$want" ] || { echo "example: $name: $crc, harness says $want" >&2; exit 1; }
  done <<<"$file_lines"
  [ -z "$(ls -A "$TEMP")" ] || { echo "example: a temporary file was left in $TEMP" >&2; exit 1; }
  # Something that is no archive is refused with a failing exit status.
  head -c 100 /dev/zero >"$work/junk.rar"
  if "$exe" "$work/junk.rar" 2>/dev/null; then echo "example: junk accepted" >&2; exit 1; fi
done
echo "example: the installed package works from pkg-config and from find_package"
