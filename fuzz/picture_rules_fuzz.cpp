// PictureFileName and FitPicture on any folder text, index and sizes,
// NaN, infinities, denormals and negatives included: a result or the
// run-time error type, never undefined behaviour.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "host/runtime.h"
#include "saver/picture_rules.h"

namespace {
template <class T>
T Take(const std::uint8_t*& data, std::size_t& size) {
  T value{};
  const std::size_t n = size < sizeof(T) ? size : sizeof(T);
  std::memcpy(&value, data, n);
  data += n;
  size -= n;
  return value;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const double screenWidth = Take<double>(data, size);
  const double screenHeight = Take<double>(data, size);
  const float width = Take<float>(data, size);
  const float height = Take<float>(data, size);
  const std::int16_t index = Take<std::int16_t>(data, size);
  host::Text folder(size / 2, u'\0');
  std::memcpy(folder.data(), data, folder.size() * 2);

  const host::Text name = saver::PictureFileName(folder, index);
  if (name.size() < folder.size() + 9 || name.substr(name.size() - 4) != u".DAT") __builtin_trap();
  try {
    const saver::PicturePlacement p = saver::FitPicture(screenWidth, screenHeight, width, height);
    // Every result is a finite placement.
    for (float v : {p.Left, p.Top, p.Width, p.Height}) {
      if (!std::isfinite(v)) __builtin_trap();
    }
  } catch (const host::RuntimeError&) {
  }
  return 0;
}
