// The frame the picture pipeline (host/picture/pipeline.h) reads: WIC's,
// its rows as stored or through WIC's converter, and where the codec
// offers it (IWICBitmapSourceTransform), decoded reduced.
#pragma once

#include "host/win32/windows_api.h"

#include <wincodec.h>

#include <memory>

#include "host/picture/pipeline.h"

namespace host::win32 {

// The stored layout of `format`; Other for one the pipeline converts.
picture::Stored StoredLayout(const WICPixelFormatGUID& format);

// A frame over `source`, which must outlive it.
std::unique_ptr<picture::Frame> MakeFrame(IWICImagingFactory* factory, IWICBitmapSource* source);

}  // namespace host::win32
