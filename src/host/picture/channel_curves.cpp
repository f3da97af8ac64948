#include "host/picture/channel_curves.h"

#include "host/picture/srgb.h"

namespace host::picture {

namespace {

// Linear 0..kLinear16Max to the nearest 8-bit sRGB level.
inline unsigned Level16(std::uint32_t linear) {
  return srgb::kToSrgb.level[(linear + kLinear16Max / 65535 / 2) / (kLinear16Max / 65535)];
}

}  // namespace

ChannelCurves::ChannelCurves(const ColourProfile& profile, int bits) {
  linear8_ = profile.LinearTables(8);
  for (std::size_t c = 0; c < 3; ++c) {
    for (std::size_t v = 0; v < 256; ++v) encode8_[c][v] = srgb::kToSrgb.level[linear8_[c][v]];
  }
  if (bits != 16) return;
  std::array<std::vector<std::uint16_t>, 3> tables = profile.LinearTables(16);
  for (std::size_t c = 0; c < 3; ++c) {
    linear16_[c].assign(tables[c].begin(), tables[c].end());
    for (std::uint32_t& value : linear16_[c]) value *= kLinear16Max / 65535;
  }
}

const ChannelCurves& SrgbCurves() {
  static const ChannelCurves curves;
  return curves;
}

const std::uint16_t* ChannelCurves::Linear8(int channel) const {
  const auto& table = linear8_[static_cast<std::size_t>(channel)];
  return table.empty() ? srgb::kToLinear : table.data();
}

const std::uint32_t* ChannelCurves::Linear16(int channel) const {
  const auto& table = linear16_[static_cast<std::size_t>(channel)];
  return table.empty() ? Srgb16ToLinearTable() : table.data();
}

void ChannelCurves::Encode8(Pixel* pixels, std::size_t count) const {
  if (linear8_[0].empty()) return;
  for (Pixel* p = pixels; p != pixels + count; ++p) {
    *p = MakePixel(encode8_[0][RedOf(*p)], encode8_[1][GreenOf(*p)], encode8_[2][BlueOf(*p)]);
  }
}

void ChannelCurves::PixelsFrom16(std::uint16_t* samples, std::size_t count, const Layout16& layout,
                                 Pixel* out) const {
  if (linear16_[0].empty()) {
    picture::PixelsFrom16(samples, count, layout, out);
    return;
  }
  CompositeOverBlack16(samples, count, layout);
  const std::uint32_t *r = linear16_[0].data(), *g = linear16_[1].data(), *b = linear16_[2].data();
  for (std::size_t i = 0; i < count; ++i, samples += layout.channels) {
    out[i] = MakePixel(Level16(r[samples[layout.red]]), Level16(g[samples[layout.green]]),
                       Level16(b[samples[layout.blue]]));
  }
}

}  // namespace host::picture
