// The EXIF orientation reader on any JPEG or TIFF prefix, and the turn it
// asks for on a small picture.
#include <cstddef>
#include <cstdint>

#include "host/picture/orientation.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace host::picture;
  const int orientation = ReadOrientation(Bytes(data, size));
  if (orientation < 1 || orientation > 8) __builtin_trap();
  const int tiff = ReadTiffOrientation(Bytes(data, size));
  if (tiff < 1 || tiff > 8) __builtin_trap();
  // The turn itself, on a picture whose size comes from the input too.
  const int width = size > 0 ? 1 + data[0] % 7 : 1;
  const int height = size > 1 ? 1 + data[1] % 5 : 1;
  PixelBuffer stored(width, height);
  stored.Fill(0);
  const PixelBuffer upright = Orient(stored.View(), orientation);
  const bool swapped = SwapsAxes(orientation);
  if (upright.Width() != (swapped ? height : width) ||
      upright.Height() != (swapped ? width : height)) {
    __builtin_trap();
  }
  return 0;
}
