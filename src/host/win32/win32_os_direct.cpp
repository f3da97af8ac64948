// The operating-system calls the forms make themselves: straight through to
// the real API with their own arguments and results.
#include "host/win32/windows_api.h"

#include <imm.h>

#include "host/win32/wide.h"
#include "host/win32/win32_os.h"
#include "host/win_constants.h"

namespace host::win32 {

namespace {

// The forms and the simulated host use the platform-free names; they must
// be Windows' own numbers. (HWND_TOPMOST and the HKEY roots are casts that
// no constant expression can compare.)
static_assert(win::kSpiSetScreenSaveActive == SPI_SETSCREENSAVEACTIVE);
static_assert(win::kSwpNoSize == SWP_NOSIZE && win::kSwpNoMove == SWP_NOMOVE);
static_assert(win::kSwpShowWindow == SWP_SHOWWINDOW && win::kSwpHideWindow == SWP_HIDEWINDOW);
static_assert(win::kKeySetValue == KEY_SET_VALUE && win::kKeyCreateSubKey == KEY_CREATE_SUB_KEY &&
              win::kKeyCreateLink == KEY_CREATE_LINK && win::kKeyRead == KEY_READ);
static_assert(win::kRegSz == REG_SZ && win::kRegDword == REG_DWORD);
static_assert(win::kErrorSuccess == ERROR_SUCCESS &&
              win::kErrorFileNotFound == ERROR_FILE_NOT_FOUND &&
              win::kErrorAccessDenied == ERROR_ACCESS_DENIED &&
              win::kErrorInvalidHandle == ERROR_INVALID_HANDLE &&
              win::kErrorMoreData == ERROR_MORE_DATA);

// Predefined roots such as HKEY_LOCAL_MACHINE (0x80000002) are negative
// 32-bit values, sign-extended to the width of a handle.
HKEY ToHkey(std::uintptr_t key) { return reinterpret_cast<HKEY>(key); }
HKEY RootKey(std::uint32_t root) {
  return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(root)));
}

}  // namespace

std::int32_t Win32Os::SystemParametersInfoA(std::uint32_t action, std::uint32_t param,
                                            const char* pvParam, std::uint32_t winIni) {
  return ::SystemParametersInfoA(action, param, const_cast<char*>(pvParam), winIni);
}

std::int32_t Win32Os::ShowCursor(std::int32_t show) { return ::ShowCursor(show); }

std::uintptr_t Win32Os::ImmAssociateContext(WindowId window, std::uintptr_t context) {
  return reinterpret_cast<std::uintptr_t>(
      ::ImmAssociateContext(ToHwnd(window), reinterpret_cast<HIMC>(context)));
}

WindowId Win32Os::FindWindowA(const std::string& className, const std::string& windowName) {
  // An empty name is passed as the empty string, not as null: it asks for a
  // window whose title is empty, while null would match any title.
  return ToId(::FindWindowA(className.c_str(), windowName.c_str()));
}

// A thread that stops answering (a hung shell) must not hold ours: for a
// window of another thread the request is queued to that thread, which
// carries it out with the same arguments once it answers again.
BOOL SetWindowPosWithoutWaiting(HWND window, HWND insertAfter, int x, int y, int cx, int cy,
                                UINT flags) {
  const DWORD owner = GetWindowThreadProcessId(window, nullptr);
  if (owner != 0 && owner != GetCurrentThreadId()) flags |= SWP_ASYNCWINDOWPOS;
  return ::SetWindowPos(window, insertAfter, x, y, cx, cy, flags);
}

std::int32_t Win32Os::SetWindowPos(WindowId window, std::intptr_t insertAfter, int x, int y, int cx,
                                   int cy, std::uint32_t flags) {
  return SetWindowPosWithoutWaiting(ToHwnd(window), reinterpret_cast<HWND>(insertAfter), x, y, cx,
                                    cy, flags);
}

std::int32_t Win32Os::RegOpenKeyExA(std::uint32_t root, const std::string& subKey,
                                    std::uint32_t options, std::uint32_t access, RegKey* result) {
  HKEY key = nullptr;
  LONG status = ::RegOpenKeyExA(RootKey(root), subKey.c_str(), options, access, &key);
  if (result) *result = status == ERROR_SUCCESS ? reinterpret_cast<RegKey>(key) : 0;
  return status;
}

std::int32_t Win32Os::RegQueryValueExA(RegKey key, const std::string& valueName,
                                       std::uint32_t* type, std::uint8_t* data,
                                       std::uint32_t* size) {
  DWORD valueType = type ? *type : 0;
  DWORD bytes = size ? *size : 0;
  LONG status = ::RegQueryValueExA(ToHkey(key), valueName.c_str(), nullptr,
                                   type ? &valueType : nullptr, data, size ? &bytes : nullptr);
  if (type) *type = valueType;
  if (size) *size = bytes;
  return status;
}

std::int32_t Win32Os::RegCloseKey(RegKey key) { return ::RegCloseKey(ToHkey(key)); }

}  // namespace host::win32
