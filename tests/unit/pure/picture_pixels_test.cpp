// The pixel buffer, compositing onto black, and the two scalers, which both average linear light
// (that every stored layout gives the same is the pipeline test's).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>

#include "host/picture/pixels.h"
#include "host/picture/reduce.h"
#include "host/picture/resample.h"
#include "host/picture/samples16.h"
#include "host/picture/srgb.h"
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
  const struct {
    Pixel argb;
    bool premultiplied;
    Pixel shown;
  } cases[] = {{0x00FFFFFF, false, kBlack},
               {0x00000000, true, kBlack},
               {0x00FFFFFF, true, kBlack},                  // not a valid premultiplied value
               {0x80FF4003, false, MakePixel(128, 32, 2)},  // 1.506 to 2
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
      {column, 1, 2, 0, 1, (Linear(b) + 2 * Linear(c)) / 3},
      // A white border one pixel wide on black, reduced 3:1: nothing from outside at the edges.
      {framed, 3, 3, 0, 0, 5.0 / 9},
      {framed, 3, 3, 1, 0, 1.0 / 3},
      {framed, 3, 3, 1, 1, 0},
      {ramp, 1, 1, 0, 0, sum / 3001},
      {checker, 1, 1, 0, 0, 0.5},  // 188, not 128
      // Enlarged, between the centres.
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
  for (auto [w, h] : {std::pair{1, 1}, {100, 51}}) {
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

PixelBuffer Reduce(const PixelView& source, int factor, int band, int threads = 1) {
  BlockReducer reducer(source.width, source.height, factor, threads);
  for (int y = 0; y < source.height; y += band) {
    reducer.AddRows(
        {source.Row(y), source.width, std::min(band, source.height - y), source.stride});
  }
  return reducer.Finish();
}

TEST(PictureReduce, FactorKeepsTheFittedSizeCovered) {
  const int cases[][5] = {// width, height, screen width and height, factor
                          {3000, 4000, 1920, 1080, 3},  // shown 810 x 1080
                          {65535, 1000, 800, 600, 16},  // at most 16
                          {100, 100, 0, 0, 1},
                          {0, 100, 800, 600, 1}};
  for (const auto& [width, height, screenWidth, screenHeight, factor] : cases) {
    EXPECT_EQ(PrescaleFactor(width, height, screenWidth, screenHeight), factor) << width;
  }
  // Never smaller than the picture scaled to fit, to the pixel above.
  for (int w = 100; w <= 20000; w += 37) {
    for (int h : {90, 599, 601, 1199, 1201, 4444}) {
      const int f = PrescaleFactor(w, h, 800, 600);
      const double scale = std::min({800.0 / w, 600.0 / h, 1.0});
      EXPECT_GE((w + f - 1) / f, std::ceil(w * scale)) << w << "x" << h;
      EXPECT_GE((h + f - 1) / f, std::ceil(h * scale)) << w << "x" << h;
    }
  }
}

TEST(PictureReduce, BandsThreadsPackedBgrRowsAndExtraRowsGiveTheSameResult) {
  // 601 columns by 4: 151 blocks, the last one pixel wide, in two parts when threads are given.
  const PixelBuffer source = NoisePattern(601, 31);
  const std::vector<Pixel> whole = All(Reduce(source.View(), 4, 31));
  for (int band : {1, 4, 100}) EXPECT_EQ(All(Reduce(source.View(), 4, band)), whole) << band;
  for (int threads : {2, 3}) EXPECT_EQ(All(Reduce(source.View(), 4, 10, threads)), whole);
  const std::ptrdiff_t stride = 601 * 3 + 2;  // rows need not be packed together
  std::vector<std::uint8_t> packed(static_cast<std::size_t>(stride) * 33);  // two rows extra
  for (int y = 0; y < 31; ++y) {
    for (int x = 0; x < 601; ++x) {
      for (int i = 0; i < 3; ++i) packed[y * stride + 3 * x + i] = source.At(x, y) >> (8 * i);
    }
  }
  for (int threads : {1, 2}) {
    BlockReducer reducer(601, 31, 4, threads);
    for (int y = 0; y < 33; y += 6) {
      reducer.AddBgrRows(packed.data() + y * stride, std::min(6, 33 - y), stride);
    }
    EXPECT_EQ(All(reducer.Finish()), whole) << threads;
  }
  BlockReducer fewer(601, 29, 4);
  fewer.AddRows(source.View());  // 31 rows for a picture of 29
  EXPECT_EQ(All(fewer.Finish()), All(Reduce({source.Data(), 601, 29, 601}, 4, 29)));
}

TEST(PictureSamples16, EveryLevelHasItsOwnLinearValueOnTheEightBitScale) {
  const std::uint32_t* table = Srgb16ToLinearTable();
  for (unsigned v = 0; v < 65536; ++v) {
    EXPECT_NEAR(table[v], SrgbToLinear(v / 65535.0) * kLinear16Max, 0.5 + 1e-6) << v;
    if (v > 0) {
      EXPECT_GT(table[v], table[v - 1]) << v;
    }
  }
  for (unsigned v = 0; v < 256; ++v) EXPECT_NEAR(table[v * 257], 16.0 * srgb::kToLinear[v], 8);
}

TEST(PictureSamples16, BlocksAreTheNearestLevelOfTheExactMean) {
  // Random samples, far finer than 8 bits: through 8 bits the averages would miss the nearest
  // level by up to a whole one. 61 x 47 by 3: the last blocks average the 1 x 3, 3 x 2 and 1 x 2
  // pixels they have.
  const int width = 61, height = 47, factor = 3;
  std::vector<std::uint16_t> rgb(width * height * 3);
  std::uint32_t state = 99;
  for (std::uint16_t& s : rgb)
    s = static_cast<std::uint16_t>((state = state * 1103515245u + 12345u) >> 16);
  BlockReducer reducer(width, height, factor, 2);
  for (int y = 0; y < height; y += 5) {
    reducer.AddRows16(rgb.data() + y * width * 3, std::min(5, height - y), width * 3, {3, 0, 1, 2});
  }
  const PixelBuffer out = reducer.Finish();
  for (int by = 0; by < out.Height(); ++by) {
    for (int bx = 0; bx < out.Width(); ++bx) {
      for (int channel = 0; channel < 3; ++channel) {
        double sum = 0;
        int n = 0;
        for (int y = by * factor; y < std::min(height, (by + 1) * factor); ++y) {
          for (int x = bx * factor; x < std::min(width, (bx + 1) * factor); ++x, ++n) {
            sum += SrgbToLinear(rgb[(y * width + x) * 3 + channel] / 65535.0);
          }
        }
        const double exact = 255 * LinearToSrgb(sum / n);
        const unsigned got = out.At(bx, by) >> (16 - 8 * channel) & 0xFF;
        EXPECT_NEAR(got, exact, 0.5 + 0.02) << bx << "," << by << " channel " << channel;
      }
    }
  }
}

TEST(PictureSamples16, AlphaGoesOverBlackAndLevelsRoundToNearest) {
  // Half transparent, mostly transparent, opaque: premultiplied colours are held to their alpha.
  std::vector<std::uint16_t> rgba = {65535, 1000, 0, 32768, 40000, 9, 20000, 30000, 7, 8, 9, 65535};
  std::vector<std::uint16_t> straight = rgba, premultiplied = rgba;
  CompositeOverBlack16(straight.data(), 3, {4, 0, 1, 2, 3});
  CompositeOverBlack16(premultiplied.data(), 3, {4, 0, 1, 2, 3, true});
  EXPECT_EQ(straight, (std::vector<std::uint16_t>{32768, 500, 0, 65535, 18311, 4, 9155, 65535, 7, 8,
                                                  9, 65535}));
  EXPECT_EQ(premultiplied, (std::vector<std::uint16_t>{32768, 1000, 0, 65535, 30000, 9, 20000,
                                                       65535, 7, 8, 9, 65535}));
  std::vector<std::uint16_t> levels(65536);
  for (unsigned v = 0; v < 65536; ++v) levels[v] = static_cast<std::uint16_t>(v);
  std::vector<Pixel> pixels(65536);
  PixelsFrom16(levels.data(), levels.size(), {1, 0, 0, 0}, pixels.data());
  for (unsigned v = 0; v < 65536; ++v) {
    const auto level = static_cast<unsigned>(std::lround(v / 257.0));
    ASSERT_EQ(pixels[v], MakePixel(level, level, level)) << v;
  }
}

}  // namespace
}  // namespace host::picture
