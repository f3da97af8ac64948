// EXIF orientation: reading the tag from JPEG and TIFF bytes of any shape,
// and turning pixels upright.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/picture/orientation.h"
#include "host/picture/pixels.h"

namespace host::picture {
namespace {

using ByteVector = std::vector<std::uint8_t>;

void Put16(ByteVector& out, std::uint32_t v, bool big) {
  if (big) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
  } else {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
  }
}

void Put32(ByteVector& out, std::uint32_t v, bool big) {
  if (big) {
    Put16(out, v >> 16, true);
    Put16(out, v & 0xFFFF, true);
  } else {
    Put16(out, v & 0xFFFF, false);
    Put16(out, v >> 16, false);
  }
}

struct Entry {
  std::uint16_t tag;
  std::uint16_t type;
  std::uint32_t count;
  std::uint32_t value;  // SHORT values sit in the first two bytes
};

// A TIFF structure: header, IFD0 at offset 8 with `entries`, next IFD `next`.
ByteVector Tiff(bool big, const std::vector<Entry>& entries, std::uint32_t next = 0) {
  ByteVector out;
  if (big) {
    out = {'M', 'M', 0, 42};
  } else {
    out = {'I', 'I', 42, 0};
  }
  Put32(out, 8, big);
  Put16(out, static_cast<std::uint32_t>(entries.size()), big);
  for (const Entry& e : entries) {
    Put16(out, e.tag, big);
    Put16(out, e.type, big);
    Put32(out, e.count, big);
    if (e.type == 3) {
      Put16(out, e.value, big);
      Put16(out, 0, big);
    } else {
      Put32(out, e.value, big);
    }
  }
  Put32(out, next, big);
  return out;
}

ByteVector Segment(std::uint8_t marker, const ByteVector& body) {
  ByteVector out = {0xFF, marker};
  const std::size_t length = body.size() + 2;
  out.push_back(static_cast<std::uint8_t>(length >> 8));
  out.push_back(static_cast<std::uint8_t>(length));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

ByteVector ExifBody(const ByteVector& tiff) {
  ByteVector body = {'E', 'x', 'i', 'f', 0, 0};
  body.insert(body.end(), tiff.begin(), tiff.end());
  return body;
}

// SOI, JFIF APP0, the given segments, SOS and a little scan data, EOI.
ByteVector Jpeg(const std::vector<ByteVector>& segments) {
  ByteVector out = {0xFF, 0xD8};
  ByteVector app0 = Segment(0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
  out.insert(out.end(), app0.begin(), app0.end());
  for (const ByteVector& s : segments) out.insert(out.end(), s.begin(), s.end());
  ByteVector sos = Segment(0xDA, {1, 1, 0, 0, 63, 0});
  out.insert(out.end(), sos.begin(), sos.end());
  out.insert(out.end(), {0x12, 0x34, 0xFF, 0x00, 0x56, 0xFF, 0xD9});
  return out;
}

ByteVector OrientedJpeg(bool big, std::uint32_t orientation) {
  return Jpeg({Segment(
      0xE1,
      ExifBody(Tiff(big, {{0x010F, 2, 4, 0}, {0x0112, 3, 1, orientation}, {0x8769, 4, 1, 100}})))});
}

int Read(const ByteVector& bytes) { return ReadOrientation(Bytes(bytes.data(), bytes.size())); }

TEST(PictureOrientation, ReadsEveryValueInBothByteOrders) {
  for (bool big : {false, true}) {
    for (std::uint32_t o = 1; o <= 8; ++o) {
      EXPECT_EQ(Read(OrientedJpeg(big, o)), static_cast<int>(o)) << big;
      EXPECT_EQ(Read(Tiff(big, {{0x0100, 3, 1, 64}, {0x0112, 3, 1, o}})), static_cast<int>(o));
    }
  }
}

TEST(PictureOrientation, ValuesOutsideOneToEightMeanUpright) {
  for (std::uint32_t o : {0u, 9u, 255u, 65535u}) EXPECT_EQ(Read(OrientedJpeg(false, o)), 1);
}

TEST(PictureOrientation, LongValueIsReadOtherTypesAreNot) {
  EXPECT_EQ(Read(Jpeg({Segment(0xE1, ExifBody(Tiff(true, {{0x0112, 4, 1, 6}})))})), 6);
  EXPECT_EQ(Read(Jpeg({Segment(0xE1, ExifBody(Tiff(true, {{0x0112, 2, 1, 6}})))})), 1);
  EXPECT_EQ(Read(Jpeg({Segment(0xE1, ExifBody(Tiff(true, {{0x0112, 3, 0, 6}})))})), 1);
}

TEST(PictureOrientation, NoTagNoExifNoJpeg) {
  EXPECT_EQ(Read(Jpeg({})), 1);
  EXPECT_EQ(Read(Jpeg({Segment(0xE1, ExifBody(Tiff(false, {{0x0100, 3, 1, 6}})))})), 1);
  EXPECT_EQ(Read({}), 1);
  EXPECT_EQ(Read({0xFF, 0xD8}), 1);
  const std::string text = "Exif II*";
  EXPECT_EQ(Read(ByteVector(text.begin(), text.end())), 1);
  EXPECT_EQ(Read({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}), 1);
}

TEST(PictureOrientation, FindsExifAfterOtherApp1Segments) {
  const std::string xmp = "http://ns.adobe.com/xap/1.0/";
  ByteVector xmpBody(xmp.begin(), xmp.end());
  xmpBody.push_back(0);
  const ByteVector jpeg = Jpeg({Segment(0xE1, xmpBody), Segment(0xE2, {1, 2, 3}),
                                Segment(0xE1, ExifBody(Tiff(true, {{0x0112, 3, 1, 8}})))});
  EXPECT_EQ(Read(jpeg), 8);
}

TEST(PictureOrientation, OnlyTheFirstExifCounts) {
  const ByteVector jpeg = Jpeg({Segment(0xE1, ExifBody(Tiff(false, {{0x0112, 3, 1, 3}}))),
                                Segment(0xE1, ExifBody(Tiff(false, {{0x0112, 3, 1, 6}})))});
  EXPECT_EQ(Read(jpeg), 3);
}

TEST(PictureOrientation, IgnoresExifAfterTheScan) {
  ByteVector jpeg = Jpeg({});
  jpeg.resize(jpeg.size() - 2);  // drop EOI
  ByteVector late = Segment(0xE1, ExifBody(Tiff(false, {{0x0112, 3, 1, 6}})));
  jpeg.insert(jpeg.end(), late.begin(), late.end());
  EXPECT_EQ(Read(jpeg), 1);
}

TEST(PictureOrientation, FillBytesBeforeMarkers) {
  ByteVector jpeg = {0xFF, 0xD8, 0xFF, 0xFF, 0xFF};
  ByteVector app1 = Segment(0xE1, ExifBody(Tiff(true, {{0x0112, 3, 1, 5}})));
  jpeg.insert(jpeg.end(), app1.begin() + 1, app1.end());
  EXPECT_EQ(Read(jpeg), 5);
}

TEST(PictureOrientation, EveryTruncationIsSafe) {
  for (bool big : {false, true}) {
    const ByteVector whole = OrientedJpeg(big, 6);
    // The value is read once the whole APP1 segment is there: SOI 2, APP0
    // 18, APP1 marker and length 4, "Exif\0\0" 6 and the TIFF structure.
    const std::size_t segmentEnd = 2 + 18 + 4 + 6 + Tiff(big, {{}, {}, {}}).size();
    for (std::size_t n = 0; n <= whole.size(); ++n) {
      ByteVector cut(whole.begin(), whole.begin() + n);
      cut.shrink_to_fit();  // so that the sanitiser sees reads past the end
      const int o = Read(cut);
      EXPECT_EQ(o, n >= segmentEnd ? 6 : 1) << n;
    }
  }
}

TEST(PictureOrientation, BogusOffsetsAndCounts) {
  for (bool big : {false, true}) {
    for (std::uint32_t ifd : {0u, 4u, 7u, 200u, 0x7FFFFFFFu, 0xFFFFFFF0u, 0xFFFFFFFFu}) {
      ByteVector tiff = Tiff(big, {{0x0112, 3, 1, 6}});
      ByteVector patched = tiff;
      patched.resize(4);
      Put32(patched, ifd, big);
      patched.insert(patched.end(), tiff.begin() + 8, tiff.end());
      EXPECT_EQ(Read(Jpeg({Segment(0xE1, ExifBody(patched))})), 1) << ifd;
      EXPECT_EQ(Read(patched), 1) << ifd;
    }
    // An entry count far beyond the bytes.
    ByteVector many = Tiff(big, {{0x0100, 3, 1, 1}});
    many[big ? 9 : 8] = 0xFF;
    many[big ? 8 : 9] = 0xFF;
    EXPECT_EQ(Read(many), 1);
    // An IFD0 that names itself as the next one, and an orientation after it
    // in a second IFD: only IFD0 is read, so there is nothing to loop over.
    EXPECT_EQ(Read(Tiff(big, {{0x0100, 3, 1, 1}}, 8)), 1);
  }
}

TEST(PictureOrientation, SegmentLengthsThatWouldNotAdvance) {
  for (ByteVector bad :
       {ByteVector{0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x00},
        ByteVector{0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x01, 0xFF, 0xE1},
        ByteVector{0xFF, 0xD8, 0xFF, 0xE1, 0xFF, 0xFF, 'E', 'x'},
        ByteVector{0xFF, 0xD8, 0x00, 0xFF, 0xE1}, ByteVector{0xFF, 0xD8, 0xFF, 0x00}}) {
    EXPECT_EQ(Read(bad), 1);
  }
  // A long run of standalone markers ends with the bytes.
  ByteVector restarts = {0xFF, 0xD8};
  for (int i = 0; i < 1000; ++i) restarts.insert(restarts.end(), {0xFF, 0xD0});
  EXPECT_EQ(Read(restarts), 1);
}

TEST(PictureOrientation, RandomAndMutatedBytesAreSafe) {
  std::uint32_t state = 99;
  const auto next = [&] { return state = state * 1664525u + 1013904223u; };
  const ByteVector valid = OrientedJpeg(true, 7);
  for (int round = 0; round < 20000; ++round) {
    ByteVector bytes;
    if (round % 2) {
      bytes.resize(next() % 64);
      for (auto& b : bytes) b = static_cast<std::uint8_t>(next() >> 24);
      if (round % 4 == 1 && bytes.size() >= 4) bytes[0] = 0xFF, bytes[1] = 0xD8, bytes[2] = 0xFF;
      if (round % 8 == 3 && bytes.size() >= 4)
        bytes[0] = 'M', bytes[1] = 'M', bytes[2] = 0, bytes[3] = 42;
    } else {
      bytes = valid;
      for (int k = 0; k < 3; ++k)
        bytes[next() % bytes.size()] = static_cast<std::uint8_t>(next() >> 24);
      bytes.resize(next() % (bytes.size() + 1));
    }
    bytes.shrink_to_fit();
    const int o = Read(bytes);
    ASSERT_GE(o, 1);
    ASSERT_LE(o, 8);
  }
}

// Stored 3 x 2:   a b c
//                 d e f
constexpr Pixel a = 1, b = 2, c = 3, d = 4, e = 5, f = 6;

PixelBuffer Stored() {
  PixelBuffer p(3, 2);
  const Pixel values[] = {a, b, c, d, e, f};
  for (int i = 0; i < 6; ++i) p.Data()[i] = values[i];
  return p;
}

std::vector<Pixel> All(const PixelBuffer& p) {
  return std::vector<Pixel>(p.Data(), p.Data() + p.PixelCount());
}

TEST(PictureOrientation, EachTransform) {
  const PixelBuffer stored = Stored();
  struct Case {
    int orientation, width, height;
    std::vector<Pixel> pixels;
  };
  const Case cases[] = {
      {1, 3, 2, {a, b, c, d, e, f}}, {2, 3, 2, {c, b, a, f, e, d}}, {3, 3, 2, {f, e, d, c, b, a}},
      {4, 3, 2, {d, e, f, a, b, c}}, {5, 2, 3, {a, d, b, e, c, f}}, {6, 2, 3, {d, a, e, b, f, c}},
      {7, 2, 3, {f, c, e, b, d, a}}, {8, 2, 3, {c, f, b, e, a, d}}, {0, 3, 2, {a, b, c, d, e, f}},
      {9, 3, 2, {a, b, c, d, e, f}},
  };
  for (const Case& k : cases) {
    const PixelBuffer upright = Orient(stored.View(), k.orientation);
    EXPECT_EQ(upright.Width(), k.width) << k.orientation;
    EXPECT_EQ(upright.Height(), k.height) << k.orientation;
    EXPECT_EQ(All(upright), k.pixels) << k.orientation;
  }
}

TEST(PictureOrientation, TurningBackAgainGivesTheOriginal) {
  PixelBuffer p(7, 5);
  for (std::size_t i = 0; i < p.PixelCount(); ++i)
    p.Data()[i] = static_cast<Pixel>(i * 2654435761u);
  // 6 then 8, 3 twice, 2 twice, 5 twice, 7 twice.
  for (auto [first, second] : {std::pair{6, 8}, {8, 6}, {3, 3}, {2, 2}, {4, 4}, {5, 5}, {7, 7}}) {
    const PixelBuffer once = Orient(p.View(), first);
    EXPECT_EQ(All(Orient(once.View(), second)), All(p)) << first << " " << second;
  }
}

TEST(PictureOrientation, BandByBandEqualsAllAtOnce) {
  PixelBuffer p(11, 9);
  for (std::size_t i = 0; i < p.PixelCount(); ++i) p.Data()[i] = static_cast<Pixel>(i * 40503u);
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

TEST(PictureOrientation, SwapsAxes) {
  for (int o = 0; o <= 9; ++o) EXPECT_EQ(SwapsAxes(o), o >= 5 && o <= 8) << o;
}

}  // namespace
}  // namespace host::picture
