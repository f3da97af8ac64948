// The load's use of a decoder that reduces while it decodes
// (IWICBitmapSourceTransform), under Wine, whose JPEG decoder offers none:
// a frame of our own offers it, over a picture held by WIC.
#include <gtest/gtest.h>
#include <objbase.h>

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

#include "host/picture/orientation.h"
#include "host/picture/resample.h"
#include "host/win32/wic_picture.h"
#include "host/win32/wic_transform.h"

namespace {

using host::picture::PixelBuffer;
using host::win32::IWICBitmapSourceTransform;

constexpr UINT kWidth = 800, kHeight = 600;

// A smooth picture: reductions made in different ways agree within a few
// levels.
std::vector<BYTE> Gradient() {
  std::vector<BYTE> bgr(kWidth * kHeight * 3);
  for (UINT y = 0; y < kHeight; ++y) {
    for (UINT x = 0; x < kWidth; ++x) {
      BYTE* p = &bgr[(y * kWidth + x) * 3];
      p[0] = static_cast<BYTE>(x * 255 / kWidth);
      p[1] = static_cast<BYTE>(y * 255 / kHeight);
      p[2] = static_cast<BYTE>((x + y) * 255 / (kWidth + kHeight));
    }
  }
  return bgr;
}

// How a frame's decoder goes wrong when asked to reduce.
enum class Fault { None, RefusesEverySize, FailsToCopy, CopiesAnotherFormat };

// A frame over the gradient that offers to decode it at 1/2, 1/4 or 1/8
// (rounded up), as Windows' JPEG decoder does (the reduction itself is
// WIC's scaler here), unless its fault says otherwise. It lives on the
// test's stack: references are not counted.
class FakeFrame final : public IWICBitmapFrameDecode, public IWICBitmapSourceTransform {
 public:
  FakeFrame(IWICImagingFactory* factory, IWICBitmapSource* picture, bool offers, Fault fault)
      : factory_(factory), picture_(picture), offers_(offers), fault_(fault) {}

  std::vector<std::pair<UINT, UINT>> asked, used;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    *object = nullptr;
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IWICBitmapSource) ||
        IsEqualGUID(iid, IID_IWICBitmapFrameDecode)) {
      *object = static_cast<IWICBitmapFrameDecode*>(this);
    } else if (offers_ && IsEqualGUID(iid, host::win32::kIidBitmapSourceTransform)) {
      *object = static_cast<IWICBitmapSourceTransform*>(this);
    }
    return *object ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE GetSize(UINT* w, UINT* h) override { return picture_->GetSize(w, h); }
  HRESULT STDMETHODCALLTYPE GetPixelFormat(WICPixelFormatGUID* format) override {
    return picture_->GetPixelFormat(format);
  }
  HRESULT STDMETHODCALLTYPE GetResolution(double* x, double* y) override {
    return picture_->GetResolution(x, y);
  }
  HRESULT STDMETHODCALLTYPE CopyPalette(IWICPalette* palette) override {
    return picture_->CopyPalette(palette);
  }
  HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* rect, UINT stride, UINT size,
                                       BYTE* buffer) override {
    return picture_->CopyPixels(rect, stride, size, buffer);
  }
  HRESULT STDMETHODCALLTYPE GetMetadataQueryReader(IWICMetadataQueryReader**) override {
    return WINCODEC_ERR_UNSUPPORTEDOPERATION;
  }
  HRESULT STDMETHODCALLTYPE GetColorContexts(UINT, IWICColorContext**, UINT*) override {
    return WINCODEC_ERR_UNSUPPORTEDOPERATION;
  }
  HRESULT STDMETHODCALLTYPE GetThumbnail(IWICBitmapSource**) override {
    return WINCODEC_ERR_CODECNOTHUMBNAIL;
  }

  HRESULT STDMETHODCALLTYPE GetClosestSize(UINT* w, UINT* h) override {
    asked.emplace_back(*w, *h);
    if (fault_ == Fault::RefusesEverySize) return WINCODEC_ERR_UNSUPPORTEDOPERATION;
    for (UINT divisor : {8u, 4u, 2u}) {
      const UINT dw = (kWidth + divisor - 1) / divisor, dh = (kHeight + divisor - 1) / divisor;
      if (dw >= *w && dh >= *h) {
        *w = dw, *h = dh;
        return S_OK;
      }
    }
    *w = kWidth, *h = kHeight;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetClosestPixelFormat(WICPixelFormatGUID* format) override {
    *format = GUID_WICPixelFormat24bppBGR;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DoesSupportTransform(WICBitmapTransformOptions option,
                                                 BOOL* supported) override {
    *supported = option == WICBitmapTransformRotate0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* rect, UINT w, UINT h,
                                       WICPixelFormatGUID* format, WICBitmapTransformOptions,
                                       UINT stride, UINT size, BYTE* buffer) override {
    used.emplace_back(w, h);
    if (!IsEqualGUID(*format, GUID_WICPixelFormat24bppBGR)) return E_INVALIDARG;
    if (fault_ == Fault::FailsToCopy) return WINCODEC_ERR_BADIMAGE;
    if (fault_ == Fault::CopiesAnotherFormat) *format = GUID_WICPixelFormat32bppBGRA;
    IWICBitmapScaler* scaler = nullptr;
    HRESULT result = factory_->CreateBitmapScaler(&scaler);
    if (SUCCEEDED(result))
      result = scaler->Initialize(picture_, w, h, WICBitmapInterpolationModeFant);
    if (SUCCEEDED(result)) result = scaler->CopyPixels(rect, stride, size, buffer);
    if (scaler) scaler->Release();
    return result;
  }

 private:
  IWICImagingFactory* factory_;
  IWICBitmapSource* picture_;
  bool offers_;
  Fault fault_;
};

class WicTransform : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    ASSERT_TRUE(
        SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IWICImagingFactory, reinterpret_cast<void**>(&factory_))));
    ASSERT_TRUE(SUCCEEDED(
        factory_->CreateBitmapFromMemory(kWidth, kHeight, GUID_WICPixelFormat24bppBGR, kWidth * 3,
                                         kWidth * kHeight * 3, bgr_.data(), &picture_)));
  }
  void TearDown() override {
    if (picture_) picture_->Release();
    if (factory_) factory_->Release();
    CoUninitialize();
  }

  PixelBuffer Read(FakeFrame& frame, int orientation, SIZE screen) {
    return host::win32::ReadFramePixels(factory_, &frame, orientation, screen);
  }
  FakeFrame Frame(bool offers, Fault fault = Fault::None) {
    return FakeFrame(factory_, picture_, offers, fault);
  }

  // The largest difference of a channel once both are scaled to w x h.
  static int Difference(const PixelBuffer& a, const PixelBuffer& b, int w, int h) {
    const PixelBuffer sa = host::picture::Resample(a.View(), w, h, 1);
    const PixelBuffer sb = host::picture::Resample(b.View(), w, h, 1);
    int most = 0;
    for (std::size_t i = 0; i < sa.PixelCount(); ++i) {
      for (int shift : {0, 8, 16}) {
        most = std::max(most, std::abs(static_cast<int>((sa.Data()[i] >> shift) & 0xFF) -
                                       static_cast<int>((sb.Data()[i] >> shift) & 0xFF)));
      }
    }
    return most;
  }

  std::vector<BYTE> bgr_ = Gradient();
  IWICImagingFactory* factory_ = nullptr;
  IWICBitmap* picture_ = nullptr;
};

TEST_F(WicTransform, DecodesAtTheSmallestOfferedSizeThatCoversTheShownSize) {
  const struct {
    const char* name;
    int orientation;
    SIZE screen;
    std::pair<UINT, UINT> shown, decoded;
    int uprightWidth, uprightHeight;
  } cases[] = {
      // clang-format off
      {"a half covers 267 x 200", host::picture::kUpright, {300, 200}, {267, 200}, {400, 300}, 400, 300},
      {"an eighth exactly", host::picture::kUpright, {100, 75}, {100, 75}, {100, 75}, 100, 75},
      {"turned a quarter: a quarter", 6, {300, 200}, {200, 150}, {200, 150}, 150, 200},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeFrame reducing = Frame(true), plain = Frame(false);
    const PixelBuffer reduced = Read(reducing, c.orientation, c.screen);
    ASSERT_FALSE(reducing.asked.empty());
    EXPECT_EQ(reducing.asked.front(), c.shown);
    EXPECT_EQ(reducing.used, (std::vector<std::pair<UINT, UINT>>{c.decoded}));
    EXPECT_EQ(reduced.Width(), c.uprightWidth);
    EXPECT_EQ(reduced.Height(), c.uprightHeight);
    const PixelBuffer full = Read(plain, c.orientation, c.screen);
    EXPECT_LE(Difference(reduced, full, static_cast<int>(c.shown.first),
                         static_cast<int>(c.shown.second)),
              3);
  }
}

// Whatever goes wrong with the reduced decode, the full one is made; so it
// is when the screen's size is unknown (0), which covers nothing.
TEST_F(WicTransform, WhereTheDecoderCannotReduceTheFullDecodeIsMade) {
  const struct {
    const char* name;
    Fault fault;
    SIZE screen;
    bool tried;
  } cases[] = {{"refuses every size", Fault::RefusesEverySize, {300, 200}, false},
               {"fails while reducing", Fault::FailsToCopy, {300, 200}, true},
               {"reduces to another format", Fault::CopiesAnotherFormat, {300, 200}, true},
               {"a screen of no size", Fault::None, {0, 0}, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeFrame faulty = Frame(true, c.fault), plain = Frame(false);
    const PixelBuffer got = Read(faulty, host::picture::kUpright, c.screen);
    EXPECT_EQ(faulty.used.empty(), !c.tried);
    const PixelBuffer full = Read(plain, host::picture::kUpright, c.screen);
    ASSERT_EQ(got.Width(), full.Width());
    ASSERT_EQ(got.Height(), full.Height());
    EXPECT_TRUE(std::equal(got.Data(), got.Data() + got.PixelCount(), full.Data()));
  }
}

}  // namespace
