// The last step: the bitmap a picture is painted with.
#include <cstdint>
#include <cstring>
#include <exception>
#include <utility>

#include "host/picture/resample.h"
#include "host/win32/wic_common.h"
#include "host/win32/wic_picture.h"

namespace host::win32 {

using picture::Pixel;
using picture::PixelBuffer;

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
  if (!wic || wic->Pixels().Empty() || width <= 0 || height <= 0) return nullptr;
  if (std::uint64_t{4} * width * height > (std::uint64_t{256} << 20)) return nullptr;
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
  const PixelBuffer& pixels = wic->Pixels();
  const picture::PixelTarget target{static_cast<Pixel*>(bits), width, height, width};
  try {
    if (width == pixels.Width() && height == pixels.Height() && !wic->Profile()) {
      std::memcpy(bits, pixels.Data(), pixels.ByteCount());
    } else {
      // A large reduction is shared out among the processors (up to 4).
      const bool large = pixels.PixelCount() >= (1u << 20) && width * height >= (1 << 16);
      picture::Resample(pixels.View(), target, large ? Processors() : 1, wic->Profile());
    }
  } catch (const std::exception&) {
    DeleteObject(bitmap);
    return nullptr;
  }
  return bitmap;
}

}  // namespace host::win32
