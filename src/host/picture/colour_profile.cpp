#include "host/picture/colour_profile.h"

#include <algorithm>
#include <cmath>

#include "host/picture/embedded_profile.h"
#include "host/picture/srgb.h"

namespace host::picture {

namespace {

// 3 x 3 matrices, row by row, and the sRGB primaries in the D50 connection
// space, worked out at compile time so that every number has its source.
using Matrix3 = std::array<double, 9>;
using Vector3 = std::array<double, 3>;

constexpr Matrix3 Multiply(const Matrix3& x, const Matrix3& y) {
  Matrix3 product{};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      for (int k = 0; k < 3; ++k) product[3 * i + j] += x[3 * i + k] * y[3 * k + j];
    }
  }
  return product;
}

constexpr Vector3 Multiply(const Matrix3& m, const Vector3& v) {
  return {m[0] * v[0] + m[1] * v[1] + m[2] * v[2], m[3] * v[0] + m[4] * v[1] + m[5] * v[2],
          m[6] * v[0] + m[7] * v[1] + m[8] * v[2]};
}

constexpr Matrix3 Inverse(const Matrix3& m) {
  const Matrix3 cofactors = {
      m[4] * m[8] - m[5] * m[7], m[2] * m[7] - m[1] * m[8], m[1] * m[5] - m[2] * m[4],
      m[5] * m[6] - m[3] * m[8], m[0] * m[8] - m[2] * m[6], m[2] * m[3] - m[0] * m[5],
      m[3] * m[7] - m[4] * m[6], m[1] * m[6] - m[0] * m[7], m[0] * m[4] - m[1] * m[3]};
  const double det = m[0] * cofactors[0] + m[1] * cofactors[3] + m[2] * cofactors[6];
  Matrix3 inverse{};
  for (int i = 0; i < 9; ++i) inverse[i] = cofactors[i] / det;
  return inverse;
}

constexpr Vector3 XyzOf(double x, double y) { return {x / y, 1, (1 - x - y) / y}; }

// The matrix whose columns are the XYZ of the primaries, scaled so that
// red + green + blue is the white point.
constexpr Matrix3 Colorants(Vector3 red, Vector3 green, Vector3 blue, Vector3 white) {
  const Matrix3 unscaled = {red[0],  green[0], blue[0],  red[1], green[1],
                            blue[1], red[2],   green[2], blue[2]};
  const Vector3 scale = Multiply(Inverse(unscaled), white);
  Matrix3 colorants = unscaled;
  for (int i = 0; i < 9; ++i) colorants[i] *= scale[i % 3];
  return colorants;
}

// The connection space's white as ICC stores it, and the Bradford cone
// response with which the sRGB primaries are adapted to it from D65.
constexpr Vector3 kD50 = {0.9642, 1.0, 0.8249};
constexpr Matrix3 kBradford = {0.8951, 0.2664, -0.1614, -0.7502, 1.7135,
                               0.0367, 0.0389, -0.0685, 1.0296};

constexpr Matrix3 SrgbD50Colorants() {
  const Vector3 d65 = XyzOf(0.3127, 0.3290);
  const Matrix3 colorants = Colorants(XyzOf(0.64, 0.33), XyzOf(0.30, 0.60), XyzOf(0.15, 0.06), d65);
  const Vector3 to = Multiply(kBradford, kD50), from = Multiply(kBradford, d65);
  const Matrix3 scale = {to[0] / from[0], 0, 0, 0, to[1] / from[1], 0, 0, 0, to[2] / from[2]};
  return Multiply(Inverse(kBradford), Multiply(scale, Multiply(kBradford, colorants)));
}

constexpr Matrix3 kD50ToSrgb = Inverse(SrgbD50Colorants());

// A profile's matrix entries stay well inside this for any real profile
// (wide-gamut ones reach about 2); beyond it the colorants are nonsense.
constexpr double kMatrixLimit = 16;
constexpr double kSrgbMatrixTolerance = 0.001;

constexpr std::uint32_t Signature(const char (&text)[5]) {
  return std::uint32_t{static_cast<unsigned char>(text[0])} << 24 |
         std::uint32_t{static_cast<unsigned char>(text[1])} << 16 |
         std::uint32_t{static_cast<unsigned char>(text[2])} << 8 |
         std::uint32_t{static_cast<unsigned char>(text[3])};
}

constexpr std::size_t kHeaderSize = 128;
constexpr std::size_t kTagEntrySize = 12;

struct TagData {
  std::uint32_t offset = 0, size = 0;
};

// The profile's bytes (as long as its header says) and its tag table.
class ProfileReader {
 public:
  explicit ProfileReader(Bytes profile) : in_(profile, true) {}

  bool ReadTagTable() {
    std::uint32_t count = 0;
    if (!in_.U32(kHeaderSize, count) || count > (in_.Size() - kHeaderSize - 4) / kTagEntrySize) {
      return false;
    }
    count_ = count;
    return true;
  }

  bool HasTag(std::uint32_t signature) const {
    TagData unused;
    return FindTag(signature, unused);
  }

  // The tag's data, which must lie within the profile and begin with the
  // type `type`.
  bool Tag(std::uint32_t signature, std::uint32_t type, TagData& tag) const {
    std::uint32_t actual = 0;
    return FindTag(signature, tag) && tag.size >= 8 && in_.Has(tag.offset, tag.size) &&
           in_.U32(tag.offset, actual) && actual == type;
  }

  std::optional<Vector3> Xyz(std::uint32_t signature) const {
    TagData tag;
    Vector3 xyz{};
    if (!Tag(signature, Signature("XYZ "), tag) || tag.size < 20) return std::nullopt;
    for (int i = 0; i < 3; ++i) {
      if (!S15Fixed16(tag.offset + 8 + 4 * i, xyz[i])) return std::nullopt;
    }
    return xyz;
  }

  std::optional<ToneCurve> Curve(std::uint32_t signature) const {
    TagData tag;
    if (Tag(signature, Signature("curv"), tag)) return SampledCurve(tag);
    if (Tag(signature, Signature("para"), tag)) return ParametricCurve(tag);
    return std::nullopt;
  }

 private:
  bool FindTag(std::uint32_t signature, TagData& tag) const {
    for (std::uint32_t i = 0; i < count_; ++i) {
      const std::uint64_t entry = kHeaderSize + 4 + std::uint64_t{kTagEntrySize} * i;
      std::uint32_t id = 0;
      if (in_.U32(entry, id) && id == signature) {
        return in_.U32(entry + 4, tag.offset) && in_.U32(entry + 8, tag.size);
      }
    }
    return false;
  }

  bool S15Fixed16(std::uint64_t at, double& value) const {
    std::uint32_t raw = 0;
    if (!in_.U32(at, raw)) return false;
    value = static_cast<std::int32_t>(raw) / 65536.0;
    return true;
  }

  // curv: no entries for the identity, one for a gamma (u8Fixed8), more for
  // a table sampled evenly over 0..1.
  std::optional<ToneCurve> SampledCurve(const TagData& tag) const {
    std::uint32_t count = 0;
    if (!in_.U32(tag.offset + 8, count) || tag.size < 12 + 2 * std::uint64_t{count}) {
      return std::nullopt;
    }
    ToneCurve curve;
    if (count == 1) {
      std::uint32_t gamma = 0;
      in_.U16(tag.offset + 12, gamma);
      curve.g = gamma / 256.0;
    } else if (count > 1) {
      curve.samples.resize(count);
      for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t sample = 0;
        in_.U16(tag.offset + 12 + 2 * std::uint64_t{i}, sample);
        curve.samples[i] = static_cast<std::uint16_t>(sample);
      }
    }
    return curve;
  }

  // para: function type 0..4 with 1, 3, 4, 5 or 7 parameters g, a, b, c,
  // d, e, f, each mapped onto the general form.
  std::optional<ToneCurve> ParametricCurve(const TagData& tag) const {
    static constexpr std::uint32_t kParameters[] = {1, 3, 4, 5, 7};
    std::uint32_t type = 0;
    if (!in_.U16(tag.offset + 8, type) || type >= std::size(kParameters) ||
        tag.size < 12 + 4 * kParameters[type]) {
      return std::nullopt;
    }
    std::array<double, 7> p{};
    for (std::uint32_t i = 0; i < kParameters[type]; ++i) S15Fixed16(tag.offset + 12 + 4 * i, p[i]);
    ToneCurve curve;
    curve.g = p[0];
    if (type == 0) return curve;
    curve.a = p[1];
    curve.b = p[2];
    if (type == 2) curve.e = p[3];  // Y = (aX + b)^g + c, c alone below -b/a
    if (type >= 3) {
      curve.c = p[3];
      curve.d = p[4];
    }
    if (type == 4) {
      curve.e = p[5];
      curve.f = p[6];
    }
    return curve;
  }

  ByteReader in_;
  std::uint32_t count_ = 0;
};

// Checks the header: size, signature, version 2 or 4, RGB or grey data with
// an XYZ connection space. The profile's bytes, cut to the size it gives.
std::optional<Bytes> CheckHeader(Bytes icc, ColourProfile::Space& space) {
  const ByteReader in(icc, true);
  std::uint32_t size = 0, version = 0, data = 0, pcs = 0, magic = 0;
  if (!in.U32(0, size) || size < kHeaderSize + 4 || size > icc.size() || size > kMaxProfileBytes ||
      !in.U32(8, version) || !in.U32(16, data) || !in.U32(20, pcs) || !in.U32(36, magic) ||
      magic != Signature("acsp") || pcs != Signature("XYZ ")) {
    return std::nullopt;
  }
  if (version >> 24 != 2 && version >> 24 != 4) return std::nullopt;
  if (data == Signature("RGB ")) {
    space = ColourProfile::Space::Rgb;
  } else if (data == Signature("GRAY")) {
    space = ColourProfile::Space::Grey;
  } else {
    return std::nullopt;
  }
  return icc.first(size);
}

bool HasLookupTables(const ProfileReader& reader) {
  static constexpr std::uint32_t kTables[] = {Signature("A2B0"), Signature("A2B1"),
                                              Signature("A2B2"), Signature("D2B0"),
                                              Signature("D2B1"), Signature("D2B2")};
  return std::any_of(std::begin(kTables), std::end(kTables),
                     [&](std::uint32_t tag) { return reader.HasTag(tag); });
}

std::uint16_t ToLinear16(const ToneCurve& curve, double x) {
  const double y = curve.Evaluate(x);
  if (!(y > 0)) return 0;  // NaN too
  return y >= 1 ? 65535 : static_cast<std::uint16_t>(std::lround(y * 65535));
}

// A curve with a positive exponent that gives a finite value at every 8-bit
// level (which takes in the ends, where parametric curves are worst).
bool IsUsable(const ToneCurve& curve) {
  if (curve.samples.empty() && !(curve.g > 0)) return false;
  for (int v = 0; v < 256; ++v) {
    if (!std::isfinite(curve.Evaluate(v / 255.0))) return false;
  }
  return true;
}

bool RoundTripsThroughSrgb(const ToneCurve& curve) {
  for (int v = 0; v < 256; ++v) {
    if (srgb::kToSrgb.level[ToLinear16(curve, v / 255.0)] != v) return false;
  }
  return true;
}

std::optional<Matrix3> ToSrgbMatrix(const ProfileReader& reader) {
  const std::optional<Vector3> red = reader.Xyz(Signature("rXYZ"));
  const std::optional<Vector3> green = reader.Xyz(Signature("gXYZ"));
  const std::optional<Vector3> blue = reader.Xyz(Signature("bXYZ"));
  if (!red || !green || !blue) return std::nullopt;
  const Matrix3 colorants = {(*red)[0],  (*green)[0], (*blue)[0],  (*red)[1], (*green)[1],
                             (*blue)[1], (*red)[2],   (*green)[2], (*blue)[2]};
  const Matrix3 matrix = Multiply(kD50ToSrgb, colorants);
  if (std::any_of(matrix.begin(), matrix.end(),
                  [](double m) { return !(std::abs(m) <= kMatrixLimit); })) {
    return std::nullopt;
  }
  return matrix;
}

std::optional<std::array<ToneCurve, 3>> RgbCurves(const ProfileReader& reader) {
  static constexpr std::uint32_t kCurves[] = {Signature("rTRC"), Signature("gTRC"),
                                              Signature("bTRC")};
  std::array<ToneCurve, 3> curves;
  for (int i = 0; i < 3; ++i) {
    std::optional<ToneCurve> curve = reader.Curve(kCurves[i]);
    if (!curve) return std::nullopt;
    curves[i] = std::move(*curve);
  }
  return curves;
}

bool IsNearIdentity(const Matrix3& matrix) {
  for (int i = 0; i < 9; ++i) {
    const double identity = i % 4 == 0 ? 1.0 : 0.0;
    if (!(std::abs(matrix[i] - identity) <= kSrgbMatrixTolerance)) return false;
  }
  return true;
}

std::array<std::int32_t, 9> ToFixed16(const Matrix3& matrix) {
  std::array<std::int32_t, 9> fixed{};
  for (int i = 0; i < 9; ++i) fixed[i] = static_cast<std::int32_t>(std::lround(matrix[i] * 65536));
  return fixed;
}

}  // namespace

double ToneCurve::Evaluate(double x) const {
  x = std::clamp(x, 0.0, 1.0);
  if (!samples.empty()) {
    const double at = x * static_cast<double>(samples.size() - 1);
    const std::size_t i = std::min(static_cast<std::size_t>(at), samples.size() - 2);
    const double frac = at - static_cast<double>(i);
    return (samples[i] + frac * (samples[i + 1] - samples[i])) / 65535.0;
  }
  if (x < d) return c * x + f;
  const double base = a * x + b;
  return (base > 0 ? std::pow(base, g) : 0.0) + e;
}

std::optional<ColourProfile> ColourProfile::Parse(Bytes icc) {
  ColourProfile profile;
  const std::optional<Bytes> bytes = CheckHeader(icc, profile.space_);
  if (!bytes) return std::nullopt;
  ProfileReader reader(*bytes);
  if (!reader.ReadTagTable() || HasLookupTables(reader)) return std::nullopt;
  bool equivalent = true;
  if (profile.space_ == Space::Grey) {
    const std::optional<ToneCurve> grey = reader.Curve(Signature("kTRC"));
    if (!grey) return std::nullopt;
    profile.curves_ = {*grey, *grey, *grey};
  } else {
    std::optional<std::array<ToneCurve, 3>> curves = RgbCurves(reader);
    const std::optional<Matrix3> matrix = ToSrgbMatrix(reader);
    if (!curves || !matrix) return std::nullopt;
    profile.curves_ = std::move(*curves);
    profile.matrix_ = ToFixed16(*matrix);
    equivalent = IsNearIdentity(*matrix);
  }
  for (const ToneCurve& curve : profile.curves_) {
    if (!IsUsable(curve)) return std::nullopt;
    equivalent = equivalent && RoundTripsThroughSrgb(curve);
  }
  profile.srgbEquivalent_ = equivalent;
  return profile;
}

std::array<std::vector<std::uint16_t>, 3> ColourProfile::LinearTables(int bits) const {
  const std::size_t size = std::size_t{1} << std::clamp(bits, 1, 16);
  const double top = static_cast<double>(size - 1);
  std::array<std::vector<std::uint16_t>, 3> tables;
  for (int channel = 0; channel < 3; ++channel) {
    if (channel > 0 && curves_[channel] == curves_[channel - 1]) {
      tables[channel] = tables[channel - 1];
      continue;
    }
    tables[channel].resize(size);
    for (std::size_t v = 0; v < size; ++v) {
      tables[channel][v] = ToLinear16(curves_[channel], static_cast<double>(v) / top);
    }
  }
  return tables;
}

}  // namespace host::picture
