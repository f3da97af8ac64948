// Pictures from files, decoded by the Windows Imaging Component, and the
// bitmaps the image control paints them with.
//
// A load (BeginPictureLoad) runs on a loader thread of our own, with its
// own COM apartment and imaging factory: it opens the file, takes its
// stamp from the handle (and stops there for a stamp the request skips),
// reads it (at most kMaxFileBytes; a large file only its head, the decoder
// the rest), checks the header against the memory budget
// (host/picture/header.h) before anything is decoded, decodes the first
// frame with WIC from the bytes in memory (the format is found from the
// content, never from the name), turns it upright by its EXIF orientation
// and puts it over black. Its natural size is its size in pixels, whatever
// resolution the file claims. How long the caller waits, and what becomes
// of a load it gives up, is the toolkit's matter (host/picture_loader.h).
//
// A load given up stops at its next band of rows; one stuck inside a WIC
// call keeps its thread until the call returns, and holds at most the
// file's bytes (kMaxFileBytes), the decoded pixels within the budget (4
// bytes x 64 Mi) and one band of about 1 MiB (3 MiB for a picture with 16
// bits a channel), besides what the codec itself holds.
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
// A picture kept reduced (see WicPicture) and asked for at a size larger
// than it was kept at is enlarged from the reduced copy.
#pragma once

#include "host/win32/windows_api.h"

#include <wincodec.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

#include "host/os.h"
#include "host/picture/colour_profile.h"
#include "host/picture/pixels.h"

namespace host::win32 {

// The largest file read. Big enough for an uncompressed 32-bit BMP of the
// largest picture we decode (4 bytes x 64 Mi pixels, and its headers); a
// larger file is refused from its size alone, without reading it.
inline constexpr std::uint64_t kMaxFileBytes = (std::uint64_t{256} << 20) + (1u << 20);

// A decoded picture: upright, opaque, composited onto black. A picture
// larger than fits the size it may be shown within is kept reduced while
// it is decoded (host/picture/pipeline.h), never below its size fitted within
// it: Pixels() may then be smaller than the natural size, which is what
// WidthPx() and HeightPx() report. A picture prepared ahead of its change
// also brings the bitmap it will most likely be painted with.
class WicPicture final : public PictureData {
 public:
  WicPicture(picture::PixelBuffer pixels, int naturalWidth, int naturalHeight,
             std::optional<picture::ColourProfile> profile = std::nullopt)
      : pixels_(std::move(pixels)),
        width_(naturalWidth),
        height_(naturalHeight),
        profile_(std::move(profile)) {}
  WicPicture(const WicPicture&) = delete;
  WicPicture& operator=(const WicPicture&) = delete;
  ~WicPicture() override;
  int WidthPx() const override { return width_; }
  int HeightPx() const override { return height_; }
  const picture::PixelBuffer& Pixels() const { return pixels_; }
  // The embedded RGB profile whose matrix the pixels are still to go
  // through as they are rendered (they are in its primaries), or null.
  const picture::ColourProfile* Profile() const { return profile_ ? &*profile_ : nullptr; }

  // Keeps `bitmap` (owned from now on) as the picture rendered at its size.
  void KeepRendered(HBITMAP bitmap, SIZE size);
  // The kept bitmap if it is width x height, handed to the caller, who
  // deletes it; otherwise null. The interface thread's alone.
  HBITMAP TakeRendered(int width, int height) const;

 private:
  picture::PixelBuffer pixels_;
  int width_, height_;
  std::optional<picture::ColourProfile> profile_;
  mutable HBITMAP rendered_ = nullptr;
  SIZE renderedSize_{};
};

// Starts loading the picture in the file at the request's path on the
// loader thread.
// Its Result() raises RuntimeError FileNotFound when there is no such
// file, InvalidPicture for a directory, a file too large, a format we do
// not show, a picture over the memory budget or that does not decode, and
// OutOfMemory when a picture within the budget still finds no memory.
// A picture larger than fits `showWithin` is kept reduced, never below its
// size fitted within it (host/picture/pipeline.h). A load `ahead` of need runs
// at idle priority on one thread until HurryLoad or GiveUp.
std::shared_ptr<PictureLoad> BeginPictureLoad(LoadRequest request, bool ahead = false);

// Set once the load has finished, for waiting on it.
HANDLE LoadFinishedEvent(const PictureLoad& load);

// The load is waited for: it goes on at the normal priority.
void HurryLoad(PictureLoad& load);

// The same load, waited for as long as it takes (for the benchmark).
Picture LoadPictureFile(const Text& path, SIZE showWithin);

// A new top-down 32-bit DIB section of width x height holding `picture`
// scaled to that size, or null: for a picture not made by LoadPictureFile,
// a size of 0 or less, a bitmap over 256 MiB, or when GDI has no room.
// The caller deletes it with DeleteObject.
HBITMAP RenderPictureBitmap(const PictureData& picture, int width, int height);

// The bitmap `picture` was prepared with, if it is width x height: the
// caller owns it then. Null otherwise, and for every later call.
HBITMAP TakeRenderedBitmap(const PictureData& picture, int width, int height);

}  // namespace host::win32
