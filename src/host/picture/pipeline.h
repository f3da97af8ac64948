// A picture's way from its decoder's rows to the pixels a load keeps and the
// bitmap it is painted with, whatever decodes it: which stored layouts are
// read as they are, how a band of rows is widened and reduced, when the
// decoder's own reduction is used, the 16-bit path, where an embedded
// profile applies, the orientation, a GIF's canvas and the memory budget.
// The backend gives a Frame over its decoder (win32: WIC's).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "host/picture/bytes.h"
#include "host/picture/colour_profile.h"
#include "host/picture/header.h"
#include "host/picture/orientation.h"
#include "host/picture/pixels.h"
#include "host/picture/samples16.h"
#include "host/runtime.h"

namespace host::picture {

// Why a load failed, carried from the decoding thread to the caller.
struct Failure {
  ErrorCode code;
};

[[noreturn]] inline void Fail(ErrorCode code = ErrorCode::InvalidPicture) { throw Failure{code}; }

// The layouts a frame's rows are read in as stored: 8-bit BGR and grey,
// 32-bit BGR(A), and those with 16 bits a channel, whose full precision
// reaches the reduction. Any other is Other, read through the frame's
// converter to 32-bit BGRA.
enum class Stored {
  Bgr24,
  Grey8,
  Bgr32,
  Bgra32,
  Pbgra32,
  Rgb48,
  Bgr48,
  Rgb64,
  Rgba64,
  Bgra64,
  Prgba64,
  Pbgra64,
  Grey16,
  Other
};

// How the samples of a layout with 16 bits a channel lie; none for others.
std::optional<Layout16> DeepLayout(Stored stored);

struct FrameSize {
  int width = 0, height = 0;
  bool operator==(const FrameSize&) const = default;
};

// A decoded frame, read a band of rows at a time. Its calls fail with
// Failure.
class Frame {
 public:
  virtual ~Frame() = default;
  virtual FrameSize Size() const = 0;
  virtual Stored Layout() const = 0;
  // Rows are given as 32-bit BGRA from now on, `to` being Bgra32 or
  // Pbgra32; false when the frame cannot convert to it.
  virtual bool ConvertTo(Stored to) = 0;
  // Rows [y, y + rows), `stride` bytes apart, into `out`.
  virtual void CopyRows(int y, int rows, std::size_t stride, void* out) = 0;
  // The size nearest `wanted` the decoder can decode to itself; none when
  // it offers no such reduction.
  virtual std::optional<FrameSize> ClosestSize(FrameSize) { return std::nullopt; }
  // The frame decoded at `size`, one ClosestSize gave.
  virtual std::unique_ptr<Frame> Reduced(FrameSize) { Fail(); }
};

// The header of a file's bytes (the whole file or its head of a file of
// `fileSize` bytes) once it may be decoded; fails for a file that may not.
PictureHeader CheckedHeader(Bytes bytes, std::uint64_t fileSize);

// The frame as stored, the canvas it goes on and how it is turned upright.
struct Layout {
  int width = 0, height = 0;  // of the frame
  Canvas canvas;
  bool placed = false;  // on a canvas larger than the frame
  int orientation = kUpright;
  // The picture's natural size, upright.
  FrameSize Upright() const;
};

// The layout of a width x height frame, held to the memory budget; its
// orientation the codec's (0 for none), else from our own reading of
// `bytes`.
Layout LayOut(std::uint32_t width, std::uint32_t height, const PictureHeader& header, Bytes bytes,
              int codecOrientation);

// The embedded profile the colours are shown through: the codec's `icc`,
// else the one our own readers find in `file`; none when there is none,
// it is sRGB's, or cannot be applied or is not of the frame's colour space
// (grey or not); then the picture shows as if untagged.
std::optional<ColourProfile> ChooseProfile(std::vector<std::uint8_t> icc, Bytes file, bool grey);

struct ReadOptions {
  FrameSize screen;  // kept no smaller than fits this; 0 x 0 when unknown
  const std::atomic<bool>* abandoned = nullptr;  // stops at the next band once set
  // With a profile, each channel comes into linear light through its
  // curves; the pixels are then in its primaries.
  const ColourProfile* profile = nullptr;
  int (*threads)() = nullptr;  // how many the reduction shares out among; 1 without
};

// The pixels a load keeps of `frame`, laid out by `layout` and turned
// upright: no smaller than the frame fitted within the screen and, where it
// is larger, reduced first by the decoder itself when the frame offers that
// (and the frame is not placed on a canvas), then by whole-factor
// averaging, a band of about 1 MiB at a time (`band` rows when above 0).
PixelBuffer ReadPixels(Frame& frame, const Layout& layout, const ReadOptions& options,
                       int band = 0);

// The size of the bitmap a picture is made with ahead of its change, for a
// `painted` size; none when it is painted from its pixels as they are.
std::optional<FrameSize> PreparedSize(std::optional<FrameSize> painted, const PixelBuffer& pixels,
                                      const ColourProfile* profile);

// Whether a width x height bitmap may be made: not empty, at most 256 MiB.
bool BitmapSizeAllowed(int width, int height);

// `pixels` into `target`: copied when it is their size and they need no
// matrix, otherwise scaled (a large reduction shared among `threads()`).
void Render(const PixelBuffer& pixels, const ColourProfile* profile, const PixelTarget& target,
            int (*threads)());

}  // namespace host::picture
