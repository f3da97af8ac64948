// Scaling a picture to the size it is shown at.
//
// Reduction is area averaging: each output pixel is the mean of the source
// area it covers, partial source pixels counting by the fraction covered.
// Enlargement is linear interpolation between pixel centres, the edges held.
// An axis whose size does not change is copied. Both work in linear light
// (the sRGB curve is undone before averaging and redone after), so a fine
// black-and-white pattern becomes the grey of the same brightness rather
// than a darker one.
//
// Two separable passes with 14-bit fixed-point weights that sum exactly to
// one; integer arithmetic only, so the result is the same bit for bit on
// every machine and compiler. Memory beyond the output: a few rows.
#pragma once

#include <cstdint>

#include "host/picture/colour_profile.h"
#include "host/picture/pixels.h"

namespace host::picture {

// Scales `source` to fill `target` entirely. Alpha is ignored on input and
// written as 0xFF. Sizes of 0 on either side leave the target as it is.
// With a `profile`, the source holds linear light in the profile's
// primaries, encoded with the sRGB curve (channel_curves.h): each output
// pixel goes through its matrix into sRGB (ToLinearSrgb) before it is
// encoded, the same size included.
// `threads` above 1 share the output rows out among that many threads (the
// caller's among them); the result is the same bit for bit. Throws
// std::bad_alloc when the working rows cannot be allocated.
void Resample(const PixelView& source, const PixelTarget& target, int threads = 1,
              const ColourProfile* profile = nullptr);

// The same into a new buffer of width x height.
PixelBuffer Resample(const PixelView& source, int width, int height, int threads = 1,
                     const ColourProfile* profile = nullptr);

// The sRGB curve in 16 bits: 8-bit sRGB to linear 0..65535, and back,
// rounding to the nearest 8-bit level on the sRGB scale.
std::uint16_t SrgbToLinear16(std::uint8_t value);
std::uint8_t Linear16ToSrgb(std::uint16_t value);

}  // namespace host::picture
