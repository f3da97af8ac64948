// The last step: the bitmap a picture is painted with.
#include <exception>
#include <utility>

#include "host/picture/pipeline.h"
#include "host/win32/wic_common.h"
#include "host/win32/wic_picture.h"

namespace host::win32 {

WicPicture::~WicPicture() {
  if (rendered_) DeleteObject(rendered_);
}

void WicPicture::KeepRendered(HBITMAP bitmap, SIZE size) {
  if (rendered_) DeleteObject(rendered_);
  rendered_ = bitmap;
  renderedSize_ = size;
}

HBITMAP WicPicture::TakeRendered(int width, int height) const {
  if (width != renderedSize_.cx || height != renderedSize_.cy) return nullptr;
  return std::exchange(rendered_, nullptr);
}

HBITMAP TakeRenderedBitmap(const PictureData& picture, int width, int height) {
  const auto* wic = dynamic_cast<const WicPicture*>(&picture);
  return wic ? wic->TakeRendered(width, height) : nullptr;
}

HBITMAP RenderPictureBitmap(const PictureData& data, int width, int height) {
  const auto* wic = dynamic_cast<const WicPicture*>(&data);
  if (!wic || wic->Pixels().Empty() || !picture::BitmapSizeAllowed(width, height)) return nullptr;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down: row 0 first, as in the buffer
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap || !bits) {
    if (bitmap) DeleteObject(bitmap);
    return nullptr;
  }
  try {
    picture::Render(wic->Pixels(), wic->Profile(),
                    {static_cast<picture::Pixel*>(bits), width, height, width}, Processors);
  } catch (const std::exception&) {
    DeleteObject(bitmap);
    return nullptr;
  }
  return bitmap;
}

}  // namespace host::win32
