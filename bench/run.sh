#!/usr/bin/env bash
# Builds the benchmark when needed, starts a Wine session of its own and runs
# bench_present on the 16- and 32-bit desktops.
# ZLV_BUILD_ROOT: where the build trees are (default: build-bench).
# Extra arguments go to bench_present (the number of repetitions).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
broot=$(realpath -m "${ZLV_BUILD_ROOT:-$root/build-bench}")
build="$broot/x86_64"
bash "$root/scripts/setup.sh"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64.cmake" >/dev/null
fi
cmake --build "$build" --target bench_present glide2x >/dev/null

trap 'bash "$root/tests/support/wine-session.sh" stop "$build"' EXIT
bash "$root/tests/support/wine-session.sh" start "$build"
for depth in 16 32; do
  echo "== desktop depth $depth"
  ZLV_BUILD_DIR="$build" ZLV_DEPTH=$depth \
    "$root/tests/support/wine-run.sh" "$build/bin/bench_present.exe" "$@"
done
