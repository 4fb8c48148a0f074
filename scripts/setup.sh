#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine, skipping
# what is already there. Run as root (or with sudo available).
# Usage: scripts/setup.sh [--wine32]   (--wine32 adds the slow 32-bit check's
# packages: wine32 through qemu-user)
set -euo pipefail

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
for p in cmake ninja-build wine64 g++-mingw-w64-i686 g++-mingw-w64-x86-64 \
         mingw-w64-i686-dev mingw-w64-x86-64-dev googletest xvfb xauth \
         fonts-liberation imagemagick python3; do
  have "$p" || need+=("$p")
done
want32=0
if [ "${1:-}" = "--wine32" ]; then
  want32=1
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    need+=(wine32:i386)
  fi
  have wine32:i386 || need+=(wine32:i386)
  have qemu-user || need+=(qemu-user)
fi

if [ ${#need[@]} -gt 0 ]; then
  echo "setup: installing ${need[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

if [ $want32 = 1 ]; then
  # The kernel runs no i386 code: hand i386 ELF files to qemu-i386.
  if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
    $SUDO mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  fi
  if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    echo ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' \
      | $SUDO tee /proc/sys/fs/binfmt_misc/register >/dev/null
  fi
fi
