// Pictures with 16 bits a channel: their precision reaches the linear-light
// reduction, whatever the layout of their samples.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "host/picture/reduce.h"
#include "host/picture/samples16.h"
#include "host/picture/srgb.h"
#include "support/picture_patterns.h"

namespace host::picture {
namespace {

using testing_support::All;

double ToLinear(double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); }
double ToSrgb(double l) {
  return l <= 0.0031308 ? l * 12.92 : 1.055 * std::pow(l, 1 / 2.4) - 0.055;
}

std::vector<std::uint16_t> Noise16(std::size_t count, std::uint32_t state) {
  std::vector<std::uint16_t> samples(count);
  for (std::uint16_t& s : samples) {
    state = state * 1103515245u + 12345u;
    s = static_cast<std::uint16_t>(state >> 16);
  }
  return samples;
}

PixelBuffer Reduce16(const std::vector<std::uint16_t>& samples, int width, int height, int factor,
                     const Layout16& layout, int threads = 1) {
  BlockReducer reducer(width, height, factor, threads);
  const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(width) * layout.channels;
  for (int y = 0; y < height; y += 5) {
    reducer.AddRows16(samples.data() + y * stride, std::min(5, height - y), stride, layout);
  }
  return reducer.Finish();
}

TEST(PictureSamples16, EveryLevelHasItsOwnLinearValueOnTheEightBitScale) {
  const std::uint32_t* table = Srgb16ToLinearTable();
  for (unsigned v = 0; v < 65536; ++v) {
    EXPECT_NEAR(table[v], ToLinear(v / 65535.0) * kLinear16Max, 0.5 + 1e-6) << v;
    if (v > 0) {
      EXPECT_GT(table[v], table[v - 1]) << v;
    }
  }
  for (unsigned v = 0; v < 256; ++v) EXPECT_NEAR(table[v * 257], 16.0 * srgb::kToLinear[v], 8);
}

TEST(PictureSamples16, BlockAveragesAreTheNearestLevelOfTheExactMean) {
  // Random samples, far finer than 8 bits: through 8 bits the averages
  // would miss the nearest level by up to a whole one.
  const int width = 61, height = 47, factor = 3;
  const std::vector<std::uint16_t> samples = Noise16(width * height * 3, 99);
  const PixelBuffer out = Reduce16(samples, width, height, factor, {3, 0, 1, 2}, 2);
  for (int by = 0; by < out.Height(); ++by) {
    for (int bx = 0; bx < out.Width(); ++bx) {
      for (int channel = 0; channel < 3; ++channel) {
        double sum = 0;
        int n = 0;
        for (int y = by * factor; y < std::min(height, (by + 1) * factor); ++y) {
          for (int x = bx * factor; x < std::min(width, (bx + 1) * factor); ++x, ++n) {
            sum += ToLinear(samples[(y * width + x) * 3 + channel] / 65535.0);
          }
        }
        const double exact = 255 * ToSrgb(sum / n);
        const unsigned got = out.At(bx, by) >> (16 - 8 * channel) & 0xFF;
        EXPECT_NEAR(got, exact, 0.5 + 0.02) << bx << "," << by << " channel " << channel;
      }
    }
  }
}

TEST(PictureSamples16, LayoutsPickTheirChannels) {
  const int width = 40, height = 9;
  const std::vector<std::uint16_t> rgb = Noise16(width * height * 3, 7);
  std::vector<std::uint16_t> bgr(rgb.size()), rgbx, grey;
  for (std::size_t i = 0; i < rgb.size(); i += 3) {
    bgr[i] = rgb[i + 2], bgr[i + 1] = rgb[i + 1], bgr[i + 2] = rgb[i];
    rgbx.insert(rgbx.end(), {rgb[i], rgb[i + 1], rgb[i + 2], 0});
    grey.push_back(rgb[i + 1]);
  }
  const std::vector<Pixel> want = All(Reduce16(rgb, width, height, 4, {3, 0, 1, 2}));
  EXPECT_EQ(All(Reduce16(bgr, width, height, 4, {3, 2, 1, 0})), want);
  EXPECT_EQ(All(Reduce16(rgbx, width, height, 4, {4, 0, 1, 2, 3})), want);
  const std::vector<Pixel> fromGrey = All(Reduce16(grey, width, height, 4, {1, 0, 0, 0}));
  for (std::size_t i = 0; i < want.size(); ++i) {
    const unsigned g = GreenOf(want[i]);
    EXPECT_EQ(fromGrey[i], MakePixel(g, g, g)) << i;
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
