#include "host/win32/wic_pixels.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "host/picture/channel_curves.h"
#include "host/picture/orientation.h"
#include "host/picture/reduce.h"
#include "host/picture/samples16.h"
#include "host/win32/wic_picture.h"
#include "host/win32/wic_transform.h"

namespace host::win32 {

using picture::Pixel;
using picture::PixelBuffer;

namespace {

struct DeepFormat {
  const GUID* guid;
  picture::Layout16 layout;
};
const DeepFormat kDeepFormats[] = {
    {&GUID_WICPixelFormat48bppRGB, {3, 0, 1, 2}},
    {&GUID_WICPixelFormat48bppBGR, {3, 2, 1, 0}},
    {&GUID_WICPixelFormat64bppRGB, {4, 0, 1, 2}},
    {&GUID_WICPixelFormat64bppRGBA, {4, 0, 1, 2, 3}},
    {&GUID_WICPixelFormat64bppBGRA, {4, 2, 1, 0, 3}},
    {&GUID_WICPixelFormat64bppPRGBA, {4, 0, 1, 2, 3, true}},
    {&GUID_WICPixelFormat64bppPBGRA, {4, 2, 1, 0, 3, true}},
    {&GUID_WICPixelFormat16bppGray, {1, 0, 0, 0}},
};

// Reads the frame a band of rows at a time as opaque pixels. The stored
// formats most pictures come in, and those with 16 bits a channel, are
// copied and widened here; the others go through WIC's converter to 32-bit
// premultiplied BGRA, which is more work a pixel.
class BandReader {
 public:
  // Each channel through the curves of `profile`, when there is one.
  BandReader(IWICImagingFactory* factory, IWICBitmapSource* frame, int width,
             const picture::ColourProfile* profile)
      : width_(width) {
    Open(factory, frame);
    if (profile) curves_ = picture::ChannelCurves(*profile, kind_ == Kind::Deep ? 16 : 8);
  }

  // The curves the rows come into linear light by.
  const picture::ChannelCurves& Curves() const { return curves_; }

  // A band of rows on its way to the reduction, in the form it is added
  // in: as stored for 24-bit and 16-bit formats, otherwise as pixels.
  struct Band {
    int rows = 0;
    std::vector<std::uint8_t> stored;
    std::vector<std::uint16_t> deep;
    PixelBuffer pixels;
  };

  // Rows [y, y + rows) into `band`, for Add.
  void Fetch(int y, int rows, Band& band) {
    band.rows = rows;
    if (kind_ == Kind::Deep) {
      ReadDeep(y, rows, band.deep);
    } else if (kind_ == Kind::Bgr24) {
      ReadStored(y, rows, 3, band.stored);
    } else {
      if (band.pixels.Height() < rows) band.pixels = PixelBuffer(width_, rows);
      ReadLevels(y, rows, band.pixels.Data());
    }
  }

  // The rows Fetch put into `band`, into `reducer`.
  void Add(const Band& band, picture::BlockReducer& reducer) const {
    if (kind_ == Kind::Deep) {
      reducer.AddRows16(band.deep.data(), band.rows,
                        static_cast<std::ptrdiff_t>(width_) * layout_.channels, layout_);
    } else if (kind_ == Kind::Bgr24) {
      reducer.AddBgrRows(band.stored.data(), band.rows, static_cast<std::ptrdiff_t>(width_) * 3);
    } else {
      reducer.AddRows({band.pixels.Data(), width_, band.rows, width_});
    }
  }

  // Rows [y, y + rows) into `out`, width pixels a row, packed, on the
  // sRGB curve.
  void Read(int y, int rows, Pixel* out) {
    const std::size_t count = static_cast<std::size_t>(width_) * rows;
    if (kind_ == Kind::Deep) {
      curves_.PixelsFrom16(ReadDeep(y, rows, scratch_.deep), count, layout_, out);
      return;
    }
    ReadLevels(y, rows, out);
    curves_.Encode8(out, count);
  }

 private:
  enum class Kind { Bgr24, Gray8, Bgr32, Bgra32, Pbgra32, Deep };

  // Rows [y, y + rows) of 8-bit levels as stored into `out`, as Read.
  void ReadLevels(int y, int rows, Pixel* out) {
    const WICRect rect{0, y, width_, rows};
    const std::size_t count = static_cast<std::size_t>(width_) * rows;
    if (kind_ == Kind::Bgr24 || kind_ == Kind::Gray8) {
      const std::uint8_t* in = ReadStored(y, rows, kind_ == Kind::Bgr24 ? 3 : 1, scratch_.stored);
      if (kind_ == Kind::Bgr24) {
        for (std::size_t i = 0; i < count; ++i, in += 3) {
          out[i] = picture::MakePixel(in[2], in[1], in[0]);
        }
      } else {
        for (std::size_t i = 0; i < count; ++i) out[i] = picture::MakePixel(in[i], in[i], in[i]);
      }
      return;
    }
    const UINT stride = static_cast<UINT>(width_) * 4;
    Check(source_->CopyPixels(&rect, stride, stride * rows, reinterpret_cast<BYTE*>(out)));
    for (std::size_t i = 0; i < count; ++i) {
      const Pixel p = out[i];
      if (p >> 24 == 0xFF) continue;
      out[i] = kind_ == Kind::Bgr32    ? p | picture::kOpaqueBlack
               : kind_ == Kind::Bgra32 ? picture::OpaqueFromStraight(p)
                                       : picture::OpaqueFromPremultiplied(p);
    }
  }

  // How the frame is read: as stored, or through WIC's converter.
  void Open(IWICImagingFactory* factory, IWICBitmapSource* frame) {
    WICPixelFormatGUID format{};
    Check(frame->GetPixelFormat(&format));
    const struct {
      const GUID* guid;
      Kind kind;
    } direct[] = {{&GUID_WICPixelFormat24bppBGR, Kind::Bgr24},
                  {&GUID_WICPixelFormat8bppGray, Kind::Gray8},
                  {&GUID_WICPixelFormat32bppBGR, Kind::Bgr32},
                  {&GUID_WICPixelFormat32bppBGRA, Kind::Bgra32},
                  {&GUID_WICPixelFormat32bppPBGRA, Kind::Pbgra32}};
    for (const auto& known : direct) {
      if (IsEqualGUID(format, *known.guid)) kind_ = known.kind;
    }
    if (const std::optional<picture::Layout16> deep = DeepLayout(format)) {
      kind_ = Kind::Deep;
      layout_ = *deep;
    }
    if (kind_) {
      frame->AddRef();
      *source_.Put() = frame;
      return;
    }
    for (auto [target, kind] : {std::pair{&GUID_WICPixelFormat32bppPBGRA, Kind::Pbgra32},
                                std::pair{&GUID_WICPixelFormat32bppBGRA, Kind::Bgra32}}) {
      Com<IWICFormatConverter> converter;
      if (SUCCEEDED(factory->CreateFormatConverter(converter.Put())) &&
          SUCCEEDED(converter->Initialize(frame, *target, WICBitmapDitherTypeNone, nullptr, 0.0,
                                          WICBitmapPaletteTypeCustom))) {
        kind_ = kind;
        Check(converter->QueryInterface(IID_IWICBitmapSource,
                                        reinterpret_cast<void**>(source_.Put())));
        return;
      }
    }
    Fail();
  }

  // Rows [y, y + rows) as stored, `samples` a pixel, into `into`.
  template <class Sample>
  Sample* ReadStored(int y, int rows, int samples, std::vector<Sample>& into) {
    const WICRect rect{0, y, width_, rows};
    const UINT stride = static_cast<UINT>(width_ * samples * sizeof(Sample));
    into.resize(static_cast<std::size_t>(width_) * samples * rows);
    Check(source_->CopyPixels(&rect, stride, stride * rows, reinterpret_cast<BYTE*>(into.data())));
    return into.data();
  }

  // Rows [y, y + rows) of 16-bit samples as stored, made opaque, into
  // `into`.
  std::uint16_t* ReadDeep(int y, int rows, std::vector<std::uint16_t>& into) {
    std::uint16_t* samples = ReadStored(y, rows, layout_.channels, into);
    picture::CompositeOverBlack16(samples, static_cast<std::size_t>(width_) * rows, layout_);
    return samples;
  }

  Com<IWICBitmapSource> source_;
  std::optional<Kind> kind_;
  picture::Layout16 layout_;
  int width_;
  Band scratch_;  // what Read reads into before it widens
  picture::ChannelCurves curves_;
};

// A frame as its decoder gives it reduced to width x height, read as any
// other source.
class ScaledSource final : public IWICBitmapSource {
 public:
  ScaledSource(IWICBitmapSourceTransform* transform, IWICBitmapSource* frame, SIZE size)
      : transform_(transform), frame_(frame), size_(size) {
    Check(frame->GetPixelFormat(&format_));
    Check(transform->GetClosestPixelFormat(&format_));
  }
  ScaledSource(const ScaledSource&) = delete;
  ScaledSource& operator=(const ScaledSource&) = delete;
  virtual ~ScaledSource() = default;

  // Lives on the stack of the read: the references are not counted.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IWICBitmapSource)
                  ? static_cast<IWICBitmapSource*>(this)
                  : nullptr;
    return *object ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetSize(UINT* width, UINT* height) override {
    if (!width || !height) return E_INVALIDARG;
    *width = static_cast<UINT>(size_.cx);
    *height = static_cast<UINT>(size_.cy);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPixelFormat(WICPixelFormatGUID* format) override {
    if (!format) return E_INVALIDARG;
    *format = format_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetResolution(double* x, double* y) override {
    return frame_->GetResolution(x, y);
  }
  HRESULT STDMETHODCALLTYPE CopyPalette(IWICPalette* palette) override {
    return frame_->CopyPalette(palette);
  }
  // Rows in any other format than the one promised would be read wrongly.
  HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* rect, UINT stride, UINT bufferSize,
                                       BYTE* buffer) override {
    WICPixelFormatGUID format = format_;
    const HRESULT result =
        transform_->CopyPixels(rect, static_cast<UINT>(size_.cx), static_cast<UINT>(size_.cy),
                               &format, WICBitmapTransformRotate0, stride, bufferSize, buffer);
    if (SUCCEEDED(result) && !IsEqualGUID(format, format_)) {
      return WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
    }
    return result;
  }

 private:
  IWICBitmapSourceTransform* transform_;
  IWICBitmapSource* frame_;
  SIZE size_;
  WICPixelFormatGUID format_{};
};

// The smallest size the decoder can give, of those it offers, that still
// covers `wanted` on both axes; `full` when it offers none smaller. It is
// asked about the wanted size and about halves, quarters and eighths, the
// sizes decoders reduce to.
SIZE ClosestCoveringSize(IWICBitmapSourceTransform* transform, SIZE full, SIZE wanted) {
  SIZE best = full;
  const auto consider = [&](LONG width, LONG height) {
    UINT w = static_cast<UINT>(width), h = static_cast<UINT>(height);
    if (FAILED(transform->GetClosestSize(&w, &h))) return;
    const LONG cx = static_cast<LONG>(w), cy = static_cast<LONG>(h);
    if (cx >= wanted.cx && cy >= wanted.cy && cx <= full.cx && cy <= full.cy &&
        std::int64_t{cx} * cy < std::int64_t{best.cx} * best.cy) {
      best = SIZE{cx, cy};
    }
  };
  consider(wanted.cx, wanted.cy);
  for (LONG divisor : {2, 4, 8}) {
    consider((full.cx + divisor - 1) / divisor, (full.cy + divisor - 1) / divisor);
  }
  return best;
}

// The size a width x height frame takes fitted within `screen`, turned by
// `orientation`, rounded up; never larger than the frame.
SIZE ShownSize(int width, int height, int orientation, SIZE screen) {
  const bool swap = picture::SwapsAxes(orientation);
  const double boxWidth = swap ? screen.cy : screen.cx;
  const double boxHeight = swap ? screen.cx : screen.cy;
  const double scale = std::min({1.0, boxWidth / width, boxHeight / height});
  return SIZE{static_cast<LONG>(std::ceil(width * scale - 1e-9)),
              static_cast<LONG>(std::ceil(height * scale - 1e-9))};
}

// Rows a band at a time, averaged down by `factor` as they come, then
// turned upright.
PixelBuffer ReadReduced(const std::atomic<bool>& abandoned, BandReader& reader,
                        const Layout& layout, int factor, int band) {
  BandReader::Band rows;
  picture::BlockReducer reducer(layout.width, layout.height, factor, Processors(), reader.Curves());
  for (int y = 0; y < layout.height; y += band) {
    if (abandoned.load(std::memory_order_relaxed)) Fail();
    reader.Fetch(y, std::min(band, layout.height - y), rows);
    reader.Add(rows, reducer);
  }
  PixelBuffer reduced = reducer.Finish();
  return layout.orientation == picture::kUpright
             ? std::move(reduced)
             : picture::Orient(reduced.View(), layout.orientation);
}

// Rows a band at a time at their full size: straight into place when the
// picture is kept as it is stored, otherwise through a band buffer onto the
// canvas or turned upright.
PixelBuffer ReadFullSize(const std::atomic<bool>& abandoned, BandReader& reader,
                         const Layout& layout, int band) {
  const int w = layout.width, h = layout.height;
  const bool direct = layout.orientation == picture::kUpright && !layout.placed;
  PixelBuffer buffer;
  if (!direct) buffer = PixelBuffer(w, band);
  const bool swap = picture::SwapsAxes(layout.orientation);
  PixelBuffer upright(swap ? layout.canvas.height : layout.canvas.width,
                      swap ? layout.canvas.width : layout.canvas.height);
  if (layout.placed) upright.Fill(picture::kOpaqueBlack);
  for (int y = 0; y < h; y += band) {
    if (abandoned.load(std::memory_order_relaxed)) Fail();
    const int rows = std::min(band, h - y);
    reader.Read(y, rows, direct ? upright.Row(y) : buffer.Data());
    if (layout.placed) {
      for (int k = 0; k < rows; ++k) {
        std::copy_n(buffer.Row(k), w, upright.Row(layout.canvas.top + y + k) + layout.canvas.left);
      }
    } else if (!direct) {
      picture::PlaceRows({buffer.Data(), w, rows, w}, y, h, layout.orientation, upright.Target());
    }
  }
  return upright;
}

}  // namespace

PixelBuffer ReadPixels(IWICImagingFactory* factory, IWICBitmapSource* source, const Layout& layout,
                       SIZE screen, const std::atomic<bool>& abandoned,
                       const picture::ColourProfile* profile, int band) {
  BandReader reader(factory, source, layout.width, profile);
  const bool swap = picture::SwapsAxes(layout.orientation);
  const int factor = layout.placed ? 1
                                   : picture::PrescaleFactor(swap ? layout.height : layout.width,
                                                             swap ? layout.width : layout.height,
                                                             screen.cx, screen.cy);
  if (band <= 0) {
    band = std::clamp(static_cast<int>((1u << 20) / (static_cast<unsigned>(layout.width) * 4)), 1,
                      layout.height);
  }
  return factor > 1 ? ReadReduced(abandoned, reader, layout, factor, band)
                    : ReadFullSize(abandoned, reader, layout, band);
}

namespace {

// The frame as the decoder reduces it to `size`, then as any other.
PixelBuffer ReadReducedByDecoder(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame,
                                 IWICBitmapSourceTransform* transform, const Layout& layout,
                                 SIZE size, SIZE screen, const std::atomic<bool>& stop,
                                 const picture::ColourProfile* profile) {
  ScaledSource scaled(transform, frame, size);
  Layout reduced = layout;
  reduced.width = reduced.canvas.width = size.cx;
  reduced.height = reduced.canvas.height = size.cy;
  // In one piece: a decoder that reduces need not be able to restart
  // mid-picture cheaply, and the reduced copy is small.
  return ReadPixels(factory, &scaled, reduced, screen, stop, profile, reduced.height);
}

}  // namespace

std::optional<picture::Layout16> DeepLayout(const WICPixelFormatGUID& format) {
  for (const DeepFormat& deep : kDeepFormats) {
    if (IsEqualGUID(format, *deep.guid)) return deep.layout;
  }
  return std::nullopt;
}

PixelBuffer ReadFramePixels(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame,
                            int orientation, SIZE screen, const std::atomic<bool>* abandoned,
                            const picture::ColourProfile* profile) {
  static const std::atomic<bool> kNever{false};
  const std::atomic<bool>& stop = abandoned ? *abandoned : kNever;
  UINT width = 0, height = 0;
  Check(frame->GetSize(&width, &height));
  Layout layout;
  layout.width = static_cast<int>(width);
  layout.height = static_cast<int>(height);
  layout.canvas = picture::Canvas{layout.width, layout.height, 0, 0};
  layout.orientation = orientation;
  Com<IWICBitmapSourceTransform> transform;
  const bool screenKnown = screen.cx > 0 && screen.cy > 0;
  if (screenKnown && SUCCEEDED(frame->QueryInterface(kIidBitmapSourceTransform,
                                                     reinterpret_cast<void**>(transform.Put())))) {
    const SIZE full{layout.width, layout.height};
    const SIZE size = ClosestCoveringSize(
        transform.Get(), full, ShownSize(layout.width, layout.height, orientation, screen));
    if (size.cx != full.cx || size.cy != full.cy) {
      try {
        return ReadReducedByDecoder(factory, frame, transform.Get(), layout, size, screen, stop,
                                    profile);
      } catch (const Failure& failure) {
        // The codec could not reduce after all: it still decodes at full
        // size, unless memory ran out, which a larger decode needs more of.
        if (stop.load(std::memory_order_relaxed) || failure.code == ErrorCode::OutOfMemory) throw;
      }
    }
  }
  return ReadPixels(factory, frame, layout, screen, stop, profile);
}

}  // namespace host::win32
