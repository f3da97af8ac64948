// Decoded pictures in memory: 32-bit BGRA pixels, opaque.
//
// A pixel is a std::uint32_t 0xAARRGGBB, which on the little-endian
// machines we run on is the byte order B, G, R, A that a 32-bit Windows DIB
// has. Pictures with transparency are composited onto black as they are
// decoded, so every pixel of a PixelBuffer has alpha 0xFF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace host::picture {

using Pixel = std::uint32_t;

inline constexpr Pixel kOpaqueBlack = 0xFF000000u;

inline constexpr Pixel MakePixel(unsigned r, unsigned g, unsigned b) {
  return kOpaqueBlack | (r & 0xFFu) << 16 | (g & 0xFFu) << 8 | (b & 0xFFu);
}
inline constexpr unsigned RedOf(Pixel p) { return p >> 16 & 0xFFu; }
inline constexpr unsigned GreenOf(Pixel p) { return p >> 8 & 0xFFu; }
inline constexpr unsigned BlueOf(Pixel p) { return p & 0xFFu; }
inline constexpr unsigned AlphaOf(Pixel p) { return p >> 24; }

// c * a / 255, rounded to nearest, exactly, for c and a in 0..255.
inline constexpr unsigned MulDiv255(unsigned c, unsigned a) {
  unsigned t = c * a + 128;
  return (t + (t >> 8)) >> 8;
}

// A pixel with premultiplied alpha put over black: the colour is what it
// is already; a colour brighter than its alpha (not a valid premultiplied
// value) is held to the alpha so that transparent stays black.
inline constexpr Pixel OpaqueFromPremultiplied(Pixel p) {
  unsigned a = AlphaOf(p);
  unsigned r = RedOf(p), g = GreenOf(p), b = BlueOf(p);
  return MakePixel(r < a ? r : a, g < a ? g : a, b < a ? b : a);
}

// A pixel with straight alpha put over black.
inline constexpr Pixel OpaqueFromStraight(Pixel p) {
  unsigned a = AlphaOf(p);
  return MakePixel(MulDiv255(RedOf(p), a), MulDiv255(GreenOf(p), a), MulDiv255(BlueOf(p), a));
}

// A read-only window on pixels: `stride` pixels from one row to the next.
struct PixelView {
  const Pixel* data = nullptr;
  int width = 0;
  int height = 0;
  std::ptrdiff_t stride = 0;
  const Pixel* Row(int y) const { return data + y * stride; }
};

// Writable pixels owned by someone else (a DIB section, a test's array).
struct PixelTarget {
  Pixel* data = nullptr;
  int width = 0;
  int height = 0;
  std::ptrdiff_t stride = 0;
  Pixel* Row(int y) const { return data + y * stride; }
};

// width x height pixels, rows packed one after the other. Move-only; a
// default-constructed or moved-from buffer is empty (0 x 0).
class PixelBuffer {
 public:
  PixelBuffer() = default;
  // Uninitialised pixels. Throws std::bad_alloc when memory is short or the
  // size cannot be addressed, std::invalid_argument for a negative size.
  PixelBuffer(int width, int height);
  PixelBuffer(PixelBuffer&& other) noexcept;
  PixelBuffer& operator=(PixelBuffer&& other) noexcept;
  PixelBuffer(const PixelBuffer&) = delete;
  PixelBuffer& operator=(const PixelBuffer&) = delete;
  ~PixelBuffer() = default;

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return width_ == 0 || height_ == 0; }
  std::size_t PixelCount() const {
    return static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
  }
  std::size_t ByteCount() const { return PixelCount() * sizeof(Pixel); }

  Pixel* Data() { return pixels_.get(); }
  const Pixel* Data() const { return pixels_.get(); }
  Pixel* Row(int y) { return pixels_.get() + static_cast<std::size_t>(y) * width_; }
  const Pixel* Row(int y) const { return pixels_.get() + static_cast<std::size_t>(y) * width_; }
  Pixel& At(int x, int y) { return Row(y)[x]; }
  Pixel At(int x, int y) const { return Row(y)[x]; }

  void Fill(Pixel value);

  PixelView View() const { return {Data(), width_, height_, width_}; }
  PixelTarget Target() { return {Data(), width_, height_, width_}; }

 private:
  std::unique_ptr<Pixel[]> pixels_;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace host::picture
