#!/usr/bin/env bash
# Builds both widths: build/i686 (the shipped 32-bit programs) and
# build/x86_64 (the same sources with the test suite, for wine64).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# ZLV_BUILD_ROOT puts the two trees elsewhere (default: build).
broot=$(realpath -m "${ZLV_BUILD_ROOT:-$root/build}")
for w in i686 x86_64; do
  dir="$broot/$w"
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$w.cmake" \
      -DZLV_I686_DIR="$broot/i686" >/dev/null
  fi
  cmake --build "$dir"
done
