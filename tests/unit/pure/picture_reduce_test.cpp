// Whole-factor reduction while decoding: linear-light block averages of 8-bit pixels and of 16-bit
// samples, however the rows come (the other stored layouts: the pipeline's test).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>

#include "host/picture/reduce.h"
#include "host/picture/samples16.h"
#include "host/picture/srgb.h"
#include "support/picture_patterns.h"

namespace host::picture {
namespace {

using namespace testing_support;

PixelBuffer Reduce(const PixelView& source, int factor, int band, int threads = 1) {
  BlockReducer reducer(source.width, source.height, factor, threads);
  for (int y = 0; y < source.height; y += band) {
    reducer.AddRows(
        {source.Row(y), source.width, std::min(band, source.height - y), source.stride});
  }
  return reducer.Finish();
}

std::vector<std::uint16_t> Noise16(std::size_t count, std::uint32_t state) {
  std::vector<std::uint16_t> samples(count);
  for (std::uint16_t& s : samples) {
    state = state * 1103515245u + 12345u;
    s = static_cast<std::uint16_t>(state >> 16);
  }
  return samples;
}

TEST(PictureReduce, FactorKeepsTheFittedSizeCovered) {
  const int cases[][5] = {// width, height, screen width and height, factor
                          {3000, 4000, 1920, 1080, 3},  // shown 810 x 1080
                          {3839, 2000, 1920, 1080, 1},  // not twice both ways
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

TEST(PictureReduce, BlocksAverageTheLightOfWhatTheyHave) {
  PixelBuffer checker(2, 2);
  checker.Fill(0);
  checker.At(1, 0) = checker.At(0, 1) = MakePixel(255, 255, 255);
  EXPECT_EQ(Reduce(checker.View(), 2, 2).At(0, 0), MakePixel(188, 188, 188));  // not 128
  // 5 x 5 by 2: 3 x 3, the last column and row from 1-pixel-wide blocks.
  const Pixel k = MakePixel(200, 10, 90), o = MakePixel(0, 0, 0);
  PixelBuffer edges(5, 5);
  for (int i = 0; i < 25; ++i) edges.Data()[i] = i % 5 == 4 || i >= 20 ? k : 0;
  const PixelBuffer out = Reduce(edges.View(), 2, 5);
  EXPECT_EQ(std::tuple(out.Width(), out.Height(), All(out)),
            std::tuple(3, 3, std::vector<Pixel>{o, o, k, o, o, k, k, k, k}));
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
  // level by up to a whole one. (The pipeline's test reads the other layouts.)
  const int width = 61, height = 47, factor = 3;
  const std::vector<std::uint16_t> rgb = Noise16(width * height * 3, 99);
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
  // Three pixels, R G B A: half transparent, mostly transparent, opaque.
  // Straight alpha scales each colour by it, rounded; premultiplied holds
  // a colour above its alpha to it; the opaque pixel stays as it is.
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
