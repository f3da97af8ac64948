#include "host/win32/dyn_api.h"

#include <cstddef>
#include <string>

namespace host::win32 {

namespace {

// Declared here rather than taken from the SDK headers so that nothing
// imports them at load time.
using SetProcessDpiAwarenessContextFn = BOOL WINAPI(HANDLE);
using SetProcessDpiAwarenessFn = HRESULT WINAPI(int);
using SetProcessDPIAwareFn = BOOL WINAPI();
using GetDpiForMonitorFn = HRESULT WINAPI(HMONITOR, int, UINT*, UINT*);
using GetDpiForSystemFn = UINT WINAPI();
using AdjustWindowRectExForDpiFn = BOOL WINAPI(RECT*, DWORD, BOOL, DWORD, UINT);
using GetSystemMetricsForDpiFn = int WINAPI(int, UINT);
using SystemParametersInfoForDpiFn = BOOL WINAPI(UINT, UINT, void*, UINT, UINT);
using DwmSetWindowAttributeFn = HRESULT WINAPI(HWND, DWORD, const void*, DWORD);
using SetDefaultDllDirectoriesFn = BOOL WINAPI(DWORD);

constexpr int kMdtEffectiveDpi = 0;
constexpr int kProcessPerMonitorDpiAware = 2;
constexpr DWORD kDwmwaCloak = 13;
const auto kPerMonitorAwareV2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));

// A bare name would also be looked for in the program's folder, the current
// folder and PATH, where anyone may have put a DLL of that name.
HMODULE LoadFromSystemFolder(const wchar_t* dll) {
  HMODULE module = LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Before KB2533623 the flag is refused; a DLL that is simply not there
  // (shcore.dll before Windows 8.1) gives another error and stays missing.
  if (module || GetLastError() != ERROR_INVALID_PARAMETER) return module;
  UINT length = GetSystemDirectoryW(nullptr, 0);
  if (length == 0) return nullptr;
  std::wstring path(length, L'\0');
  length = GetSystemDirectoryW(path.data(), length);
  if (length == 0 || length >= path.size()) return nullptr;
  path.resize(length);
  path += L'\\';
  path += dll;
  return LoadLibraryW(path.c_str());
}

}  // namespace

FARPROC FindProc(const wchar_t* dll, const char* name) {
  HMODULE module = GetModuleHandleW(dll);
  if (!module) module = LoadFromSystemFolder(dll);
  return module ? GetProcAddress(module, name) : nullptr;
}

void RestrictDllSearch() {
  // kernel32 is always loaded; the call itself came with KB2533623.
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  auto fn = kernel ? reinterpret_cast<SetDefaultDllDirectoriesFn*>(reinterpret_cast<void (*)()>(
                         GetProcAddress(kernel, "SetDefaultDllDirectories")))
                   : nullptr;
  if (fn) fn(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

UINT PrimaryDpi() {
  HMONITOR primary = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
  UINT x = 0, y = 0;
  if (auto fn = Proc<GetDpiForMonitorFn>(L"shcore.dll", "GetDpiForMonitor"))
    if (SUCCEEDED(fn(primary, kMdtEffectiveDpi, &x, &y)) && x > 0) return x;
  if (auto fn = Proc<GetDpiForSystemFn>(L"user32.dll", "GetDpiForSystem"))
    if (UINT dpi = fn(); dpi > 0) return dpi;
  HDC screen = GetDC(nullptr);
  int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

void AdjustRectForDpi(RECT* rect, DWORD style, bool menu, DWORD exStyle, UINT dpi) {
  if (auto fn = Proc<AdjustWindowRectExForDpiFn>(L"user32.dll", "AdjustWindowRectExForDpi"))
    if (fn(rect, style, menu, exStyle, dpi)) return;
  AdjustWindowRectEx(rect, style, menu, exStyle);
}

int MetricForDpi(int index, UINT dpi) {
  if (auto fn = Proc<GetSystemMetricsForDpiFn>(L"user32.dll", "GetSystemMetricsForDpi"))
    return fn(index, dpi);
  return GetSystemMetrics(index);
}

NONCLIENTMETRICSW NonClientMetrics(UINT dpi) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (auto fn = Proc<SystemParametersInfoForDpiFn>(L"user32.dll", "SystemParametersInfoForDpi"))
    if (fn(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) return metrics;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return metrics;
  // Before Vista the structure is 4 bytes shorter.
  metrics.cbSize = offsetof(NONCLIENTMETRICSW, iPaddedBorderWidth);
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0);
  return metrics;
}

bool Cloak(HWND hwnd, bool cloaked) {
  auto fn = Proc<DwmSetWindowAttributeFn>(L"dwmapi.dll", "DwmSetWindowAttribute");
  BOOL value = cloaked;
  return fn && SUCCEEDED(fn(hwnd, kDwmwaCloak, &value, sizeof value));
}

void EnsureDpiAwareness() {
  // Each call fails harmlessly when the manifest has already set the mode.
  if (auto fn =
          Proc<SetProcessDpiAwarenessContextFn>(L"user32.dll", "SetProcessDpiAwarenessContext")) {
    fn(kPerMonitorAwareV2);
  } else if (auto fn = Proc<SetProcessDpiAwarenessFn>(L"shcore.dll", "SetProcessDpiAwareness")) {
    fn(kProcessPerMonitorDpiAware);
  } else if (auto fn = Proc<SetProcessDPIAwareFn>(L"user32.dll", "SetProcessDPIAware")) {
    fn();
  }
}

}  // namespace host::win32
