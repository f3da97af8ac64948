// host::Text is UTF-16 and so is wchar_t on Windows: the wide API takes our
// strings as they are.
#pragma once

#include "host/win32/windows_api.h"

#include <string>

#include "host/text.h"

namespace host::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16");

inline const wchar_t* W(const Text& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

inline Text FromW(const wchar_t* text, std::size_t length) {
  return Text(reinterpret_cast<const char16_t*>(text), length);
}

inline Text FromW(const wchar_t* text) { return text ? FromW(text, wcslen(text)) : Text(); }

inline HWND ToHwnd(std::uintptr_t id) { return reinterpret_cast<HWND>(id); }
inline std::uintptr_t ToId(HWND hwnd) { return reinterpret_cast<std::uintptr_t>(hwnd); }

}  // namespace host::win32
