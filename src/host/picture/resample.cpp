#include "host/picture/resample.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

namespace host::picture {

namespace {

// round(65535 * L(v / 255)) with L the sRGB decoding curve:
//   L(c) = c / 12.92 for c <= 0.04045, ((c + 0.055) / 1.055) ^ 2.4 above.
constexpr std::uint16_t kToLinear[256] = {
    0,     20,    40,    60,    80,    99,    119,   139,   159,   179,   199,   219,   241,
    264,   288,   313,   340,   367,   396,   427,   458,   491,   526,   562,   599,   637,
    677,   718,   761,   805,   851,   898,   947,   997,   1048,  1101,  1156,  1212,  1270,
    1330,  1391,  1453,  1517,  1583,  1651,  1720,  1790,  1863,  1937,  2013,  2090,  2170,
    2250,  2333,  2418,  2504,  2592,  2681,  2773,  2866,  2961,  3058,  3157,  3258,  3360,
    3464,  3570,  3678,  3788,  3900,  4014,  4129,  4247,  4366,  4488,  4611,  4736,  4864,
    4993,  5124,  5257,  5392,  5530,  5669,  5810,  5953,  6099,  6246,  6395,  6547,  6700,
    6856,  7014,  7174,  7335,  7500,  7666,  7834,  8004,  8177,  8352,  8528,  8708,  8889,
    9072,  9258,  9445,  9635,  9828,  10022, 10219, 10417, 10619, 10822, 11028, 11235, 11446,
    11658, 11873, 12090, 12309, 12530, 12754, 12980, 13209, 13440, 13673, 13909, 14146, 14387,
    14629, 14874, 15122, 15371, 15623, 15878, 16135, 16394, 16656, 16920, 17187, 17456, 17727,
    18001, 18277, 18556, 18837, 19121, 19407, 19696, 19987, 20281, 20577, 20876, 21177, 21481,
    21787, 22096, 22407, 22721, 23038, 23357, 23678, 24002, 24329, 24658, 24990, 25325, 25662,
    26001, 26344, 26688, 27036, 27386, 27739, 28094, 28452, 28813, 29176, 29542, 29911, 30282,
    30656, 31033, 31412, 31794, 32179, 32567, 32957, 33350, 33745, 34143, 34544, 34948, 35355,
    35764, 36176, 36591, 37008, 37429, 37852, 38278, 38706, 39138, 39572, 40009, 40449, 40891,
    41337, 41785, 42236, 42690, 43147, 43606, 44069, 44534, 45002, 45473, 45947, 46423, 46903,
    47385, 47871, 48359, 48850, 49344, 49841, 50341, 50844, 51349, 51858, 52369, 52884, 53401,
    53921, 54445, 54971, 55500, 56032, 56567, 57105, 57646, 58190, 58737, 59287, 59840, 60396,
    60955, 61517, 62082, 62650, 63221, 63795, 64372, 64952, 65535,
};

// ceil(65535 * L((v + 0.5) / 255)) for v = 0..254: the linear value from
// which on the sRGB level is v + 1 rather than v.
constexpr std::uint16_t kSrgbThreshold[255] = {
    10,    30,    50,    70,    90,    110,   130,   150,   170,   189,   209,   230,   253,
    276,   301,   327,   354,   382,   412,   443,   475,   509,   544,   580,   618,   657,
    698,   740,   783,   828,   875,   923,   972,   1023,  1075,  1129,  1185,  1242,  1300,
    1360,  1422,  1486,  1551,  1617,  1685,  1755,  1827,  1900,  1975,  2052,  2130,  2210,
    2292,  2376,  2461,  2548,  2637,  2727,  2820,  2914,  3010,  3108,  3208,  3309,  3412,
    3518,  3625,  3734,  3844,  3957,  4072,  4188,  4307,  4427,  4550,  4674,  4800,  4928,
    5059,  5191,  5325,  5461,  5599,  5740,  5882,  6026,  6173,  6321,  6471,  6624,  6778,
    6935,  7094,  7255,  7418,  7583,  7750,  7919,  8091,  8265,  8440,  8618,  8798,  8981,
    9165,  9352,  9541,  9732,  9925,  10121, 10318, 10518, 10720, 10925, 11132, 11341, 11552,
    11765, 11981, 12199, 12420, 12643, 12868, 13095, 13325, 13557, 13791, 14028, 14267, 14508,
    14752, 14998, 15247, 15498, 15751, 16007, 16265, 16525, 16788, 17054, 17321, 17592, 17864,
    18139, 18417, 18697, 18980, 19264, 19552, 19842, 20134, 20429, 20727, 21027, 21329, 21634,
    21942, 22252, 22564, 22880, 23197, 23518, 23840, 24166, 24494, 24824, 25158, 25493, 25832,
    26173, 26516, 26862, 27211, 27563, 27917, 28273, 28633, 28995, 29359, 29727, 30097, 30469,
    30845, 31223, 31603, 31987, 32373, 32762, 33153, 33547, 33944, 34344, 34747, 35152, 35560,
    35970, 36384, 36800, 37219, 37640, 38065, 38492, 38922, 39355, 39790, 40229, 40670, 41114,
    41561, 42011, 42463, 42918, 43377, 43838, 44301, 44768, 45238, 45710, 46185, 46663, 47144,
    47628, 48115, 48605, 49097, 49593, 50091, 50592, 51096, 51604, 52114, 52627, 53142, 53661,
    54183, 54708, 55235, 55766, 56300, 56836, 57376, 57918, 58464, 59012, 59564, 60118, 60675,
    61236, 61799, 62366, 62935, 63508, 64083, 64662, 65244,
};

struct InverseTable {
  std::uint8_t level[65536] = {};
};

constexpr InverseTable MakeInverseTable() {
  InverseTable table;
  unsigned v = 0;
  for (unsigned x = 0; x < 65536; ++x) {
    while (v < 255 && x >= kSrgbThreshold[v]) ++v;
    table.level[x] = static_cast<std::uint8_t>(v);
  }
  return table;
}

constexpr InverseTable kToSrgb = MakeInverseTable();

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

// Output rows [first, last) of a scaling whose taps are made.
void ResampleRows(const PixelView& source, const PixelTarget& target, const Taps& across,
                  const Taps& down, int first, int last) {
  const int width = target.width;
  RowSource rows(source, across, width);
  const std::size_t values = static_cast<std::size_t>(width) * 3;
  std::vector<std::uint32_t> sum(down.identity ? 0 : values);

  for (int y = first; y < last; ++y) {
    Pixel* out = target.Row(y);
    if (down.identity) {
      const std::uint16_t* in = rows.Get(y);
      for (int x = 0; x < width; ++x, in += 3) {
        out[x] = MakePixel(kToSrgb.level[in[2]], kToSrgb.level[in[1]], kToSrgb.level[in[0]]);
      }
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
      out[x] = MakePixel(kToSrgb.level[acc[2] >> kWeightBits], kToSrgb.level[acc[1] >> kWeightBits],
                         kToSrgb.level[acc[0] >> kWeightBits]);
    }
  }
}

}  // namespace

void Resample(const PixelView& source, const PixelTarget& target, int threads) {
  if (source.width <= 0 || source.height <= 0 || target.width <= 0 || target.height <= 0) return;
  const int width = target.width, height = target.height;

  if (source.width == width && source.height == height) {
    for (int y = 0; y < height; ++y) {
      const Pixel* in = source.Row(y);
      Pixel* out = target.Row(y);
      for (int x = 0; x < width; ++x) out[x] = in[x] | kOpaqueBlack;
    }
    return;
  }

  const Taps across = MakeTaps(source.width, width);
  const Taps down = MakeTaps(source.height, height);
  threads = std::clamp(threads, 1, std::min(height, 16));
  if (threads == 1) {
    ResampleRows(source, target, across, down, 0, height);
    return;
  }
  // Bands of output rows, each with rows of its own: the same bits as one
  // thread gives.
  std::vector<std::thread> helpers;
  std::vector<std::exception_ptr> failures(threads);
  const auto band = [&](int i) {
    try {
      ResampleRows(source, target, across, down, height * i / threads, height * (i + 1) / threads);
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

PixelBuffer Resample(const PixelView& source, int width, int height, int threads) {
  PixelBuffer result(width, height);
  Resample(source, result.Target(), threads);
  return result;
}

}  // namespace host::picture
