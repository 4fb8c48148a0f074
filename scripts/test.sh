#!/usr/bin/env bash
# The whole test suite on a fresh Debian machine: installs what is missing,
# builds both widths, and runs every test under wine64 on Xvfb desktops,
# including one slow run of the real 32-bit programs under wine32.
# Extra arguments go to ctest (for example -R cti).
# ZLV_BUILD_ROOT: where the build trees go (default: build).
# ZLV_SKIP_WINE32=1: leave out the slow 32-bit check (and its packages).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
broot=$(realpath -m "${ZLV_BUILD_ROOT:-$root/build}")
export ZLV_BUILD_ROOT="$broot"

if [ "${ZLV_SKIP_WINE32:-0}" = 1 ]; then
  bash "$root/scripts/setup.sh"
else
  bash "$root/scripts/setup.sh" --wine32
fi
bash "$root/scripts/build.sh"

build="$broot/x86_64"
trap 'bash "$root/tests/support/wine-session.sh" stop "$build"' EXIT
bash "$root/tests/support/wine-session.sh" start "$build"

excl=()
if [ "${ZLV_SKIP_WINE32:-0}" = 1 ]; then excl=(-LE wine32); fi
ctest --test-dir "$build" --output-on-failure -j2 "${excl[@]}" "$@"
