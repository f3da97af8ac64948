// The pure core of reading one registry value as text: what the About box's
// launcher makes of the type and data bytes RegQueryValueExA gave back.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "host/text.h"

namespace dialogs {

// Turns bytes in the system's ANSI code page into text.
using AnsiDecoder = std::function<host::Text(std::string_view)>;

// The value of type `type` whose first `count` bytes are in `data`, as text:
// REG_SZ read through `fromAnsi`, REG_DWORD as the "&h" hex text of its
// number; nothing for any other type. A final NUL byte is dropped first, so
// a text stored with or without its terminator reads the same. A count of 0
// raises the run-time error "invalid argument".
std::optional<host::Text> DecodeKeyValue(std::uint32_t type, const std::uint8_t* data,
                                         std::uint32_t count, const AnsiDecoder& fromAnsi);

// Format with no pattern, as the launcher applies it to the "&h" text: a
// text comes back as it is.
host::Text FormatNoPattern(const host::Text& text);

}  // namespace dialogs
