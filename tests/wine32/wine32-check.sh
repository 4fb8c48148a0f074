#!/usr/bin/env bash
# The shipped 32-bit programs under wine32 (through qemu-user) against the
# 32-bit emulated board, compared with the x86_64 build under wine64:
#  - ZLVTVRST.exe sends the same control requests (the board log without pids);
#  - ZLVDTest.exe 640,480,16,60 leaves the same picture on the board's output.
# Usage: wine32-check.sh I686_BUILD_DIR X86_64_BUILD_DIR (the x86_64 test
# session from wine-session.sh must be running). Slow: a new 32-bit prefix
# takes minutes and each 32-bit program start about a minute.
set -euo pipefail
i686=$(cd "$1" && pwd)
x64=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
wine32=/usr/lib/wine/wine
wineserver=/usr/lib/wine/wineserver
if [ ! -x $wine32 ] || [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
  echo "wine32-check: wine32 or the qemu-i386 binfmt handler is missing (scripts/setup.sh --wine32)" >&2
  exit 1
fi
# shellcheck disable=SC1091
. "$x64/wine/session.env"
export DISPLAY=$ZLV_DISPLAY_16 WINEDEBUG=-all ZLV_BUILD_DIR="$x64"
prefix32="$i686/wine32"
work="$i686/wine32-check"
rm -rf "$work"; mkdir -p "$work"

# A prefix whose making was cut short is made again: only a finished one
# carries the stamp.
if [ ! -f "$prefix32/.made" ]; then
  echo "wine32-check: making a 32-bit Wine prefix (a few minutes)"
  WINEPREFIX="$prefix32" $wineserver -k 2>/dev/null || true
  rm -rf "$prefix32"
  WINEPREFIX="$prefix32" WINEARCH=win32 $wine32 wineboot --init >/dev/null 2>&1
  WINEPREFIX="$prefix32" $wineserver -w
  touch "$prefix32/.made"
fi
# Already running is fine.
WINEPREFIX="$prefix32" $wineserver -p </dev/null >/dev/null 2>&1 || true
trap 'WINEPREFIX="$prefix32" $wineserver -k 2>/dev/null || true' EXIT

winpath() { echo "Z:$1" | sed 's|/|\\|g'; }
run32() { WINEPREFIX="$prefix32" ZLVBOARD_DIR=$(winpath "$1") $wine32 "${@:2}"; }
run64() { ZLVBOARD_DIR=$(winpath "$1") "$here/../support/wine-run.sh" "${@:2}"; }
requests() { grep ' cti ' "$1/board.log" | sed 's/^pid=[0-9]* //'; }
fail=0

# The re-apply tool: same requests, same exit code.
mkdir -p "$work/tv32" "$work/tv64"
set +e
run32 "$work/tv32" "$i686/bin/ZLVTVRST.exe"; code32=$?
run64 "$work/tv64" "$x64/bin/ZLVTVRST.exe"; code64=$?
set -e
n32=$(requests "$work/tv32" | wc -l)
echo "ZLVTVRST: i686 exit $code32, $n32 requests; x86_64 exit $code64"
if [ "$code32" != 1 ] || [ "$code64" != 1 ] || [ "$n32" != 20 ]; then
  echo "FAIL: ZLVTVRST exit codes or request count"; fail=1
fi
if ! diff <(requests "$work/tv32") <(requests "$work/tv64"); then
  echo "FAIL: ZLVTVRST requests differ between i686 and x86_64"; fail=1
fi

# The test screen: wait for its present, capture the board, end the program.
capture() {   # capture BOARD_DIR OUT.bmp RUNNER EXE
  local board=$1 out=$2 runner=$3 exe=$4 pid
  mkdir -p "$board"
  printf '[video]\r\nvsync=0\r\n' > "$board/board.ini"
  $runner "$board" "$exe" 640,480,16,60 >/dev/null 2>&1 &
  pid=$!
  for _ in $(seq 600); do
    grep -q ' gr grBufferSwap' "$board/board.log" 2>/dev/null && break
    kill -0 $pid 2>/dev/null || break
    sleep 1
  done
  sleep 1
  run64 "$board" "$x64/bin/zlvcapture.exe" "$(winpath "$out")" || true
  kill $pid 2>/dev/null || true
  wait $pid 2>/dev/null || true
}
capture "$work/ts32" "$work/testscreen-i686.bmp" run32 "$i686/bin/ZLVDTest.exe"
WINEPREFIX="$prefix32" $wineserver -k 2>/dev/null || true
capture "$work/ts64" "$work/testscreen-x86_64.bmp" run64 "$x64/bin/ZLVDTest.exe"
if [ ! -s "$work/testscreen-i686.bmp" ] || ! cmp -s "$work/testscreen-i686.bmp" "$work/testscreen-x86_64.bmp"; then
  echo "FAIL: ZLVDTest pictures differ or are missing ($work)"; fail=1
else
  echo "ZLVDTest: i686 and x86_64 pictures are identical ($(stat -c %s "$work/testscreen-i686.bmp") bytes)"
fi

# The i686 programs import the Glide calls under the real library's names.
imports=$(i686-w64-mingw32-objdump -p "$i686/bin/ZLVDTest.exe")
if ! grep -q '_grGlideInit@0' <<<"$imports"; then
  echo "FAIL: ZLVDTest.exe does not import _grGlideInit@0"; fail=1
fi
imports=$(i686-w64-mingw32-objdump -p "$i686/bin/ZLVTVRST.exe" | grep 'DLL Name')
if grep -viqE 'kernel32|user32|msvcrt|gdi32|advapi32' <<<"$imports"; then
  echo "FAIL: ZLVTVRST.exe imports more than Windows system DLLs"; fail=1
fi
# Both widths of the emulated library export the driver entry undecorated.
for w in "$i686" "$x64"; do
  exports=$(objdump -p "$w/bin/glide2x.dll")
  if ! grep -qE '\] MRVD_cti$' <<<"$exports"; then
    echo "FAIL: $w/bin/glide2x.dll does not export MRVD_cti undecorated"; fail=1
  fi
done
[ $fail = 0 ] && echo "wine32-check: passed"
exit $fail
