#!/usr/bin/env bash
# Prints the Wine architecture the tests can use on this machine: win32 when
# the 32-bit Wine loader starts, win64 when it does not because the kernel
# refuses 32-bit x86 programs (ENOEXEC: "Exec format error", seen on
# machines without IA-32 emulation). ZARVO_WINE_ARCH=win32|win64 overrides.
# Running the 32-bit loader through qemu-i386 (binfmt_misc) was tried on such
# a machine: with Wine 8.0 and qemu-user 7.2, "wineboot -i" gave up after
# ten minutes ("could not load kernel32.dll, status c0000135") and left a
# prefix without its system DLLs, so 64-bit Wine is used instead.
set -euo pipefail
case "${ZARVO_WINE_ARCH:-}" in
  win32|win64) echo "$ZARVO_WINE_ARCH"; exit 0 ;;
  '') ;;
  *) echo "wine-arch.sh: ZARVO_WINE_ARCH must be win32 or win64" >&2; exit 2 ;;
esac
# English messages from this shell, whose exec error is matched below.
export LC_ALL=C
for loader in /usr/lib/wine/wine /usr/lib/i386-linux-gnu/wine/wine; do
  if [ -x "$loader" ]; then
    if out=$("$loader" --version 2>&1); then
      echo win32
    elif [[ "$out" == *"Exec format error"* ]]; then
      echo win64
    else
      # Any other failure is a broken installation, not a reason to test
      # something else.
      echo "wine-arch.sh: $loader --version failed: $out" >&2
      exit 1
    fi
    exit 0
  fi
done
echo "wine-arch.sh: no 32-bit Wine loader installed (run scripts/install-deps.sh)" >&2
exit 1
