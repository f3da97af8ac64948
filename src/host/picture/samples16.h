// Pictures with 16 bits a channel, as PNG and TIFF may store them.
//
// Their rows are read as they are stored, so that the reduction while
// decoding (reduce.h) averages the full 16-bit samples in linear light; only
// its result is rounded to 8 bits. A picture kept at its own size is
// rounded to 8 bits as it is read.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/picture/pixels.h"

namespace host::picture {

// Where each channel sits among the samples of one pixel.
struct Layout16 {
  int channels = 3;  // samples a pixel: 1 (grey), 3 or 4
  int red = 0, green = 1, blue = 2;
  int alpha = -1;  // none (or padding) when negative
  bool premultiplied = false;
};

// The largest linear value: 16 times the 8-bit tables' 65535, so that a
// linear sum made from 16-bit samples is on the same scale, 4 bits finer.
inline constexpr std::uint32_t kLinear16Max = 65535u * 16u;

// 16-bit sRGB levels to linear light 0..kLinear16Max, rounded to nearest.
// Fine enough that every level has a value of its own. Made on first use
// (256 KiB); safe from any thread.
const std::uint32_t* Srgb16ToLinearTable();

// Puts `count` pixels with alpha over black, in place: the colour samples
// take what shows of them and the alpha becomes opaque. Pixels without
// alpha are left as they are.
void CompositeOverBlack16(std::uint16_t* samples, std::size_t count, const Layout16& layout);

// `count` pixels to opaque 8-bit pixels, each sample rounded to the
// nearest 8-bit level; alpha is put over black first, in place.
void PixelsFrom16(std::uint16_t* samples, std::size_t count, const Layout16& layout, Pixel* out);

}  // namespace host::picture
