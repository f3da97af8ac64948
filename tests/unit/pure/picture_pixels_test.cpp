// The pixel buffer and compositing onto black.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>

#include "host/picture/pixels.h"

namespace host::picture {
namespace {

TEST(PicturePixels, PixelsAreBgraInMemory) {
  const Pixel p = MakePixel(0x11, 0x22, 0x33);
  EXPECT_EQ(std::memcmp(&p, "\x33\x22\x11\xFF", 4), 0);
}

TEST(PicturePixels, MulDiv255RoundsToNearest) {
  for (unsigned c = 0; c < 256; ++c) {
    for (unsigned a = 0; a < 256; ++a) {
      ASSERT_EQ(MulDiv255(c, a), static_cast<unsigned>(std::lround(c * a / 255.0)))
          << c << " " << a;
    }
  }
}

TEST(PicturePixels, TransparentIsBlackNeverWhite) {
  EXPECT_EQ(OpaqueFromStraight(0x00FFFFFF), kOpaqueBlack);
  EXPECT_EQ(OpaqueFromPremultiplied(0x00000000), kOpaqueBlack);
  // Not a valid premultiplied value, but it must not show white either.
  EXPECT_EQ(OpaqueFromPremultiplied(0x00FFFFFF), kOpaqueBlack);
}

TEST(PicturePixels, HalfTransparentIsHalfAsBright) {
  EXPECT_EQ(OpaqueFromStraight(0x80FF8040), MakePixel(128, 64, 32));
  EXPECT_EQ(OpaqueFromPremultiplied(0x80804020), MakePixel(0x80, 0x40, 0x20));
  EXPECT_EQ(OpaqueFromStraight(0xFF102030), MakePixel(0x10, 0x20, 0x30));
  EXPECT_EQ(OpaqueFromPremultiplied(0xFF102030), MakePixel(0x10, 0x20, 0x30));
}

TEST(PicturePixels, MovingLeavesAnEmptyBuffer) {
  PixelBuffer a(4, 4);
  PixelBuffer b = std::move(a);
  EXPECT_TRUE(a.Empty() && a.Data() == nullptr);  // NOLINT(bugprone-use-after-move)
  PixelBuffer c;
  c = std::move(b);
  EXPECT_EQ(c.PixelCount(), 16u);
}

TEST(PicturePixels, EmptyAndImpossibleSizes) {
  EXPECT_TRUE(PixelBuffer(0, 10).Empty() && PixelBuffer(10, 0).Empty());
  EXPECT_THROW(PixelBuffer(-1, 10), std::invalid_argument);
  if (sizeof(std::size_t) == 4) {
    // More bytes than a 32-bit process can address.
    EXPECT_THROW(PixelBuffer(65535, 65535), std::bad_alloc);
  }
}

}  // namespace
}  // namespace host::picture
