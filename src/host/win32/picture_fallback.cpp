#include "host/win32/picture_fallback.h"

#include "host/runtime.h"

namespace host::win32 {

Picture LoadPictureFile(const Text&) { throw RuntimeError(ErrorCode::InvalidPicture); }

HBITMAP RenderPictureBitmap(const PictureData&, int, int) { return nullptr; }

}  // namespace host::win32
