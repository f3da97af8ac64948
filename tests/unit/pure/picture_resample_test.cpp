// The scaler: linear-light area averages, interpolation when enlarging, the same bits anywhere.
#include <gtest/gtest.h>

#include <cmath>

#include "host/picture/resample.h"
#include "support/picture_patterns.h"

namespace host::picture {
namespace {

using testing_support::All;
using testing_support::FromPixels;
using testing_support::NoisePattern;

constexpr Pixel kBlack = MakePixel(0, 0, 0), kWhite = MakePixel(255, 255, 255);

Pixel Grey(unsigned v) { return MakePixel(v, v, v); }

double Linear(unsigned level) {
  const double c = level / 255.0;
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

unsigned Level(double linear) {
  const double c = linear <= 0.0031308 ? linear * 12.92 : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
  return static_cast<unsigned>(std::lround(c * 255));
}

std::uint64_t Hash(const PixelBuffer& buffer) {
  std::uint64_t hash = 14695981039346656037ull;
  for (Pixel p : All(buffer)) hash = (hash ^ p) * 1099511628211ull;
  return hash;
}

TEST(PictureResample, CurveRoundTripsEveryLevelAndRises) {
  EXPECT_EQ(SrgbToLinear16(0), 0);
  EXPECT_EQ(SrgbToLinear16(255), 65535);
  for (unsigned v = 0; v < 256; ++v) {
    EXPECT_EQ(Linear16ToSrgb(SrgbToLinear16(static_cast<std::uint8_t>(v))), v) << v;
  }
  for (unsigned v = 1; v < 256; ++v) EXPECT_GT(SrgbToLinear16(v), SrgbToLinear16(v - 1)) << v;
}

TEST(PictureResample, FlatColourStaysExactAtAnySize) {
  PixelBuffer flat(37, 23);
  flat.Fill(MakePixel(12, 200, 77));
  for (auto [w, h] : {std::pair{1, 1}, {36, 22}, {100, 51}, {5, 90}}) {
    for (Pixel p : All(Resample(flat.View(), w, h))) ASSERT_EQ(p, MakePixel(12, 200, 77)) << w;
  }
}

TEST(PictureResample, ThreeToTwoWeighsTheSharedPixelByWhatItCoversOnBothAxes) {
  // Output 0 covers source 0 and the first half of source 1: weights 2/3
  // and 1/3; output 1 the other way round.
  const unsigned a = 30, b = 160, c = 250;
  const PixelBuffer out = Resample(FromPixels(3, 1, {Grey(a), Grey(b), Grey(c)}).View(), 2, 1);
  EXPECT_NEAR(RedOf(out.At(0, 0)), Level((2 * Linear(a) + Linear(b)) / 3), 1);
  EXPECT_NEAR(RedOf(out.At(1, 0)), Level((Linear(b) + 2 * Linear(c)) / 3), 1);
  EXPECT_EQ(All(Resample(FromPixels(1, 3, {Grey(a), Grey(b), Grey(c)}).View(), 1, 2)), All(out));
}

TEST(PictureResample, EdgesKeepTheirOwnColour) {
  // A white border one source pixel wide on black, reduced 3:1: the edge
  // outputs carry exactly one third of white and nothing from outside.
  PixelBuffer framed(9, 9);
  for (int i = 0; i < 81; ++i) framed.Data()[i] = i % 9 == 0 || i < 9 ? kWhite : kBlack;
  PixelBuffer out = Resample(framed.View(), 3, 3);
  EXPECT_NEAR(RedOf(out.At(0, 0)), Level(5.0 / 9), 1);  // 5 of its 9 pixels are white
  EXPECT_NEAR(RedOf(out.At(1, 0)), Level(1.0 / 3), 1);
  EXPECT_NEAR(RedOf(out.At(0, 2)), Level(1.0 / 3), 1);
  EXPECT_TRUE(out.At(2, 2) == kBlack && out.At(1, 1) == kBlack);
}

TEST(PictureResample, HugeReductionIsTheMean) {
  PixelBuffer row(3001, 1);
  double sum = 0;
  for (int x = 0; x < 3001; ++x) {
    row.At(x, 0) = Grey((x * 7) % 256);
    sum += Linear((x * 7) % 256);
  }
  EXPECT_NEAR(GreenOf(Resample(row.View(), 1, 1).At(0, 0)), Level(sum / 3001), 1);
}

TEST(PictureResample, CheckerIsHalfTheLightAndEnlargingInterpolatesBetweenCentres) {
  EXPECT_EQ(Resample(FromPixels(2, 2, {kBlack, kWhite, kWhite, kBlack}).View(), 1, 1).At(0, 0),
            Grey(188));  // not 128
  PixelBuffer out = Resample(FromPixels(2, 1, {kBlack, kWhite}).View(), 4, 1);
  EXPECT_TRUE(out.At(0, 0) == kBlack && out.At(3, 0) == kWhite);
  EXPECT_NEAR(RedOf(out.At(1, 0)), Level(0.25), 1);
  EXPECT_NEAR(RedOf(out.At(2, 0)), Level(0.75), 1);
}

TEST(PictureResample, AlphaOnInputIsIgnoredAndTheSameSizeIsAnOpaqueCopy) {
  PixelBuffer source = NoisePattern(13, 7);
  PixelBuffer clear = NoisePattern(13, 7);
  for (std::size_t i = 0; i < clear.PixelCount(); ++i) clear.Data()[i] &= 0x00FFFFFF;
  EXPECT_EQ(Hash(Resample(clear.View(), 13, 7)), Hash(source));
  EXPECT_EQ(Hash(Resample(clear.View(), 7, 3)), Hash(Resample(source.View(), 7, 3)));
  EXPECT_EQ(AlphaOf(Resample(clear.View(), 7, 3).At(0, 0)), 0xFFu);
}

TEST(PictureResample, WritesOnlyInsideTheTarget) {
  const PixelBuffer source = NoisePattern(40, 30);
  // Reduced both ways, copied at the same size, or scaled along one axis.
  for (auto [w, h] : {std::pair{10, 8}, {40, 30}, {10, 30}, {40, 8}}) {
    PixelBuffer canvas(50, 36);
    canvas.Fill(0x12345678);
    Resample(source.View(), PixelTarget{canvas.Row(2) + 3, w, h, canvas.Width()});
    for (int y = 0; y < 36; ++y) {
      for (int x = 0; x < 50; ++x) {
        const bool inside = x >= 3 && x < 3 + w && y >= 2 && y < 2 + h;
        ASSERT_EQ(canvas.At(x, y) == 0x12345678, !inside)
            << w << "x" << h << " at " << x << "," << y;
      }
    }
  }
}

TEST(PictureResample, EmptySizesDoNothing) {
  PixelBuffer source = NoisePattern(4, 4);
  EXPECT_TRUE(Resample(source.View(), 0, 5).Empty());
  PixelBuffer target(3, 3);
  target.Fill(7);
  Resample(PixelView{}, target.Target());
  EXPECT_EQ(target.At(1, 1), 7u);
}

TEST(PictureResample, ThreadsGiveTheSameBits) {
  PixelBuffer source = NoisePattern(301, 203);
  for (auto [w, h] : {std::pair{100, 67}, {400, 300}, {1, 3}}) {
    const std::uint64_t one = Hash(Resample(source.View(), w, h, 1));
    for (int threads : {3, 100}) EXPECT_EQ(Hash(Resample(source.View(), w, h, threads)), one) << w;
  }
}

TEST(PictureResample, SameBitsOnEveryMachine) {
  // Integer arithmetic only: these hashes hold natively and under Wine.
  PixelBuffer source = NoisePattern(97, 61);
  EXPECT_EQ(Hash(Resample(source.View(), 40, 25)), 0x84aa5233149c0b1bull);
  EXPECT_EQ(Hash(Resample(source.View(), 150, 80)), 0x3c8032964c8df44aull);
  EXPECT_EQ(Hash(Resample(source.View(), 97, 30)), 0xd583fc25eabe531full);
}

}  // namespace
}  // namespace host::picture
