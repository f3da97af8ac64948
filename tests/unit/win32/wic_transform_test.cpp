// The WIC frame the picture pipeline reads (its decisions are tested
// natively), under Wine: rows as stored and through WIC's converter, and
// the reduced decode of IWICBitmapSourceTransform, which Wine's own
// decoders never offer: a source of our own offers it.
#include <gtest/gtest.h>
#include <objbase.h>

#include <vector>

#include "host/win32/wic_pixels.h"
#include "host/win32/wic_transform.h"

namespace {

using host::picture::FrameSize;
using host::picture::Stored;

// An 8 x 4 32-bit BGRA source whose decoder reduces to even sizes, in
// 24-bit BGR, each byte of a row the width, height and row it was asked
// for. It lives on the test's stack: references are not counted.
class Reducing final : public IWICBitmapSource, public host::win32::IWICBitmapSourceTransform {
 public:
  WICPixelFormatGUID copiesIn = GUID_WICPixelFormat24bppBGR;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    *object = IsEqualGUID(iid, host::win32::kIidBitmapSourceTransform)
                  ? static_cast<IWICBitmapSourceTransform*>(this)
                  : nullptr;
    return *object ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetSize(UINT* w, UINT* h) override { return *w = 8, *h = 4, S_OK; }
  HRESULT STDMETHODCALLTYPE GetPixelFormat(WICPixelFormatGUID* format) override {
    return *format = GUID_WICPixelFormat32bppBGRA, S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetResolution(double*, double*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CopyPalette(IWICPalette*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect*, UINT, UINT, BYTE*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetClosestSize(UINT* w, UINT* h) override {
    return *w += *w % 2, *h += *h % 2, S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetClosestPixelFormat(WICPixelFormatGUID* format) override {
    return *format = GUID_WICPixelFormat24bppBGR, S_OK;
  }
  HRESULT STDMETHODCALLTYPE DoesSupportTransform(WICBitmapTransformOptions, BOOL*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* rect, UINT w, UINT h,
                                       WICPixelFormatGUID* format, WICBitmapTransformOptions,
                                       UINT stride, UINT, BYTE* buffer) override {
    for (INT row = 0; row < rect->Height; ++row) {
      for (INT x = 0; x < rect->Width * 3; x += 3) {
        BYTE* at = buffer + row * stride + x;
        at[0] = static_cast<BYTE>(w), at[1] = static_cast<BYTE>(h);
        at[2] = static_cast<BYTE>(rect->Y + row);
      }
    }
    *format = copiesIn;
    return S_OK;
  }
};

TEST(WicFrame, GivesRowsAsStoredConvertedOrReducedInTheFormatPromised) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
  IWICImagingFactory* factory = nullptr;
  ASSERT_TRUE(
      SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_IWICImagingFactory, reinterpret_cast<void**>(&factory))));
  BYTE rgba[] = {1, 2, 3, 255, 4, 5, 6, 255, 7, 8, 9, 255, 10, 11, 12, 0};
  IWICBitmap* bitmap = nullptr;
  ASSERT_TRUE(SUCCEEDED(factory->CreateBitmapFromMemory(2, 2, GUID_WICPixelFormat32bppRGBA, 8,
                                                        sizeof rgba, rgba, &bitmap)));
  std::vector<BYTE> row(12);
  {
    const auto frame = host::win32::MakeFrame(factory, bitmap);
    EXPECT_EQ(frame->Size(), (FrameSize{2, 2}));
    EXPECT_EQ(frame->Layout(), Stored::Other);
    EXPECT_FALSE(frame->ClosestSize({1, 1}));
    ASSERT_TRUE(frame->ConvertTo(Stored::Pbgra32));
    frame->CopyRows(1, 1, 8, row.data());
    EXPECT_EQ(row, (std::vector<BYTE>{9, 8, 7, 255, 0, 0, 0, 0, 0, 0, 0, 0}));
  }
  bitmap->Release();

  Reducing source;
  const auto frame = host::win32::MakeFrame(factory, &source);
  EXPECT_EQ(frame->ClosestSize({3, 1}), (FrameSize{4, 2}));
  const auto reduced = frame->Reduced({4, 2});
  EXPECT_EQ(reduced->Size(), (FrameSize{4, 2}));
  EXPECT_EQ(reduced->Layout(), Stored::Bgr24);
  reduced->CopyRows(1, 1, 12, row.data());
  EXPECT_EQ(row, (std::vector<BYTE>{4, 2, 1, 4, 2, 1, 4, 2, 1, 4, 2, 1}));
  source.copiesIn = GUID_WICPixelFormat32bppBGRA;
  EXPECT_THROW(reduced->CopyRows(0, 1, 12, row.data()), host::picture::Failure);
  factory->Release();
  CoUninitialize();
}

}  // namespace
