// Text inside the program is UTF-16, as the Windows wide API has it; these
// are the string operations the forms use.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace host {

using Text = std::u16string;

// Upper case for the letters a-z and their full-width forms; every other
// code unit is kept as it is.
Text UCase(std::u16string_view text);

// The first `count` code units, or all of the text when it is shorter.
Text Left(std::u16string_view text, std::size_t count);

// Every occurrence of `find` replaced by `with`, scanning left to right
// without overlap and comparing code units exactly. An empty `find` leaves
// the text as it is.
Text Replace(std::u16string_view text, std::u16string_view find, std::u16string_view with);

// Plain decimal: a minus sign for negatives, no padding, no leading blank.
Text Str(std::int64_t value);

// Decimal left-padded with zeros to `width` digits (the pattern "000").
Text ZeroPad(std::int64_t value, int width);

std::string ToUtf8(std::u16string_view text);
Text FromUtf8(std::string_view utf8);

}  // namespace host
