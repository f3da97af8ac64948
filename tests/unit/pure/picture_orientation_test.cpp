// EXIF orientation: the tag read from JPEG and TIFF bytes of any shape, pixels turned upright.
#include <gtest/gtest.h>

#include <tuple>

#include "host/picture/orientation.h"
#include "support/picture_bytes.h"
#include "support/picture_patterns.h"

namespace host::picture {
namespace {

using namespace testing_support;

// The tag between two others, so that the reader has to step over one.
ByteVector OrientedJpeg(bool big, std::uint32_t orientation, std::uint16_t type = 3) {
  return Jpeg({ExifSegment(
      Tiff(big, {{0x010F, 2, 4, 0}, {0x0112, type, 1, orientation}, {0x8769, 4, 1, 100}}))});
}

int Read(const ByteVector& bytes) { return ReadOrientation(Bytes(bytes.data(), bytes.size())); }

TEST(PictureOrientation, ReadsEveryValueInBothByteOrdersShortOrLong) {
  for (bool big : {false, true}) {
    for (int o = 1; o <= 8; ++o) {
      EXPECT_EQ(Read(OrientedJpeg(big, o)), o) << big;
      EXPECT_EQ(Read(OrientedJpeg(big, o, 4)), o) << big;
      EXPECT_EQ(Read(Tiff(big, {{0x0112, 3, 1, static_cast<std::uint32_t>(o)}})), o) << big;
    }
  }
}

TEST(PictureOrientation, AnythingElseIsUpright) {
  ByteVector afterScan = Jpeg({});
  afterScan.resize(afterScan.size() - 2);  // no EOI; an Exif segment after the scan
  const ByteVector late = ExifSegment(Tiff(false, {{0x0112, 3, 1, 6}}));
  afterScan.insert(afterScan.end(), late.begin(), late.end());
  ByteVector restarts = {0xFF, 0xD8};  // a long run of standalone markers
  for (int i = 0; i < 1000; ++i) restarts.insert(restarts.end(), {0xFF, 0xD0});
  // Values 0 and 9, a text type, count 0, no tag, Exif after the scan, a segment of length 1,
  // one longer than the bytes, no marker after SOI, a stuffed zero, standalone markers only.
  const ByteVector cases[] = {OrientedJpeg(false, 0),
                              OrientedJpeg(true, 9),
                              OrientedJpeg(true, 6, 2),
                              Jpeg({ExifSegment(Tiff(true, {{0x0112, 3, 0, 6}}))}),
                              Jpeg({ExifSegment(Tiff(false, {{0x0100, 3, 1, 6}}))}),
                              afterScan,
                              {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x01, 0xFF, 0xE1},
                              {0xFF, 0xD8, 0xFF, 0xE1, 0xFF, 0xFF, 'E', 'x'},
                              {0xFF, 0xD8, 0x00, 0xFF, 0xE1},
                              {0xFF, 0xD8, 0xFF, 0x00},
                              restarts};
  for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(Read(cases[i]), 1) << "case " << i;
}

TEST(PictureOrientation, OnlyTheFirstExifCountsAfterFillBytesAndOtherApp1Segments) {
  ByteVector jpeg = Jpeg({Segment(0xE1, {'h', 't', 't', 'p', ':', '/', '/'}),
                          Segment(0xE2, {1, 2, 3}), ExifSegment(Tiff(true, {{0x0112, 3, 1, 8}})),
                          ExifSegment(Tiff(true, {{0x0112, 3, 1, 6}}))});
  jpeg.insert(jpeg.begin() + 2, {0xFF, 0xFF});
  EXPECT_EQ(Read(jpeg), 8);
}

TEST(PictureOrientation, EveryTruncationIsSafe) {
  for (bool big : {false, true}) {
    const ByteVector whole = OrientedJpeg(big, 6);
    // The value is read once the whole APP1 segment is there: SOI, APP1
    // marker and length, "Exif\0\0" and the TIFF structure.
    const std::size_t segmentEnd = 2 + 4 + 6 + Tiff(big, {{}, {}, {}}).size();
    for (std::size_t n = 0; n <= whole.size(); ++n) {
      ByteVector cut(whole.begin(), whole.begin() + n);
      cut.shrink_to_fit();  // so that the sanitiser sees reads past the end
      EXPECT_EQ(Read(cut), n >= segmentEnd ? 6 : 1) << n;
    }
  }
}

TEST(PictureOrientation, BogusOffsetsAndCountsAreUpright) {
  for (bool big : {false, true}) {
    for (std::uint32_t ifd : {0u, 7u, 200u, 0xFFFFFFF0u}) {
      ByteVector tiff = Tiff(big, {{0x0112, 3, 1, 6}}), offset;
      Put32(offset, ifd, big);
      std::copy(offset.begin(), offset.end(), tiff.begin() + 4);
      EXPECT_EQ(Read(tiff), 1) << ifd;
    }
    ByteVector many = Tiff(big, {{0x0100, 3, 1, 1}});
    many[8] = many[9] = 0xFF;  // an entry count far beyond the bytes
    EXPECT_EQ(Read(many), 1);
  }
}

// Stored 3 x 2:   a b c
//                 d e f
constexpr Pixel a = 1, b = 2, c = 3, d = 4, e = 5, f = 6;

TEST(PictureOrientation, EachTransform) {
  const PixelBuffer stored = FromPixels(3, 2, {a, b, c, d, e, f});
  const struct {
    int orientation, width, height;
    std::vector<Pixel> pixels;
  } cases[] = {
      {1, 3, 2, {a, b, c, d, e, f}}, {2, 3, 2, {c, b, a, f, e, d}}, {3, 3, 2, {f, e, d, c, b, a}},
      {4, 3, 2, {d, e, f, a, b, c}}, {5, 2, 3, {a, d, b, e, c, f}}, {6, 2, 3, {d, a, e, b, f, c}},
      {7, 2, 3, {f, c, e, b, d, a}}, {8, 2, 3, {c, f, b, e, a, d}}, {0, 3, 2, {a, b, c, d, e, f}},
      {9, 3, 2, {a, b, c, d, e, f}},
  };
  for (const auto& k : cases) {
    const PixelBuffer upright = Orient(stored.View(), k.orientation);
    EXPECT_EQ(std::tuple(upright.Width(), upright.Height(), All(upright)),
              std::tuple(k.width, k.height, k.pixels))
        << k.orientation;
    EXPECT_EQ(SwapsAxes(k.orientation), k.width == 2) << k.orientation;
  }
}

TEST(PictureOrientation, BandByBandEqualsAllAtOnce) {
  const PixelBuffer p = NoisePattern(11, 9);
  for (int o = 1; o <= 8; ++o) {
    const PixelBuffer whole = Orient(p.View(), o);
    PixelBuffer banded(whole.Width(), whole.Height());
    for (int y = 0; y < 9; y += 4) {
      const PixelView band{p.Row(y), 11, std::min(4, 9 - y), 11};
      PlaceRows(band, y, 9, o, banded.Target());
    }
    EXPECT_EQ(All(banded), All(whole)) << o;
  }
}

}  // namespace
}  // namespace host::picture
