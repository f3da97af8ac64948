// Pictures made for the picture tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "host/picture/pixels.h"

namespace testing_support {

// Noise from a fixed seed: every pixel differs from its neighbours, so a
// scaler that picks or weighs the wrong source pixel shows it.
inline host::picture::PixelBuffer NoisePattern(int width, int height, std::uint32_t seed = 12345) {
  host::picture::PixelBuffer buffer(width, height);
  std::uint32_t state = seed;
  for (std::size_t i = 0; i < buffer.PixelCount(); ++i) {
    state = state * 1103515245u + 12345u;
    buffer.Data()[i] = host::picture::MakePixel(state >> 24, state >> 16, state >> 8);
  }
  return buffer;
}

inline host::picture::PixelBuffer FromPixels(int width, int height,
                                             const std::vector<host::picture::Pixel>& pixels) {
  host::picture::PixelBuffer buffer(width, height);
  for (int i = 0; i < width * height; ++i) buffer.Data()[i] = pixels[i];
  return buffer;
}

// The sRGB curve, exactly, from levels 0..1 to linear light 0..1 and back.
inline double SrgbToLinear(double c) {
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}
inline double LinearToSrgb(double l) {
  return l <= 0.0031308 ? l * 12.92 : 1.055 * std::pow(l, 1 / 2.4) - 0.055;
}

inline std::vector<host::picture::Pixel> All(const host::picture::PixelBuffer& p) {
  return {p.Data(), p.Data() + p.PixelCount()};
}

}  // namespace testing_support
