#include "host/picture/resample.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

#include "host/picture/srgb.h"

namespace host::picture {

namespace {

using srgb::kToLinear;
using srgb::kToSrgb;

constexpr int kWeightBits = 14;
constexpr std::uint32_t kOne = 1u << kWeightBits;
constexpr std::uint32_t kHalf = kOne / 2;

// For each output position along one axis: the source positions that feed
// it (first, first + 1, ... first + count - 1) and their weights, which sum
// to kOne exactly.
struct Taps {
  std::vector<int> first;
  std::vector<int> count;
  std::vector<std::uint16_t> weights;  // `stride` a position
  int stride = 1;
  bool identity = false;
};

// Area averaging, dst < src. Output i covers [i * src, (i + 1) * src) and
// source j covers [j * dst, (j + 1) * dst) in units of 1 / dst source
// pixels. Weights are rounded on the running total so that the rounding
// errors do not add up and every weight is within one unit of its exact
// value, however large the reduction.
Taps BoxTaps(int src, int dst) {
  Taps taps;
  const std::int64_t s = src, d = dst;
  taps.stride = static_cast<int>((s + d - 1) / d) + 1;
  taps.first.resize(dst);
  taps.count.resize(dst);
  taps.weights.assign(static_cast<std::size_t>(dst) * taps.stride, 0);
  for (std::int64_t i = 0; i < d; ++i) {
    const std::int64_t a = i * s, b = (i + 1) * s;
    const std::int64_t first = a / d, last = (b - 1) / d;
    std::uint16_t* w = &taps.weights[static_cast<std::size_t>(i) * taps.stride];
    std::uint64_t covered = 0;  // in units of 1 / dst source pixels
    std::uint32_t given = 0;    // weight handed out so far
    for (std::int64_t j = first; j <= last; ++j) {
      covered += static_cast<std::uint64_t>(std::min(b, (j + 1) * d) - std::max(a, j * d));
      const std::uint32_t upTo = static_cast<std::uint32_t>((covered * kOne * 2 + s) / (2 * s));
      w[j - first] = static_cast<std::uint16_t>(upTo - given);
      given = upTo;
    }
    taps.first[i] = static_cast<int>(first);
    taps.count[i] = static_cast<int>(last - first + 1);
  }
  return taps;
}

// Linear interpolation, dst > src: output i samples the source at
// ((i + 0.5) * src / dst - 0.5), held at the first and last pixel.
Taps LinearTaps(int src, int dst) {
  Taps taps;
  taps.stride = 2;
  taps.first.resize(dst);
  taps.count.resize(dst);
  taps.weights.assign(static_cast<std::size_t>(dst) * 2, 0);
  const std::int64_t s = src, d = dst;
  for (std::int64_t i = 0; i < d; ++i) {
    const std::int64_t num = (2 * i + 1) * s - d, den = 2 * d;
    std::uint16_t* w = &taps.weights[static_cast<std::size_t>(i) * 2];
    std::int64_t j = num <= 0 ? 0 : num / den;
    if (num <= 0 || j >= s - 1) {
      taps.first[i] = static_cast<int>(num <= 0 ? 0 : s - 1);
      taps.count[i] = 1;
      w[0] = kOne;
      continue;
    }
    const std::uint32_t w1 = static_cast<std::uint32_t>(((num % den) * kOne * 2 + den) / (2 * den));
    taps.first[i] = static_cast<int>(j);
    taps.count[i] = 2;
    w[0] = static_cast<std::uint16_t>(kOne - w1);
    w[1] = static_cast<std::uint16_t>(w1);
  }
  return taps;
}

Taps MakeTaps(int src, int dst) {
  if (src == dst) {
    Taps taps;
    taps.identity = true;
    return taps;
  }
  return dst < src ? BoxTaps(src, dst) : LinearTaps(src, dst);
}

// B, G, R of each pixel, linear, three values a pixel.
void ToLinear(const Pixel* row, int width, std::uint16_t* out) {
  for (int x = 0; x < width; ++x) {
    const Pixel p = row[x];
    out[0] = kToLinear[p & 0xFF];
    out[1] = kToLinear[p >> 8 & 0xFF];
    out[2] = kToLinear[p >> 16 & 0xFF];
    out += 3;
  }
}

// The horizontal pass of one source row, straight from its pixels.
void Horizontal(const Pixel* in, const Taps& taps, int width, std::uint16_t* out) {
  for (int x = 0; x < width; ++x) {
    const Pixel* p = in + taps.first[x];
    const std::uint16_t* w = &taps.weights[static_cast<std::size_t>(x) * taps.stride];
    std::uint32_t b = kHalf, g = kHalf, r = kHalf;
    for (int k = 0, n = taps.count[x]; k < n; ++k) {
      const std::uint32_t wk = w[k];
      const Pixel pixel = p[k];
      b += kToLinear[pixel & 0xFF] * wk;
      g += kToLinear[pixel >> 8 & 0xFF] * wk;
      r += kToLinear[pixel >> 16 & 0xFF] * wk;
    }
    out[0] = static_cast<std::uint16_t>(b >> kWeightBits);
    out[1] = static_cast<std::uint16_t>(g >> kWeightBits);
    out[2] = static_cast<std::uint16_t>(r >> kWeightBits);
    out += 3;
  }
}

// Source rows after the horizontal pass, made on demand. Rows are asked
// for in increasing order, and an output row needs at most the last one
// made before it again, so two slots are enough: row r lives in slot r % 2.
class RowSource {
 public:
  RowSource(const PixelView& source, const Taps& taps, int width)
      : source_(source), taps_(taps), width_(width) {
    for (auto& slot : slots_) slot.values.resize(static_cast<std::size_t>(width) * 3);
  }

  const std::uint16_t* Get(int row) {
    Slot& slot = slots_[row & 1];
    if (slot.row != row) {
      if (taps_.identity) {
        ToLinear(source_.Row(row), width_, slot.values.data());
      } else {
        Horizontal(source_.Row(row), taps_, width_, slot.values.data());
      }
      slot.row = row;
    }
    return slot.values.data();
  }

 private:
  struct Slot {
    int row = -1;
    std::vector<std::uint16_t> values;
  };
  const PixelView& source_;
  const Taps& taps_;
  int width_;
  Slot slots_[2];
};

}  // namespace

std::uint16_t SrgbToLinear16(std::uint8_t value) { return kToLinear[value]; }
std::uint8_t Linear16ToSrgb(std::uint16_t value) { return kToSrgb.level[value]; }

namespace {

// Linear light to an output pixel, for a picture without a profile.
struct SrgbEncoder {
  Pixel operator()(std::uint32_t r, std::uint32_t g, std::uint32_t b) const {
    return MakePixel(kToSrgb.level[r], kToSrgb.level[g], kToSrgb.level[b]);
  }
};

// The same through the profile's matrix, from its primaries into sRGB's.
struct MatrixEncoder {
  const ColourProfile* profile;
  Pixel operator()(std::uint32_t r, std::uint32_t g, std::uint32_t b) const {
    const LinearRgb srgb = profile->ToLinearSrgb({r, g, b});
    return SrgbEncoder()(srgb.r, srgb.g, srgb.b);
  }
};

// The pixels as they are, through the profile's matrix when there is one.
void Copy(const PixelView& source, const PixelTarget& target, const ColourProfile* profile) {
  for (int y = 0; y < target.height; ++y) {
    const Pixel* in = source.Row(y);
    Pixel* out = target.Row(y);
    if (!profile) {
      for (int x = 0; x < target.width; ++x) out[x] = in[x] | kOpaqueBlack;
      continue;
    }
    const MatrixEncoder encode{profile};
    for (int x = 0; x < target.width; ++x) {
      const Pixel p = in[x];
      out[x] = encode(kToLinear[RedOf(p)], kToLinear[GreenOf(p)], kToLinear[BlueOf(p)]);
    }
  }
}

// Output rows [first, last) of a scaling whose taps are made.
template <class Encoder>
void ResampleRows(const PixelView& source, const PixelTarget& target, const Taps& across,
                  const Taps& down, const Encoder& encode, int first, int last) {
  const int width = target.width;
  RowSource rows(source, across, width);
  const std::size_t values = static_cast<std::size_t>(width) * 3;
  std::vector<std::uint32_t> sum(down.identity ? 0 : values);

  for (int y = first; y < last; ++y) {
    Pixel* out = target.Row(y);
    if (down.identity) {
      const std::uint16_t* in = rows.Get(y);
      for (int x = 0; x < width; ++x, in += 3) out[x] = encode(in[2], in[1], in[0]);
      continue;
    }
    std::fill(sum.begin(), sum.end(), kHalf);
    const std::uint16_t* w = &down.weights[static_cast<std::size_t>(y) * down.stride];
    for (int k = 0, n = down.count[y]; k < n; ++k) {
      const std::uint32_t wk = w[k];
      if (wk == 0) continue;
      const std::uint16_t* in = rows.Get(down.first[y] + k);
      std::uint32_t* acc = sum.data();
      for (std::size_t i = 0; i < values; ++i) acc[i] += in[i] * wk;
    }
    const std::uint32_t* acc = sum.data();
    for (int x = 0; x < width; ++x, acc += 3) {
      out[x] = encode(acc[2] >> kWeightBits, acc[1] >> kWeightBits, acc[0] >> kWeightBits);
    }
  }
}

}  // namespace

void Resample(const PixelView& source, const PixelTarget& target, int threads,
              const ColourProfile* profile) {
  if (source.width <= 0 || source.height <= 0 || target.width <= 0 || target.height <= 0) return;
  const int width = target.width, height = target.height;
  if (source.width == width && source.height == height) {
    Copy(source, target, profile);
    return;
  }

  const Taps across = MakeTaps(source.width, width);
  const Taps down = MakeTaps(source.height, height);
  threads = std::clamp(threads, 1, std::min(height, 16));
  const auto rows = [&](int first, int last) {
    if (profile) {
      ResampleRows(source, target, across, down, MatrixEncoder{profile}, first, last);
    } else {
      ResampleRows(source, target, across, down, SrgbEncoder(), first, last);
    }
  };
  if (threads == 1) {
    rows(0, height);
    return;
  }
  // Bands of output rows, each with rows of its own: the same bits as one
  // thread gives.
  // Room for every helper first: a vector that grew while threads were
  // running could throw and leave them joinable, which ends the process.
  std::vector<std::thread> helpers;
  helpers.reserve(threads - 1);
  std::vector<std::exception_ptr> failures(threads);
  const auto band = [&](int i) {
    try {
      rows(height * i / threads, height * (i + 1) / threads);
    } catch (...) {
      failures[i] = std::current_exception();
    }
  };
  for (int i = 1; i < threads; ++i) {
    try {
      helpers.emplace_back(band, i);
    } catch (const std::system_error&) {
      band(i);  // no thread to be had: this one does it
    }
  }
  band(0);
  for (std::thread& helper : helpers) helper.join();
  for (const std::exception_ptr& failure : failures) {
    if (failure) std::rethrow_exception(failure);
  }
}

PixelBuffer Resample(const PixelView& source, int width, int height, int threads,
                     const ColourProfile* profile) {
  PixelBuffer result(width, height);
  Resample(source, result.Target(), threads, profile);
  return result;
}

}  // namespace host::picture
