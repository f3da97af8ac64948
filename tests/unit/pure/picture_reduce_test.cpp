// Whole-factor reduction while decoding: linear-light block averages, however the rows come.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>

#include "host/picture/reduce.h"
#include "support/picture_patterns.h"

namespace host::picture {
namespace {

using testing_support::All;
using testing_support::NoisePattern;

PixelBuffer Reduce(const PixelBuffer& source, int factor, int band, int threads = 1) {
  BlockReducer reducer(source.Width(), source.Height(), factor, threads);
  for (int y = 0; y < source.Height(); y += band) {
    reducer.AddRows(
        {source.Row(y), source.Width(), std::min(band, source.Height() - y), source.Width()});
  }
  return reducer.Finish();
}

TEST(PictureReduce, FactorKeepsTheFittedSizeCovered) {
  const struct {
    int width, height, screenWidth, screenHeight, factor;
  } cases[] = {{3000, 4000, 1920, 1080, 3},  // shown 810 x 1080
               {3839, 2000, 1920, 1080, 1},  // not twice both ways
               {65535, 1000, 800, 600, 16},  // at most 16
               {100, 100, 0, 0, 1},
               {0, 100, 800, 600, 1}};
  for (const auto& c : cases) {
    EXPECT_EQ(PrescaleFactor(c.width, c.height, c.screenWidth, c.screenHeight), c.factor)
        << c.width;
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

TEST(PictureReduce, CheckerIsHalfTheLightAndAFlatColourStaysExact) {
  PixelBuffer checker(2, 2);
  checker.Fill(0);
  checker.At(1, 0) = checker.At(0, 1) = MakePixel(255, 255, 255);
  EXPECT_EQ(Reduce(checker, 2, 2).At(0, 0), MakePixel(188, 188, 188));
  PixelBuffer flat(23, 17);
  flat.Fill(MakePixel(3, 140, 251));
  for (int factor : {2, 3, 16}) {
    for (Pixel p : All(Reduce(flat, factor, 4))) EXPECT_EQ(p, MakePixel(3, 140, 251)) << factor;
  }
}

TEST(PictureReduce, EdgeBlocksAverageWhatTheyHave) {
  // 5 x 5 by 2: 3 x 3, the last column and row from 1-pixel-wide blocks.
  const Pixel k = MakePixel(200, 10, 90), o = MakePixel(0, 0, 0);
  PixelBuffer source(5, 5);
  for (int i = 0; i < 25; ++i) source.Data()[i] = i % 5 == 4 || i >= 20 ? k : 0;
  const PixelBuffer out = Reduce(source, 2, 5);
  EXPECT_EQ(std::tuple(out.Width(), out.Height(), All(out)),
            std::tuple(3, 3, std::vector<Pixel>{o, o, k, o, o, k, k, k, k}));
}

TEST(PictureReduce, BandsAndThreadsGiveTheSameResult) {
  const PixelBuffer source = NoisePattern(1000, 77);
  const std::vector<Pixel> whole = All(Reduce(source, 3, 77));
  for (int band : {1, 4, 100}) EXPECT_EQ(All(Reduce(source, 3, band)), whole) << band;
  for (int threads : {2, 3}) EXPECT_EQ(All(Reduce(source, 3, 10, threads)), whole) << threads;
}

TEST(PictureReduce, PackedBgrRowsGiveTheSameResult) {
  const PixelBuffer source = NoisePattern(600, 31);
  const std::ptrdiff_t stride = 600 * 3 + 2;  // rows need not be packed together
  std::vector<std::uint8_t> packed(static_cast<std::size_t>(stride) * 31);
  for (int y = 0; y < 31; ++y) {
    for (int x = 0; x < 600; ++x) {
      for (int i = 0; i < 3; ++i) packed[y * stride + 3 * x + i] = source.At(x, y) >> (8 * i);
    }
  }
  for (int threads : {1, 2}) {
    BlockReducer reducer(600, 31, 4, threads);  // 150 columns: two parts
    for (int y = 0; y < 31; y += 6) {
      reducer.AddBgrRows(packed.data() + y * stride, std::min(6, 31 - y), stride);
    }
    EXPECT_EQ(All(reducer.Finish()), All(Reduce(source, 4, 31))) << threads;
  }
}

TEST(PictureReduce, ExtraRowsAreIgnored) {
  const PixelBuffer source = NoisePattern(8, 8);
  BlockReducer reducer(8, 6, 2);
  reducer.AddRows(source.View());  // 8 rows for a picture of 6
  BlockReducer six(8, 6, 2);
  six.AddRows({source.Row(0), 8, 6, 8});
  EXPECT_EQ(All(reducer.Finish()), All(six.Finish()));
  std::vector<std::uint8_t> bgr(8 * 8 * 3);
  BlockReducer fromBgr(8, 6, 2);
  fromBgr.AddBgrRows(bgr.data(), 8, 8 * 3);
  EXPECT_EQ(fromBgr.Finish().Height(), 3);
}

}  // namespace
}  // namespace host::picture
