#!/usr/bin/env bash
# Runs a Windows program of the x86_64 build under wine64, in the prefix and
# on the Xvfb display of the desktop depth ZLV_DEPTH (16 when unset), both
# started by wine-session.sh.
set -euo pipefail
build=$(cd "${ZLV_BUILD_DIR:?ZLV_BUILD_DIR not set}" && pwd)
state="$build/wine"
if [ ! -f "$state/session.env" ]; then
  echo "wine-run: no test session; run: tests/support/wine-session.sh start $build" >&2
  exit 2
fi
# shellcheck disable=SC1091
. "$state/session.env"
depth=${ZLV_DEPTH:-16}
display="ZLV_DISPLAY_$depth"
export WINEPREFIX="$state/prefix$depth" DISPLAY="${!display}" WINEDEBUG=-all
exec /usr/lib/wine/wine64 "$@"
