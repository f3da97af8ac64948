// The scaler: area averaging in linear light, linear interpolation when
// enlarging, exact copies at the same size, the same bits everywhere.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "host/picture/pixels.h"
#include "host/picture/resample.h"
#include "support/picture_patterns.h"

namespace host::picture {
namespace {

constexpr Pixel kBlack = MakePixel(0, 0, 0);
constexpr Pixel kWhite = MakePixel(255, 255, 255);

PixelBuffer Make(int width, int height, const std::vector<Pixel>& pixels) {
  PixelBuffer buffer(width, height);
  for (int i = 0; i < width * height; ++i) buffer.Data()[i] = pixels[i];
  return buffer;
}

PixelBuffer Pattern(int width, int height) {
  return testing_support::NoisePattern(width, height, 12345);
}

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
  for (std::size_t i = 0; i < buffer.PixelCount(); ++i) {
    hash = (hash ^ buffer.Data()[i]) * 1099511628211ull;
  }
  return hash;
}

TEST(PictureResample, CurveRoundTripsEveryLevel) {
  for (unsigned v = 0; v < 256; ++v) {
    EXPECT_EQ(Linear16ToSrgb(SrgbToLinear16(static_cast<std::uint8_t>(v))), v) << v;
  }
  EXPECT_EQ(SrgbToLinear16(0), 0);
  EXPECT_EQ(SrgbToLinear16(255), 65535);
  for (unsigned v = 1; v < 256; ++v) EXPECT_GT(SrgbToLinear16(v), SrgbToLinear16(v - 1));
}

TEST(PictureResample, CheckerOfTwoByTwoBecomesMidGreyInLinearLight) {
  PixelBuffer checker = Make(2, 2, {kBlack, kWhite, kWhite, kBlack});
  PixelBuffer one = Resample(checker.View(), 1, 1);
  // Half the light of white: level 188, not the 128 of averaging the levels.
  EXPECT_EQ(one.At(0, 0), MakePixel(188, 188, 188));
}

TEST(PictureResample, FineStripesBecomeEvenGrey) {
  PixelBuffer stripes(64, 32);
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 64; ++x) stripes.At(x, y) = x % 2 ? kWhite : kBlack;
  }
  PixelBuffer small = Resample(stripes.View(), 16, 8);
  for (std::size_t i = 0; i < small.PixelCount(); ++i) {
    EXPECT_EQ(small.Data()[i], MakePixel(188, 188, 188));
  }
}

TEST(PictureResample, FlatColourStaysExactAtAnySize) {
  const Pixel colour = MakePixel(12, 200, 77);
  PixelBuffer flat(37, 23);
  flat.Fill(colour);
  for (auto [w, h] : {std::pair{1, 1}, {10, 7}, {36, 22}, {37, 1}, {100, 51}, {5, 90}}) {
    PixelBuffer out = Resample(flat.View(), w, h);
    for (std::size_t i = 0; i < out.PixelCount(); ++i) {
      ASSERT_EQ(out.Data()[i], colour) << w << "x" << h << " at " << i;
    }
  }
}

TEST(PictureResample, IntegerReductionAveragesEachBlock) {
  // 4 x 2 blocks of 2 x 2 pixels, each block of one colour.
  const Pixel colours[4] = {MakePixel(255, 0, 0), MakePixel(0, 255, 0), MakePixel(0, 0, 255),
                            MakePixel(10, 20, 30)};
  PixelBuffer blocks(4, 4);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) blocks.At(x, y) = colours[(y / 2) * 2 + x / 2];
  }
  PixelBuffer out = Resample(blocks.View(), 2, 2);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(out.Data()[i], colours[i]);
}

TEST(PictureResample, ThreeToTwoWeighsTheSharedPixelByWhatItCovers) {
  // Output 0 covers source 0 and the first half of source 1: weights 2/3
  // and 1/3; output 1 the other way round.
  const unsigned a = 30, b = 160, c = 250;
  PixelBuffer row = Make(3, 1, {MakePixel(a, a, a), MakePixel(b, b, b), MakePixel(c, c, c)});
  PixelBuffer out = Resample(row.View(), 2, 1);
  const unsigned left = Level((2 * Linear(a) + Linear(b)) / 3);
  const unsigned right = Level((Linear(b) + 2 * Linear(c)) / 3);
  EXPECT_NEAR(RedOf(out.At(0, 0)), left, 1);
  EXPECT_NEAR(RedOf(out.At(1, 0)), right, 1);
  // The same along the other axis.
  PixelBuffer column = Make(1, 3, {MakePixel(a, a, a), MakePixel(b, b, b), MakePixel(c, c, c)});
  PixelBuffer down = Resample(column.View(), 1, 2);
  EXPECT_EQ(down.At(0, 0), out.At(0, 0));
  EXPECT_EQ(down.At(0, 1), out.At(1, 0));
}

TEST(PictureResample, EdgesKeepTheirOwnColour) {
  // A white border one source pixel wide on black, reduced 3:1: the edge
  // outputs carry exactly one third of white and nothing from outside.
  PixelBuffer framed(9, 9);
  for (int y = 0; y < 9; ++y) {
    for (int x = 0; x < 9; ++x) framed.At(x, y) = (x == 0 || y == 0) ? kWhite : kBlack;
  }
  PixelBuffer out = Resample(framed.View(), 3, 3);
  const unsigned third = Level(1.0 / 3), fiveNinths = Level(5.0 / 9);
  EXPECT_NEAR(RedOf(out.At(0, 0)), fiveNinths, 1);  // 5 of its 9 pixels are white
  EXPECT_NEAR(RedOf(out.At(1, 0)), third, 1);
  EXPECT_NEAR(RedOf(out.At(0, 2)), third, 1);
  EXPECT_EQ(out.At(2, 2), kBlack);
  EXPECT_EQ(out.At(1, 1), kBlack);
}

TEST(PictureResample, HugeReductionIsTheMean) {
  PixelBuffer row(3001, 1);
  double sum = 0;
  for (int x = 0; x < 3001; ++x) {
    const unsigned v = (x * 7) % 256;
    row.At(x, 0) = MakePixel(v, v, v);
    sum += Linear(v);
  }
  PixelBuffer one = Resample(row.View(), 1, 1);
  EXPECT_NEAR(GreenOf(one.At(0, 0)), Level(sum / 3001), 1);
}

TEST(PictureResample, EnlargingInterpolatesBetweenCentres) {
  PixelBuffer pair = Make(2, 1, {kBlack, kWhite});
  PixelBuffer out = Resample(pair.View(), 4, 1);
  EXPECT_EQ(out.At(0, 0), kBlack);
  EXPECT_NEAR(RedOf(out.At(1, 0)), Level(0.25), 1);
  EXPECT_NEAR(RedOf(out.At(2, 0)), Level(0.75), 1);
  EXPECT_EQ(out.At(3, 0), kWhite);
}

TEST(PictureResample, OnePixelFillsAnySize) {
  const Pixel colour = MakePixel(1, 2, 3);
  PixelBuffer dot = Make(1, 1, {colour});
  PixelBuffer out = Resample(dot.View(), 5, 3);
  for (std::size_t i = 0; i < out.PixelCount(); ++i) EXPECT_EQ(out.Data()[i], colour);
}

TEST(PictureResample, SameSizeIsACopyMadeOpaque) {
  PixelBuffer source = Pattern(13, 7);
  for (std::size_t i = 0; i < source.PixelCount(); ++i) source.Data()[i] &= 0x00FFFFFF;
  PixelBuffer out = Resample(source.View(), 13, 7);
  for (std::size_t i = 0; i < out.PixelCount(); ++i) {
    EXPECT_EQ(out.Data()[i], source.Data()[i] | kOpaqueBlack);
  }
}

TEST(PictureResample, AlphaOnInputIsIgnored) {
  PixelBuffer source = Pattern(20, 10);
  PixelBuffer clear = Pattern(20, 10);
  for (std::size_t i = 0; i < clear.PixelCount(); ++i) clear.Data()[i] &= 0x00FFFFFF;
  EXPECT_EQ(Hash(Resample(source.View(), 7, 3)), Hash(Resample(clear.View(), 7, 3)));
  EXPECT_EQ(AlphaOf(Resample(clear.View(), 7, 3).At(0, 0)), 0xFFu);
}

TEST(PictureResample, MirroredInputGivesMirroredOutput) {
  PixelBuffer source = Pattern(29, 17);
  PixelBuffer mirrored(29, 17);
  for (int y = 0; y < 17; ++y) {
    for (int x = 0; x < 29; ++x) mirrored.At(28 - x, y) = source.At(x, y);
  }
  PixelBuffer a = Resample(source.View(), 11, 6), b = Resample(mirrored.View(), 11, 6);
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 11; ++x) EXPECT_EQ(a.At(x, y), b.At(10 - x, y));
  }
}

TEST(PictureResample, WritesOnlyInsideTheTarget) {
  PixelBuffer source = Pattern(40, 30);
  PixelBuffer canvas(20, 12);
  canvas.Fill(0x12345678);
  const PixelTarget inner{canvas.Row(2) + 3, 10, 8, canvas.Width()};
  Resample(source.View(), inner);
  for (int y = 0; y < 12; ++y) {
    for (int x = 0; x < 20; ++x) {
      const bool inside = x >= 3 && x < 13 && y >= 2 && y < 10;
      EXPECT_EQ(canvas.At(x, y) == 0x12345678, !inside) << x << "," << y;
    }
  }
}

TEST(PictureResample, EmptySizesDoNothing) {
  PixelBuffer source = Pattern(4, 4);
  PixelBuffer none = Resample(source.View(), 0, 5);
  EXPECT_TRUE(none.Empty());
  PixelBuffer target(3, 3);
  target.Fill(7);
  Resample(PixelView{}, target.Target());
  EXPECT_EQ(target.At(1, 1), 7u);
}

TEST(PictureResample, ThreadsGiveTheSameBits) {
  PixelBuffer source = Pattern(301, 203);
  for (auto [w, h] : {std::pair{100, 67}, {7, 5}, {301, 50}, {400, 300}, {1, 3}}) {
    const std::uint64_t one = Hash(Resample(source.View(), w, h, 1));
    for (int threads : {2, 3, 8, 100}) {
      EXPECT_EQ(Hash(Resample(source.View(), w, h, threads)), one)
          << w << "x" << h << " " << threads;
    }
  }
}

TEST(PictureResample, SameBitsOnEveryMachine) {
  // Integer arithmetic only: these hashes hold natively and under Wine.
  PixelBuffer source = Pattern(97, 61);
  EXPECT_EQ(Hash(Resample(source.View(), 40, 25)), 0x84aa5233149c0b1bull);
  EXPECT_EQ(Hash(Resample(source.View(), 150, 80)), 0x3c8032964c8df44aull);
  EXPECT_EQ(Hash(Resample(source.View(), 97, 30)), 0xd583fc25eabe531full);
}

}  // namespace
}  // namespace host::picture
