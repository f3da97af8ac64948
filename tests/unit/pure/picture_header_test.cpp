// The header check: format from content, size before decoding, the memory budget.
#include <gtest/gtest.h>

#include <tuple>

#include "host/picture/header.h"
#include "support/picture_bytes.h"

namespace host::picture {
namespace {

using namespace testing_support;

ByteVector Png(std::uint32_t width, std::uint32_t height) {
  ByteVector out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  for (std::uint32_t v : {width, height}) Put32(out, v, true);
  return out;
}

// A table segment to step over before the frame header.
ByteVector Jpeg(std::uint32_t width, std::uint32_t height, std::uint8_t sof = 0xC0) {
  ByteVector frame = {8};
  for (std::uint32_t v : {height, width}) Put16(frame, v, true);
  return testing_support::Jpeg({Segment(0xDB, {0, 0}), Segment(sof, frame)});
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

ByteVector Tiff(bool big, std::uint32_t width, std::uint32_t height, std::uint16_t type = 3) {
  return testing_support::Tiff(big, {{256, type, 1, width}, {257, type, 1, height}});
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

HeaderVerdict Check(const ByteVector& bytes, PictureHeader& header) {
  return CheckPictureHeader(Bytes(bytes.data(), bytes.size()), header);
}

TEST(PictureHeader, BudgetIsSixtyFourMebipixelsOfANonEmptySize) {
  const struct {
    std::uint64_t width, height;
    bool within;
  } cases[] = {{8192, 8192, true},
               {kMaxPixels, 1, true},
               {8192, 8193, false},
               {kMaxPixels + 1, 1, false},
               {5, 13421773, false},  // a product of kMaxPixels + 1
               {1ull << 32, 1ull << 32, false},
               {0, 10, false},
               {10, 0, false}};
  for (const auto& c : cases) EXPECT_EQ(WithinBudget(c.width, c.height), c.within) << c.width;
}

TEST(PictureHeader, EachFormatGivesItsSizeOrSaysWhyNot) {
  using F = PictureFormat;
  using V = HeaderVerdict;
  ByteVector badChunk = Png(10, 10);
  badChunk[12] = 'X';
  ByteVector noImage = Gif(10, 10, 10, 10);
  noImage.resize(19);
  noImage.push_back(0x3B);
  const struct {
    const char* name;
    ByteVector bytes;
    V verdict;
    F format;
    std::uint32_t width = 0, height = 0;
  } cases[] = {
      {"png", Png(640, 480), V::Ok, F::Png, 640, 480},
      {"png of 2^32 pixels", Png(0x10000, 0x10000), V::TooLarge, F::Png},
      {"png without width", Png(0, 100), V::EmptySize, F::Png},
      {"png without IHDR first", badChunk, V::Unreadable, F::Png},
      {"baseline jpeg", Jpeg(1024, 768), V::Ok, F::Jpeg, 1024, 768},
      {"progressive jpeg", Jpeg(300, 1200, 0xC2), V::Ok, F::Jpeg, 300, 1200},
      {"jpeg whose C4 is a table, not a frame", Jpeg(10, 10, 0xC4), V::Unreadable, F::Jpeg},
      {"gif", Gif(320, 200, 10, 10, 5, 5), V::Ok, F::Gif, 320, 200},
      {"gif screen too large", Gif(65535, 65535, 1, 1), V::TooLarge, F::Gif},
      {"gif frame too large", Gif(10, 10, 65535, 65535), V::TooLarge, F::Gif},
      {"gif frame placed far out", Gif(10, 10, 10, 10, 65535, 65535), V::TooLarge, F::Gif},
      {"gif without screen", Gif(0, 0, 10, 10), V::EmptySize, F::Gif},
      {"gif frame without width", Gif(10, 10, 0, 10), V::EmptySize, F::Gif},
      {"gif without image", noImage, V::Unreadable, F::Gif},
      {"bmp", Bmp(640, 480), V::Ok, F::Bmp, 640, 480},
      {"top-down bmp", Bmp(640, -480), V::Ok, F::Bmp, 640, 480},
      {"bmp with core header", Bmp(33, 21, 12), V::Ok, F::Bmp, 33, 21},
      {"bmp of negative width", Bmp(-640, 480), V::Unreadable, F::Bmp},
      {"bmp of the most negative height", Bmp(640, INT32_MIN), V::Unreadable, F::Bmp},
      {"bmp with a short header", Bmp(640, 480, 8), V::Unreadable, F::Bmp},
      {"intel tiff", Tiff(false, 500, 400), V::Ok, F::Tiff, 500, 400},
      {"motorola tiff with long sizes", Tiff(true, 70000, 10, 4), V::Ok, F::Tiff, 70000, 10},
      {"tiff with text sizes", Tiff(false, 5, 5, 2), V::Unreadable, F::Tiff},
      {"icon takes its largest image", Ico({{16, Icon(16)}, {0, Png(300, 200)}, {48, Icon(48)}}),
       V::Ok, F::Ico, 300, 200},
      {"icon bitmap holds its mask too", Ico({{32, Icon(32)}}), V::Ok, F::Ico, 32, 32},
      {"icon image past the end: its entry's size", Ico({{0, {}}}), V::Ok, F::Ico, 256, 256},
      {"icon with a png too large", Ico({{16, Icon(16)}, {0, Png(65535, 65535)}}), V::TooLarge,
       F::Ico},
      {"icon with a bitmap too large", Ico({{0, Icon(65535)}}), V::TooLarge, F::Ico},
      {"icon with an empty bitmap", Ico({{1, Icon(0)}}), V::EmptySize, F::Ico},
      {"icon without images", Ico({}), V::Unreadable, F::Ico},
      {"icon of 65535 entries in ten bytes",
       {0, 0, 1, 0, 0xFF, 0xFF, 16, 16, 0, 0},
       V::Unreadable,
       F::Ico},
      {"nothing", {}, V::UnknownFormat, F::Unknown},
      {"half a bmp signature", {'B'}, V::UnknownFormat, F::Unknown},
  };
  for (const auto& c : cases) {
    PictureHeader h;
    const V verdict = Check(c.bytes, h);
    const bool sized = verdict == V::Ok;
    EXPECT_EQ(std::tuple(verdict, h.format, sized ? h.width : 0, sized ? h.height : 0),
              std::tuple(c.verdict, c.format, c.width, c.height))
        << c.name;
  }
  PictureHeader gif;
  ASSERT_EQ(Check(Gif(320, 200, 10, 12, 5, 7), gif), V::Ok);
  EXPECT_EQ(std::tuple(gif.frameLeft, gif.frameTop, gif.frameWidth, gif.frameHeight),
            std::tuple(5u, 7u, 10u, 12u));
}

TEST(PictureHeader, NoPrefixShortOfTheSizeIsAccepted) {
  const struct {
    const char* name;
    ByteVector whole;
    std::size_t sizeEnds;
  } cases[] = {{"png", Png(640, 480), 24},
               {"jpeg", Jpeg(1024, 768), 17},
               {"gif", Gif(320, 200, 320, 200), 36},
               {"bmp", Bmp(640, 480), 26},
               {"bmp with core header", Bmp(640, 480, 12), 22},
               {"tiff", Tiff(false, 500, 400), 32},
               {"icon", Ico({{16, Icon(16)}}), 22}};
  for (const auto& c : cases) {
    for (std::size_t n = 0; n <= c.whole.size(); ++n) {
      ByteVector cut(c.whole.begin(), c.whole.begin() + n);
      cut.shrink_to_fit();  // so that the sanitiser sees reads past the end
      PictureHeader header;
      EXPECT_EQ(Check(cut, header) == HeaderVerdict::Ok, n >= c.sizeEnds)
          << c.name << " cut at " << n;
    }
  }
}

}  // namespace
}  // namespace host::picture
