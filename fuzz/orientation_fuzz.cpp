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
  return 0;
}
