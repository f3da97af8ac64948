#!/usr/bin/env bash
# Every test of ZARVO, from a fresh Debian 12 machine, as root:
#   installs the packages, builds both presets, runs the unit tests natively
#   (ASan + UBSan), then the product's tests under Wine in a fresh prefix on
#   a private Xvfb display.
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

echo "== win32: tests under Wine"
export ZARVO_SCREEN=800x600x24
# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh
ctest --preset win32
