// The colour step of a load: the embedded profile a picture's colours are
// shown through (host/picture/colour_profile.h says how it is applied).
#pragma once

#include "host/win32/windows_api.h"

#include <wincodec.h>

#include <optional>

#include "host/picture/bytes.h"
#include "host/picture/colour_profile.h"

namespace host::win32 {

// The profile of `frame` (from the codec, else from our own readers of
// `file`): none when it has none, an sRGB one, or one that we cannot apply
// or that is not of its colour space; then it is shown as if untagged.
std::optional<picture::ColourProfile> PictureProfile(IWICImagingFactory* factory,
                                                     IWICBitmapFrameDecode* frame,
                                                     picture::Bytes file);

}  // namespace host::win32
