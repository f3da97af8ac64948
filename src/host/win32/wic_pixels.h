// The step of a load that reads the frame's pixels: a band of rows at a
// time, as stored or through WIC's converter, each channel into linear
// light through the sRGB curve or the picture's profile, and reduced while
// read when the picture is much larger than it is shown.
#pragma once

#include "host/win32/windows_api.h"

#include <wincodec.h>

#include <atomic>

#include "host/picture/colour_profile.h"
#include "host/picture/pixels.h"
#include "host/win32/wic_source.h"

namespace host::win32 {

// The pixels of `source` as laid out, kept no larger than the picture
// needs to be shown fitted within `screen`. Bands of about 1 MiB unless
// `band` says otherwise.
picture::PixelBuffer ReadPixels(IWICImagingFactory* factory, IWICBitmapSource* source,
                                const Layout& layout, SIZE screen,
                                const std::atomic<bool>& abandoned,
                                const picture::ColourProfile* profile = nullptr, int band = 0);

}  // namespace host::win32
