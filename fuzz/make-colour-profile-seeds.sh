#!/usr/bin/env bash
# Writes the seed corpus of the colour_profile target: matrix/TRC profiles
# made by Little CMS (liblcms2-dev, a test tool only) with each kind of
# curve, RGB and grey, v2 and v4, bare and inside a JPEG (two APP2 chunks)
# and a TIFF in both byte orders. Each seed is named by its SHA-1, as
# libFuzzer names the inputs it adds.
#   fuzz/make-colour-profile-seeds.sh
set -euo pipefail
cd "$(dirname "$0")"
out=corpus/colour_profile
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/seeds.cpp" <<'CPP'
#include <lcms2.h>

#include <cstdio>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

Bytes Save(cmsHPROFILE profile, double version) {
  cmsSetProfileVersion(profile, version);
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(profile, nullptr, &size);
  Bytes bytes(size);
  cmsSaveProfileToMem(profile, bytes.data(), &size);
  cmsCloseProfile(profile);
  for (int i = 24; i < 36; ++i) bytes[i] = 0;  // the creation time: the same seeds on every run
  return bytes;
}

Bytes Rgb(cmsCIExyYTRIPLE primaries, cmsToneCurve* curve, double version) {
  const cmsCIExyY d65 = {0.3127, 0.3290, 1};
  cmsToneCurve* curves[3] = {curve, curve, curve};
  return Save(cmsCreateRGBProfile(&d65, &primaries, curves), version);
}

void Put(std::vector<Bytes>& seeds, Bytes bytes) { seeds.push_back(std::move(bytes)); }

Bytes Jpeg(const Bytes& icc) {
  Bytes jpeg = {0xFF, 0xD8};
  const size_t half = icc.size() / 2;
  for (int chunk = 1; chunk <= 2; ++chunk) {
    const size_t from = chunk == 1 ? 0 : half, to = chunk == 1 ? half : icc.size();
    const size_t length = 2 + 14 + (to - from);
    const unsigned char head[] = {0xFF, 0xE2, (unsigned char)(length >> 8), (unsigned char)length};
    jpeg.insert(jpeg.end(), head, head + 4);
    const char tag[] = "ICC_PROFILE";
    jpeg.insert(jpeg.end(), tag, tag + sizeof tag);
    jpeg.push_back((unsigned char)chunk);
    jpeg.push_back(2);
    jpeg.insert(jpeg.end(), icc.begin() + from, icc.begin() + to);
  }
  const unsigned char tail[] = {0xFF, 0xDA, 0x12, 0xFF, 0xD9};
  jpeg.insert(jpeg.end(), tail, tail + 5);
  return jpeg;
}

Bytes Tiff(const Bytes& icc, bool big) {
  Bytes tiff;
  auto put = [&](unsigned value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
      tiff.push_back((unsigned char)(value >> 8 * (big ? bytes - 1 - i : i)));
    }
  };
  put(big ? 0x4D4D : 0x4949, 2);
  put(42, 2);
  put(8, 4);
  put(1, 2);  // one entry: tag 34675, UNDEFINED, the profile after the IFD
  put(34675, 2);
  put(7, 2);
  put((unsigned)icc.size(), 4);
  put(26, 4);
  put(0, 4);
  tiff.insert(tiff.end(), icc.begin(), icc.end());
  return tiff;
}

int main(int, char** argv) {
  const cmsCIExyYTRIPLE p3 = {{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};
  const cmsCIExyYTRIPLE adobe = {{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}};
  const double srgb[] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
  const double type4[] = {2.6, 0.9, 0.05, 0.1, 0.1, 0.01, 0.002};
  unsigned short table[64];
  for (int i = 0; i < 64; ++i) table[i] = (unsigned short)(65535.0 * i * i / (63.0 * 63.0));
  const Bytes displayP3 = Rgb(p3, cmsBuildParametricToneCurve(nullptr, 4, srgb), 4.3);
  const Bytes adobeRgb = Rgb(adobe, cmsBuildGamma(nullptr, 563 / 256.0), 2.1);
  std::vector<Bytes> seeds = {
      displayP3, adobeRgb, Rgb(p3, cmsBuildParametricToneCurve(nullptr, 5, type4), 4.3),
      Rgb(adobe, cmsBuildTabulatedToneCurve16(nullptr, 64, table), 4.3),
      Save(cmsCreateGrayProfile(cmsD50_xyY(), cmsBuildGamma(nullptr, 2.2)), 2.1),
      Save(cmsCreate_sRGBProfile(), 4.3), Jpeg(displayP3), Tiff(adobeRgb, false),
      Tiff(adobeRgb, true)};
  for (size_t i = 0; i < seeds.size(); ++i) {
    const std::string name = std::string(argv[1]) + "/seed" + std::to_string(i);
    FILE* file = std::fopen(name.c_str(), "wb");
    std::fwrite(seeds[i].data(), 1, seeds[i].size(), file);
    std::fclose(file);
  }
}
CPP
g++ -std=c++17 -O1 -o "$work/seeds" "$work/seeds.cpp" -llcms2
mkdir -p "$work/out"
"$work/seeds" "$work/out"
mkdir -p "$out"
for f in "$work"/out/*; do
  cp "$f" "$out/$(sha1sum "$f" | cut -d' ' -f1)"
done
ls -l "$out"
