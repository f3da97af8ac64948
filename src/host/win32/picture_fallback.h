// Stand-in for the picture decoder until wic_picture.h/.cpp are in the
// build: every file is an invalid picture and nothing is ever drawn.
#pragma once

#include "host/win32/windows_api.h"

#include "host/os.h"

namespace host::win32 {

Picture LoadPictureFile(const Text& path);

// A bitmap of width x height with `picture` scaled into it, or null.
HBITMAP RenderPictureBitmap(const PictureData& picture, int width, int height);

}  // namespace host::win32
