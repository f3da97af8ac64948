// Numbers of the Windows API that the forms pass through host::Os's direct
// calls, and that the simulated host reads back in the same sense. Named
// here without windows.h, so that platform-free code can use them; the win32
// backend checks them against the real headers.
#pragma once

#include <cstdint>

namespace host::win {

// SystemParametersInfoA actions.
inline constexpr std::uint32_t kSpiSetScreenSaveActive = 17;  // SPI_SETSCREENSAVEACTIVE

// SetWindowPos: the z-order place and the flags.
inline constexpr std::intptr_t kHwndTopMost = -1;    // HWND_TOPMOST
inline constexpr std::intptr_t kHwndNoTopMost = -2;  // HWND_NOTOPMOST
inline constexpr std::uint32_t kSwpNoSize = 0x1;
inline constexpr std::uint32_t kSwpNoMove = 0x2;
inline constexpr std::uint32_t kSwpShowWindow = 0x40;
inline constexpr std::uint32_t kSwpHideWindow = 0x80;

// The registry: a predefined root, access rights and value types.
inline constexpr std::uint32_t kHkeyLocalMachine = 0x80000002;
inline constexpr std::uint32_t kKeySetValue = 0x2;
inline constexpr std::uint32_t kKeyCreateSubKey = 0x4;
inline constexpr std::uint32_t kKeyCreateLink = 0x20;
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegDword = 4;

// The error codes the registry calls return.
inline constexpr std::int32_t kErrorSuccess = 0;
inline constexpr std::int32_t kErrorFileNotFound = 2;
inline constexpr std::int32_t kErrorAccessDenied = 5;
inline constexpr std::int32_t kErrorInvalidHandle = 6;
inline constexpr std::int32_t kErrorMoreData = 234;

}  // namespace host::win
