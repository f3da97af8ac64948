// IWICBitmapSourceTransform, which Debian's mingw-w64 headers do not
// declare, from its documented layout. A frame that offers it decodes
// straight to a smaller size: Windows' JPEG decoder to 1/2, 1/4 or 1/8 of
// it in the compressed domain, far cheaper than a full decode.
#pragma once

#include "host/win32/windows_api.h"

#include <wincodec.h>

namespace host::win32 {

inline constexpr GUID kIidBitmapSourceTransform = {
    0x3b16811b, 0x6a43, 0x4ec9, {0xb7, 0x13, 0x3d, 0x5a, 0x0c, 0x13, 0xb9, 0x40}};

struct IWICBitmapSourceTransform : IUnknown {
  // `rect` is in the coordinates of the width x height result.
  virtual HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* rect, UINT width, UINT height,
                                               WICPixelFormatGUID* format,
                                               WICBitmapTransformOptions transform, UINT stride,
                                               UINT bufferSize, BYTE* buffer) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetClosestSize(UINT* width, UINT* height) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetClosestPixelFormat(WICPixelFormatGUID* format) = 0;
  virtual HRESULT STDMETHODCALLTYPE DoesSupportTransform(WICBitmapTransformOptions transform,
                                                         BOOL* supported) = 0;
};

}  // namespace host::win32
