// Pictures from files, decoded by the Windows Imaging Component, and the
// bitmaps the image control paints them with.
//
// LoadPictureFile reads the whole file (at most kMaxFileBytes), checks the
// header against the memory budget (host/picture/header.h) before anything
// is decoded, decodes the first frame with WIC from the bytes in memory
// (the format is found from the content, never from the name), turns it
// upright by its EXIF orientation and puts it over black. Its natural size
// is its size in pixels, whatever resolution the file claims.
//
// For the image control:
//
//   HBITMAP bitmap = RenderPictureBitmap(*picture, width, height);
//   ... select it into a memory DC and BitBlt it, once per paint ...
//   DeleteObject(bitmap);  // the caller owns it
//
// The bitmap is a top-down 32-bit DIB section of exactly width x height:
// the picture copied as it is at its natural size, otherwise scaled by our
// own area-averaging scaler (WIC's scaler under Wine takes the nearest
// pixel whatever mode is asked for). Scaling a large picture takes tens of
// milliseconds, so make it once for a size and keep it, as a paint cache.
// A picture twice the screen's width or height or more is kept reduced, to
// no less than the size it takes fitted to the screen (see WicPicture):
// shown at its natural size it would be enlarged from that copy, which the
// saver never asks for (it fits such pictures to the screen).
#pragma once

#include "host/win32/windows_api.h"

#include <cstdint>

#include "host/os.h"
#include "host/picture/pixels.h"

namespace host::win32 {

// The largest file read. Big enough for an uncompressed 32-bit BMP of the
// largest picture we decode (4 bytes x 64 Mi pixels, and its headers); a
// larger file is refused from its size alone, without reading it.
inline constexpr std::uint64_t kMaxFileBytes = (std::uint64_t{256} << 20) + (1u << 20);

// How long a decode may take before it is abandoned. Decoding time grows
// with the pixels and the bytes, both bounded, so a sound file of the
// largest size takes a few seconds at most; this catches a decoder that
// never finishes on a malformed file.
inline constexpr unsigned kDecodeTimeoutMs = 10000;

// A decoded picture: upright, opaque, composited onto black. A picture at
// least twice the width or the height of the largest monitor is kept
// reduced by a whole factor (host/picture/reduce.h) while it is decoded,
// never below the size it takes scaled down to fit that monitor: Pixels()
// may then be smaller than the natural size, which is what WidthPx() and
// HeightPx() report.
class WicPicture final : public PictureData {
 public:
  WicPicture(picture::PixelBuffer pixels, int naturalWidth, int naturalHeight)
      : pixels_(std::move(pixels)), width_(naturalWidth), height_(naturalHeight) {}
  int WidthPx() const override { return width_; }
  int HeightPx() const override { return height_; }
  const picture::PixelBuffer& Pixels() const { return pixels_; }

 private:
  picture::PixelBuffer pixels_;
  int width_, height_;
};

// The picture in the file at `path`. Raises RuntimeError FileNotFound when
// there is no such file, InvalidPicture for a directory, a file too large,
// a format we do not show, a picture over the memory budget or that does
// not decode (or not in kDecodeTimeoutMs), and OutOfMemory when a picture
// within the budget still finds no memory. The file is read and decoded on
// a loader thread of our own (with its own COM apartment), which the caller
// waits for without running messages; COM need not be initialised by the
// caller.
Picture LoadPictureFile(const Text& path);

// The same for bytes already in memory.
Picture DecodePictureBytes(const std::uint8_t* bytes, std::size_t size);

// A new top-down 32-bit DIB section of width x height holding `picture`
// scaled to that size, or null: for a picture not made by LoadPictureFile,
// a size of 0 or less, a bitmap over 256 MiB, or when GDI has no room.
// The caller deletes it with DeleteObject.
HBITMAP RenderPictureBitmap(const PictureData& picture, int width, int height);

}  // namespace host::win32
