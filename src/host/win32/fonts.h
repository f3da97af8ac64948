// Fonts of the controls, made once for each face, size and DPI and kept for
// the life of the process.
#pragma once

#include "host/win32/windows_api.h"

#include "host/os.h"

namespace host::win32 {

// An empty face is the system's message font for `dpi`; a face this system
// does not have is replaced by a Japanese Gothic face it has, so the
// Japanese captions never turn into boxes.
HFONT FontFor(const FontSpec& desc, UINT dpi);

}  // namespace host::win32
