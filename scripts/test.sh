#!/usr/bin/env bash
# Every test of ZARVO, from a fresh Debian 12 machine, as root:
#   installs the packages, builds both presets, runs the unit tests natively
#   (ASan + UBSan), then the product's tests under Wine in a fresh prefix on
#   a private Xvfb display.
# On a machine whose kernel runs no 32-bit x86 code (32-bit Wine cannot
# start), the Wine tests run instead on a 64-bit build of the same sources
# (preset wine64) under 64-bit Wine; the product and its packages are still
# the 32-bit build, and what could not run is named at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

scripts/install-deps.sh

echo "== native: unit tests on the simulated host (ASan + UBSan)"
cmake --preset native
cmake --build --preset native -j "$jobs"
ctest --preset native -j "$jobs"

echo "== clang-tidy on the program's sources"
git ls-files 'src/*.cpp' ':!src/*/win32/*' | xargs -P "$jobs" -n 4 clang-tidy -p build/native --quiet

echo "== fuzz: a short fixed-count run of every fuzz target"
cmake --preset fuzz
cmake --build --preset fuzz -j "$jobs"
ctest --preset fuzz

echo "== win32: the product, cross-built"
cmake --preset win32
cmake --build --preset win32 -j "$jobs"
cmake --build --preset win32 -j "$jobs" --target setup package

export ZARVO_SCREEN=800x600x24
ZARVO_WINE_ARCH=$(scripts/wine-arch.sh)
export ZARVO_WINE_ARCH
if [ "$ZARVO_WINE_ARCH" = win32 ]; then
  echo "== win32: tests under Wine"
  # shellcheck source=scripts/wine-env.sh
  source scripts/wine-env.sh
  ctest --preset win32
  exit 0
fi

# The kernel refuses 32-bit x86 programs, so 32-bit Wine cannot start.
echo "== win32: the product's checks that need no Wine"
ctest --preset win32 -LE wine
echo "== wine64: the same sources for 64-bit Windows, tests under 64-bit Wine"
cmake --preset wine64
cmake --build --preset wine64 -j "$jobs"
# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh
rc=0
ctest --preset wine64 || rc=$?
echo "== NOT RUN on this machine: it runs no 32-bit x86 code (32-bit Wine cannot start)"
ctest --preset win32 -N -L wine | sed -n 's/^ *Test *#[0-9]*: \(.*\)/the 32-bit build under 32-bit Wine: \1 (its 64-bit build ran above instead)/p'
exit "$rc"
