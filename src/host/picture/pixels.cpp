#include "host/picture/pixels.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>
#include <stdexcept>

namespace host::picture {

PixelBuffer::PixelBuffer(int width, int height) {
  if (width < 0 || height < 0) throw std::invalid_argument("negative picture size");
  std::uint64_t count = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
  if (count > std::numeric_limits<std::size_t>::max() / sizeof(Pixel)) throw std::bad_alloc();
  if (count != 0) pixels_.reset(new Pixel[static_cast<std::size_t>(count)]);
  width_ = count != 0 ? width : 0;
  height_ = count != 0 ? height : 0;
}

PixelBuffer::PixelBuffer(PixelBuffer&& other) noexcept
    : pixels_(std::move(other.pixels_)), width_(other.width_), height_(other.height_) {
  other.width_ = 0;
  other.height_ = 0;
}

PixelBuffer& PixelBuffer::operator=(PixelBuffer&& other) noexcept {
  if (this != &other) {
    pixels_ = std::move(other.pixels_);
    width_ = other.width_;
    height_ = other.height_;
    other.width_ = 0;
    other.height_ = 0;
  }
  return *this;
}

void PixelBuffer::Fill(Pixel value) { std::fill_n(Data(), PixelCount(), value); }

}  // namespace host::picture
