// Colours as the forms give them: 0x00BBGGRR, a system colour with the top
// bit set (0x80000000 + COLOR_xxx), or kSystemColor for the default.
#pragma once

#include "host/win32/windows_api.h"

#include <cstdint>

#include "host/os.h"

namespace host::win32 {

inline COLORREF ToColorRef(std::uint32_t color, int defaultIndex) {
  if (color == kSystemColor) return GetSysColor(defaultIndex);
  if (color & 0x80000000u) return GetSysColor(static_cast<int>(color & 0xFFu));
  return static_cast<COLORREF>(color & 0x00FFFFFFu);
}

// A GDI object deleted with its owner.
template <class Handle>
class GdiObject {
 public:
  GdiObject() = default;
  explicit GdiObject(Handle handle) : handle_(handle) {}
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;
  GdiObject(GdiObject&& other) noexcept : handle_(other.Release()) {}
  GdiObject& operator=(GdiObject&& other) noexcept {
    Reset(other.Release());
    return *this;
  }
  ~GdiObject() { Reset(); }

  Handle Get() const { return handle_; }
  Handle Release() {
    Handle handle = handle_;
    handle_ = nullptr;
    return handle;
  }
  void Reset(Handle handle = nullptr) {
    if (handle_) DeleteObject(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_ = nullptr;
};

using Brush = GdiObject<HBRUSH>;
using Bitmap = GdiObject<HBITMAP>;

}  // namespace host::win32
