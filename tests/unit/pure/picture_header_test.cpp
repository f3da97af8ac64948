// The header check: format from content, size before decoding, and the
// memory budget.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "host/picture/header.h"
#include "support/picture_bytes.h"

namespace host::picture {
namespace {

using testing_support::ByteVector;
using testing_support::Put16;
using testing_support::Put32;
using testing_support::PutText;
using testing_support::Segment;

ByteVector Png(std::uint32_t width, std::uint32_t height) {
  ByteVector out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13};
  PutText(out, "IHDR");
  Put32(out, width, true);
  Put32(out, height, true);
  out.insert(out.end(), {8, 6, 0, 0, 0, 0x12, 0x34, 0x56, 0x78, 0, 0, 0, 0});  // ..., CRC
  PutText(out, "IEND");
  Put32(out, 0xAE426082, true);
  return out;
}

// A DQT and an Exif APP1 before the frame header, whose size ends at byte 45.
ByteVector Jpeg(std::uint32_t width, std::uint32_t height, std::uint8_t sof = 0xC0) {
  ByteVector frame = {8};
  Put16(frame, height, true);
  Put16(frame, width, true);
  frame.insert(frame.end(), {3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1});
  return testing_support::Jpeg(
      {Segment(0xDB, {0, 0}), Segment(0xE1, {'E', 'x', 'i', 'f', 0, 0}), Segment(sof, frame)});
}

// The first image descriptor's size ends at byte 61.
ByteVector Gif(std::uint32_t screenW, std::uint32_t screenH, std::uint32_t frameW,
               std::uint32_t frameH, std::uint32_t left = 0, std::uint32_t top = 0) {
  ByteVector out;
  PutText(out, "GIF89a");
  Put16(out, screenW, false);
  Put16(out, screenH, false);
  out.insert(out.end(), {0x81, 0, 0, 0, 0, 0, 255, 255, 255, 1, 2, 3, 4, 5, 6});  // 4 colours
  out.insert(out.end(), {0x21, 0xF9, 4, 1, 0, 0, 0, 0, 0x21, 0xFF, 11});          // extensions
  PutText(out, "NETSCAPE2.0");
  out.insert(out.end(), {3, 1, 0, 0, 0, 0x2C});
  for (std::uint32_t v : {left, top, frameW, frameH}) Put16(out, v, false);
  out.insert(out.end(), {0, 2, 2, 0x4C, 0x01, 0, 0x3B});
  return out;
}

// The bitmap header alone, as a file or (doubled height) as an icon's image.
ByteVector BitmapInfo(std::int32_t width, std::int32_t height, std::uint32_t infoSize = 40) {
  ByteVector out;
  Put32(out, infoSize, false);
  if (infoSize == 12) {
    Put16(out, static_cast<std::uint32_t>(width), false);
    Put16(out, static_cast<std::uint32_t>(height), false);
  } else {
    Put32(out, static_cast<std::uint32_t>(width), false);
    Put32(out, static_cast<std::uint32_t>(height), false);
  }
  Put16(out, 1, false);
  Put16(out, 24, false);
  out.resize(std::max<std::size_t>(out.size(), infoSize));
  return out;
}

ByteVector Bmp(std::int32_t width, std::int32_t height, std::uint32_t infoSize = 40) {
  ByteVector out = {'B', 'M'};
  for (std::uint32_t v : {14 + infoSize + 4, 0u, 14 + infoSize}) Put32(out, v, false);
  const ByteVector info = BitmapInfo(width, height, infoSize);
  out.insert(out.end(), info.begin(), info.end());
  Put32(out, 0, false);
  return out;
}

ByteVector Tiff(bool big, std::uint32_t width, std::uint32_t height, std::uint16_t type = 3) {
  return testing_support::Tiff(big, {{256, type, 1, width}, {257, type, 1, height}});
}

struct IconImage {
  std::uint8_t entryW, entryH;
  ByteVector data;
};

ByteVector Ico(const std::vector<IconImage>& images) {
  ByteVector out = {0, 0, 1, 0};
  Put16(out, static_cast<std::uint32_t>(images.size()), false);
  std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
  for (const IconImage& image : images) {
    out.insert(out.end(), {image.entryW, image.entryH, 0, 0, 1, 0, 32, 0});
    Put32(out, static_cast<std::uint32_t>(image.data.size()), false);
    Put32(out, offset, false);
    offset += static_cast<std::uint32_t>(image.data.size());
  }
  for (const IconImage& image : images) out.insert(out.end(), image.data.begin(), image.data.end());
  return out;
}

ByteVector IconBitmap(std::int32_t width, std::int32_t height) {
  return BitmapInfo(width, height * 2);
}

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
               {1, kMaxPixels + 1, false},
               {0, 10, false},
               {10, 0, false},
               {1ull << 32, 1ull << 32, false},
               {UINT64_MAX, UINT64_MAX, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(WithinBudget(c.width, c.height), c.within) << c.width << " x " << c.height;
  }
}

TEST(PictureHeader, EachFormatGivesItsSizeOrSaysWhyNot) {
  using F = PictureFormat;
  using V = HeaderVerdict;
  ByteVector badChunk = Png(10, 10);
  badChunk[12] = 'X';
  ByteVector noImage = Gif(10, 10, 10, 10);
  noImage.resize(25);
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
      {"png of the largest size", Png(0xFFFFFFFF, 0xFFFFFFFF), V::TooLarge, F::Png},
      {"png without width", Png(0, 100), V::EmptySize, F::Png},
      {"png without IHDR first", badChunk, V::Unreadable, F::Png},
      {"baseline jpeg", Jpeg(1024, 768), V::Ok, F::Jpeg, 1024, 768},
      {"extended jpeg", Jpeg(17, 9, 0xC1), V::Ok, F::Jpeg, 17, 9},
      {"progressive jpeg", Jpeg(300, 1200, 0xC2), V::Ok, F::Jpeg, 300, 1200},
      {"jpeg too large", Jpeg(65535, 65535), V::TooLarge, F::Jpeg},
      {"jpeg without height", Jpeg(65535, 0), V::EmptySize, F::Jpeg},
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
      {"bmp with core header too large", Bmp(65535, 65535, 12), V::TooLarge, F::Bmp},
      {"top-down bmp too large", Bmp(65535, -65535), V::TooLarge, F::Bmp},
      {"bmp without width", Bmp(0, 480), V::EmptySize, F::Bmp},
      {"bmp without height", Bmp(640, 0), V::EmptySize, F::Bmp},
      {"bmp of negative width", Bmp(-640, 480), V::Unreadable, F::Bmp},
      {"bmp of the most negative height", Bmp(640, INT32_MIN), V::Unreadable, F::Bmp},
      {"bmp with a short header", Bmp(640, 480, 8), V::Unreadable, F::Bmp},
      {"intel tiff", Tiff(false, 500, 400), V::Ok, F::Tiff, 500, 400},
      {"motorola tiff", Tiff(true, 500, 400), V::Ok, F::Tiff, 500, 400},
      {"tiff with long sizes", Tiff(true, 70000, 10, 4), V::Ok, F::Tiff, 70000, 10},
      {"tiff too large", Tiff(false, 65535, 65535), V::TooLarge, F::Tiff},
      {"tiff without width", Tiff(false, 0, 5), V::EmptySize, F::Tiff},
      {"tiff with text sizes", Tiff(false, 5, 5, 2), V::Unreadable, F::Tiff},
      {"icon takes its largest image",
       Ico({{16, 16, IconBitmap(16, 16)}, {0, 0, Png(300, 200)}, {48, 48, IconBitmap(48, 48)}}),
       V::Ok, F::Ico, 300, 200},
      {"icon bitmap holds its mask too", Ico({{32, 32, IconBitmap(32, 32)}}), V::Ok, F::Ico, 32,
       32},
      {"icon image past the end: its entry's size, 0 for 256", Ico({{0, 0, {}}}), V::Ok, F::Ico,
       256, 256},
      {"icon with a png too large", Ico({{16, 16, IconBitmap(16, 16)}, {0, 0, Png(65535, 65535)}}),
       V::TooLarge, F::Ico},
      {"icon with a bitmap too large", Ico({{0, 0, IconBitmap(65535, 65535)}}), V::TooLarge,
       F::Ico},
      {"icon with an empty bitmap", Ico({{1, 1, IconBitmap(0, 0)}}), V::EmptySize, F::Ico},
      {"icon without images", Ico({}), V::Unreadable, F::Ico},
      {"icon of 65535 entries in ten bytes",
       {0, 0, 1, 0, 0xFF, 0xFF, 16, 16, 0, 0},
       V::Unreadable,
       F::Ico},
      {"bmp signature alone", {'B', 'M'}, V::Unreadable, F::Bmp},
      {"jpeg signature alone", {0xFF, 0xD8, 0xFF}, V::Unreadable, F::Jpeg},
      {"text",
       {'N', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c', '\r', '\n'},
       V::UnknownFormat,
       F::Unknown},
      {"program",
       {'M', 'Z', 0x90, 0, 3, 0, 0, 0, 4, 0, 0, 0, 0xFF, 0xFF},
       V::UnknownFormat,
       F::Unknown},
      {"nothing", {}, V::UnknownFormat, F::Unknown},
      {"half a bmp signature", {'B'}, V::UnknownFormat, F::Unknown},
  };
  for (const auto& c : cases) {
    PictureHeader header;
    EXPECT_EQ(Check(c.bytes, header), c.verdict) << c.name;
    EXPECT_EQ(header.format, c.format) << c.name;
    if (c.verdict == V::Ok) {
      EXPECT_EQ(header.width, c.width) << c.name;
      EXPECT_EQ(header.height, c.height) << c.name;
    }
  }
}

TEST(PictureHeader, GifFrameIsPlacedWhereItsDescriptorSays) {
  PictureHeader header;
  ASSERT_EQ(Check(Gif(320, 200, 10, 12, 5, 7), header), HeaderVerdict::Ok);
  EXPECT_EQ(header.frameLeft, 5u);
  EXPECT_EQ(header.frameTop, 7u);
  EXPECT_EQ(header.frameWidth, 10u);
  EXPECT_EQ(header.frameHeight, 12u);
}

// Every prefix is safe to check, and none short of the size is accepted.
TEST(PictureHeader, NoPrefixShortOfTheSizeIsAccepted) {
  const struct {
    const char* name;
    ByteVector whole;
    std::size_t sizeEnds;
  } cases[] = {{"png", Png(640, 480), 24},
               {"jpeg", Jpeg(1024, 768), 45},
               {"gif", Gif(320, 200, 320, 200), 61},
               {"bmp", Bmp(640, 480), 26},
               {"bmp with core header", Bmp(640, 480, 12), 22},
               {"tiff", Tiff(false, 500, 400), 32},
               {"icon", Ico({{16, 16, IconBitmap(16, 16)}}), 22}};
  for (const auto& c : cases) {
    for (std::size_t n = 0; n <= c.whole.size(); ++n) {
      ByteVector cut(c.whole.begin(), c.whole.begin() + n);
      cut.shrink_to_fit();  // so that the sanitiser sees reads past the end
      PictureHeader header;
      const HeaderVerdict verdict = Check(cut, header);
      if (n < c.sizeEnds) {
        EXPECT_NE(verdict, HeaderVerdict::Ok) << c.name << " cut at " << n;
      }
    }
  }
}

}  // namespace
}  // namespace host::picture
