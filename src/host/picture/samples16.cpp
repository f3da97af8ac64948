#include "host/picture/samples16.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace host::picture {

namespace {

constexpr unsigned kMax16 = 65535;

std::vector<std::uint32_t> MakeLinearTable() {
  std::vector<std::uint32_t> table(kMax16 + 1);
  for (unsigned v = 0; v <= kMax16; ++v) {
    const double c = v / double{kMax16};
    const double linear = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    table[v] = static_cast<std::uint32_t>(std::lround(linear * kLinear16Max));
  }
  return table;
}

// c * a / 65535, rounded to nearest.
inline std::uint16_t Scale16(unsigned c, unsigned a) {
  return static_cast<std::uint16_t>((c * a + kMax16 / 2) / kMax16);
}

inline unsigned To8(unsigned v) { return (v * 255 + kMax16 / 2) / kMax16; }

}  // namespace

const std::uint32_t* Srgb16ToLinearTable() {
  static const std::vector<std::uint32_t> table = MakeLinearTable();
  return table.data();
}

void CompositeOverBlack16(std::uint16_t* samples, std::size_t count, const Layout16& layout) {
  if (layout.alpha < 0) return;
  const int n = layout.channels;
  for (std::uint16_t* p = samples; p != samples + count * n; p += n) {
    const unsigned a = p[layout.alpha];
    if (a == kMax16) continue;
    for (int channel : {layout.red, layout.green, layout.blue}) {
      p[channel] =
          layout.premultiplied ? std::min<std::uint16_t>(p[channel], a) : Scale16(p[channel], a);
    }
    p[layout.alpha] = kMax16;
  }
}

void PixelsFrom16(std::uint16_t* samples, std::size_t count, const Layout16& layout, Pixel* out) {
  CompositeOverBlack16(samples, count, layout);
  const int n = layout.channels;
  for (std::size_t i = 0; i < count; ++i, samples += n) {
    out[i] =
        MakePixel(To8(samples[layout.red]), To8(samples[layout.green]), To8(samples[layout.blue]));
  }
}

}  // namespace host::picture
