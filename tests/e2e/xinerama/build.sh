#!/usr/bin/env bash
# Builds the stand-in libXinerama.so.1 for i386 (32-bit Wine) and x86_64
# (64-bit programs: xdpyinfo -ext XINERAMA shows what it reports) into
# OUT/i386 and OUT/x86_64, when the source is newer than what is there:
#
#   tests/e2e/xinerama/build.sh OUT
#
# Plain amd64 gcc does: the source includes no system header and links
# against nothing (-nostdlib), so no 32-bit C library is needed to build it.
set -euo pipefail
src=$(cd "$(dirname "$0")" && pwd)/xinerama.c
out=${1:?usage: build.sh OUT}
for arch in i386:-m32 x86_64:-m64; do
  lib=$out/${arch%%:*}/libXinerama.so.1
  if [ ! -f "$lib" ] || [ "$src" -nt "$lib" ]; then
    mkdir -p "$(dirname "$lib")"
    gcc "${arch#*:}" -O2 -fPIC -shared -nostdlib -Wall -Werror \
      -Wl,-soname,libXinerama.so.1 -o "$lib.tmp.$$" "$src"
    mv -f "$lib.tmp.$$" "$lib"
  fi
done
