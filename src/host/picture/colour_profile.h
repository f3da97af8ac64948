// ICC colour profiles of the matrix/TRC kind (versions 2 and 4), and the
// transform that shows a picture tagged with one as sRGB.
//
// The transform is split to fit the linear-light pipeline:
//
//   stored level --curve--> linear light, in the profile's primaries
//                 (per channel, a table in place of srgb::kToLinear)
//   ... reduction and resampling, which are linear and so commute with
//       the matrix ...
//   --ToLinearSrgb--> linear light in sRGB's primaries, clipped to 0..65535
//                 (once per shown pixel, not per stored one)
//   --srgb::kToSrgb--> the 8-bit sRGB level, as for any picture
//
// Linear light is the pipeline's 16-bit scale: 0 black, 65535 white.
//
// Wiring, for a picture with profile bytes (ReadEmbeddedProfile, or the
// codec's colour context for PNG):
//   1. auto profile = ColourProfile::Parse(bytes). No value: show the
//      picture as if it had no profile.
//   2. Use it only when its ColourSpace() is the picture's (Rgb for colour,
//      Grey for grey pictures); otherwise show the picture without it.
//   3. IsSrgbEquivalent(): show the picture exactly as an untagged one (the
//      sRGB tables, no matrix), so that it stays bit for bit as it was.
//      Parse has done all the work by then; the tables cost nothing yet.
//   4. Otherwise decode through LinearTables(8) or LinearTables(16), indexed
//      by the stored level of red, green and blue (grey pictures: all three
//      tables are the same), and pass each linear result pixel through
//      ToLinearSrgb before srgb::kToSrgb. For Grey it changes nothing and
//      may be skipped.
//
// Relative colorimetric rendering, as Little CMS does it for these
// profiles: the profile's colorants are taken as adapted to the D50
// connection space already (as ICC requires of them), the media white point
// is not used, and colours outside sRGB are clipped channel by channel.
// A curve is held to 0..1 (as ICC has parametric curves clipped) before the
// matrix, where the 16-bit scale ends anyway; Little CMS's float pipeline
// would carry a value above 1 through it, which only a curve that rises
// above white can tell apart.
// Grey profiles give grey: the kTRC curve gives the luminance Y, which in
// the connection space is D50 white times Y, which in sRGB is R = G = B = Y.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "host/picture/bytes.h"

namespace host::picture {

// Linear light, one value a channel, each 0..65535.
struct LinearRgb {
  std::uint32_t r = 0, g = 0, b = 0;
};

// A tone reproduction curve: stored level (0..1) to linear light (0..1).
// Either a sampled table, linearly interpolated, or the ICC parametric
// function of the most general form, to which every other form reduces:
//   Y = (a X + b) ^ g + e   for X >= d (with (a X + b) ^ g = 0 where a X + b <= 0)
//   Y = c X + f             for X <  d
struct ToneCurve {
  std::vector<std::uint16_t> samples;  // when not empty, the curve is this table
  double g = 1, a = 1, b = 0, c = 0, d = 0, e = 0, f = 0;

  // The curve at x (taken as 0 below 0 and 1 above 1), not clipped: a
  // hostile parametric curve may give any double, NaN and infinity too.
  double Evaluate(double x) const;

  bool operator==(const ToneCurve&) const = default;
};

class ColourProfile {
 public:
  enum class Space { Rgb, Grey };

  // The profile in `icc`, or no value when it is not one we can apply: not
  // an ICC profile of version 2 or 4, not RGB or grey data with an XYZ
  // connection space, a lookup-table profile (A2B or D2B tags, which would
  // take precedence over the matrix), tags missing, of the wrong type, cut
  // short or pointing outside the profile, curves that give NaN or
  // infinity, or colorants so far out that no real profile has them.
  // Safe for any bytes; throws only std::bad_alloc.
  static std::optional<ColourProfile> Parse(Bytes icc);

  Space ColourSpace() const { return space_; }

  // True when the profile is sRGB or indistinguishable from it at 8 bits:
  // each curve maps every 8-bit level to linear light that the sRGB curve
  // takes back to the same level, and the matrix is the identity within
  // 1/1000 in each entry.
  bool IsSrgbEquivalent() const { return srgbEquivalent_; }

  // Red, green and blue tables from the stored level to linear light, for
  // pictures of `bits` bits a channel (1 to 16; 8 and 16 in practice):
  // 2^bits entries each, entry v = round(65535 * curve(v / (2^bits - 1))),
  // so that the sRGB curve itself would give srgb::kToLinear for 8 bits.
  std::array<std::vector<std::uint16_t>, 3> LinearTables(int bits) const;

  // Linear light in the profile's primaries to linear light in sRGB's,
  // each channel clipped to 0..65535. Inputs above 65535 are taken as they
  // are (the result is still clipped).
  LinearRgb ToLinearSrgb(LinearRgb in) const { return {Row(0, in), Row(1, in), Row(2, in)}; }

  // The 3 x 3 matrix ToLinearSrgb applies, row by row, in units of 1/65536.
  const std::array<std::int32_t, 9>& Matrix() const { return matrix_; }

 private:
  ColourProfile() = default;

  std::uint32_t Row(std::size_t row, LinearRgb in) const {
    const std::int32_t* m = &matrix_[3 * row];
    const std::int64_t sum = std::int64_t{m[0]} * in.r + std::int64_t{m[1]} * in.g +
                             std::int64_t{m[2]} * in.b + (1 << 15);
    if (sum <= 0) return 0;
    const std::int64_t value = sum >> 16;
    return value > 65535 ? 65535u : static_cast<std::uint32_t>(value);
  }

  Space space_ = Space::Rgb;
  std::array<ToneCurve, 3> curves_;
  std::array<std::int32_t, 9> matrix_ = {65536, 0, 0, 0, 65536, 0, 0, 0, 65536};
  bool srgbEquivalent_ = false;
};

}  // namespace host::picture
