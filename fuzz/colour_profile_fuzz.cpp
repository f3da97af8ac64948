// The profile readers on any JPEG or TIFF prefix, and the profile parser on
// the profile they find and on the input itself; then the tables and the
// matrix of any profile that parses.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/picture/colour_profile.h"
#include "host/picture/embedded_profile.h"

namespace {

using namespace host::picture;

void Check(Bytes icc) {
  const std::optional<ColourProfile> profile = ColourProfile::Parse(icc);
  if (!profile) return;
  const auto tables = profile->LinearTables(8);
  for (const std::vector<std::uint16_t>& table : tables) {
    if (table.size() != 256) __builtin_trap();
  }
  // The matrix on the extremes and on the curves' own ends.
  const LinearRgb inputs[] = {{0, 0, 0},
                              {65535, 65535, 65535},
                              {65535, 0, 0},
                              {0, 65535, 0},
                              {0, 0, 65535},
                              {0, 65535, 65535},
                              {tables[0][255], tables[1][255], tables[2][255]}};
  for (const LinearRgb& in : inputs) {
    const LinearRgb out = profile->ToLinearSrgb(in);
    if (out.r > 65535 || out.g > 65535 || out.b > 65535) __builtin_trap();
    if (profile->ColourSpace() == ColourProfile::Space::Grey &&
        (out.r != in.r || out.g != in.g || out.b != in.b)) {
      __builtin_trap();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Bytes input(data, size);
  const std::vector<std::uint8_t> embedded = ReadEmbeddedProfile(input);
  if (embedded.size() > kMaxProfileBytes) __builtin_trap();
  Check(Bytes(embedded.data(), embedded.size()));
  Check(input);
  return 0;
}
