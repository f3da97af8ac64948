// The entry point of zarvo.scr.
#include "host/win32/windows_api.h"

#include <commctrl.h>
#include <objbase.h>

#include <cstdlib>
#include <exception>

#include "host/toolkit.h"
#include "host/win32/dyn_api.h"
#include "host/win32/win32_os.h"
#include "host/win32/window_guard.h"
#include "startup/module1.h"

namespace {

// A fault on any thread (a third-party codec crashing on the loader, say)
// still gives the task bar back, and the pointer and input method when it
// strikes the interface thread; then the system's own crash handling goes
// on as it would without us.
LONG WINAPI GiveBackOnFault(EXCEPTION_POINTERS*) {
  host::GiveBackAfterFault();
  return EXCEPTION_CONTINUE_SEARCH;
}

// std::terminate (an exception escaping a thread, say) is a fault too.
constexpr DWORD kTerminated = 0xE0005A54;  // customer bit set: ours

[[noreturn]] void GiveBackOnTerminate() {
  host::GiveBackAfterFault();
  RaiseException(kTerminated, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  std::abort();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Before anything can load a DLL: none from the program's folder, the
  // current folder or PATH, where anyone may have put one.
  host::win32::RestrictDllSearch();
  if (host::win32::RunAsWindowGuard()) return 0;
  SetUnhandledExceptionFilter(&GiveBackOnFault);
  std::set_terminate(&GiveBackOnTerminate);
  // Before the first window: pixel sizes are real pixels on every monitor.
  host::win32::EnsureDpiAwareness();
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);  // themed buttons (comctl32 v6 from the manifest)

  try {
    host::win32::Win32Os os;
    startup::Module1 module;
    host::RunProgram(os, [&module] { module.Main(); });
  } catch (...) {
    // Only what fails before the program runs gets here (the toolkit
    // answers the rest): there is nothing to give back yet.
    MessageBoxW(nullptr, L"実行時エラー '51'", L"ZARVO", MB_ICONERROR | MB_SETFOREGROUND);
  }
  return 1;
}
