// The header check: format from content, size before decoding, and the
// memory budget.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/picture/header.h"

namespace host::picture {
namespace {

using ByteVector = std::vector<std::uint8_t>;

void Le16(ByteVector& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Le32(ByteVector& out, std::uint32_t v) {
  Le16(out, v & 0xFFFF);
  Le16(out, v >> 16);
}
void Be16(ByteVector& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}
void Be32(ByteVector& out, std::uint32_t v) {
  Be16(out, v >> 16);
  Be16(out, v & 0xFFFF);
}
void Text(ByteVector& out, const std::string& text) {
  out.insert(out.end(), text.begin(), text.end());
}

ByteVector Png(std::uint32_t width, std::uint32_t height) {
  ByteVector out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  Be32(out, 13);
  Text(out, "IHDR");
  Be32(out, width);
  Be32(out, height);
  out.insert(out.end(), {8, 6, 0, 0, 0, 0x12, 0x34, 0x56, 0x78});  // depth..., CRC
  Be32(out, 0);
  Text(out, "IEND");
  Be32(out, 0xAE426082);
  return out;
}

ByteVector Jpeg(std::uint32_t width, std::uint32_t height, std::uint8_t sof = 0xC0) {
  ByteVector out = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16};
  Text(out, "JFIF");
  out.insert(out.end(), {0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
  out.insert(out.end(), {0xFF, 0xDB, 0, 4, 0, 0});  // a (short) DQT
  out.insert(out.end(), {0xFF, 0xE1, 0, 8, 'E', 'x', 'i', 'f', 0, 0});
  out.insert(out.end(), {0xFF, sof, 0, 17, 8});
  Be16(out, height);
  Be16(out, width);
  out.insert(out.end(), {3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1});
  out.insert(out.end(), {0xFF, 0xDA, 0, 8, 1, 1, 0, 0, 63, 0, 0x55, 0xFF, 0xD9});
  return out;
}

ByteVector Gif(std::uint32_t screenW, std::uint32_t screenH, std::uint32_t frameW,
               std::uint32_t frameH, std::uint32_t left = 0, std::uint32_t top = 0) {
  ByteVector out;
  Text(out, "GIF89a");
  Le16(out, screenW);
  Le16(out, screenH);
  out.insert(out.end(), {0x81, 0, 0});  // a global table of 4 colours
  out.insert(out.end(), {0, 0, 0, 255, 255, 255, 1, 2, 3, 4, 5, 6});
  out.insert(out.end(), {0x21, 0xF9, 4, 1, 0, 0, 0, 0});  // graphic control
  out.insert(out.end(), {0x21, 0xFF, 11});                // application: NETSCAPE2.0
  Text(out, "NETSCAPE2.0");
  out.insert(out.end(), {3, 1, 0, 0, 0});
  out.push_back(0x2C);
  Le16(out, left);
  Le16(out, top);
  Le16(out, frameW);
  Le16(out, frameH);
  out.insert(out.end(), {0, 2, 2, 0x4C, 0x01, 0, 0x3B});
  return out;
}

ByteVector Bmp(std::int32_t width, std::int32_t height, std::uint32_t infoSize = 40) {
  ByteVector out = {'B', 'M'};
  Le32(out, 14 + infoSize + 4);
  Le32(out, 0);
  Le32(out, 14 + infoSize);
  Le32(out, infoSize);
  if (infoSize == 12) {
    Le16(out, static_cast<std::uint32_t>(width));
    Le16(out, static_cast<std::uint32_t>(height));
    Le16(out, 1);
    Le16(out, 24);
  } else {
    Le32(out, static_cast<std::uint32_t>(width));
    Le32(out, static_cast<std::uint32_t>(height));
    Le16(out, 1);
    Le16(out, 24);
    while (out.size() < 14 + infoSize) out.push_back(0);
  }
  Le32(out, 0);
  return out;
}

ByteVector Tiff(bool big, std::uint32_t width, std::uint32_t height, std::uint16_t type = 3) {
  ByteVector out;
  const auto u16 = [&](std::uint32_t v) { big ? Be16(out, v) : Le16(out, v); };
  const auto u32 = [&](std::uint32_t v) { big ? Be32(out, v) : Le32(out, v); };
  Text(out, big ? std::string("MM\0*", 4) : std::string("II*\0", 4));
  u32(8);
  u16(2);
  for (auto [tag, value] : {std::pair{256u, width}, {257u, height}}) {
    u16(tag);
    u16(type);
    u32(1);
    if (type == 3) {
      u16(value);
      u16(0);
    } else {
      u32(value);
    }
  }
  u32(0);
  return out;
}

struct IconImage {
  std::uint8_t entryW, entryH;
  ByteVector data;
};

ByteVector Ico(const std::vector<IconImage>& images) {
  ByteVector out;
  Le16(out, 0);
  Le16(out, 1);
  Le16(out, static_cast<std::uint32_t>(images.size()));
  std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
  for (const IconImage& image : images) {
    out.insert(out.end(), {image.entryW, image.entryH, 0, 0});
    Le16(out, 1);
    Le16(out, 32);
    Le32(out, static_cast<std::uint32_t>(image.data.size()));
    Le32(out, offset);
    offset += static_cast<std::uint32_t>(image.data.size());
  }
  for (const IconImage& image : images) out.insert(out.end(), image.data.begin(), image.data.end());
  return out;
}

ByteVector IconBitmap(std::int32_t width, std::int32_t height) {
  ByteVector out;
  Le32(out, 40);
  Le32(out, static_cast<std::uint32_t>(width));
  Le32(out, static_cast<std::uint32_t>(height * 2));
  Le16(out, 1);
  Le16(out, 32);
  while (out.size() < 40) out.push_back(0);
  return out;
}

struct Result {
  HeaderVerdict verdict;
  PictureHeader header;
};

Result Check(const ByteVector& bytes) {
  Result r;
  r.verdict = CheckPictureHeader(Bytes(bytes.data(), bytes.size()), r.header);
  return r;
}

void ExpectOk(const ByteVector& bytes, PictureFormat format, std::uint32_t w, std::uint32_t h) {
  const Result r = Check(bytes);
  EXPECT_EQ(r.verdict, HeaderVerdict::Ok);
  EXPECT_EQ(r.header.format, format);
  EXPECT_EQ(r.header.width, w);
  EXPECT_EQ(r.header.height, h);
}

// Every prefix is safe to check, and none short of the size is accepted.
void ExpectTruncationsRefused(const ByteVector& whole, std::size_t sizeEnds) {
  for (std::size_t n = 0; n < sizeEnds && n < whole.size(); ++n) {
    ByteVector cut(whole.begin(), whole.begin() + n);
    cut.shrink_to_fit();
    EXPECT_NE(Check(cut).verdict, HeaderVerdict::Ok) << n;
  }
  for (std::size_t n = sizeEnds; n <= whole.size(); ++n) {
    ByteVector cut(whole.begin(), whole.begin() + n);
    cut.shrink_to_fit();
    Check(cut);
  }
}

TEST(PictureHeader, Budget) {
  EXPECT_TRUE(WithinBudget(8192, 8192));
  EXPECT_TRUE(WithinBudget(9504, 6336));
  EXPECT_TRUE(WithinBudget(kMaxPixels, 1));
  EXPECT_FALSE(WithinBudget(8192, 8193));
  EXPECT_FALSE(WithinBudget(kMaxPixels + 1, 1));
  EXPECT_FALSE(WithinBudget(65535, 65535));
  EXPECT_FALSE(WithinBudget(0, 10));
  EXPECT_FALSE(WithinBudget(10, 0));
  EXPECT_FALSE(WithinBudget(std::uint64_t{1} << 32, std::uint64_t{1} << 32));
  EXPECT_FALSE(WithinBudget(UINT64_MAX, UINT64_MAX));
}

TEST(PictureHeader, Png) {
  ExpectOk(Png(640, 480), PictureFormat::Png, 640, 480);
  ExpectOk(Png(8192, 8192), PictureFormat::Png, 8192, 8192);
  EXPECT_EQ(Check(Png(65535, 65535)).verdict, HeaderVerdict::TooLarge);
  EXPECT_EQ(Check(Png(0xFFFFFFFF, 0xFFFFFFFF)).verdict, HeaderVerdict::TooLarge);
  EXPECT_EQ(Check(Png(0x10000, 0x10000)).verdict, HeaderVerdict::TooLarge);  // 2^32 pixels
  EXPECT_EQ(Check(Png(0, 100)).verdict, HeaderVerdict::EmptySize);
  EXPECT_EQ(Check(Png(100, 0)).verdict, HeaderVerdict::EmptySize);
  ByteVector badChunk = Png(10, 10);
  badChunk[12] = 'X';
  EXPECT_EQ(Check(badChunk).verdict, HeaderVerdict::Unreadable);
  ExpectTruncationsRefused(Png(640, 480), 24);
}

TEST(PictureHeader, Jpeg) {
  ExpectOk(Jpeg(1024, 768), PictureFormat::Jpeg, 1024, 768);
  ExpectOk(Jpeg(300, 1200, 0xC2), PictureFormat::Jpeg, 300, 1200);  // progressive
  ExpectOk(Jpeg(17, 9, 0xC1), PictureFormat::Jpeg, 17, 9);
  EXPECT_EQ(Check(Jpeg(65535, 65535)).verdict, HeaderVerdict::TooLarge);
  EXPECT_EQ(Check(Jpeg(65535, 0)).verdict, HeaderVerdict::EmptySize);
  EXPECT_EQ(Check(Jpeg(0, 10)).verdict, HeaderVerdict::EmptySize);
  // DHT (C4) is not a frame header.
  ByteVector dht = Jpeg(10, 10);
  dht[2 + 18 + 6 + 10 + 1] = 0xC4;
  EXPECT_EQ(Check(dht).verdict, HeaderVerdict::Unreadable);
  ExpectTruncationsRefused(Jpeg(1024, 768), 2 + 18 + 6 + 10 + 9);
}

TEST(PictureHeader, Gif) {
  ExpectOk(Gif(320, 200, 320, 200), PictureFormat::Gif, 320, 200);
  ExpectOk(Gif(320, 200, 10, 10, 5, 5), PictureFormat::Gif, 320, 200);
  const Result placed = Check(Gif(320, 200, 10, 12, 5, 7));
  EXPECT_EQ(placed.header.frameLeft, 5u);
  EXPECT_EQ(placed.header.frameTop, 7u);
  EXPECT_EQ(placed.header.frameWidth, 10u);
  EXPECT_EQ(placed.header.frameHeight, 12u);
  EXPECT_EQ(Check(Gif(65535, 65535, 1, 1)).verdict, HeaderVerdict::TooLarge);
  // A small screen with an enormous frame, or a frame placed far out.
  EXPECT_EQ(Check(Gif(10, 10, 65535, 65535)).verdict, HeaderVerdict::TooLarge);
  EXPECT_EQ(Check(Gif(10, 10, 10, 10, 65535, 65535)).verdict, HeaderVerdict::TooLarge);
  EXPECT_EQ(Check(Gif(0, 0, 10, 10)).verdict, HeaderVerdict::EmptySize);
  EXPECT_EQ(Check(Gif(10, 10, 0, 10)).verdict, HeaderVerdict::EmptySize);
  ByteVector noImage = Gif(10, 10, 10, 10);
  noImage.resize(13 + 12);
  noImage.push_back(0x3B);
  EXPECT_EQ(Check(noImage).verdict, HeaderVerdict::Unreadable);
  // Where the first image descriptor's size ends.
  ExpectTruncationsRefused(Gif(320, 200, 320, 200), 13 + 12 + 8 + 3 + 11 + 5 + 9);
}

TEST(PictureHeader, Bmp) {
  ExpectOk(Bmp(640, 480), PictureFormat::Bmp, 640, 480);
  ExpectOk(Bmp(640, -480), PictureFormat::Bmp, 640, 480);  // top-down rows
  ExpectOk(Bmp(33, 21, 12), PictureFormat::Bmp, 33, 21);
  ExpectOk(Bmp(33, 21, 124), PictureFormat::Bmp, 33, 21);
  EXPECT_EQ(Check(Bmp(65535, 65535, 12)).verdict, HeaderVerdict::TooLarge);
  EXPECT_EQ(Check(Bmp(65535, -65535)).verdict, HeaderVerdict::TooLarge);
  EXPECT_EQ(Check(Bmp(0x7FFFFFFF, 0x7FFFFFFF)).verdict, HeaderVerdict::TooLarge);
  EXPECT_EQ(Check(Bmp(0, 480)).verdict, HeaderVerdict::EmptySize);
  EXPECT_EQ(Check(Bmp(640, 0)).verdict, HeaderVerdict::EmptySize);
  EXPECT_EQ(Check(Bmp(-640, 480)).verdict, HeaderVerdict::Unreadable);
  EXPECT_EQ(Check(Bmp(640, INT32_MIN)).verdict, HeaderVerdict::Unreadable);
  EXPECT_EQ(Check(Bmp(640, 480, 8)).verdict, HeaderVerdict::Unreadable);
  ExpectTruncationsRefused(Bmp(640, 480), 26);
  ExpectTruncationsRefused(Bmp(640, 480, 12), 22);
}

TEST(PictureHeader, Tiff) {
  ExpectOk(Tiff(false, 500, 400), PictureFormat::Tiff, 500, 400);
  ExpectOk(Tiff(true, 500, 400), PictureFormat::Tiff, 500, 400);
  ExpectOk(Tiff(true, 70000, 10, 4), PictureFormat::Tiff, 70000, 10);
  EXPECT_EQ(Check(Tiff(false, 65535, 65535)).verdict, HeaderVerdict::TooLarge);
  EXPECT_EQ(Check(Tiff(true, 0xFFFFFFFF, 2, 4)).verdict, HeaderVerdict::TooLarge);
  EXPECT_EQ(Check(Tiff(false, 0, 5)).verdict, HeaderVerdict::EmptySize);
  EXPECT_EQ(Check(Tiff(false, 5, 5, 2)).verdict, HeaderVerdict::Unreadable);  // ASCII sizes
  ExpectTruncationsRefused(Tiff(false, 500, 400), 8 + 2 + 12 + 10);
}

TEST(PictureHeader, IcoTakesTheLargestImage) {
  ExpectOk(Ico({{16, 16, IconBitmap(16, 16)}, {0, 0, Png(300, 200)}, {48, 48, IconBitmap(48, 48)}}),
           PictureFormat::Ico, 300, 200);
  ExpectOk(Ico({{32, 32, IconBitmap(32, 32)}}), PictureFormat::Ico, 32, 32);
  // Images the directory points past: their entries' own sizes (0 is 256).
  ByteVector pastEnd = Ico({{0, 0, {}}});
  ExpectOk(pastEnd, PictureFormat::Ico, 256, 256);
  EXPECT_EQ(Check(Ico({{16, 16, IconBitmap(16, 16)}, {0, 0, Png(65535, 65535)}})).verdict,
            HeaderVerdict::TooLarge);
  EXPECT_EQ(Check(Ico({{0, 0, IconBitmap(65535, 65535)}})).verdict, HeaderVerdict::TooLarge);
  EXPECT_EQ(Check(Ico({{1, 1, IconBitmap(0, 0)}})).verdict, HeaderVerdict::EmptySize);
  EXPECT_EQ(Check(Ico({})).verdict, HeaderVerdict::Unreadable);
  // A count of 65535 entries in a few bytes.
  ByteVector many = {0, 0, 1, 0, 0xFF, 0xFF, 16, 16, 0, 0};
  EXPECT_EQ(Check(many).verdict, HeaderVerdict::Unreadable);
  ExpectTruncationsRefused(Ico({{16, 16, IconBitmap(16, 16)}}), 6 + 16);
}

TEST(PictureHeader, FormatComesFromContentOnly) {
  EXPECT_EQ(SniffFormat({}), PictureFormat::Unknown);
  const std::string text = "This is not a picture.\r\n";
  const ByteVector textBytes(text.begin(), text.end());
  EXPECT_EQ(Check(textBytes).verdict, HeaderVerdict::UnknownFormat);
  const ByteVector exe = {'M', 'Z', 0x90, 0, 3, 0, 0, 0, 4, 0, 0, 0, 0xFF, 0xFF};
  EXPECT_EQ(Check(exe).verdict, HeaderVerdict::UnknownFormat);
  EXPECT_EQ(Check({}).verdict, HeaderVerdict::UnknownFormat);
  EXPECT_EQ(Check({'B'}).verdict, HeaderVerdict::UnknownFormat);
  EXPECT_EQ(Check({'B', 'M'}).verdict, HeaderVerdict::Unreadable);
  EXPECT_EQ(Check({0xFF, 0xD8, 0xFF}).verdict, HeaderVerdict::Unreadable);
}

TEST(PictureHeader, RandomBytesAreSafe) {
  std::uint32_t state = 7;
  const auto next = [&] { return state = state * 1664525u + 1013904223u; };
  const ByteVector seeds[] = {Png(10, 10), Jpeg(10, 10),       Gif(10, 10, 10, 10),
                              Bmp(10, 10), Tiff(true, 10, 10), Ico({{16, 16, IconBitmap(16, 16)}})};
  for (int round = 0; round < 30000; ++round) {
    ByteVector bytes = seeds[round % 6];
    for (int k = 0; k < 4; ++k)
      bytes[next() % bytes.size()] = static_cast<std::uint8_t>(next() >> 24);
    bytes.resize(next() % (bytes.size() + 1));
    bytes.shrink_to_fit();
    const Result r = Check(bytes);
    if (r.verdict == HeaderVerdict::Ok) {
      ASSERT_TRUE(WithinBudget(r.header.width, r.header.height));
    }
  }
}

}  // namespace
}  // namespace host::picture
