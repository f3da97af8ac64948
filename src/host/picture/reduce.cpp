#include "host/picture/reduce.h"

#include <algorithm>
#include <exception>
#include <system_error>
#include <type_traits>
#include <utility>

#include "host/picture/srgb.h"

namespace host::picture {

int PrescaleFactor(int width, int height, int screenWidth, int screenHeight) {
  if (width <= 0 || height <= 0 || screenWidth <= 0 || screenHeight <= 0) return 1;
  const int factor = std::max(width / screenWidth, height / screenHeight);
  return std::clamp(factor, 1, 16);
}

BlockReducer::BlockReducer(int width, int height, int factor, int threads,
                           const ChannelCurves& curves)
    : curves_(&curves),
      width_(width),
      height_(height),
      factor_(std::max(factor, 1)),
      out_((width + factor_ - 1) / factor_, (height + factor_ - 1) / factor_),
      sums_(static_cast<std::size_t>(out_.Width()) * 3) {
  parts_ = std::clamp(threads, 1, std::max(out_.Width() / 64, 1));
  // Room for every helper first: should the vector grow, and fail to, with
  // threads running, they would be left joinable, which ends the process.
  helpers_.reserve(parts_ - 1);
  for (int i = 1; i < parts_; ++i) {
    try {
      helpers_.emplace_back(&BlockReducer::HelperLoop, this, i);
    } catch (const std::system_error&) {
      break;  // fewer helpers then
    }
  }
  parts_ = static_cast<int>(helpers_.size()) + 1;
}

BlockReducer::~BlockReducer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& helper : helpers_) helper.join();
}

void BlockReducer::HelperLoop(int index) {
  unsigned seen = 0;
  for (;;) {
    const std::function<void(int)>* task = nullptr;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
      if (stopping_) return;
      seen = generation_;
      task = task_;
    }
    std::exception_ptr failure;
    try {
      (*task)(index);
    } catch (...) {  // an exception may not leave a thread: RunParts rethrows it
      failure = std::current_exception();
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (failure && !failure_) failure_ = failure;
      --pending_;
    }
    done_.notify_one();
  }
}

void BlockReducer::RunParts(const std::function<void(int)>& part) {
  if (parts_ == 1) {
    part(0);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    task_ = &part;
    pending_ = parts_ - 1;
    ++generation_;
  }
  wake_.notify_all();
  // The helpers use `part` until they are done: wait for them whatever
  // happens here.
  std::exception_ptr failure;
  try {
    part(0);
  } catch (...) {
    failure = std::current_exception();
  }
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [&] { return pending_ == 0; });
  if (!failure) failure = std::exchange(failure_, nullptr);
  if (failure) std::rethrow_exception(failure);
}

namespace {

// The curves of red, green and blue into linear light.
template <class Value>
struct ChannelTables {
  const Value *red, *green, *blue;
  explicit ChannelTables(const ChannelCurves& curves) {
    const auto table = [&](int channel) {
      if constexpr (sizeof(Value) == 2) {
        return curves.Linear8(channel);
      } else {
        return curves.Linear16(channel);
      }
    };
    red = table(0);
    green = table(1);
    blue = table(2);
  }
};
using Tables8 = ChannelTables<std::uint16_t>;
using Tables16 = ChannelTables<std::uint32_t>;

// The sRGB curve as a table known when compiling: most pictures' rows are
// averaged the faster for it.
struct SrgbTables8 {
  static constexpr const std::uint16_t* red = srgb::kToLinear;
  static constexpr const std::uint16_t* green = srgb::kToLinear;
  static constexpr const std::uint16_t* blue = srgb::kToLinear;
};

// Rows of packed 3-byte B, G, R pixels.
template <class Tables>
struct BgrRows {
  static constexpr int kFineBits = 0;
  const std::uint8_t* first;
  std::ptrdiff_t stride;
  Tables toLinear;
  const std::uint8_t* Pixel(int k, int x) const {
    return first + k * stride + 3 * static_cast<std::ptrdiff_t>(x);
  }
  void Add(const std::uint8_t*& p, std::uint32_t& b, std::uint32_t& g, std::uint32_t& r) const {
    b += toLinear.blue[p[0]];
    g += toLinear.green[p[1]];
    r += toLinear.red[p[2]];
    p += 3;
  }
};

// Rows of 32-bit pixels.
template <class Tables>
struct PixelRows {
  static constexpr int kFineBits = 0;
  const PixelView* view;
  Tables toLinear;
  const host::picture::Pixel* Pixel(int k, int x) const { return view->Row(k) + x; }
  void Add(const host::picture::Pixel*& p, std::uint32_t& b, std::uint32_t& g,
           std::uint32_t& r) const {
    const host::picture::Pixel v = *p++;
    b += toLinear.blue[v & 0xFF];
    g += toLinear.green[v >> 8 & 0xFF];
    r += toLinear.red[v >> 16 & 0xFF];
  }
};

// Rows of 16-bit samples, kChannels a pixel, red, green and blue at the
// indices given; their linear values are on a finer scale.
template <int kChannels, int kRed, int kGreen, int kBlue>
struct Rows16 {
  static constexpr int kFineBits = 4;  // kLinear16Max is 16 x 65535
  const std::uint16_t* first;
  std::ptrdiff_t stride;  // in samples
  Tables16 toLinear;
  const std::uint16_t* Pixel(int k, int x) const {
    return first + k * stride + kChannels * static_cast<std::ptrdiff_t>(x);
  }
  void Add(const std::uint16_t*& p, std::uint32_t& b, std::uint32_t& g, std::uint32_t& r) const {
    b += toLinear.blue[p[kBlue]];
    g += toLinear.green[p[kGreen]];
    r += toLinear.red[p[kRed]];
    p += kChannels;
  }
};

}  // namespace

// Adds `count` rows to the blocks [firstBlock, lastBlock) of the block
// row(s) they fall in. Blocks of a whole `factor` pixels go through a loop
// of that fixed length.
template <class Rows>
void BlockReducer::AddColumns(const Rows& rows, int count, int firstBlock, int lastBlock) {
  const int fullBlocks = std::max(firstBlock, std::min(lastBlock, width_ / factor_));
  for (int k = 0; k < count; ++k) {
    const int row = rowsIn_ + k;
    std::uint32_t* sum = sums_.data() + 3 * static_cast<std::size_t>(firstBlock);
    auto p = rows.Pixel(k, firstBlock * factor_);
    int block = firstBlock;
    const auto addBlocks = [&](auto fixedFactor) {
      constexpr int kFactor = decltype(fixedFactor)::value;
      for (; block < fullBlocks; ++block, sum += 3) {
        std::uint32_t b = sum[0], g = sum[1], r = sum[2];
        for (int i = 0; i < kFactor; ++i) rows.Add(p, b, g, r);
        sum[0] = b;
        sum[1] = g;
        sum[2] = r;
      }
    };
    switch (factor_) {
      case 2:
        addBlocks(std::integral_constant<int, 2>());
        break;
      case 3:
        addBlocks(std::integral_constant<int, 3>());
        break;
      case 4:
        addBlocks(std::integral_constant<int, 4>());
        break;
      default:
        break;
    }
    for (; block < lastBlock; ++block, sum += 3) {
      const int pixels = std::min((block + 1) * factor_, width_) - block * factor_;
      std::uint32_t b = sum[0], g = sum[1], r = sum[2];
      for (int i = 0; i < pixels; ++i) rows.Add(p, b, g, r);
      sum[0] = b;
      sum[1] = g;
      sum[2] = r;
    }
    const int inBlock = row % factor_ + 1;
    if (inBlock == factor_ || row + 1 == height_) {
      Emit<Rows::kFineBits>(firstBlock, lastBlock, row / factor_, inBlock);
    }
  }
}

// total / count rounded to nearest, as a multiplication: `reciprocal` is
// ceil(2^kShift / count), exact while count * (total + count / 2) stays
// below 2^kShift. 32 bits hold the totals of 8-bit samples (below 2^25);
// the finer ones of 16-bit samples (below 2^28, blocks of up to 16 x 16)
// need 36.
template <int kShift>
inline std::uint32_t DivideRounded(std::uint32_t total, std::uint32_t count,
                                   std::uint64_t reciprocal) {
  return static_cast<std::uint32_t>(((total + count / 2) * reciprocal) >> kShift);
}

// The block averages, from sums kFineBits finer than the 8-bit tables'
// scale: each is rounded to that scale, whose inverse gives the nearest
// sRGB level.
template <int kFineBits>
void BlockReducer::Emit(int firstBlock, int lastBlock, int blockRow, int rowsInBlock) {
  constexpr int kShift = 32 + kFineBits;
  constexpr std::uint32_t kHalf = (1u << kFineBits) >> 1;
  Pixel* out = out_.Row(blockRow);
  std::uint32_t* sum = sums_.data() + 3 * static_cast<std::size_t>(firstBlock);
  std::uint32_t lastCount = 0;
  std::uint64_t reciprocal = 0;
  const auto level = [&](std::uint32_t total, std::uint32_t count) {
    return srgb::kToSrgb
        .level[(DivideRounded<kShift>(total, count, reciprocal) + kHalf) >> kFineBits];
  };
  for (int block = firstBlock; block < lastBlock; ++block, sum += 3) {
    const std::uint32_t count =
        static_cast<std::uint32_t>(std::min((block + 1) * factor_, width_) - block * factor_) *
        static_cast<std::uint32_t>(rowsInBlock);
    if (count != lastCount) {
      lastCount = count;
      reciprocal = ((std::uint64_t{1} << kShift) + count - 1) / count;
    }
    out[block] = MakePixel(level(sum[2], count), level(sum[1], count), level(sum[0], count));
    sum[0] = sum[1] = sum[2] = 0;
  }
}

template <class Rows>
void BlockReducer::AddSource(const Rows& rows, int count) {
  count = std::min(count, height_ - rowsIn_);
  if (count <= 0) return;
  const int blocks = out_.Width();
  const std::function<void(int)> part = [&](int i) {
    AddColumns(rows, count, blocks * i / parts_, blocks * (i + 1) / parts_);
  };
  RunParts(part);
  rowsIn_ += count;
}

void BlockReducer::AddRows(const PixelView& rows) {
  if (curves_->IsSrgb()) {
    AddSource(PixelRows<SrgbTables8>{&rows, {}}, rows.height);
  } else {
    AddSource(PixelRows<Tables8>{&rows, Tables8(*curves_)}, rows.height);
  }
}

void BlockReducer::AddBgrRows(const std::uint8_t* rows, int count, std::ptrdiff_t stride) {
  if (curves_->IsSrgb()) {
    AddSource(BgrRows<SrgbTables8>{rows, stride, {}}, count);
  } else {
    AddSource(BgrRows<Tables8>{rows, stride, Tables8(*curves_)}, count);
  }
}

void BlockReducer::AddRows16(const std::uint16_t* rows, int count, std::ptrdiff_t stride,
                             const Layout16& layout) {
  const Tables16 toLinear(*curves_);
  const bool bgr = layout.blue < layout.red;
  if (layout.channels == 1) {
    AddSource(Rows16<1, 0, 0, 0>{rows, stride, toLinear}, count);
  } else if (layout.channels == 3) {
    bgr ? AddSource(Rows16<3, 2, 1, 0>{rows, stride, toLinear}, count)
        : AddSource(Rows16<3, 0, 1, 2>{rows, stride, toLinear}, count);
  } else {
    bgr ? AddSource(Rows16<4, 2, 1, 0>{rows, stride, toLinear}, count)
        : AddSource(Rows16<4, 0, 1, 2>{rows, stride, toLinear}, count);
  }
}

PixelBuffer BlockReducer::Finish() { return std::move(out_); }

}  // namespace host::picture
