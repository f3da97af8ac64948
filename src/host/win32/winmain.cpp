// The entry point of zarvo.scr.
#include "host/win32/windows_api.h"

#include <commctrl.h>
#include <objbase.h>

#include <exception>

#include "host/toolkit.h"
#include "host/win32/dyn_api.h"
#include "host/win32/win32_os.h"
#include "startup/module1.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Before the first window: pixel sizes are real pixels on every monitor.
  host::win32::EnsureDpiAwareness();
  // WIC decodes the pictures on this (the interface) thread.
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);  // themed buttons (comctl32 v6 from the manifest)

  int exitCode = 0;
  try {
    host::win32::Win32Os os;
    startup::Module1 module;
    host::RunProgram(os, [&module] { module.Main(); });
  } catch (const std::exception& error) {
    // Not a run-time error of the program (the toolkit reports those): a
    // fault of our own. Say so rather than vanish.
    MessageBoxA(nullptr, error.what(), "ZARVO", MB_ICONERROR | MB_SETFOREGROUND);
    exitCode = 1;
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return exitCode;
}
