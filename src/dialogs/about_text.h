// The texts the About box computes at load from the application object.
#pragma once

#include <cstdint>

#include "host/text.h"

namespace dialogs {

// "ﾊﾞｰｼﾞｮﾝ " and the three numbers in plain decimal, dot-separated.
host::Text VersionLine(std::int16_t major, std::int16_t minor, std::int16_t revision);

// The copyright line with each pair of blanks turned into a line break, so a
// text too long for one line can carry its break as two blanks.
host::Text CopyrightLines(const host::Text& legalCopyright);

// The About box's caption for an application title.
host::Text AboutCaption(const host::Text& title);

}  // namespace dialogs
