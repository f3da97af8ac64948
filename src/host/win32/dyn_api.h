// Entry points that not every supported Windows version has (the per-monitor
// DPI calls came with Windows 10, window cloaking with Windows 8). They are
// looked up at run time so that the program still starts where they are
// missing; each caller has a fallback.
#pragma once

#include "host/win32/windows_api.h"

namespace host::win32 {

// The function `name` of the system DLL `dll`, or null. The DLL is only ever
// loaded from the system folder.
FARPROC FindProc(const wchar_t* dll, const char* name);

// Makes the system folder the only place the process loads DLLs from by
// default, where Windows can do so (Windows 8, or 7 with KB2533623). Meant
// as the first thing the program does, before anything loads a DLL.
void RestrictDllSearch();

template <class Fn>
Fn* Proc(const wchar_t* dll, const char* name) {
  // void(*)() converts to and from every function pointer type without a
  // -Wcast-function-type warning.
  return reinterpret_cast<Fn*>(reinterpret_cast<void (*)()>(FindProc(dll, name)));
}

// DPI of the primary monitor for a per-monitor aware process.
UINT PrimaryDpi();

// AdjustWindowRectExForDpi, or AdjustWindowRectEx before Windows 10.
void AdjustRectForDpi(RECT* rect, DWORD style, bool menu, DWORD exStyle, UINT dpi);

// GetSystemMetricsForDpi, or GetSystemMetrics.
int MetricForDpi(int index, UINT dpi);

// NONCLIENTMETRICSW for `dpi`.
NONCLIENTMETRICSW NonClientMetrics(UINT dpi);

// Hides or reveals a window to the desktop compositor while it stays shown to
// the window manager, so its first frame can be painted before anyone sees it.
// False where cloaking is not available.
bool Cloak(HWND hwnd, bool cloaked);

// Asks for per-monitor (v2) DPI awareness when the manifest has not given it.
void EnsureDpiAwareness();

}  // namespace host::win32
