#include "host/picture/orientation.h"

#include <algorithm>
#include <cstring>

#include "host/picture/containers.h"

namespace host::picture {

int ReadTiffOrientation(Bytes tiff) {
  std::uint32_t value = 0;
  if (!FindTiffTag(tiff, 0x0112, value) || value < 1 || value > 8) return kUpright;
  return static_cast<int>(value);
}

int ReadOrientation(Bytes file) {
  if (file.size() >= 4 &&
      (std::memcmp(file.data(), "II*\0", 4) == 0 || std::memcmp(file.data(), "MM\0*", 4) == 0)) {
    return ReadTiffOrientation(file);
  }
  int orientation = kUpright;
  WalkJpegSegments(file, [&](int marker, Bytes body) {
    // APP1 starting "Exif\0" and a pad byte; other APP1 segments (XMP) go on.
    if (marker != 0xE1 || body.size() < 6 || std::memcmp(body.data(), "Exif\0", 5) != 0) {
      return true;
    }
    orientation = ReadTiffOrientation(body.subspan(6));
    return false;
  });
  return orientation;
}

void PlaceRows(const PixelView& rows, int firstRow, int storedHeight, int orientation,
               const PixelTarget& upright) {
  const int w = rows.width, h = storedHeight;
  for (int k = 0; k < rows.height; ++k) {
    const int y = firstRow + k;
    const Pixel* in = rows.Row(k);
    switch (orientation) {
      case 2: {
        Pixel* out = upright.Row(y);
        for (int x = 0; x < w; ++x) out[w - 1 - x] = in[x];
        break;
      }
      case 3: {
        Pixel* out = upright.Row(h - 1 - y);
        for (int x = 0; x < w; ++x) out[w - 1 - x] = in[x];
        break;
      }
      case 4:
        std::copy_n(in, w, upright.Row(h - 1 - y));
        break;
      case 5:   // (x, y) -> (y, x)
      case 6:   // (x, y) -> (h - 1 - y, x)
      case 7:   // (x, y) -> (h - 1 - y, w - 1 - x)
      case 8:   // (x, y) -> (y, w - 1 - x)
        break;  // a column at a time, below
      default:
        std::copy_n(in, w, upright.Row(y));
        break;
    }
  }
  if (!SwapsAxes(orientation)) return;
  // Each stored column becomes an upright row; the band's rows land side by
  // side in it, so the writes stay together.
  const bool fromRight = orientation == 6 || orientation == 7;
  const bool fromBottom = orientation == 7 || orientation == 8;
  for (int x = 0; x < w; ++x) {
    Pixel* out = upright.Row(fromBottom ? w - 1 - x : x);
    for (int k = 0; k < rows.height; ++k) {
      const int y = firstRow + k;
      out[fromRight ? h - 1 - y : y] = rows.Row(k)[x];
    }
  }
}

PixelBuffer Orient(const PixelView& stored, int orientation) {
  const bool swap = SwapsAxes(orientation);
  PixelBuffer upright(swap ? stored.height : stored.width, swap ? stored.width : stored.height);
  constexpr int kBand = 64;  // rows at a time, so that turning reads stay in cache
  for (int y = 0; y < stored.height; y += kBand) {
    const PixelView band{stored.Row(y), stored.width, std::min(kBand, stored.height - y),
                         stored.stride};
    PlaceRows(band, y, stored.height, orientation, upright.Target());
  }
  return upright;
}

}  // namespace host::picture
