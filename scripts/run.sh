#!/usr/bin/env bash
# The suite's main job on the emulated board: installs what is missing,
# builds, and runs the settings re-apply tool (ZLVTVRST.exe) under wine64
# against the emulated board, then prints the control requests it sent.
# The board lives in build/board (ZLVBOARD_DIR); its saved values persist
# between runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
broot=$(realpath -m "${ZLV_BUILD_ROOT:-$root/build}")
export ZLV_BUILD_ROOT="$broot"
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" >/dev/null

build="$broot/x86_64"
board="$broot/board"
mkdir -p "$board"
rm -f "$board/board.log"
trap 'bash "$root/tests/support/wine-session.sh" stop "$build"' EXIT
bash "$root/tests/support/wine-session.sh" start "$build"

winpath() { echo "Z:$(realpath "$1")" | sed 's|/|\\|g'; }
export ZLVBOARD_DIR; ZLVBOARD_DIR=$(winpath "$board")
export ZLV_BUILD_DIR="$build"
set +e
"$root/tests/support/wine-run.sh" "$build/bin/ZLVTVRST.exe"
code=$?
set -e
echo "ZLVTVRST.exe exit code: $code (1: settings re-applied; 2: no driver entry, nothing sent)"
echo "Control requests the board's driver received (board log, $board/board.log):"
grep ' cti ' "$board/board.log" || echo "(none)"
