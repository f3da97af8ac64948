// EXIF orientation: how the stored pixels must be turned to stand upright.
//
//   1 as stored           5 transposed (mirrored, then turned 90 left)
//   2 mirrored left-right 6 turned 90 degrees clockwise
//   3 turned 180 degrees  7 transversed (mirrored, then turned 90 right)
//   4 mirrored top-bottom 8 turned 90 degrees anticlockwise
//
// The picture's natural size is its upright size: 5 to 8 swap width and
// height.
#pragma once

#include "host/picture/bytes.h"
#include "host/picture/pixels.h"

namespace host::picture {

inline constexpr int kUpright = 1;

// The orientation tag (0x0112) of IFD0 in a JPEG's Exif APP1 segment or in
// a TIFF file; kUpright when there is none or it is not 1..8. Safe for any
// bytes.
int ReadOrientation(Bytes file);

// The same for a bare TIFF structure (what follows "Exif\0\0" in APP1).
int ReadTiffOrientation(Bytes tiff);

inline constexpr bool SwapsAxes(int orientation) { return orientation >= 5 && orientation <= 8; }

// Puts stored rows [firstRow, firstRow + rows.height) of a picture
// rows.width x storedHeight where they belong in `upright`, which is that
// picture turned by `orientation` (storedHeight x rows.width for 5 to 8).
// Orientations outside 1..8 count as 1. Lets a picture be turned as it is
// decoded, a band of rows at a time, without a second full-size copy.
void PlaceRows(const PixelView& rows, int firstRow, int storedHeight, int orientation,
               const PixelTarget& upright);

// The whole picture turned upright, in a new buffer.
PixelBuffer Orient(const PixelView& stored, int orientation);

}  // namespace host::picture
