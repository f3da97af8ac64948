// What a picture file says about itself before anything is decoded: its
// format, from the content (never the file name), and its size in pixels.
// The size is checked against the memory budget so that a file claiming to
// be enormous is refused before a decoder allocates for it.
#pragma once

#include <cstdint>

#include "host/picture/bytes.h"

namespace host::picture {

enum class PictureFormat { Unknown, Bmp, Jpeg, Png, Gif, Tiff, Ico };

// The largest picture we decode, in pixels: 64 Mi (8192 x 8192, or a 61 MP
// camera's 9504 x 6336). At 4 bytes a pixel that is 256 MiB for the decoded
// picture. While the next picture loads, the one on the screen is still
// held, and the decoder keeps its own copy of the pixels in their stored
// format (3 bytes a pixel for a colour JPEG) besides the file's bytes: in
// the worst case some 800 MiB in four blocks of at most 256 MiB. A 32-bit
// process has 2 GiB of address space, in which DLLs and heaps leave the
// largest free blocks at a few hundred MiB each; twice the budget would no
// longer fit reliably, and half of it would refuse ordinary camera files.
inline constexpr std::uint64_t kMaxPixels = std::uint64_t{64} << 20;

// True for a size that is neither empty nor over the budget.
inline constexpr bool WithinBudget(std::uint64_t width, std::uint64_t height) {
  return width > 0 && height > 0 && width <= kMaxPixels && height <= kMaxPixels &&
         width * height <= kMaxPixels;
}

struct PictureHeader {
  PictureFormat format = PictureFormat::Unknown;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  // A GIF's first frame: where it lies on the logical screen, and its size.
  std::uint32_t frameLeft = 0, frameTop = 0, frameWidth = 0, frameHeight = 0;
};

enum class HeaderVerdict {
  Ok,
  UnknownFormat,  // not a picture format we show
  Unreadable,     // the header is cut short or makes no sense
  EmptySize,      // a width or height of 0
  TooLarge,       // over kMaxPixels
};

// The format, from the first bytes alone.
PictureFormat SniffFormat(Bytes bytes);

// The format and size, and whether the picture may be decoded. For a GIF
// the size is the logical screen's, and the first frame must fit the
// budget too; for an icon it is the largest image's, and all of them must
// fit. `header` is filled as far as it could be read.
HeaderVerdict CheckPictureHeader(Bytes bytes, PictureHeader& header);

// Where the decoded frame goes: a GIF's first frame may cover only part of
// its logical screen, and is shown there, on black. Where it lies comes
// from our own reading of the header (WIC's metadata readers would tell the
// same, more slowly).
struct Canvas {
  int width = 0, height = 0;  // before turning upright
  int left = 0, top = 0;      // of the frame
};

// The canvas of a GIF whose first frame is width x height.
Canvas GifCanvas(const PictureHeader& header, int width, int height);

}  // namespace host::picture
