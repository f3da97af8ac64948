#!/usr/bin/env bash
# Writes the seed corpus of the colour_profile target: matrix/TRC profiles
# made by Little CMS (liblcms2-dev, a test tool only) with each kind of
# curve, RGB and grey, v2 and v4, bare and inside a JPEG (two APP2 chunks)
# and a TIFF in both byte orders, made with the unit tests' helpers. Each
# seed is named by its SHA-1, as libFuzzer names the inputs it adds.
#   fuzz/make-colour-profile-seeds.sh
set -euo pipefail
cd "$(dirname "$0")/.."
out=fuzz/corpus/colour_profile
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/seeds.cpp" <<'CPP'
#include <fstream>
#include <string>

#include "support/lcms_profiles.h"

using namespace testing_support;

int main(int, char** argv) {
  std::vector<std::uint16_t> table(64);
  for (int i = 0; i < 64; ++i) table[i] = static_cast<std::uint16_t>(65535.0 * i * i / (63 * 63));
  const ByteVector p3 = RgbProfile(kDisplayP3, SrgbCurve(), 4.3);
  const ByteVector adobe = RgbProfile(kAdobeRgb, cmsBuildGamma(nullptr, 563 / 256.0), 2.1);
  const ByteVector firstHalf(p3.begin(), p3.begin() + p3.size() / 2);
  const ByteVector secondHalf(p3.begin() + p3.size() / 2, p3.end());
  const ByteVector seeds[] = {
      p3, adobe,
      RgbProfile(kDisplayP3, Parametric(4, {2.6, 0.9, 0.05, 0.1, 0.1, 0.01, 0.002}), 4.3),
      RgbProfile(kAdobeRgb, cmsBuildTabulatedToneCurve16(nullptr, 64, table.data()), 4.3),
      GreyProfile(cmsBuildGamma(nullptr, 2.2), 2.1),
      SaveProfile(cmsCreate_sRGBProfile(), 4.3),
      Jpeg({IccSegment(2, 2, secondHalf), IccSegment(1, 2, firstHalf)}),
      TiffWithProfile(false, 7, adobe), TiffWithProfile(true, 7, adobe)};
  int i = 0;
  for (const ByteVector& seed : seeds) {
    std::ofstream(argv[1] + ("/seed" + std::to_string(i++)), std::ios::binary)
        .write(reinterpret_cast<const char*>(seed.data()), static_cast<std::streamsize>(seed.size()));
  }
}
CPP
g++ -std=c++20 -O1 -I tests/unit -o "$work/seeds" "$work/seeds.cpp" -llcms2
mkdir -p "$work/out" "$out"
"$work/seeds" "$work/out"
for f in "$work"/out/*; do
  cp "$f" "$out/$(sha1sum "$f" | cut -d' ' -f1)"
done
