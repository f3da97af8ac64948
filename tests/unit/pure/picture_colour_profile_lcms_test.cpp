// Matrix/TRC profiles against Little CMS: profiles made by lcms2, our transform to sRGB compared
// with its relative colorimetric one, a profiled picture through the decode's own steps, and the
// profiles we must refuse. Native only (lcms2 is a test tool, never part of the product).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "host/picture/channel_curves.h"
#include "host/picture/colour_profile.h"
#include "host/picture/resample.h"
#include "host/picture/srgb.h"
#include "support/lcms_profiles.h"

namespace host::picture {
namespace {

using namespace testing_support;

std::optional<ColourProfile> Parse(const ByteVector& bytes) {
  return ColourProfile::Parse(Bytes(bytes.data(), bytes.size()));
}

// lcms2's relative colorimetric transform of `count` pixels from the profile into `target`,
// which it closes. Unoptimised: its default resampling of 16-bit transforms is itself over 10
// levels off its exact result.
void LcmsTransform(const ByteVector& profile, cmsUInt32Number inFormat, cmsHPROFILE target,
                   cmsUInt32Number outFormat, const void* in, void* out, std::size_t count) {
  cmsHPROFILE source = cmsOpenProfileFromMem(profile.data(), profile.size());
  cmsHTRANSFORM transform = cmsCreateTransform(source, inFormat, target, outFormat,
                                               INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOOPTIMIZE);
  cmsDoTransform(transform, in, out, static_cast<cmsUInt32Number>(count));
  cmsDeleteTransform(transform);
  cmsCloseProfile(source);
  cmsCloseProfile(target);
}

// The largest difference, over 52 levels a channel, between our 8-bit sRGB result and lcms2's.
// lcms2 reads 8-bit levels v as 257 v in 16 bits.
int LargestDifference(const ByteVector& bytes, int bits) {
  const std::optional<ColourProfile> ours = Parse(bytes);
  const bool grey = ours->ColourSpace() == ColourProfile::Space::Grey;
  const int channels = grey ? 1 : 3, count = grey ? 52 : 52 * 52 * 52;
  const int unit = bits == 8 ? 257 : 1, step = bits == 8 ? 5 * 257 : 1291;  // 1291 is not 257 k
  std::vector<std::uint16_t> in;  // lcms2's input; ours is in / unit
  for (int i = 0; i < count; ++i) {
    for (int divisor : {1, 52, 52 * 52}) {
      in.push_back(static_cast<std::uint16_t>(std::min(65535, i / divisor % 52 * step)));
      if (grey) break;
    }
  }
  std::vector<std::uint8_t> expected(3 * static_cast<std::size_t>(count));
  LcmsTransform(bytes, grey ? TYPE_GRAY_16 : TYPE_RGB_16, cmsCreate_sRGBProfile(), TYPE_RGB_8,
                in.data(), expected.data(), expected.size() / 3);
  const auto tables = ours->LinearTables(bits);
  int largest = 0;
  for (int i = 0; i < count; ++i) {
    const std::uint16_t* v = &in[static_cast<std::size_t>(i) * channels];
    const LinearRgb out =
        ours->ToLinearSrgb({tables[0][v[0] / unit], tables[1][v[channels / 2] / unit],
                            tables[2][v[channels - 1] / unit]});
    const std::uint32_t got[3] = {out.r, out.g, out.b};
    for (int k = 0; k < 3; ++k) {
      largest = std::max(largest, std::abs(srgb::kToSrgb.level[got[k]] - expected[3 * i + k]));
    }
  }
  return largest;
}

TEST(PictureColourProfile, MatchesLittleCmsWithinOneLevel) {
  std::uint16_t samples[64];  // a curve of few samples, between which both interpolate
  for (int i = 0; i < 64; ++i) samples[i] = static_cast<std::uint16_t>(65535.0 * i * i / 3969);
  const std::pair<std::string, ByteVector> profiles[] = {
      {"Adobe RGB v4, 64 samples",
       RgbProfile(kAdobeRgb, cmsBuildTabulatedToneCurve16(nullptr, 64, samples), 4.3)},
      {"Adobe RGB v2, gamma", RgbProfile(kAdobeRgb, cmsBuildGamma(nullptr, 563 / 256.0), 2.1)},
      {"para 0", RgbProfile(kDisplayP3, Parametric(0, {1.8}), 4.3)},
      {"para 1", RgbProfile(kAdobeRgb, Parametric(1, {2.2, 1.1, -0.1}), 4.3)},
      {"para 2", RgbProfile(kDisplayP3, Parametric(2, {2.4, 1.04, -0.05, 0.01}), 4.3)},
      {"para 3", RgbProfile(kAdobeRgb, Parametric(3, {2.222, 0.9099, 0.0901, 0.2222, 0.081}), 4.3)},
      {"para 4",
       RgbProfile(kDisplayP3, Parametric(4, {2.6, 0.9, 0.05, 0.1, 0.1, 0.01, 0.002}), 4.3)},
      {"grey v4, para 3", GreyProfile(Parametric(3, {1.8, 0.95, 0.05, 0.1, 0.05}), 4.3)}};
  for (const auto& [name, bytes] : profiles) {
    const std::optional<ColourProfile> profile = Parse(bytes);
    ASSERT_TRUE(profile) << name;
    EXPECT_FALSE(profile->IsSrgbEquivalent()) << name;
    EXPECT_LE(LargestDifference(bytes, 8), 1) << name;
    EXPECT_LE(LargestDifference(bytes, 16), 1) << name << ", 16-bit";
  }
}

// The byte offset of a tag's data in a profile lcms2 wrote.
std::size_t TagData(const ByteVector& icc, const char* signature) {
  for (std::size_t entry = 132; entry + 12 <= icc.size(); entry += 12) {
    if (std::memcmp(&icc[entry], signature, 4) == 0)
      return icc[entry + 4] << 24 | icc[entry + 5] << 16 | icc[entry + 6] << 8 | icc[entry + 7];
  }
  return 0;
}

TEST(PictureColourProfile, RefusesWhatItCannotApply) {
  const ByteVector para = RgbProfile(kDisplayP3, SrgbCurve(), 4.3);
  ASSERT_TRUE(Parse(para));
  const auto changed = [](ByteVector icc, std::size_t at,
                          std::initializer_list<std::uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), icc.begin() + static_cast<std::ptrdiff_t>(at));
    return icc;
  };
  // rXYZ is the fifth tag, the curves' data follow the colorants'.
  const std::size_t rXyzEntry = 132 + 4 * 12, parametric = TagData(para, "rTRC");
  const std::pair<std::string, ByteVector> cases[] = {
      {"CMYK data", changed(para, 16, {'C', 'M', 'Y', 'K'})},
      {"Lab connection space", changed(para, 20, {'L', 'a', 'b', ' '})},
      {"version 3", changed(para, 8, {3})},
      {"tag count past the end", changed(para, 128, {0, 1, 0, 0})},
      {"tag past the end", changed(para, rXyzEntry + 4, {0, 0x10})},
      {"colorant far out", changed(para, TagData(para, "bXYZ") + 8, {0x7F})},
      {"para gamma 0", changed(para, parametric + 12, {0, 0, 0, 0})},
      {"para infinite", changed(para, parametric + 12, {0x7F, 0, 0, 0, 0x7F})},
  };
  for (const auto& [name, bytes] : cases) EXPECT_FALSE(Parse(bytes)) << name;
  // A lookup table takes precedence over the matrix, so the profile is refused.
  cmsHPROFILE lut = cmsCreate_sRGBProfile();
  cmsPipeline* pipeline = cmsPipelineAlloc(nullptr, 3, 3);
  cmsPipelineInsertStage(pipeline, cmsAT_BEGIN, cmsStageAllocToneCurves(nullptr, 3, nullptr));
  cmsWriteTag(lut, cmsSigAToB0Tag, pipeline);
  cmsPipelineFree(pipeline);
  const ByteVector withLut = SaveProfile(lut, 4.3);
  ASSERT_FALSE(withLut.empty());
  EXPECT_FALSE(Parse(withLut));
}

// Curves as the picture is read, its matrix as it is scaled: colours a and b side by side come out
// as lcms2's mean of their linear light, kept (each as it is) or scaled to one pixel. (The
// reductions give what this gives: the pipeline's test.)
TEST(PictureChannelCurves, ProfiledPictureShowsAsLittleCmsDoes) {
  const ByteVector bytes = RgbProfile(kDisplayP3, cmsBuildGamma(nullptr, 1.8), 4.3);
  const std::optional<ColourProfile> profile = Parse(bytes);
  ASSERT_TRUE(profile);
  const std::vector<std::uint16_t> aa = {51400, 15420, 10280, 51400, 15420, 10280},
                                   ab = {51400, 15420, 10280, 7710, 46260, 56540};  // 257 x 8 bits
  const auto lcmsMean = [&](const std::vector<std::uint16_t>& pair) {
    const ByteVector linear = RgbProfile(kSrgbPrimaries, cmsBuildGamma(nullptr, 1.0), 4.3);
    double out[6];
    LcmsTransform(bytes, TYPE_RGB_16, cmsOpenProfileFromMem(linear.data(), linear.size()),
                  TYPE_RGB_DBL, pair.data(), out, 2);
    std::array<int, 3> levels;
    for (int c = 0; c < 3; ++c) {
      const double mean = std::clamp((out[c] + out[c + 3]) / 2, 0.0, 1.0);
      levels[c] = srgb::kToSrgb.level[static_cast<int>(mean * 65535 + 0.5)];
    }
    return levels;
  };
  PixelBuffer kept(2, 1);
  kept.At(0, 0) = MakePixel(200, 60, 40);
  kept.At(1, 0) = MakePixel(30, 180, 220);
  ChannelCurves(*profile, 8).Encode8(kept.Data(), kept.PixelCount());
  const std::pair<int, std::array<int, 3>> cases[] = {{2, lcmsMean(aa)}, {1, lcmsMean(ab)}};
  for (const auto& [width, expected] : cases) {
    const Pixel got = Resample(kept.View(), width, 1, 1, &*profile).At(0, 0);
    const int levels[3] = {static_cast<int>(RedOf(got)), static_cast<int>(GreenOf(got)),
                           static_cast<int>(BlueOf(got))};
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(levels[c], expected[c], 1) << width << " " << c;
  }
}

}  // namespace
}  // namespace host::picture
