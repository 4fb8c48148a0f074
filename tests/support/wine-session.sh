#!/usr/bin/env bash
# Starts or stops what the tests run in: one Xvfb display and one Wine prefix
# (with a persistent wineserver) per desktop depth, 16 bits being the default.
# Usage: wine-session.sh start|stop BUILD_DIR
set -euo pipefail
cmd=$1
build=$(cd "$2" && pwd)
state="$build/wine"
wine64=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
depths="16 8 32"

stop() {
  [ -f "$state/session.env" ] || return 0
  # shellcheck disable=SC1091
  . "$state/session.env"
  for d in $depths; do
    WINEPREFIX="$state/prefix$d" $wineserver -k 2>/dev/null || true
  done
  for pid in ${XVFB_PIDS:-}; do kill "$pid" 2>/dev/null || true; done
  rm -f "$state/session.env"
}

free_display() {
  local n=$1
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  echo "$n"
}

start() {
  stop
  mkdir -p "$state"
  local pids="" next=90 env="$state/session.env.new"
  : > "$env"
  for d in $depths; do
    local n; n=$(free_display $next)
    local pid=""
    for _ in $(seq 20); do
      n=$(free_display "$n")
      # Xvfb's depth 24 is the 32-bit-per-pixel desktop.
      local xdepth=$d; [ "$d" = 32 ] && xdepth=24
      Xvfb ":$n" -screen 0 "1024x768x$xdepth" -nolisten tcp >/dev/null 2>&1 &
      pid=$!
      for _ in $(seq 50); do
        [ -e "/tmp/.X11-unix/X$n" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
      done
      kill -0 "$pid" 2>/dev/null && break   # another run took the number first
      n=$((n + 1))
    done
    pids="$pids $pid"
    echo "ZLV_DISPLAY_$d=:$n" >> "$env"
    next=$((n + 1))
  done
  echo "XVFB_PIDS=\"$pids\"" >> "$env"
  mv "$env" "$state/session.env"
  # shellcheck disable=SC1091
  . "$state/session.env"

  # One prefix is made once; the others are copies of it.
  if [ ! -f "$state/prefix16/system.reg" ]; then
    rm -rf "$state/prefix16"
    WINEPREFIX="$state/prefix16" WINEDEBUG=-all DISPLAY=$ZLV_DISPLAY_16 \
      $wine64 wineboot --init >/dev/null 2>&1
    WINEPREFIX="$state/prefix16" $wineserver -w
    # A crash is a failed test, not a dialog waiting for a click.
    WINEPREFIX="$state/prefix16" WINEDEBUG=-all DISPLAY=$ZLV_DISPLAY_16 \
      $wine64 reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    WINEPREFIX="$state/prefix16" $wineserver -w
  fi
  for d in $depths; do
    if [ "$d" != 16 ] && [ ! -f "$state/prefix$d/system.reg" ]; then
      rm -rf "$state/prefix$d"
      cp -a "$state/prefix16" "$state/prefix$d"
    fi
    # Its helper processes must not hold the caller's output open.
    WINEPREFIX="$state/prefix$d" $wineserver -p </dev/null >/dev/null 2>&1
    # Bring the desktop and services up once, before tests start programs
    # side by side: two first processes racing to start them can hang.
    local disp="ZLV_DISPLAY_$d"
    WINEPREFIX="$state/prefix$d" WINEDEBUG=-all DISPLAY=${!disp} \
      $wine64 reg query 'HKCU\Software\Wine' </dev/null >/dev/null 2>&1 || true
  done
}

case "$cmd" in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop BUILD_DIR" >&2; exit 2 ;;
esac
