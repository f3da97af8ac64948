// The executable's icon (resource 1) at a given size.
#pragma once

#include "host/win32/windows_api.h"

#include <map>

namespace host::win32 {

// Loaded once for each size and kept for the life of the process.
inline HICON AppIcon(int size) {
  static std::map<int, HICON> icons;
  HICON& icon = icons[size];
  if (!icon)
    icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON,
                                         size, size, LR_DEFAULTCOLOR));
  return icon;
}

}  // namespace host::win32
