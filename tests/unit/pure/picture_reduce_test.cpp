// Whole-factor reduction while decoding: block averages in linear light,
// the same however the rows come, and close to scaling from full size.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "host/picture/pixels.h"
#include "host/picture/reduce.h"
#include "host/picture/resample.h"
#include "support/picture_patterns.h"

namespace host::picture {
namespace {

PixelBuffer Pattern(int width, int height) {
  return testing_support::NoisePattern(width, height, 4321);
}

PixelBuffer Reduce(const PixelBuffer& source, int factor, int band, int threads = 1) {
  BlockReducer reducer(source.Width(), source.Height(), factor, threads);
  for (int y = 0; y < source.Height(); y += band) {
    reducer.AddRows(
        {source.Row(y), source.Width(), std::min(band, source.Height() - y), source.Width()});
  }
  return reducer.Finish();
}

std::vector<Pixel> All(const PixelBuffer& p) {
  return std::vector<Pixel>(p.Data(), p.Data() + p.PixelCount());
}

TEST(PictureReduce, FactorKeepsTheFittedSizeCovered) {
  const struct {
    int width, height, screenWidth, screenHeight, factor;
  } cases[] = {{6000, 4000, 1920, 1080, 3}, {3000, 4000, 1920, 1080, 3},  // shown 810 x 1080
               {1920, 1080, 1920, 1080, 1}, {3839, 2000, 1920, 1080, 1},  // not twice both ways
               {65535, 1000, 800, 600, 16},                               // at most 16
               {100, 100, 0, 0, 1},         {0, 100, 800, 600, 1}};
  for (const auto& c : cases) {
    EXPECT_EQ(PrescaleFactor(c.width, c.height, c.screenWidth, c.screenHeight), c.factor)
        << c.width << "x" << c.height << " on " << c.screenWidth << "x" << c.screenHeight;
  }
  // The reduced copy is never smaller than the picture scaled to fit, to
  // the pixel above.
  for (int w = 100; w <= 20000; w += 37) {
    for (int h : {90, 599, 600, 601, 1199, 1200, 1201, 2500, 4444, 9999}) {
      const int f = PrescaleFactor(w, h, 800, 600);
      const double scale = std::min({800.0 / w, 600.0 / h, 1.0});
      EXPECT_GE((w + f - 1) / f, std::ceil(w * scale)) << w << "x" << h;
      EXPECT_GE((h + f - 1) / f, std::ceil(h * scale)) << w << "x" << h;
    }
  }
}

TEST(PictureReduce, CheckerBecomesHalfTheLight) {
  PixelBuffer checker(4, 2);
  for (int i = 0; i < 8; ++i) checker.Data()[i] = (i + i / 4) % 2 ? MakePixel(255, 255, 255) : 0;
  const PixelBuffer out = Reduce(checker, 2, 2);
  EXPECT_EQ(All(out), (std::vector<Pixel>{MakePixel(188, 188, 188), MakePixel(188, 188, 188)}));
}

TEST(PictureReduce, FlatColourStaysExactWhateverTheFactor) {
  PixelBuffer flat(23, 17);
  flat.Fill(MakePixel(3, 140, 251));
  for (int factor : {1, 2, 3, 5, 16}) {
    for (Pixel p : All(Reduce(flat, factor, 4))) EXPECT_EQ(p, MakePixel(3, 140, 251)) << factor;
  }
}

TEST(PictureReduce, EdgeBlocksAverageWhatTheyHave) {
  // 5 x 5 by 2: 3 x 3, the last column and row from 1-pixel-wide blocks.
  const Pixel colour = MakePixel(200, 10, 90);
  PixelBuffer source(5, 5);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 5; ++x) source.At(x, y) = x == 4 || y == 4 ? colour : 0;
  }
  const PixelBuffer out = Reduce(source, 2, 5);
  ASSERT_EQ(out.Width(), 3);
  ASSERT_EQ(out.Height(), 3);
  EXPECT_EQ(out.At(2, 0), colour);
  EXPECT_EQ(out.At(0, 2), colour);
  EXPECT_EQ(out.At(2, 2), colour);
  EXPECT_EQ(out.At(1, 1), MakePixel(0, 0, 0));
}

TEST(PictureReduce, BandsAndThreadsGiveTheSameResult) {
  const PixelBuffer source = Pattern(1000, 77);
  const std::vector<Pixel> whole = All(Reduce(source, 3, 77));
  for (int band : {1, 2, 4, 7, 100}) EXPECT_EQ(All(Reduce(source, 3, band)), whole) << band;
  for (int threads : {2, 3, 4}) EXPECT_EQ(All(Reduce(source, 3, 10, threads)), whole) << threads;
}

TEST(PictureReduce, PackedBgrRowsGiveTheSameResult) {
  const PixelBuffer source = Pattern(50, 31);
  const std::ptrdiff_t stride = 50 * 3 + 2;  // rows need not be packed together
  std::vector<std::uint8_t> packed(static_cast<std::size_t>(stride) * 31);
  for (int y = 0; y < 31; ++y) {
    for (int x = 0; x < 50; ++x) {
      std::uint8_t* at = packed.data() + y * stride + 3 * x;
      at[0] = static_cast<std::uint8_t>(BlueOf(source.At(x, y)));
      at[1] = static_cast<std::uint8_t>(GreenOf(source.At(x, y)));
      at[2] = static_cast<std::uint8_t>(RedOf(source.At(x, y)));
    }
  }
  for (int threads : {1, 2}) {
    BlockReducer reducer(50, 31, 4, threads);
    for (int y = 0; y < 31; y += 6) {
      reducer.AddBgrRows(packed.data() + y * stride, std::min(6, 31 - y), stride);
    }
    EXPECT_EQ(All(reducer.Finish()), All(Reduce(source, 4, 31))) << threads;
  }
}

TEST(PictureReduce, ExtraRowsAreIgnored) {
  const PixelBuffer source = Pattern(8, 8);
  BlockReducer reducer(8, 6, 2);
  reducer.AddRows(source.View());  // 8 rows for a picture of 6
  const PixelBuffer out = reducer.Finish();
  EXPECT_EQ(out.Width(), 4);
  EXPECT_EQ(out.Height(), 3);
}

TEST(PictureReduce, ThenScalingIsCloseToScalingFromFullSize) {
  PixelBuffer source(1200, 900);  // smooth, for comparing two ways of scaling it
  for (int y = 0; y < 900; ++y) {
    for (int x = 0; x < 1200; ++x) {
      source.At(x, y) = MakePixel(x * 255 / 1200, y * 255 / 900, (x + y) * 127 / 2100);
    }
  }
  const PixelBuffer direct = Resample(source.View(), 500, 375);
  const PixelBuffer twoSteps = Resample(Reduce(source, 2, 64).View(), 500, 375);
  int worst = 0;
  for (std::size_t i = 0; i < direct.PixelCount(); ++i) {
    for (int shift : {0, 8, 16}) {
      worst = std::max(worst, std::abs(static_cast<int>(direct.Data()[i] >> shift & 0xFF) -
                                       static_cast<int>(twoSteps.Data()[i] >> shift & 0xFF)));
    }
  }
  EXPECT_LE(worst, 2);
}

}  // namespace
}  // namespace host::picture
