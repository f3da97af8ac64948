#include "host/picture/reduce.h"

#include <algorithm>
#include <system_error>

#include "host/picture/srgb.h"

namespace host::picture {

int PrescaleFactor(int width, int height, int screenWidth, int screenHeight) {
  if (width <= 0 || height <= 0 || screenWidth <= 0 || screenHeight <= 0) return 1;
  const int factor = std::min(width / screenWidth, height / screenHeight);
  return std::clamp(factor, 1, 16);
}

BlockReducer::BlockReducer(int width, int height, int factor, int threads)
    : width_(width),
      height_(height),
      factor_(std::max(factor, 1)),
      out_((width + factor_ - 1) / factor_, (height + factor_ - 1) / factor_),
      sums_(static_cast<std::size_t>(out_.Width()) * 3) {
  parts_ = std::clamp(threads, 1, std::max(out_.Width() / 64, 1));
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
    (*task)(index);
    {
      std::lock_guard<std::mutex> lock(mutex_);
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
  part(0);
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [&] { return pending_ == 0; });
}

// Adds `count` rows to the blocks [firstBlock, lastBlock) of the block
// row(s) they fall in; fetch(k, x, b, g, r) adds pixel x of row k.
template <class Fetch>
void BlockReducer::AddColumns(const Fetch& fetch, int count, int firstBlock, int lastBlock) {
  for (int k = 0; k < count; ++k) {
    const int row = rowsIn_ + k;
    std::uint32_t* sum = sums_.data() + 3 * static_cast<std::size_t>(firstBlock);
    for (int block = firstBlock; block < lastBlock; ++block, sum += 3) {
      const int end = std::min((block + 1) * factor_, width_);
      std::uint32_t b = 0, g = 0, r = 0;
      for (int x = block * factor_; x < end; ++x) fetch(k, x, b, g, r);
      sum[0] += b;
      sum[1] += g;
      sum[2] += r;
    }
    const int inBlock = row % factor_ + 1;
    if (inBlock == factor_ || row + 1 == height_) {
      Emit(firstBlock, lastBlock, row / factor_, inBlock);
    }
  }
}

void BlockReducer::Emit(int firstBlock, int lastBlock, int blockRow, int rowsInBlock) {
  Pixel* out = out_.Row(blockRow);
  std::uint32_t* sum = sums_.data() + 3 * static_cast<std::size_t>(firstBlock);
  for (int block = firstBlock; block < lastBlock; ++block, sum += 3) {
    const std::uint32_t count =
        static_cast<std::uint32_t>(std::min((block + 1) * factor_, width_) - block * factor_) *
        static_cast<std::uint32_t>(rowsInBlock);
    const auto level = [&](std::uint32_t total) {
      return srgb::kToSrgb.level[(total + count / 2) / count];
    };
    out[block] = MakePixel(level(sum[2]), level(sum[1]), level(sum[0]));
    sum[0] = sum[1] = sum[2] = 0;
  }
}

void BlockReducer::AddRows(const PixelView& rows) {
  const int count = std::min(rows.height, height_ - rowsIn_);
  if (count <= 0) return;
  const auto fetch = [&rows](int k, int x, std::uint32_t& b, std::uint32_t& g, std::uint32_t& r) {
    const Pixel p = rows.Row(k)[x];
    b += srgb::kToLinear[p & 0xFF];
    g += srgb::kToLinear[p >> 8 & 0xFF];
    r += srgb::kToLinear[p >> 16 & 0xFF];
  };
  const int blocks = out_.Width();
  const std::function<void(int)> part = [&](int i) {
    AddColumns(fetch, count, blocks * i / parts_, blocks * (i + 1) / parts_);
  };
  RunParts(part);
  rowsIn_ += count;
}

void BlockReducer::AddBgrRows(const std::uint8_t* rows, int count, std::ptrdiff_t stride) {
  count = std::min(count, height_ - rowsIn_);
  if (count <= 0) return;
  const auto fetch = [rows, stride](int k, int x, std::uint32_t& b, std::uint32_t& g,
                                    std::uint32_t& r) {
    const std::uint8_t* p = rows + k * stride + 3 * static_cast<std::ptrdiff_t>(x);
    b += srgb::kToLinear[p[0]];
    g += srgb::kToLinear[p[1]];
    r += srgb::kToLinear[p[2]];
  };
  const int blocks = out_.Width();
  const std::function<void(int)> part = [&](int i) {
    AddColumns(fetch, count, blocks * i / parts_, blocks * (i + 1) / parts_);
  };
  RunParts(part);
  rowsIn_ += count;
}

PixelBuffer BlockReducer::Finish() { return std::move(out_); }

}  // namespace host::picture
