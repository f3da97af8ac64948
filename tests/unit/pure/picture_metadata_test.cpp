// What a picture's first bytes say before it is decoded: its format and size against the memory
// budget, its EXIF orientation (and the pixels turned upright), its embedded colour profile.
#include <gtest/gtest.h>

#include <tuple>

#include "host/picture/embedded_profile.h"
#include "host/picture/header.h"
#include "host/picture/orientation.h"
#include "support/picture_bytes.h"
#include "support/picture_patterns.h"

namespace host::picture {
namespace {

using namespace testing_support;

// A table segment to step over before the frame header.
ByteVector SizedJpeg(std::uint32_t width, std::uint32_t height, std::uint8_t sof = 0xC0) {
  ByteVector frame = {8};
  for (std::uint32_t v : {height, width}) Put16(frame, v, true);
  return Jpeg({Segment(0xDB, {0, 0}), Segment(sof, frame)});
}

// A two-colour table and one extension before the image descriptor.
ByteVector Gif(std::uint32_t screenW, std::uint32_t screenH, std::uint32_t frameW,
               std::uint32_t frameH, std::uint32_t left = 0, std::uint32_t top = 0) {
  ByteVector out = {'G', 'I', 'F', '8', '9', 'a'};
  for (std::uint32_t v : {screenW, screenH}) Put16(out, v, false);
  out.insert(out.end(), {0x80, 0, 0, 0, 0, 0, 255, 255, 255, 0x21, 0xF9, 4, 1, 0, 0, 0, 0, 0x2C});
  for (std::uint32_t v : {left, top, frameW, frameH}) Put16(out, v, false);
  return out;
}

// A bitmap header of the size given, as a file's or (doubled height) an icon's.
ByteVector BitmapInfo(std::int32_t width, std::int32_t height, std::uint32_t infoSize = 40) {
  ByteVector out;
  Put32(out, infoSize, false);
  for (std::int32_t v : {width, height}) (infoSize == 12 ? Put16 : Put32)(out, v, false);
  out.resize(16);
  return out;
}

ByteVector Bmp(std::int32_t width, std::int32_t height, std::uint32_t infoSize = 40) {
  ByteVector out = BitmapInfo(width, height, infoSize);
  out.insert(out.begin(), {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  return out;
}

ByteVector SizedTiff(bool big, std::uint32_t width, std::uint32_t height, std::uint16_t type = 3) {
  return Tiff(big, {{256, type, 1, width}, {257, type, 1, height}});
}

// Each image's entry holds its width and height as a byte each, 0 for 256.
ByteVector Ico(const std::vector<std::pair<std::uint8_t, ByteVector>>& images) {
  ByteVector out = {0, 0, 1, 0};
  Put16(out, static_cast<std::uint32_t>(images.size()), false);
  std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
  for (const auto& [size, data] : images) {
    out.insert(out.end(), {size, size, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    Put32(out, offset, false);
    offset += static_cast<std::uint32_t>(data.size());
  }
  for (const auto& image : images) out.insert(out.end(), image.second.begin(), image.second.end());
  return out;
}

ByteVector Icon(std::int32_t size) { return BitmapInfo(size, size * 2); }

// The bytes in a block of their own size, so that the sanitiser sees any read past the end.
ByteVector Exact(const ByteVector& bytes, std::size_t size) {
  return ByteVector(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
}

// Each format's size, or why not; for some, every prefix cut before the size's end refused.
TEST(PictureHeader, EachFormatGivesItsSizeOrSaysWhyNot) {
  using F = PictureFormat;
  using V = HeaderVerdict;
  const struct {
    const char* name;
    ByteVector bytes;
    V verdict;
    F format;
    std::uint32_t width = 0, height = 0;
    std::size_t sizeEnds = 0;  // the shortest prefix that is enough, when checked
  } cases[] = {
      {"png", Png(640, 480), V::Ok, F::Png, 640, 480, 24},
      // The budget: 64 MiB pixels; 5 x 13421773 is one over.
      {"png of the budget in a row", Png(kMaxPixels, 1), V::Ok, F::Png, kMaxPixels, 1},
      {"png a pixel over the budget in a row", Png(kMaxPixels + 1, 1), V::TooLarge, F::Png},
      {"png of 5 x 13421773", Png(5, 13421773), V::TooLarge, F::Png},
      {"png without width", Png(0, 100), V::EmptySize, F::Png},
      {"baseline jpeg", SizedJpeg(1024, 768), V::Ok, F::Jpeg, 1024, 768, 17},
      {"jpeg whose C4 is a table, not a frame", SizedJpeg(10, 10, 0xC4), V::Unreadable, F::Jpeg},
      {"gif", Gif(320, 200, 10, 10, 5, 5), V::Ok, F::Gif, 320, 200, 36},
      {"gif frame placed far out", Gif(10, 10, 10, 10, 65535, 65535), V::TooLarge, F::Gif},
      {"gif without screen", Gif(0, 0, 10, 10), V::EmptySize, F::Gif},
      {"gif frame without width", Gif(10, 10, 0, 10), V::EmptySize, F::Gif},
      {"bmp", Bmp(640, 480), V::Ok, F::Bmp, 640, 480, 26},
      {"top-down bmp", Bmp(640, -480), V::Ok, F::Bmp, 640, 480},
      {"bmp with core header", Bmp(33, 21, 12), V::Ok, F::Bmp, 33, 21, 22},
      {"bmp of negative width", Bmp(-640, 480), V::Unreadable, F::Bmp},
      {"intel tiff", SizedTiff(false, 500, 400), V::Ok, F::Tiff, 500, 400, 32},
      {"motorola tiff with long sizes", SizedTiff(true, 70000, 10, 4), V::Ok, F::Tiff, 70000, 10},
      {"tiff with text sizes", SizedTiff(false, 5, 5, 2), V::Unreadable, F::Tiff},
      {"icon takes its largest image", Ico({{16, Icon(16)}, {0, Png(300, 200)}, {48, Icon(48)}}),
       V::Ok, F::Ico, 300, 200},
      {"icon bitmap holds its mask too", Ico({{32, Icon(32)}}), V::Ok, F::Ico, 32, 32, 22},
      {"icon image past the end: its entry's size", Ico({{0, {}}}), V::Ok, F::Ico, 256, 256},
      {"icon with a png too large", Ico({{16, Icon(16)}, {0, Png(65535, 65535)}}), V::TooLarge,
       F::Ico},
      {"icon with a bitmap too large", Ico({{0, Icon(65535)}}), V::TooLarge, F::Ico},
      {"icon with an empty bitmap", Ico({{1, Icon(0)}}), V::EmptySize, F::Ico},
      {"icon without images", Ico({}), V::Unreadable, F::Ico},
      {"nothing", {}, V::UnknownFormat, F::Unknown},
  };
  for (const auto& c : cases) {
    PictureHeader h;
    const V verdict = CheckPictureHeader(c.bytes, h);
    const bool sized = verdict == V::Ok;
    EXPECT_EQ(std::tuple(verdict, h.format, sized ? h.width : 0, sized ? h.height : 0),
              std::tuple(c.verdict, c.format, c.width, c.height))
        << c.name;
    for (std::size_t n = 0; c.sizeEnds != 0 && n <= c.bytes.size(); ++n) {
      EXPECT_EQ(CheckPictureHeader(Exact(c.bytes, n), h) == V::Ok, n >= c.sizeEnds)
          << c.name << " cut at " << n;
    }
  }
  EXPECT_FALSE(WithinBudget(1ull << 32, 1ull << 32));  // a product that wraps
  PictureHeader gif;
  ASSERT_EQ(CheckPictureHeader(Gif(320, 200, 10, 12, 5, 7), gif), V::Ok);
  EXPECT_EQ(std::tuple(gif.frameLeft, gif.frameTop, gif.frameWidth, gif.frameHeight),
            std::tuple(5u, 7u, 10u, 12u));
}

// The tag between two others, so that the reader has to step over one.
ByteVector OrientedJpeg(bool big, std::uint32_t orientation, std::uint16_t type = 3) {
  return Jpeg({ExifSegment(
      Tiff(big, {{0x010F, 2, 4, 0}, {0x0112, type, 1, orientation}, {0x8769, 4, 1, 100}}))});
}

TEST(PictureOrientation, ReadFromJpegOrTiffOfAnyShapeElseUpright) {
  // Values 0 and 9, a text type, no tag.
  std::vector<std::pair<ByteVector, int>> cases = {
      {OrientedJpeg(false, 0), kUpright},
      {OrientedJpeg(true, 9), kUpright},
      {OrientedJpeg(true, 6, 2), kUpright},
      {Jpeg({ExifSegment(Tiff(false, {{0x0100, 3, 1, 6}}))}), kUpright}};
  for (bool big : {false, true}) {
    for (std::uint32_t o = 1; o <= 8; ++o) {  // short or long, in JPEG or TIFF
      cases.insert(cases.end(), {{OrientedJpeg(big, o), o},
                                 {OrientedJpeg(big, o, 4), o},
                                 {Tiff(big, {{0x0112, 3, 1, o}}), o}});
    }
    // The value is read once the whole APP1 segment is there: SOI, APP1 marker and length,
    // "Exif\0\0" and the TIFF structure.
    const ByteVector whole = OrientedJpeg(big, 6);
    const std::size_t segmentEnd = 2 + 4 + 6 + Tiff(big, {{}, {}, {}}).size();
    for (std::size_t n = 0; n <= whole.size(); ++n) {
      cases.push_back({Exact(whole, n), n >= segmentEnd ? 6 : kUpright});
    }
  }
  // Only the first Exif counts, after other APP1 segments.
  cases.push_back({Jpeg({Segment(0xE1, {'h', 't', 't', 'p', ':', '/', '/'}),
                         ExifSegment(Tiff(true, {{0x0112, 3, 1, 8}})),
                         ExifSegment(Tiff(true, {{0x0112, 3, 1, 6}}))}),
                   8});
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const ByteVector& bytes = cases[i].first;
    EXPECT_EQ(ReadOrientation(Exact(bytes, bytes.size())), cases[i].second) << "case " << i;
  }
}

// Stored 3 x 2:   a b c
//                 d e f
// each orientation turned (band by band in the pipeline's test).
TEST(PictureOrientation, EachTransform) {
  constexpr Pixel a = 1, b = 2, c = 3, d = 4, e = 5, f = 6;
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

TEST(PictureEmbeddedProfile, JpegChunksJoinedByNumberOrTheTiffTagElseNone) {
  const ByteVector a = {1, 2, 3, 4, 5}, b = {6, 7}, c = {8, 9, 10},
                   whole = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, profile(200, 0x5A);
  std::vector<std::pair<ByteVector, ByteVector>> cases = {
      {Jpeg({IccSegment(1, 1, whole)}), whole},
      {Jpeg({IccSegment(3, 3, c), Segment(0xE2, {'M', 'P', 'F', 0}), IccSegment(1, 3, a),
             Segment(0xE1, {}), IccSegment(2, 3, b)}),
       whole},
      // One missing, one twice, counts that differ, sequence number 0; a PNG; a TIFF's profile
      // over the limit.
      {Jpeg({IccSegment(1, 3, a), IccSegment(3, 3, c)}), {}},
      {Jpeg({IccSegment(1, 2, a), IccSegment(1, 2, a), IccSegment(2, 2, b)}), {}},
      {Jpeg({IccSegment(1, 2, a), IccSegment(2, 3, b)}), {}},
      {Jpeg({IccSegment(0, 1, a)}), {}},
      {Png(10, 10), {}},
      {TiffWithProfile(false, 7, ByteVector(kMaxProfileBytes + 1, 0)), {}}};
  for (bool big : {false, true}) {
    // A BYTE or UNDEFINED tag; a LONG, one byte past the end, a count that wraps, a value too
    // short to be an offset.
    cases.insert(cases.end(), {{TiffWithProfile(big, 7, profile), profile},
                               {TiffWithProfile(big, 1, profile), profile},
                               {TiffWithProfile(big, 4, profile), {}},
                               {TiffWithProfile(big, 7, profile, 201), {}},
                               {TiffWithProfile(big, 7, profile, 0xFFFFFFFF), {}},
                               {TiffWithProfile(big, 7, {1, 2, 3, 4}), {}}});
  }
  // 65 chunks of the largest a segment holds are just over the limit.
  std::vector<ByteVector> chunks;
  for (std::uint8_t i = 1; i <= 65; ++i) chunks.push_back(IccSegment(i, 65, ByteVector(65519, i)));
  cases.push_back({Jpeg(chunks), {}});
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(ReadEmbeddedProfile(cases[i].first), cases[i].second) << "case " << i;
  }
}

}  // namespace
}  // namespace host::picture
