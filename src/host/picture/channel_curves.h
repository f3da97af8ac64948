// The per-channel half of showing a picture's colours: how each stored
// level becomes linear light as the picture is decoded.
//
// An untagged picture (or one whose profile is sRGB) takes the sRGB curve
// in every channel, through the same tables as ever. A picture with an
// embedded profile takes the profile's curves instead (colour_profile.h),
// so that the reduction averages its true linear light; its 3 x 3 matrix
// comes later, once per shown pixel (resample.h).
//
// A picture kept at its own size is stored as 8-bit pixels as it is read.
// Its levels are then re-encoded with the sRGB curve from the profile's
// linear light, still in the profile's primaries: the scaler undoes that
// curve exactly as it does for any picture.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/picture/colour_profile.h"
#include "host/picture/pixels.h"
#include "host/picture/samples16.h"

namespace host::picture {

class ChannelCurves {
 public:
  // The sRGB curve in every channel.
  ChannelCurves() = default;

  // The curves of `profile` for 8-bit samples, and for 16-bit ones too
  // when `bits` is 16 (a larger table, made only when needed). Throws
  // std::bad_alloc when memory is short.
  ChannelCurves(const ColourProfile& profile, int bits);

  bool IsSrgb() const { return linear8_[0].empty(); }

  // Channel 0 red, 1 green, 2 blue.
  // 8-bit level to linear light 0..65535 (256 entries).
  const std::uint16_t* Linear8(int channel) const;
  // 16-bit level to linear light 0..kLinear16Max (65536 entries).
  const std::uint32_t* Linear16(int channel) const;

  // Pixels read at full size to the sRGB-curve levels of their linear
  // light; nothing to do for the sRGB curve.
  void Encode8(Pixel* pixels, std::size_t count) const;

  // As PixelsFrom16, each sample through its curve and rounded to the
  // nearest level on the sRGB curve.
  void PixelsFrom16(std::uint16_t* samples, std::size_t count, const Layout16& layout,
                    Pixel* out) const;

 private:
  std::array<std::vector<std::uint16_t>, 3> linear8_;
  std::array<std::vector<std::uint32_t>, 3> linear16_;
  std::array<std::array<std::uint8_t, 256>, 3> encode8_{};
};

// The sRGB curve in every channel, shared.
const ChannelCurves& SrgbCurves();

}  // namespace host::picture
