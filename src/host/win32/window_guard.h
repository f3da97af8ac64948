// A guard for a window of another program that the saver hides (the task
// bar): when the saver's process ends by any means while the window is still
// hidden (ended from outside, a fast-fail inside a codec: nothing of ours
// runs then), the guard shows it again.
//
// The guard is a second process of this same executable, started with the
// saver's process handle and a "dismissed" event, both inherited by it
// alone. It is recognised before anything else runs, so it never reaches
// Main, never takes the single-instance mutex and creates no window; it
// sleeps in one wait for whichever comes first and then ends.
#pragma once

#include "host/win32/windows_api.h"

#include <atomic>
#include <string>

namespace host::win32 {

// The saver's side.
class WindowGuard {
 public:
  WindowGuard() = default;
  WindowGuard(const WindowGuard&) = delete;
  WindowGuard& operator=(const WindowGuard&) = delete;
  ~WindowGuard();

  // Starts the guard for `window` (once; none for a null window); whether
  // a guard runs.
  bool Start(HWND window, const std::wstring& exePath);
  // The window is shown again: the guard ends without touching it. Safe
  // from any thread, and more than once.
  void Dismiss();

 private:
  std::atomic<HANDLE> dismissed_{nullptr};
  bool started_ = false;
};

// What a process makes of its arguments as a guard's line.
struct GuardLine {
  enum Kind { kNotGuard, kRefused, kGuard };
  Kind kind = kNotGuard;
  HANDLE saver = nullptr;
  HANDLE dismissed = nullptr;
  HWND window = nullptr;
};
GuardLine ReadGuardLine(const std::wstring& arguments);

// The guard's side, called first thing in the process: false when this
// process is not a guard; true at once for a refused line; otherwise it
// waits, shows the window if the saver ended without dismissing it, and
// returns true, and the process ends.
bool RunAsWindowGuard();

}  // namespace host::win32
