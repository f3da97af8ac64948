#include "host/picture/pipeline.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <utility>

#include "host/picture/channel_curves.h"
#include "host/picture/embedded_profile.h"
#include "host/picture/reduce.h"
#include "host/picture/resample.h"

namespace host::picture {

namespace {

int OneThread() { return 1; }

// Reads the frame a band of rows at a time as opaque pixels. The stored
// layouts most pictures come in, and those with 16 bits a channel, are
// copied and widened here; the others go through the frame's converter to
// 32-bit premultiplied BGRA (else straight), which is more work a pixel.
class BandReader {
 public:
  // Each channel through the curves of `profile`, when there is one.
  BandReader(Frame& frame, const ColourProfile* profile)
      : frame_(frame), width_(frame.Size().width) {
    Open();
    if (profile) curves_ = ChannelCurves(*profile, deep_ ? 16 : 8);
  }

  const ChannelCurves& Curves() const { return curves_; }

  // A band of rows on its way to the reduction, in the form it is added
  // in: as stored for 24-bit and 16-bit layouts, otherwise as pixels.
  struct Band {
    int rows = 0;
    std::vector<std::uint8_t> stored;
    std::vector<std::uint16_t> deep;
    PixelBuffer pixels;
  };

  // Rows [y, y + rows) into `band`, for Add.
  void Fetch(int y, int rows, Band& band) {
    band.rows = rows;
    if (deep_) {
      ReadDeep(y, rows, band.deep);
    } else if (kind_ == Stored::Bgr24) {
      ReadStored(y, rows, 3, band.stored);
    } else {
      if (band.pixels.Height() < rows) band.pixels = PixelBuffer(width_, rows);
      ReadLevels(y, rows, band.pixels.Data());
    }
  }

  // The rows Fetch put into `band`, into `reducer`.
  void Add(const Band& band, BlockReducer& reducer) const {
    if (deep_) {
      reducer.AddRows16(band.deep.data(), band.rows,
                        static_cast<std::ptrdiff_t>(width_) * layout_.channels, layout_);
    } else if (kind_ == Stored::Bgr24) {
      reducer.AddBgrRows(band.stored.data(), band.rows, static_cast<std::ptrdiff_t>(width_) * 3);
    } else {
      reducer.AddRows({band.pixels.Data(), width_, band.rows, width_});
    }
  }

  // Rows [y, y + rows) into `out`, width pixels a row, packed, on the
  // sRGB curve.
  void Read(int y, int rows, Pixel* out) {
    const std::size_t count = static_cast<std::size_t>(width_) * rows;
    if (deep_) {
      curves_.PixelsFrom16(ReadDeep(y, rows, scratch_.deep), count, layout_, out);
      return;
    }
    ReadLevels(y, rows, out);
    curves_.Encode8(out, count);
  }

 private:
  // Rows [y, y + rows) of 8-bit levels as stored into `out`, as Read.
  void ReadLevels(int y, int rows, Pixel* out) {
    const std::size_t count = static_cast<std::size_t>(width_) * rows;
    if (kind_ == Stored::Bgr24 || kind_ == Stored::Grey8) {
      const std::uint8_t* in = ReadStored(y, rows, kind_ == Stored::Bgr24 ? 3 : 1, scratch_.stored);
      if (kind_ == Stored::Bgr24) {
        for (std::size_t i = 0; i < count; ++i, in += 3) out[i] = MakePixel(in[2], in[1], in[0]);
      } else {
        for (std::size_t i = 0; i < count; ++i) out[i] = MakePixel(in[i], in[i], in[i]);
      }
      return;
    }
    frame_.CopyRows(y, rows, static_cast<std::size_t>(width_) * 4, out);
    for (std::size_t i = 0; i < count; ++i) {
      const Pixel p = out[i];
      if (p >> 24 == 0xFF) continue;
      out[i] = kind_ == Stored::Bgr32    ? p | kOpaqueBlack
               : kind_ == Stored::Bgra32 ? OpaqueFromStraight(p)
                                         : OpaqueFromPremultiplied(p);
    }
  }

  // How the frame is read: as stored, or through its converter.
  void Open() {
    kind_ = frame_.Layout();
    if (const std::optional<Layout16> deep = DeepLayout(kind_)) {
      deep_ = true;
      layout_ = *deep;
      return;
    }
    if (kind_ != Stored::Other) return;
    for (Stored to : {Stored::Pbgra32, Stored::Bgra32}) {
      if (frame_.ConvertTo(to)) {
        kind_ = to;
        return;
      }
    }
    Fail();
  }

  // Rows [y, y + rows) as stored, `samples` a pixel, into `into`.
  template <class Sample>
  Sample* ReadStored(int y, int rows, int samples, std::vector<Sample>& into) {
    const std::size_t stride = static_cast<std::size_t>(width_) * samples * sizeof(Sample);
    into.resize(static_cast<std::size_t>(width_) * samples * rows);
    frame_.CopyRows(y, rows, stride, into.data());
    return into.data();
  }

  // Rows [y, y + rows) of 16-bit samples as stored, made opaque, into
  // `into`.
  std::uint16_t* ReadDeep(int y, int rows, std::vector<std::uint16_t>& into) {
    std::uint16_t* samples = ReadStored(y, rows, layout_.channels, into);
    CompositeOverBlack16(samples, static_cast<std::size_t>(width_) * rows, layout_);
    return samples;
  }

  Frame& frame_;
  Stored kind_ = Stored::Other;
  bool deep_ = false;
  Layout16 layout_;
  int width_;
  Band scratch_;  // what Read reads into before it widens
  ChannelCurves curves_;
};

// The smallest size the decoder can give, of those it offers, that still
// covers `wanted` on both axes; `full` when it offers none smaller. It is
// asked about the wanted size and about halves, quarters and eighths, the
// sizes decoders reduce to.
FrameSize ClosestCoveringSize(Frame& frame, FrameSize full, FrameSize wanted) {
  FrameSize best = full;
  const auto consider = [&](int width, int height) {
    const std::optional<FrameSize> offered = frame.ClosestSize({width, height});
    if (!offered) return;
    const auto [cx, cy] = *offered;
    if (cx >= wanted.width && cy >= wanted.height && cx <= full.width && cy <= full.height &&
        std::int64_t{cx} * cy < std::int64_t{best.width} * best.height) {
      best = *offered;
    }
  };
  consider(wanted.width, wanted.height);
  for (int divisor : {2, 4, 8}) {
    consider((full.width + divisor - 1) / divisor, (full.height + divisor - 1) / divisor);
  }
  return best;
}

// The size a width x height frame takes fitted within `screen`, turned by
// `orientation`, rounded up; never larger than the frame.
FrameSize ShownSize(int width, int height, int orientation, FrameSize screen) {
  const bool swap = SwapsAxes(orientation);
  const double boxWidth = swap ? screen.height : screen.width;
  const double boxHeight = swap ? screen.width : screen.height;
  const double scale = std::min({1.0, boxWidth / width, boxHeight / height});
  return {static_cast<int>(std::ceil(width * scale - 1e-9)),
          static_cast<int>(std::ceil(height * scale - 1e-9))};
}

bool Abandoned(const ReadOptions& options) {
  return options.abandoned && options.abandoned->load(std::memory_order_relaxed);
}

// Rows a band at a time, averaged down by `factor` as they come, then
// turned upright.
PixelBuffer ReadReduced(BandReader& reader, const Layout& layout, const ReadOptions& options,
                        int factor, int band) {
  BandReader::Band rows;
  BlockReducer reducer(layout.width, layout.height, factor,
                       (options.threads ? options.threads : OneThread)(), reader.Curves());
  for (int y = 0; y < layout.height; y += band) {
    if (Abandoned(options)) Fail();
    reader.Fetch(y, std::min(band, layout.height - y), rows);
    reader.Add(rows, reducer);
  }
  PixelBuffer reduced = reducer.Finish();
  return layout.orientation == kUpright ? std::move(reduced)
                                        : Orient(reduced.View(), layout.orientation);
}

// Rows a band at a time at their full size: straight into place when the
// picture is kept as it is stored, otherwise through a band buffer onto the
// canvas or turned upright.
PixelBuffer ReadFullSize(BandReader& reader, const Layout& layout, const ReadOptions& options,
                         int band) {
  const int w = layout.width, h = layout.height;
  const bool direct = layout.orientation == kUpright && !layout.placed;
  PixelBuffer buffer;
  if (!direct) buffer = PixelBuffer(w, band);
  const FrameSize upright = layout.Upright();
  PixelBuffer out(upright.width, upright.height);
  if (layout.placed) out.Fill(kOpaqueBlack);
  for (int y = 0; y < h; y += band) {
    if (Abandoned(options)) Fail();
    const int rows = std::min(band, h - y);
    reader.Read(y, rows, direct ? out.Row(y) : buffer.Data());
    if (layout.placed) {
      for (int k = 0; k < rows; ++k) {
        std::copy_n(buffer.Row(k), w, out.Row(layout.canvas.top + y + k) + layout.canvas.left);
      }
    } else if (!direct) {
      PlaceRows({buffer.Data(), w, rows, w}, y, h, layout.orientation, out.Target());
    }
  }
  return out;
}

// The frame as read a band at a time, reduced by whole factors when it is
// much larger than it is shown.
PixelBuffer ReadBands(Frame& frame, const Layout& layout, const ReadOptions& options, int band) {
  BandReader reader(frame, options.profile);
  const bool swap = SwapsAxes(layout.orientation);
  const int factor = layout.placed ? 1
                                   : PrescaleFactor(swap ? layout.height : layout.width,
                                                    swap ? layout.width : layout.height,
                                                    options.screen.width, options.screen.height);
  if (band <= 0) {
    band = std::clamp(static_cast<int>((1u << 20) / (static_cast<unsigned>(layout.width) * 4)), 1,
                      layout.height);
  }
  return factor > 1 ? ReadReduced(reader, layout, options, factor, band)
                    : ReadFullSize(reader, layout, options, band);
}

// The frame as its decoder reduces it to `size`, then as any other: in one
// piece, since a decoder that reduces need not be able to restart
// mid-picture cheaply, and the reduced copy is small.
PixelBuffer ReadReducedByDecoder(Frame& frame, const Layout& layout, FrameSize size,
                                 const ReadOptions& options) {
  const std::unique_ptr<Frame> reducedFrame = frame.Reduced(size);
  Layout reduced = layout;
  reduced.width = reduced.canvas.width = size.width;
  reduced.height = reduced.canvas.height = size.height;
  return ReadBands(*reducedFrame, reduced, options, reduced.height);
}

}  // namespace

std::optional<Layout16> DeepLayout(Stored stored) {
  static const Layout16 kDeep[] = {{3, 0, 1, 2},          {3, 2, 1, 0},    {4, 0, 1, 2},
                                   {4, 0, 1, 2, 3},       {4, 2, 1, 0, 3}, {4, 0, 1, 2, 3, true},
                                   {4, 2, 1, 0, 3, true}, {1, 0, 0, 0}};  // Rgb48 to Grey16
  const auto at = static_cast<std::size_t>(stored) - static_cast<std::size_t>(Stored::Rgb48);
  if (stored < Stored::Rgb48 || at >= std::size(kDeep)) return std::nullopt;
  return kDeep[at];
}

PictureHeader CheckedHeader(Bytes bytes, std::uint64_t fileSize) {
  PictureHeader header;
  HeaderVerdict verdict = CheckPictureHeader(bytes, header);
  if (verdict == HeaderVerdict::Unreadable && bytes.size() < fileSize) {
    // Headers beyond the head (a TIFF may keep its directory at the end):
    // the decoder reads them from the file, knowing the format from the
    // first bytes.
    header = PictureHeader{};
    header.format = SniffFormat(bytes);
    verdict = HeaderVerdict::UnknownFormat;
  }
  // A format the check could not read still has its size held to the
  // budget, from its frame, before any pixel is read (LayOut).
  if (verdict != HeaderVerdict::Ok && verdict != HeaderVerdict::UnknownFormat) Fail();
  return header;
}

FrameSize Layout::Upright() const {
  return SwapsAxes(orientation) ? FrameSize{canvas.height, canvas.width}
                                : FrameSize{canvas.width, canvas.height};
}

Layout LayOut(std::uint32_t width, std::uint32_t height, const PictureHeader& header, Bytes bytes,
              int codecOrientation) {
  if (!WithinBudget(width, height)) Fail();
  Layout layout;
  layout.width = static_cast<int>(width);
  layout.height = static_cast<int>(height);
  layout.canvas = Canvas{layout.width, layout.height, 0, 0};
  if (header.format == PictureFormat::Gif) {
    layout.canvas = GifCanvas(header, layout.width, layout.height);
  }
  if (!WithinBudget(layout.canvas.width, layout.canvas.height)) Fail();
  layout.placed = layout.canvas.width != layout.width || layout.canvas.height != layout.height;
  layout.orientation = codecOrientation != 0 ? codecOrientation : ReadOrientation(bytes);
  if (layout.placed) layout.orientation = kUpright;  // only GIFs are placed; they have none
  return layout;
}

std::optional<ColourProfile> ChooseProfile(std::vector<std::uint8_t> icc, Bytes file, bool grey) {
  try {
    if (icc.empty()) icc = ReadEmbeddedProfile(file);
    if (icc.empty()) return std::nullopt;
    std::optional<ColourProfile> profile = ColourProfile::Parse(icc);
    if (!profile || profile->IsSrgbEquivalent()) return std::nullopt;
    const auto space = grey ? ColourProfile::Space::Grey : ColourProfile::Space::Rgb;
    if (profile->ColourSpace() != space) return std::nullopt;
    return profile;
  } catch (const std::bad_alloc&) {
    return std::nullopt;  // the picture still shows, as if untagged
  }
}

PixelBuffer ReadPixels(Frame& frame, const Layout& layout, const ReadOptions& options, int band) {
  const FrameSize screen = options.screen;
  if (!layout.placed && screen.width > 0 && screen.height > 0) {
    const FrameSize full{layout.width, layout.height};
    const FrameSize size = ClosestCoveringSize(
        frame, full, ShownSize(layout.width, layout.height, layout.orientation, screen));
    if (size != full) {
      try {
        return ReadReducedByDecoder(frame, layout, size, options);
      } catch (const Failure& failure) {
        // The codec could not reduce after all: it still decodes at full
        // size, unless memory ran out, which a larger decode needs more of.
        if (failure.code == ErrorCode::OutOfMemory || Abandoned(options)) throw;
      }
    }
  }
  return ReadBands(frame, layout, options, band);
}

std::optional<FrameSize> PreparedSize(std::optional<FrameSize> painted, const PixelBuffer& pixels,
                                      const ColourProfile* profile) {
  if (!painted || painted->width <= 0 || painted->height <= 0) return std::nullopt;
  if (painted->width == pixels.Width() && painted->height == pixels.Height() && !profile) {
    return std::nullopt;  // painted as it is
  }
  return painted;
}

bool BitmapSizeAllowed(int width, int height) {
  return width > 0 && height > 0 && std::uint64_t{4} * width * height <= (std::uint64_t{256} << 20);
}

void Render(const PixelBuffer& pixels, const ColourProfile* profile, const PixelTarget& target,
            int (*threads)()) {
  if (target.width == pixels.Width() && target.height == pixels.Height() && !profile) {
    std::memcpy(target.data, pixels.Data(), pixels.ByteCount());
    return;
  }
  const bool large = pixels.PixelCount() >= (1u << 20) && target.width * target.height >= (1 << 16);
  Resample(pixels.View(), target, large && threads ? threads() : 1, profile);
}

}  // namespace host::picture
