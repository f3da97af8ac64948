// What the steps of a picture load share: owned COM pointers, the failure
// that ends a load (carried from the loader thread to its caller), and how
// many threads its averaging may use.
#pragma once

#include "host/win32/windows_api.h"

#include <algorithm>

#include "host/picture/pipeline.h"
#include "host/runtime.h"

namespace host::win32 {

// An owned COM interface pointer.
template <class T>
class Com {
 public:
  Com() = default;
  Com(const Com&) = delete;
  Com& operator=(const Com&) = delete;
  ~Com() { Reset(); }
  void Reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }
  T** Put() {
    Reset();
    return &p_;
  }
  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

using picture::Fail;
using picture::Failure;

inline void Check(HRESULT result) {
  if (result == E_OUTOFMEMORY) Fail(ErrorCode::OutOfMemory);
  if (FAILED(result)) Fail();
}

// How many threads the scaling work is shared among: the processors, up
// to 4; only the calling thread when it works in the background, since
// helpers of its own would run at the normal priority and compete with
// the interface.
inline int Processors() {
  if (GetThreadPriority(GetCurrentThread()) < THREAD_PRIORITY_NORMAL) return 1;
  SYSTEM_INFO system{};
  GetSystemInfo(&system);
  return std::clamp<int>(static_cast<int>(system.dwNumberOfProcessors), 1, 4);
}

}  // namespace host::win32
