// The pixel buffer, compositing onto black, and the scaler: linear-light area averages,
// interpolation when enlarging, the same bits anywhere.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>

#include "host/picture/pixels.h"
#include "host/picture/resample.h"
#include "support/picture_patterns.h"

namespace host::picture {
namespace {

using namespace testing_support;

constexpr Pixel kBlack = MakePixel(0, 0, 0), kWhite = MakePixel(255, 255, 255);

Pixel Grey(unsigned v) { return MakePixel(v, v, v); }

double Linear(unsigned level) { return SrgbToLinear(level / 255.0); }

std::uint64_t Hash(const PixelBuffer& buffer) {
  std::uint64_t hash = 14695981039346656037ull;
  for (Pixel p : All(buffer)) hash = (hash ^ p) * 1099511628211ull;
  return hash;
}

TEST(PicturePixels, BuffersAreBgraMoveTheirPixelsAndRefuseImpossibleSizes) {
  const Pixel p = MakePixel(0x11, 0x22, 0x33);
  EXPECT_EQ(std::memcmp(&p, "\x33\x22\x11\xFF", 4), 0);
  PixelBuffer a(4, 4);
  PixelBuffer b = std::move(a);
  EXPECT_TRUE(a.Empty() && a.Data() == nullptr);  // NOLINT(bugprone-use-after-move)
  PixelBuffer c;
  c = std::move(b);
  EXPECT_EQ(c.PixelCount(), 16u);
  EXPECT_TRUE(PixelBuffer(0, 10).Empty() && PixelBuffer(10, 0).Empty());
  EXPECT_THROW(PixelBuffer(-1, 10), std::invalid_argument);
  if (sizeof(std::size_t) == 4) {
    // More bytes than a 32-bit process can address.
    EXPECT_THROW(PixelBuffer(65535, 65535), std::bad_alloc);
  }
}

TEST(PicturePixels, AlphaGoesOverBlackRoundedToNearestAndTransparentIsNeverWhite) {
  for (unsigned c = 0; c < 256; ++c) {
    for (unsigned a = 0; a < 256; ++a) {
      ASSERT_EQ(MulDiv255(c, a), static_cast<unsigned>(std::lround(c * a / 255.0)))
          << c << " " << a;
    }
  }
  const struct {
    Pixel argb;
    bool premultiplied;
    Pixel shown;
  } cases[] = {{0x00FFFFFF, false, kBlack},
               {0x00000000, true, kBlack},
               {0x00FFFFFF, true, kBlack},  // not a valid premultiplied value
               {0x80FF8040, false, MakePixel(128, 64, 32)},
               {0x80804020, true, MakePixel(0x80, 0x40, 0x20)},
               {0xFF102030, false, MakePixel(0x10, 0x20, 0x30)},
               {0xFF102030, true, MakePixel(0x10, 0x20, 0x30)}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.premultiplied ? OpaqueFromPremultiplied(c.argb) : OpaqueFromStraight(c.argb),
              c.shown)
        << std::hex << c.argb << " " << c.premultiplied;
  }
}

TEST(PictureResample, CurveRoundTripsEveryLevelAndRises) {
  EXPECT_EQ(SrgbToLinear16(0), 0);
  EXPECT_EQ(SrgbToLinear16(255), 65535);
  for (unsigned v = 0; v < 256; ++v) {
    EXPECT_EQ(Linear16ToSrgb(SrgbToLinear16(static_cast<std::uint8_t>(v))), v) << v;
  }
  for (unsigned v = 1; v < 256; ++v) EXPECT_GT(SrgbToLinear16(v), SrgbToLinear16(v - 1)) << v;
}

TEST(PictureResample, EachOutputIsTheLightOfWhatItCovers) {
  const unsigned a = 30, b = 160, c = 250;
  const PixelBuffer row = FromPixels(3, 1, {Grey(a), Grey(b), Grey(c)}),
                    column = FromPixels(1, 3, {Grey(a), Grey(b), Grey(c)}),
                    checker = FromPixels(2, 2, {kBlack, kWhite, kWhite, kBlack}),
                    pair = FromPixels(2, 1, {kBlack, kWhite});
  PixelBuffer framed(9, 9), ramp(3001, 1), flat(37, 23);
  for (int i = 0; i < 81; ++i) framed.Data()[i] = i % 9 == 0 || i < 9 ? kWhite : kBlack;
  double sum = 0;
  for (int x = 0; x < 3001; ++x) {
    ramp.At(x, 0) = Grey((x * 7) % 256);
    sum += Linear((x * 7) % 256);
  }
  flat.Fill(MakePixel(12, 200, 77));
  const struct {
    const PixelBuffer& source;
    int width, height, x, y;
    double linear;
  } cases[] = {
      // 3 to 2: output 0 covers source 0 and the first half of source 1, on either axis.
      {row, 2, 1, 0, 0, (2 * Linear(a) + Linear(b)) / 3},
      {row, 2, 1, 1, 0, (Linear(b) + 2 * Linear(c)) / 3},
      {column, 1, 2, 0, 0, (2 * Linear(a) + Linear(b)) / 3},
      {column, 1, 2, 0, 1, (Linear(b) + 2 * Linear(c)) / 3},
      // A white border one pixel wide on black, reduced 3:1: nothing from outside at the edges.
      {framed, 3, 3, 0, 0, 5.0 / 9},
      {framed, 3, 3, 1, 0, 1.0 / 3},
      {framed, 3, 3, 0, 2, 1.0 / 3},
      {framed, 3, 3, 2, 2, 0},
      {framed, 3, 3, 1, 1, 0},
      {ramp, 1, 1, 0, 0, sum / 3001},
      {checker, 1, 1, 0, 0, 0.5},  // 188, not 128
      // Enlarged, between the centres.
      {pair, 4, 1, 0, 0, 0},
      {pair, 4, 1, 1, 0, 0.25},
      {pair, 4, 1, 2, 0, 0.75},
      {pair, 4, 1, 3, 0, 1},
  };
  for (const auto& k : cases) {
    const Pixel p = Resample(k.source.View(), k.width, k.height).At(k.x, k.y);
    EXPECT_NEAR(RedOf(p), std::lround(LinearToSrgb(k.linear) * 255),
                k.linear == 0 || k.linear == 1 ? 0 : 1)
        << k.source.Width() << "x" << k.source.Height() << " to " << k.width << " at " << k.x << ","
        << k.y;
    EXPECT_EQ(p, Grey(RedOf(p)));
  }
  for (auto [w, h] : {std::pair{1, 1}, {36, 22}, {100, 51}, {5, 90}}) {
    for (Pixel p : All(Resample(flat.View(), w, h))) ASSERT_EQ(p, flat.At(0, 0)) << w;
  }
}

TEST(PictureResample, EveryPathWritesOpaquePixelsOnlyInsideTheTarget) {
  const PixelBuffer source = NoisePattern(40, 30);
  PixelBuffer clear = NoisePattern(40, 30);  // alpha 0 on input is ignored
  for (std::size_t i = 0; i < clear.PixelCount(); ++i) clear.Data()[i] &= 0x00FFFFFF;
  EXPECT_EQ(All(Resample(source.View(), 40, 30)), All(source));
  // Reduced both ways, copied at the same size, or scaled along one axis.
  for (auto [w, h] : {std::pair{10, 8}, {40, 30}, {10, 30}, {40, 8}}) {
    const PixelBuffer opaque = Resample(source.View(), w, h);
    PixelBuffer canvas(50, 36);
    canvas.Fill(0x12345678);
    Resample(clear.View(), PixelTarget{canvas.Row(2) + 3, w, h, canvas.Width()});
    for (int y = 0; y < 36; ++y) {
      for (int x = 0; x < 50; ++x) {
        const bool inside = x >= 3 && x < 3 + w && y >= 2 && y < 2 + h;
        ASSERT_EQ(canvas.At(x, y), inside ? opaque.At(x - 3, y - 2) : 0x12345678)
            << w << "x" << h << " at " << x << "," << y;
      }
    }
  }
  EXPECT_TRUE(Resample(source.View(), 0, 5).Empty());
  PixelBuffer target(3, 3);
  target.Fill(7);
  Resample(PixelView{}, target.Target());
  EXPECT_EQ(target.At(1, 1), 7u);
}

TEST(PictureResample, SameBitsWithAnyThreadsOnEveryMachine) {
  // Integer arithmetic only: these hashes hold natively and under Wine.
  const PixelBuffer source = NoisePattern(97, 61);
  const struct {
    int width, height;
    std::uint64_t hash;
  } cases[] = {{40, 25, 0x84aa5233149c0b1bull},
               {150, 80, 0x3c8032964c8df44aull},
               {97, 30, 0xd583fc25eabe531full}};
  for (const auto& c : cases) {
    for (int threads : {1, 3, 100}) {
      EXPECT_EQ(Hash(Resample(source.View(), c.width, c.height, threads)), c.hash)
          << c.width << "x" << c.height << " on " << threads;
    }
  }
}

}  // namespace
}  // namespace host::picture
