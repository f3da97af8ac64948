#include "host/picture/header.h"

#include <algorithm>
#include <cstring>

#include "host/picture/containers.h"

namespace host::picture {

namespace {

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

bool StartsWith(Bytes bytes, const void* prefix, std::size_t size) {
  return bytes.size() >= size && std::memcmp(bytes.data(), prefix, size) == 0;
}

// The verdict on a width and height read from a header.
HeaderVerdict Judge(std::uint64_t width, std::uint64_t height) {
  if (width == 0 || height == 0) return HeaderVerdict::EmptySize;
  return WithinBudget(width, height) ? HeaderVerdict::Ok : HeaderVerdict::TooLarge;
}

HeaderVerdict Finish(PictureHeader& header, std::uint64_t width, std::uint64_t height) {
  header.width = static_cast<std::uint32_t>(std::min<std::uint64_t>(width, UINT32_MAX));
  header.height = static_cast<std::uint32_t>(std::min<std::uint64_t>(height, UINT32_MAX));
  return Judge(width, height);
}

// A signed 32-bit value read as unsigned.
std::int64_t Signed(std::uint32_t value) { return static_cast<std::int32_t>(value); }

HeaderVerdict ReadPng(Bytes bytes, PictureHeader& header) {
  const ByteReader in(bytes, true);
  std::uint32_t length = 0, width = 0, height = 0;
  if (!in.U32(8, length) || !in.U32(16, width) || !in.U32(20, height)) {
    return HeaderVerdict::Unreadable;
  }
  if (length != 13 || std::memcmp(bytes.data() + 12, "IHDR", 4) != 0) {
    return HeaderVerdict::Unreadable;
  }
  return Finish(header, width, height);
}

HeaderVerdict ReadJpeg(Bytes bytes, PictureHeader& header) {
  bool found = false;
  std::uint32_t width = 0, height = 0;
  WalkJpegSegments(bytes, [&](int marker, Bytes body) {
    if (!IsJpegStartOfFrame(marker)) return true;
    const ByteReader in(body, true);
    found = in.U16(1, height) && in.U16(3, width);
    return false;
  });
  if (!found) return HeaderVerdict::Unreadable;
  return Finish(header, width, height);
}

// BITMAPCOREHEADER (12 bytes, unsigned 16-bit sizes) or one of the longer
// headers (signed 32-bit sizes, a negative height for top-down rows).
HeaderVerdict ReadBitmapInfo(const ByteReader& in, std::uint64_t at, bool iconHalfHeight,
                             std::uint64_t& width, std::uint64_t& height) {
  std::uint32_t size = 0, w = 0, h = 0;
  if (!in.U32(at, size)) return HeaderVerdict::Unreadable;
  if (size == 12) {
    if (!in.U16(at + 4, w) || !in.U16(at + 6, h)) return HeaderVerdict::Unreadable;
    width = w;
    height = h;
  } else if (size >= 16) {
    if (!in.U32(at + 4, w) || !in.U32(at + 8, h)) return HeaderVerdict::Unreadable;
    const std::int64_t sw = Signed(w), sh = Signed(h);
    if (sw < 0 || sh == INT32_MIN) return HeaderVerdict::Unreadable;
    width = static_cast<std::uint64_t>(sw);
    height = static_cast<std::uint64_t>(sh < 0 ? -sh : sh);
  } else {
    return HeaderVerdict::Unreadable;
  }
  if (iconHalfHeight) height /= 2;  // an icon's bitmap holds the AND mask too
  return HeaderVerdict::Ok;
}

HeaderVerdict ReadBmp(Bytes bytes, PictureHeader& header) {
  std::uint64_t width = 0, height = 0;
  const HeaderVerdict verdict = ReadBitmapInfo(ByteReader(bytes, false), 14, false, width, height);
  if (verdict != HeaderVerdict::Ok) return verdict;
  return Finish(header, width, height);
}

HeaderVerdict ReadTiff(Bytes bytes, PictureHeader& header) {
  std::uint32_t width = 0, height = 0;
  if (!FindTiffTag(bytes, 256, width) || !FindTiffTag(bytes, 257, height)) {
    return HeaderVerdict::Unreadable;
  }
  return Finish(header, width, height);
}

// The logical screen, then the first image descriptor after the global
// colour table and any extensions.
HeaderVerdict ReadGif(Bytes bytes, PictureHeader& header) {
  const ByteReader in(bytes, false);
  std::uint32_t screenWidth = 0, screenHeight = 0, flags = 0;
  if (!in.U16(6, screenWidth) || !in.U16(8, screenHeight) || !in.U8(10, flags)) {
    return HeaderVerdict::Unreadable;
  }
  std::uint64_t at = 13;
  if (flags & 0x80) at += 3u << ((flags & 7) + 1);
  for (;;) {
    std::uint32_t block = 0;
    if (!in.U8(at, block)) return HeaderVerdict::Unreadable;
    if (block == 0x21) {  // extension: label, then sub-blocks up to an empty one
      at += 2;
      for (std::uint32_t length = 1; length != 0; at += 1 + length) {
        if (!in.U8(at, length)) return HeaderVerdict::Unreadable;
      }
    } else if (block == 0x2C) {
      std::uint32_t left = 0, top = 0, width = 0, height = 0;
      if (!in.U16(at + 1, left) || !in.U16(at + 3, top) || !in.U16(at + 5, width) ||
          !in.U16(at + 7, height)) {
        return HeaderVerdict::Unreadable;
      }
      header.frameLeft = left;
      header.frameTop = top;
      header.frameWidth = width;
      header.frameHeight = height;
      const HeaderVerdict screen = Finish(header, screenWidth, screenHeight);
      if (screen != HeaderVerdict::Ok) return screen;
      if (width == 0 || height == 0) return HeaderVerdict::EmptySize;
      return Judge(std::max<std::uint64_t>(screenWidth, left + width),
                   std::max<std::uint64_t>(screenHeight, top + height));
    } else {
      return HeaderVerdict::Unreadable;  // the trailer or junk before any image
    }
  }
}

// ICONDIR, then one 16-byte entry an image. The entry's own width and
// height are a byte each (0 for 256), so the size is read from the image:
// a PNG's IHDR or a BITMAPINFOHEADER.
HeaderVerdict ReadIco(Bytes bytes, PictureHeader& header) {
  const ByteReader in(bytes, false);
  std::uint32_t count = 0;
  if (!in.U16(4, count) || count == 0) return HeaderVerdict::Unreadable;
  std::uint64_t bestWidth = 0, bestHeight = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint64_t entry = 6 + 16 * std::uint64_t{i};
    std::uint32_t w = 0, h = 0, offset = 0;
    if (!in.U8(entry, w) || !in.U8(entry + 1, h) || !in.U32(entry + 12, offset)) {
      return HeaderVerdict::Unreadable;
    }
    std::uint64_t width = w == 0 ? 256 : w, height = h == 0 ? 256 : h;
    const Bytes image = in.Has(offset, 0) ? bytes.subspan(offset) : Bytes{};
    if (StartsWith(image, kPngSignature, sizeof kPngSignature)) {
      PictureHeader png;
      const HeaderVerdict verdict = ReadPng(image, png);
      if (verdict == HeaderVerdict::TooLarge) return Finish(header, png.width, png.height);
      if (verdict != HeaderVerdict::Ok) continue;
      width = png.width;
      height = png.height;
    } else if (image.size() >= 16) {
      const HeaderVerdict verdict =
          ReadBitmapInfo(ByteReader(image, false), 0, true, width, height);
      if (verdict != HeaderVerdict::Ok) continue;
    }
    if (width == 0 || height == 0) continue;
    if (!WithinBudget(width, height)) return Finish(header, width, height);
    if (width * height > bestWidth * bestHeight) {
      bestWidth = width;
      bestHeight = height;
    }
  }
  return Finish(header, bestWidth, bestHeight);
}

}  // namespace

PictureFormat SniffFormat(Bytes bytes) {
  const auto starts = [&](const char* text, std::size_t size) {
    return StartsWith(bytes, text, size);
  };
  if (StartsWith(bytes, kPngSignature, sizeof kPngSignature)) return PictureFormat::Png;
  if (starts("\xFF\xD8\xFF", 3)) return PictureFormat::Jpeg;
  if (starts("GIF87a", 6) || starts("GIF89a", 6)) return PictureFormat::Gif;
  static constexpr char kTiffIntel[] = {'I', 'I', '*', '\0'};
  static constexpr char kTiffMotorola[] = {'M', 'M', '\0', '*'};
  static constexpr char kIcon[] = {'\0', '\0', '\1', '\0'};
  if (starts(kTiffIntel, 4) || starts(kTiffMotorola, 4)) return PictureFormat::Tiff;
  if (starts("BM", 2)) return PictureFormat::Bmp;
  if (starts(kIcon, 4)) return PictureFormat::Ico;
  return PictureFormat::Unknown;
}

HeaderVerdict CheckPictureHeader(Bytes bytes, PictureHeader& header) {
  header = PictureHeader{};
  header.format = SniffFormat(bytes);
  switch (header.format) {
    case PictureFormat::Png:
      return ReadPng(bytes, header);
    case PictureFormat::Jpeg:
      return ReadJpeg(bytes, header);
    case PictureFormat::Gif:
      return ReadGif(bytes, header);
    case PictureFormat::Tiff:
      return ReadTiff(bytes, header);
    case PictureFormat::Bmp:
      return ReadBmp(bytes, header);
    case PictureFormat::Ico:
      return ReadIco(bytes, header);
    case PictureFormat::Unknown:
      break;
  }
  return HeaderVerdict::UnknownFormat;
}

Canvas GifCanvas(const PictureHeader& header, int width, int height) {
  Canvas canvas;
  canvas.left = static_cast<int>(header.frameLeft);
  canvas.top = static_cast<int>(header.frameTop);
  canvas.width = std::max(static_cast<int>(header.width), canvas.left + width);
  canvas.height = std::max(static_cast<int>(header.height), canvas.top + height);
  return canvas;
}

}  // namespace host::picture
