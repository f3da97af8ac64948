#include "host/win32/wic_pixels.h"

#include "host/win32/wic_common.h"
#include "host/win32/wic_transform.h"

namespace host::win32 {

using picture::FrameSize;
using picture::Stored;

namespace {

// A frame as its decoder gives it reduced to a size, read as any other
// source.
class ScaledSource final : public IWICBitmapSource {
 public:
  ScaledSource(IWICBitmapSourceTransform* transform, IWICBitmapSource* frame, FrameSize size)
      : transform_(transform), frame_(frame), size_(size) {
    Check(frame->GetPixelFormat(&format_));
    Check(transform->GetClosestPixelFormat(&format_));
  }
  ScaledSource(const ScaledSource&) = delete;
  ScaledSource& operator=(const ScaledSource&) = delete;
  virtual ~ScaledSource() = default;

  // Owned by the frame that reads it: the references are not counted.
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
    *width = static_cast<UINT>(size_.width);
    *height = static_cast<UINT>(size_.height);
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
    const HRESULT result = transform_->CopyPixels(
        rect, static_cast<UINT>(size_.width), static_cast<UINT>(size_.height), &format,
        WICBitmapTransformRotate0, stride, bufferSize, buffer);
    if (SUCCEEDED(result) && !IsEqualGUID(format, format_)) {
      return WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
    }
    return result;
  }

 private:
  IWICBitmapSourceTransform* transform_;
  IWICBitmapSource* frame_;
  FrameSize size_;
  WICPixelFormatGUID format_{};
};

class WicFrame final : public picture::Frame {
 public:
  WicFrame(IWICImagingFactory* factory, IWICBitmapSource* source)
      : factory_(factory), source_(source) {
    UINT width = 0, height = 0;
    Check(source->GetSize(&width, &height));
    size_ = {static_cast<int>(width), static_cast<int>(height)};
    WICPixelFormatGUID format{};
    Check(source->GetPixelFormat(&format));
    stored_ = StoredLayout(format);
  }

  FrameSize Size() const override { return size_; }
  Stored Layout() const override { return stored_; }

  bool ConvertTo(Stored to) override {
    Com<IWICFormatConverter> converter;
    if (FAILED(factory_->CreateFormatConverter(converter.Put())) ||
        FAILED(converter->Initialize(
            source_,
            to == Stored::Pbgra32 ? GUID_WICPixelFormat32bppPBGRA : GUID_WICPixelFormat32bppBGRA,
            WICBitmapDitherTypeNone, nullptr, 0.0, WICBitmapPaletteTypeCustom))) {
      return false;
    }
    Check(converter->QueryInterface(IID_IWICBitmapSource,
                                    reinterpret_cast<void**>(converted_.Put())));
    return true;
  }

  void CopyRows(int y, int rows, std::size_t stride, void* out) override {
    const WICRect rect{0, y, size_.width, rows};
    IWICBitmapSource* source = converted_ ? converted_.Get() : source_;
    Check(source->CopyPixels(&rect, static_cast<UINT>(stride), static_cast<UINT>(stride * rows),
                             static_cast<BYTE*>(out)));
  }

  std::optional<FrameSize> ClosestSize(FrameSize wanted) override {
    if (!asked_) {
      asked_ = true;
      source_->QueryInterface(kIidBitmapSourceTransform,
                              reinterpret_cast<void**>(transform_.Put()));
    }
    UINT width = static_cast<UINT>(wanted.width), height = static_cast<UINT>(wanted.height);
    if (!transform_ || FAILED(transform_->GetClosestSize(&width, &height))) return std::nullopt;
    return FrameSize{static_cast<int>(width), static_cast<int>(height)};
  }

  std::unique_ptr<Frame> Reduced(FrameSize size) override {
    if (!transform_) Fail();
    auto scaled = std::make_unique<ScaledSource>(transform_.Get(), source_, size);
    auto reduced = std::make_unique<WicFrame>(factory_, scaled.get());
    reduced->scaled_ = std::move(scaled);
    return reduced;
  }

 private:
  IWICImagingFactory* factory_;
  IWICBitmapSource* source_;
  std::unique_ptr<ScaledSource> scaled_;  // what source_ is, for a reduced frame
  Com<IWICBitmapSource> converted_;       // released before scaled_
  Com<IWICBitmapSourceTransform> transform_;
  bool asked_ = false;
  FrameSize size_;
  Stored stored_;
};

}  // namespace

Stored StoredLayout(const WICPixelFormatGUID& format) {
  const struct {
    const GUID* guid;
    Stored stored;
  } known[] = {{&GUID_WICPixelFormat24bppBGR, Stored::Bgr24},
               {&GUID_WICPixelFormat8bppGray, Stored::Grey8},
               {&GUID_WICPixelFormat32bppBGR, Stored::Bgr32},
               {&GUID_WICPixelFormat32bppBGRA, Stored::Bgra32},
               {&GUID_WICPixelFormat32bppPBGRA, Stored::Pbgra32},
               {&GUID_WICPixelFormat48bppRGB, Stored::Rgb48},
               {&GUID_WICPixelFormat48bppBGR, Stored::Bgr48},
               {&GUID_WICPixelFormat64bppRGB, Stored::Rgb64},
               {&GUID_WICPixelFormat64bppRGBA, Stored::Rgba64},
               {&GUID_WICPixelFormat64bppBGRA, Stored::Bgra64},
               {&GUID_WICPixelFormat64bppPRGBA, Stored::Prgba64},
               {&GUID_WICPixelFormat64bppPBGRA, Stored::Pbgra64},
               {&GUID_WICPixelFormat16bppGray, Stored::Grey16}};
  for (const auto& entry : known) {
    if (IsEqualGUID(format, *entry.guid)) return entry.stored;
  }
  return Stored::Other;
}

std::unique_ptr<picture::Frame> MakeFrame(IWICImagingFactory* factory, IWICBitmapSource* source) {
  return std::make_unique<WicFrame>(factory, source);
}

}  // namespace host::win32
