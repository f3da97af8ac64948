// Matrix/TRC profiles made by Little CMS, for the tests and the fuzz seeds (lcms2 is a test
// tool of the native build, never part of the product).
#pragma once

#include <lcms2.h>

#include <algorithm>
#include <initializer_list>
#include <iterator>

#include "support/picture_bytes.h"

namespace testing_support {

inline constexpr cmsCIExyYTRIPLE kDisplayP3 = {
    {0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};
inline constexpr cmsCIExyYTRIPLE kAdobeRgb = {{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}};
inline constexpr cmsCIExyYTRIPLE kSrgbPrimaries = {
    {0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}};

// The profile as a file of that version, without its creation time (so that the same call
// gives the same bytes); empty when lcms2 cannot write it. Closes the profile.
inline ByteVector SaveProfile(cmsHPROFILE profile, double version) {
  cmsSetProfileVersion(profile, version);
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(profile, nullptr, &size);
  ByteVector bytes(size);
  if (!cmsSaveProfileToMem(profile, bytes.data(), &size) || size < 128) bytes.clear();
  cmsCloseProfile(profile);
  if (!bytes.empty()) std::fill(bytes.begin() + 24, bytes.begin() + 36, 0);
  return bytes;
}

// ICC function types 0..4 are lcms2's 1..5.
inline cmsToneCurve* Parametric(int type, std::initializer_list<double> parameters) {
  return cmsBuildParametricToneCurve(nullptr, type + 1, std::data(parameters));
}

inline cmsToneCurve* SrgbCurve() {
  return Parametric(3, {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045});
}

// D65 white; takes the curve. v2 profiles store parametric curves as 4096-entry tables.
inline ByteVector RgbProfile(const cmsCIExyYTRIPLE& primaries, cmsToneCurve* curve,
                             double version) {
  static constexpr cmsCIExyY kD65 = {0.3127, 0.3290, 1};
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsHPROFILE profile = cmsCreateRGBProfile(&kD65, &primaries, curves);
  cmsFreeToneCurve(curve);
  return SaveProfile(profile, version);
}

// D50 white; takes the curve.
inline ByteVector GreyProfile(cmsToneCurve* curve, double version) {
  cmsHPROFILE profile = cmsCreateGrayProfile(cmsD50_xyY(), curve);
  cmsFreeToneCurve(curve);
  return SaveProfile(profile, version);
}

}  // namespace testing_support
