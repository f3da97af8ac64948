// Pictures made for the picture tests.
#pragma once

#include <cstdint>

#include "host/picture/pixels.h"

namespace testing_support {

// Noise from a fixed seed: every pixel differs from its neighbours, so a
// scaler that picks or weighs the wrong source pixel shows it.
inline host::picture::PixelBuffer NoisePattern(int width, int height, std::uint32_t seed) {
  host::picture::PixelBuffer buffer(width, height);
  std::uint32_t state = seed;
  for (std::size_t i = 0; i < buffer.PixelCount(); ++i) {
    state = state * 1103515245u + 12345u;
    buffer.Data()[i] = host::picture::MakePixel(state >> 24, state >> 16, state >> 8);
  }
  return buffer;
}

}  // namespace testing_support
