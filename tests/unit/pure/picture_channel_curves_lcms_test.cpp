// A picture with an embedded profile through the decode's own steps (its curves as it is read
// or reduced, its matrix as it is scaled) against Little CMS. Native only.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <vector>

#include "host/picture/channel_curves.h"
#include "host/picture/reduce.h"
#include "host/picture/resample.h"
#include "host/picture/srgb.h"
#include "support/lcms_profiles.h"

namespace host::picture {
namespace {

using namespace testing_support;

using Rgb = std::array<int, 3>;

// lcms2's linear light in sRGB's primaries for 16-bit input levels `in` in `profile`.
std::array<double, 3> LcmsLinearSrgb(const ByteVector& profile, const std::array<int, 3>& in) {
  cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
  cmsToneCurve* curves[3] = {linear, linear, linear};
  static constexpr cmsCIExyY kD65 = {0.3127, 0.3290, 1};
  cmsHPROFILE target = cmsCreateRGBProfile(&kD65, &kSrgbPrimaries, curves);
  cmsFreeToneCurve(linear);
  cmsHPROFILE source = cmsOpenProfileFromMem(profile.data(), profile.size());
  cmsHTRANSFORM transform = cmsCreateTransform(source, TYPE_RGB_DBL, target, TYPE_RGB_DBL,
                                               INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOOPTIMIZE);
  const double levels[3] = {in[0] / 65535.0, in[1] / 65535.0, in[2] / 65535.0};
  double out[3];
  cmsDoTransform(transform, levels, out, 1);
  cmsDeleteTransform(transform);
  cmsCloseProfile(source);
  cmsCloseProfile(target);
  return {out[0], out[1], out[2]};
}

// The 8-bit sRGB levels of the mean of two colours' linear light, as lcms2 gives it.
Rgb ExpectedMean(const ByteVector& profile, const std::array<int, 3>& a,
                 const std::array<int, 3>& b) {
  const auto la = LcmsLinearSrgb(profile, a), lb = LcmsLinearSrgb(profile, b);
  Rgb result;
  for (int c = 0; c < 3; ++c) {
    const double mean = std::clamp((la[c] + lb[c]) / 2, 0.0, 1.0);
    result[c] = srgb::kToSrgb.level[static_cast<int>(mean * 65535 + 0.5)];
  }
  return result;
}

void ExpectNear(Pixel got, const Rgb& expected, int tolerance, const char* what) {
  EXPECT_LE(std::abs(static_cast<int>(RedOf(got)) - expected[0]), tolerance) << what;
  EXPECT_LE(std::abs(static_cast<int>(GreenOf(got)) - expected[1]), tolerance) << what;
  EXPECT_LE(std::abs(static_cast<int>(BlueOf(got)) - expected[2]), tolerance) << what;
}

TEST(PictureChannelCurves, ProfiledPictureShowsAsLittleCmsDoes) {
  const ByteVector bytes = RgbProfile(kDisplayP3, cmsBuildGamma(nullptr, 1.8), 4.3);
  const std::optional<ColourProfile> profile =
      ColourProfile::Parse(Bytes(bytes.data(), bytes.size()));
  ASSERT_TRUE(profile);
  const Rgb a = {200, 60, 40}, b = {30, 180, 220};
  const auto wide = [](const Rgb& c) { return Rgb{c[0] * 257, c[1] * 257, c[2] * 257}; };
  const Rgb flatA = ExpectedMean(bytes, wide(a), wide(a));
  const Rgb mixed = ExpectedMean(bytes, wide(a), wide(b));

  // Kept at full size: re-encoded as read, the matrix as it is shown at the same size.
  const ChannelCurves curves8(*profile, 8);
  PixelBuffer full(2, 1);
  full.At(0, 0) = MakePixel(a[0], a[1], a[2]);
  full.At(1, 0) = MakePixel(b[0], b[1], b[2]);
  curves8.Encode8(full.Data(), full.PixelCount());
  ExpectNear(Resample(full.View(), 2, 1, 1, &*profile).At(0, 0), flatA, 1, "full size");
  // Scaled: the halves average in the profile's linear light.
  ExpectNear(Resample(full.View(), 1, 1, 1, &*profile).At(0, 0), mixed, 1, "scaled");

  // Reduced while read, from 8-bit and from 16-bit samples: a and b side by side.
  const std::vector<std::uint8_t> bgr = {
      static_cast<std::uint8_t>(a[2]), static_cast<std::uint8_t>(a[1]),
      static_cast<std::uint8_t>(a[0]), static_cast<std::uint8_t>(b[2]),
      static_cast<std::uint8_t>(b[1]), static_cast<std::uint8_t>(b[0])};
  BlockReducer reducer8(2, 1, 2, 1, curves8);
  reducer8.AddBgrRows(bgr.data(), 1, 6);
  ExpectNear(Resample(reducer8.Finish().View(), 1, 1, 1, &*profile).At(0, 0), mixed, 1, "8-bit");

  const ChannelCurves curves16(*profile, 16);
  const Rgb a16 = {51400, 15420, 10280}, b16 = {7710, 46260, 56540};
  const std::vector<std::uint16_t> rgb16 = {51400, 15420, 10280, 7710, 46260, 56540};
  BlockReducer reducer16(2, 1, 2, 1, curves16);
  reducer16.AddRows16(rgb16.data(), 1, 6, Layout16{});
  ExpectNear(Resample(reducer16.Finish().View(), 1, 1, 1, &*profile).At(0, 0),
             ExpectedMean(bytes, a16, b16), 1, "16-bit");
}

}  // namespace
}  // namespace host::picture
